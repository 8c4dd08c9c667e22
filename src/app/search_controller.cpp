// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces.
#include "app/search_controller.h"

#include "app/background_search.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "editor/find_replace_bar.h"
#include "forms/find_in_files_dialog.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/user_dialogs.h"
#include "project/code_indent.h"
#include "project/find_in_files.h"

#include <QTableWidget>

#include <algorithm>
#include <climits>

namespace {
// A search over by then shows its hits in one go, as if it had never waited.
constexpr int ShortSearchMs = 400;
// How often a long search's new hits reach the panel.
constexpr int PollMs = 100;
const BoolSetting MatchCase(QStringLiteral("FindInFilesMatchCase"), QStringLiteral("0"));
const BoolSetting WholeWord(QStringLiteral("FindInFilesWholeWord"), QStringLiteral("0"));
const BoolSetting RegularExpression(QStringLiteral("FindInFilesRegularExpression"),
                                    QStringLiteral("0"));
const QString FileMaskSetting = QStringLiteral("FindInFilesFileMask");
} // namespace

SearchController::SearchController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                   const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    m_findOptions.matchCase = MatchCase.ReadBool();
    m_findOptions.wholeWord = WholeWord.ReadBool();
    m_findOptions.regularExpression = RegularExpression.ReadBool();
    m_findOptions.fileMask = ReadSetting(FileMaskSetting, QString());
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] { RunGuarded([this] { takeFound(); }); });
    connect(ui.messages, &MessagesGrid::cancelRequested, this, [this] { CancelSearch(); });
}

SearchController::~SearchController() = default;

FindInFilesDialog &SearchController::findInFilesDialog()
{
    if (!m_dialog)
        m_dialog = new FindInFilesDialog(&m_window);
    return *m_dialog;
}

void SearchController::Find1Click(QObject *Sender)
{
    if (Sender) {
        const std::optional<QString> text = Dialogs().prompt(
            QStringLiteral("Search for"), QStringLiteral("Search for"), m_findText);
        if (!text)
            return;
        m_findText = *text;
    }
    // "Not found" is silent: the caret and selection simply stay.
    m_ui.re->searchForward(m_findText);
}

void SearchController::Searchagain1Click(QObject *)
{
    Find1Click(nullptr);
}

void SearchController::GotoLine1Click(QObject *)
{
    const std::optional<QString> text =
        Dialogs().prompt(QStringLiteral("Goto Line"), QStringLiteral("Line Number"), QString());
    if (!text)
        return;
    bool ok = false;
    const qlonglong number = text->toLongLong(&ok, 10);
    // The editor keeps the caret inside the text; huge numbers mean the last line.
    m_ui.re->setCaretLine(ok ? int(qBound(qlonglong(INT_MIN), number, qlonglong(INT_MAX))) : 0);
}

void SearchController::Findinfiles1Click(QObject *Sender)
{
    if (Sender) {
        FindInFilesDialog &form = findInFilesDialog();
        form.setText(m_findInFilesText);
        form.setOptions(m_findOptions);
        for (;;) {
            if (Dialogs().showModal(&form) != QDialog::Accepted)
                return;
            // A regular expression that cannot work is refused while the user still sees it.
            try {
                if (!form.options().isPlain())
                    form.options().pattern(form.text());
                break;
            } catch (const AppError &error) {
                Dialogs().showError(error.message());
            }
        }
        m_findInFilesText = form.text();
        m_findOptions = form.options();
        MatchCase.WriteBool(m_findOptions.matchCase);
        WholeWord.WriteBool(m_findOptions.wholeWord);
        RegularExpression.WriteBool(m_findOptions.regularExpression);
        WriteSetting(FileMaskSetting, m_findOptions.fileMask);
    }
    CancelSearch();
    m_window.messagePanel().ClearMessages();
    QStringList names;
    m_project.ListFileNames(names);
    m_matches = m_files = 0;
    m_binaryFiles = 0;
    m_lastFile = -1;
    m_skippedRows.clear();
    // The engine reads and searches every file on all cores. A short search
    // is over before the window shows anything; a long one shows its hits as
    // they come, with Cancel. An unreadable file gets a row saying so at the
    // end and the search goes on.
    m_search = std::make_unique<BackgroundSearch>(names, m_findInFilesText, m_findOptions);
    if (m_search->waitForEnd(ShortSearchMs)) {
        takeFound();
        return;
    }
    m_window.messagePanel().ShowMessages();
    showCount(Stage::Searching);
    m_poll.start();
}

bool SearchController::CancelSearch()
{
    if (!m_search)
        return false;
    m_search->cancel();
    m_poll.stop();
    m_search.reset();
    showCount(Stage::Cancelled);
    return true;
}

void SearchController::takeFound()
{
    if (!m_search)
        return;
    BackgroundSearch::Progress found = m_search->take();
    const QStringList &names = m_search->names();
    QList<MessagesController::MessageRow> rows;
    rows.reserve(qsizetype(found.lines.size()) + 1);
    for (const FoundLine &hit : found.lines) {
        rows.append(
            {hit.text, names.at(hit.file), QString::number(hit.line),
             hit.column < 0 ? QString() : QStringLiteral("%1 %2").arg(hit.column).arg(hit.length)});
        if (hit.file != m_lastFile)
            ++m_files;
        m_lastFile = hit.file;
    }
    m_matches += qsizetype(found.lines.size());
    m_binaryFiles += found.binaryFiles;
    for (const FileReadFailure &skipped : found.skipped)
        m_skippedRows.append(QStringLiteral("Skipped: ") + skipped.message);
    const bool finished = found.finished;
    if (finished) {
        if (m_binaryFiles > 0)
            rows.append({BinaryFilesNote(m_binaryFiles), QString(), QString()});
        for (const QString &skipped : m_skippedRows)
            rows.append({skipped, QString(), QString()});
        m_poll.stop();
        m_search.reset();
    }
    MessagesController &panel = m_window.messagePanel();
    if (!rows.isEmpty()) {
        const bool first = !panel.HasMessages();
        panel.ShowMessages();
        // The text fills what the file and line columns leave, 500 at the least.
        MessagesGrid *grid = m_ui.messages;
        grid->setColumnWidth(0, std::max(500, grid->viewport()->width() - grid->columnWidth(1) -
                                                  grid->columnWidth(2)));
        if (first)
            m_ui.messages->setFocus();
        panel.AddMessageRows(rows);
    }
    showCount(finished ? Stage::Done : Stage::Searching);
    if (found.failure)
        throw AppError(found.failure->message);
}

void SearchController::showCount(Stage stage)
{
    QString text =
        MatchCountText(m_matches, m_files) + QStringLiteral(" for \"%1\"").arg(m_findInFilesText);
    if (stage == Stage::Searching)
        text = QStringLiteral("Searching... ") + text;
    else if (stage == Stage::Cancelled)
        text += QStringLiteral(" (cancelled)");
    m_ui.messages->setHeading(text, stage == Stage::Searching);
}

void SearchController::Replace1Click(QObject *)
{
    m_ui.findBar->showReplace();
}

void SearchController::IndentCode1Click(QObject *)
{
    // One change of the whole text: time follows the document's size, and
    // the user can take the re-indent back with one undo.
    m_ui.re->replaceLineTexts(IndentLines(m_ui.re->lineTexts()));
}
