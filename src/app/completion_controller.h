#pragma once

#include "app/symbol_controller.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class AdviceWindow;
class CodeEditor;
class CompletionPopup;
class OnlineManualWindow;
class QLabel;
class QWidget;

// Completion over the local PHP manual's names, with the advice window
// following the highlighted entry, and the online manual lookup by the word
// at the caret. Owns whether the entries were read (once per run) and the
// last address looked up.
class CompletionController final : public QObject {
    Q_OBJECT

public:
    // What the project offers at the caret, given the characters that end a token.
    using ProjectOffer = std::function<SymbolController::Offer(const QString &tokenEnds)>;
    // The advice and manual windows are made after the main window (`window`,
    // activated again after the advice shows): their slots are read at use.
    CompletionController(CodeEditor *editor, CompletionPopup *popup, QLabel *status,
                         QWidget *window, AdviceWindow *const &advice,
                         OnlineManualWindow *const &manual, ProjectOffer projectOffer);

    void Adviser1Click(QObject *Sender);
    void completionShow(QObject *Sender);
    void completionChange(QObject *Sender, int index);
    void completionClose(QObject *Sender);
    // F1: the local manual's page for the word at the caret in the advice
    // window; the online lookup when the local manual has none.
    void PHPnethelp1Click(QObject *Sender);
    // The online manual's lookup page for the word at the caret.
    void PHPnetOnline1Click(QObject *Sender);
    // The "advise" switch: the advice window shown modally once.
    void ShowAdviceModal();

private:
    // The index row of the local manual's page for `word`; -1 when none.
    int localPageRow(const QString &word);
    // Typed ->, ::, \ or "new ": what the project has there, without the
    // manual's names; when nothing fits, the status line says so and no
    // list opens.
    void offerQuietly();
    void sayNothingBegins();
    // After a lone "\\" the manual's functions join the project's names;
    // their signatures are read from their pages when highlighted.
    void addManualFunctions(SymbolController::Offer &offer);

    CodeEditor *m_editor;
    CompletionPopup *m_popup;
    QLabel *m_status;
    QWidget *m_window;
    AdviceWindow *const &m_advice;
    OnlineManualWindow *const &m_manual;
    ProjectOffer m_projectOffer;
    // The entries are read once per run, at the first request, even when
    // that read fails.
    bool m_completionLoaded = false;
    QStringList m_manualNames;
    // Entries from this one on come from the project, each with its signature.
    int m_firstProjectEntry = 0;
    QStringList m_projectDetails;
    // The pages of the manual's entries at the end of m_projectDetails.
    QStringList m_manualPages;
    QString m_lastLookup;
};
