#pragma once

// Helpers shared by the tests: scripted dialogs, a replaced command line, a
// trace window stand-in and small file utilities.

#include "foundation/trace.h"
#include "foundation/user_dialogs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Records everything shown and answers from queues. Unqueued questions get
// No / Cancel. `onModal` may fill a window's edits and return its result.
class ScriptedDialogs final : public UserDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    void showMessage(const QString &text) override { messages.push_back(text); }
    void showError(const QString &text) override { errors.push_back(text); }
    bool askYesNo(const QString &title, const QString &text) override;
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override;
    std::optional<QString> prompt(const QString &title, const QString &label,
                                  const QString &value) override;
    QStringList openFiles(const QString &title, const QString &folder, const QString &filter,
                          bool multiple) override;
    QString saveFile(const QString &title, const QString &initialPath, const QString &filter,
                     const QString &defaultSuffix) override;
    QString chooseFolder(const QString &title, const QString &folder) override;
    int showModal(QWidget *window) override;

    std::vector<QString> messages;
    std::vector<QString> errors;
    std::vector<QString> questions;    // "title|text" of each Yes/No box
    std::vector<QString> choices;      // "title|text|answer/answer/..." of each choice
    std::vector<QString> prompts;      // "title|label" of each prompt
    std::vector<QString> fileDialogs;  // "open|filter", "save|filter" or "folder|title"
    std::vector<QString> startFolders; // where each open or folder dialog started
    std::vector<QWidget *> modalWindows;

    std::deque<bool> yesNoAnswers;
    std::deque<int> choiceAnswers; // index of the answer; unqueued gives the last one
    std::deque<std::optional<QString>> promptAnswers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<QString> folderAnswers;
    std::function<int(QWidget *)> onModal;
    std::function<void()> onChoice; // runs while a choice is on screen
};

// Replaces the command line for the lifetime of the object.
class ScopedParameters {
public:
    explicit ScopedParameters(QStringList parametersAfterProgram);
    ~ScopedParameters();
};

// A trace window stand-in that keeps its lines in memory.
class MemoryTraceSink final : public TraceSink {
public:
    bool traceVisible() const override { return visible; }
    bool tracePaused() const override { return paused; }
    bool traceClearAllowed() const override { return clearAllowed; }
    void traceClear() override { lines.clear(); }
    void traceAppend(const QString &line) override { lines.push_back(line); }

    bool visible = true;
    bool paused = false;
    bool clearAllowed = true;
    std::vector<QString> lines;
};

// Attaches a sink to the program-wide trace for the lifetime of the object.
class ScopedProgramTrace {
public:
    explicit ScopedProgramTrace(TraceSink *sink);
    ~ScopedProgramTrace();

private:
    TraceSink *m_previous;
};

QByteArray ReadFileBytes(const QString &path);
void WriteFileBytes(const QString &path, const QByteArray &bytes);

// The files of Debian package `name` unpacked into `folder` (apt-get download
// into the build's cache, then dpkg-deb -x): a real site for tests that need
// one. Returns the error when the package cannot be had, empty on success.
QString UnpackDebianPackage(const QString &name, const QString &folder);

// Runs `work` on a thread of its own and waits at most `milliseconds` for it.
// A call that does not finish ends the whole test program with a message, so
// a hang shows as a failure instead of holding the run up.
bool FinishesWithin(int milliseconds, const std::function<void()> &work);

// For work that must stay on the GUI thread: ends the whole test program
// with a message when the object still lives `milliseconds` after it was made.
class ScopedDeadline {
public:
    explicit ScopedDeadline(int milliseconds);
    ~ScopedDeadline();
    ScopedDeadline(const ScopedDeadline &) = delete;
    ScopedDeadline &operator=(const ScopedDeadline &) = delete;

private:
    struct State;
    std::shared_ptr<State> m_state;
};
