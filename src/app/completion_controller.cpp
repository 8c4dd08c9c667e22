// Completion over the local PHP manual, the advice window that follows the
// highlighted entry, and the online manual lookup.
#include "app/completion_controller.h"

#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "forms/advice_window.h"
#include "forms/browser_frame.h"
#include "forms/online_manual_window.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"
#include "project/manual_index.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <utility>

namespace {
// A trace point whose expression names the editor's caret fields.
void traceCaret(const char *expression, int value, int line)
{
    if (ProgramTrace().sink() && ProgramTrace().sink()->traceVisible())
        TraceLog(trace_detail::pointText(expression, __FILE__, line, QString::number(value)));
}
} // namespace

CompletionController::CompletionController(CodeEditor *editor, CompletionPopup *popup,
                                           QLabel *status, QWidget *window,
                                           AdviceWindow *const &advice,
                                           OnlineManualWindow *const &manual,
                                           ProjectOffer projectOffer)
    : m_editor(editor), m_popup(popup), m_status(status), m_window(window), m_advice(advice),
      m_manual(manual), m_projectOffer(std::move(projectOffer))
{
    CompletionPopup *completion = m_popup;
    completion->setEndOfTokenCharacters(QStringLiteral("()[]. "));
    completion->setTriggerCharacters(QStringLiteral("."));
    // Reports of a list closing while the window is torn down reach no handler:
    // the connections end with this controller.
    connect(completion, &CompletionPopup::opened, this,
            [this, completion] { RunGuarded([this, completion] { completionShow(completion); }); });
    connect(completion, &CompletionPopup::highlightChanged, this, [this, completion](int index) {
        RunGuarded([this, completion, index] { completionChange(completion, index); });
    });
    connect(completion, &CompletionPopup::closed, this, [this, completion] {
        RunGuarded([this, completion] { completionClose(completion); });
    });
    // Members are offered as soon as -> or :: is typed, when the class is
    // known; the key arrives before its character is in the text.
    connect(m_editor, &CodeEditor::keyPressed, this, [this](const QString &text) {
        const long caret = m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
        if (caret < 1 || m_popup->isOpen())
            return;
        const char *bytes = m_editor->documentBytes();
        const char before = bytes[caret - 1];
        const auto identifier = [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '\\' ||
                   static_cast<unsigned char>(c) >= 0x80;
        };
        // "new " as a word of its own.
        const bool afterNew = text == QLatin1String(" ") && caret >= 3 &&
                              QByteArray(bytes + caret - 3, 3).toLower() == "new" &&
                              (caret == 3 || !identifier(bytes[caret - 4])) &&
                              (caret < 4 || bytes[caret - 4] != '$');
        if ((text == QLatin1String(">") && before == '-') ||
            (text == QLatin1String(":") && before == ':') || text == QLatin1String("\\") ||
            afterNew)
            QTimer::singleShot(0, this, [this] { RunGuarded([this] { offerQuietly(); }); });
    });
}

void CompletionController::offerQuietly()
{
    SymbolController::Offer offer = m_projectOffer(m_popup->endOfTokenCharacters());
    if (!offer.members && !offer.qualified && !offer.classes)
        return;
    addManualFunctions(offer);
    if (offer.entries.isEmpty()) {
        // Nothing opens in the way of typing; the status line says why.
        if (!offer.message.isEmpty())
            m_status->setText(offer.message);
        return;
    }
    m_projectDetails = offer.details;
    m_firstProjectEntry = 0;
    m_popup->setEntries(offer.entries);
    if (!m_popup->openAtCaret())
        sayNothingBegins();
}

void CompletionController::sayNothingBegins()
{
    m_status->setText(
        QStringLiteral("Completion: nothing known begins with \"%1\"").arg(m_popup->typedText()));
}

