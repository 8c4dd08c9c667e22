#pragma once

#include "app/controller.h"

#include <QString>

// Completion over the local PHP manual's names, with the advice window
// following the highlighted entry, and the online manual lookup by the word
// at the caret. Owns whether the entries were read (once per run) and the
// last address looked up.
class CompletionController final : public Controller {
    Q_OBJECT

public:
    CompletionController(MainWindow &window, Project &project, const MainWindowUi &ui,
                         const SecondaryWindows &windows);

    void Adviser1Click(QObject *Sender);
    void completionShow(QObject *Sender);
    void completionChange(QObject *Sender, int index);
    void completionClose(QObject *Sender);
    void PHPnethelp1Click(QObject *Sender);
    // The "advise" switch: the advice window shown modally once.
    void ShowAdviceModal();

private:
    // The entries are read once per run, at the first request, even when
    // that read fails.
    bool m_completionLoaded = false;
    QString m_lastLookup;
};
