#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class CodeEditor;

// Crash recovery: the unsaved text of the document shown is copied every few
// seconds (and when the program loses the focus) into a file of its own under
// $XDG_STATE_HOME/quillstone/recovery/, readable by the user only; documents
// in other tabs keep the copy made while they were shown, since their text
// cannot change meanwhile. A copy goes as soon as its text is saved or
// discarded, so only a program that ended without either (a crash, a kill, a
// power cut) leaves one behind; the next start offers it back.
class DocumentRecovery final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentRecovery)

public:
    // A copy left by a program that is no longer running.
    struct Left {
        QString file; // the recovery file
        QString path; // the document's file; empty for an unnamed one
        QDateTime written;
        QByteArray text; // UTF-8
    };

    // The document the editor shows: a number telling it from the other
    // open ones, and its file (empty when unnamed).
    struct Shown {
        int id = 0;
        QString path;
    };
    DocumentRecovery(CodeEditor &editor, std::function<Shown()> shown, QObject *parent = nullptr);
    ~DocumentRecovery() override;

    static QString folder();
    static constexpr int IntervalMs = 3000;

    // Writes the copy now when the text changed since the last one, removes
    // it when the text has nothing unsaved.
    void update();
    // The user discarded the text shown: the copy goes, and none is made
    // again until the text changes.
    void discard();
    // Document `id` was closed, its text saved or discarded: its copy goes.
    void forget(int id);
    // Copies left behind by programs no longer running, newest first.
    static QList<Left> leftBehind();
    // Reads one recovery file; nothing when it is not one of ours.
    static std::optional<Left> read(const QString &file);

private:
    struct Copy {
        QString file;              // once written
        quint64 writtenChange = 0; // the document's change count at the last copy
        std::optional<quint64> discardedChange;
    };
    void remove(Copy &copy);

    CodeEditor &m_editor;
    std::function<Shown()> m_shown;
    QTimer m_timer;
    QHash<int, Copy> m_copies; // by document
};