void CompletionController::Adviser1Click(QObject *)
{
    if (!m_completionLoaded) {
        m_completionLoaded = true;
        AdviceWindow *advise = m_advice;
        advise->BuildManualIndex();
        m_manualNames = advise->indexNames();
    }
    // The project's classes, functions and constants join the manual's
    // functions; after -> and :: only the class's members are offered.
    SymbolController::Offer offer = m_projectOffer(m_popup->endOfTokenCharacters());
    addManualFunctions(offer);
    // After -> and ::, a namespace part or new, only the project's names fit.
    const bool projectOnly = offer.members || offer.qualified || offer.classes;
    if (projectOnly && offer.entries.isEmpty()) {
        m_status->setText(offer.message);
        return;
    }
    QStringList entries = projectOnly ? QStringList() : m_manualNames;
    m_firstProjectEntry = int(entries.size());
    entries += offer.entries;
    m_projectDetails = offer.details;
    m_popup->setEntries(entries);
    if (!m_popup->openAtCaret())
        sayNothingBegins();
    traceCaret("re->DisplayX", m_editor->caretDisplayColumn(), __LINE__);
    traceCaret("re->CaretX", m_editor->caretColumn(), __LINE__);
}

void CompletionController::completionShow(QObject *)
{
    // Over the half of the editor away from the caret, so neither the list
    // at the caret nor the panels around the editor (the project tree) are hidden.
    CodeEditor *re = m_editor;
    const QRect editor(re->mapToGlobal(QPoint(0, 0)), re->size());
    const long caretX = re->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0UL,
                                          re->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    const int width = std::max(editor.width() / 2, 320);
    const int left = caretX < editor.width() / 2 ? editor.right() + 1 - width : editor.left();
    m_advice->showPassively(QRect(left, editor.top(), width, editor.height()));
    // The list opens on its first entry without reporting a change: its page
    // is shown now, not only once the user moves in the list.
    completionChange(nullptr, m_popup->highlighted());
    // The user goes on typing in the editor.
    m_window->activateWindow();
    m_editor->takeFocus();
}

void CompletionController::completionChange(QObject *, int index)
{
    if (index < 0 || index >= m_popup->entries().size())
        return;
    // The box reports a change only when its text changes.
    m_advice->setSearchedText(m_popup->entries().at(index));
    // A project entry's signature shows in the status line.
    const int project = index - m_firstProjectEntry;
    if (project < 0 || project >= m_projectDetails.size())
        return;
    const qsizetype page = project - (m_projectDetails.size() - m_manualPages.size());
    if (page >= 0 && m_projectDetails.at(project).isEmpty())
        m_projectDetails[project] = ManualSynopsis(m_manualPages.at(page));
    m_status->setText(m_projectDetails.at(project));
}

void CompletionController::addManualFunctions(SymbolController::Offer &offer)
{
    m_manualPages.clear();
    if (offer.manualLead.isEmpty())
        return;
    AdviceWindow *advise = m_advice;
    if (!advise->indexBuilt()) {
        try {
            advise->BuildManualIndex();
        } catch (const AppError &) {
            return; // no local manual: the project's names alone
        }
    }
    const QString folder = ManualFolder() + u'/';
    for (const ManualEntry &entry : advise->index()) {
        offer.entries << offer.manualLead + entry.name;
        offer.details << QString();
        m_manualPages << folder + entry.fileName;
    }
}

void CompletionController::completionClose(QObject *)
{
    m_advice->hide();
}

int CompletionController::localPageRow(const QString &word)
{
    if (word.isEmpty())
        return -1;
    AdviceWindow *advise = m_advice;
    if (!advise->indexBuilt()) {
        try {
            advise->BuildManualIndex();
        } catch (const AppError &) {
            // No local manual: the online one answers instead.
            return -1;
        }
    }
    const QList<ManualEntry> &index = advise->index();
    for (int row = 0; row < index.size(); ++row) {
        if (index.at(row).name.compare(word, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

void CompletionController::PHPnethelp1Click(QObject *Sender)
{
    const int row = localPageRow(m_editor->wordAtCaret());
    if (row < 0) {
        PHPnetOnline1Click(Sender);
        return;
    }
    AdviceWindow *advise = m_advice;
    advise->setCurrentRow(row);
    advise->gridDblClick(nullptr);
    Dialogs().showModal(advise);
}

void CompletionController::PHPnetOnline1Click(QObject *)
{
    const QString address = OnlineManualWindow::LookupAddress(m_editor->wordAtCaret());
    OnlineManualWindow *help = m_manual;
    // The same word again shows the window as the user left it.
    if (address != m_lastLookup) {
        help->browser()->setUrlText(address);
        help->browser()->navigate(help->browser()->urlText());
        m_lastLookup = address;
    }
    Dialogs().showModal(help);
}

void CompletionController::ShowAdviceModal()
{
    Dialogs().showModal(m_advice);
}
