// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces.
#include "app/search_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "editor/find_replace_bar.h"
#include "foundation/errors.h"
#include "foundation/user_dialogs.h"
#include "project/code_indent.h"
#include "project/find_in_files.h"

#include <QTableWidget>

#include <climits>

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
        const std::optional<QString> text = Dialogs().prompt(
            QStringLiteral("Search in files"), QStringLiteral("Search for"), m_findInFilesText);
        if (!text)
            return;
        m_findInFilesText = *text;
    }
    m_window.ClearMessages();
    QStringList names;
    m_project.ListFileNames(names);
    // The engine reads and searches every file on all cores; the rows go to
    // the panel in one step. An unreadable file gets a row saying so and
    // the search goes on.
    const FindInFilesResult result = FindInFiles(names, m_findInFilesText);
    QList<MessagesController::MessageRow> rows;
    rows.reserve(qsizetype(result.lines.size()) + 1);
    for (const FoundLine &found : result.lines)
        rows.append({found.text, names.at(found.file), QString::number(found.line)});
    if (result.binaryFiles > 0)
        rows.append({BinaryFilesNote(result.binaryFiles), QString(), QString()});
    for (const FileReadFailure &skipped : result.skipped)
        rows.append({QStringLiteral("Skipped: ") + skipped.message, QString(), QString()});
    if (!rows.isEmpty()) {
        m_window.messagePanel().ShowMessages();
        m_ui.messages->setColumnWidth(0, 500);
        m_ui.messages->setFocus();
        m_window.messagePanel().AddMessageRows(rows);
    }
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
