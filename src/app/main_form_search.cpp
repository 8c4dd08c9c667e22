// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces.
#include "app/main_form.h"
#include "app/messages_grid.h"

#include "editor/code_editor.h"
#include "foundation/user_dialogs.h"
#include "project/code_indent.h"
#include "foundation/errors.h"
#include "project/find_in_files.h"

#include <QTableWidget>
#include <climits>

void TMainForm::Find1Click(QObject *Sender)
{
    if (Sender) {
        const std::optional<QString> text =
            Dialogs().prompt(QStringLiteral("Search for"), QStringLiteral("Search for"), m_findText);
        if (!text)
            return;
        m_findText = *text;
    }
    // "Not found" is silent: the caret and selection simply stay.
    re->searchForward(m_findText);
}

void TMainForm::Searchagain1Click(QObject *)
{
    Find1Click(nullptr);
}

void TMainForm::GotoLine1Click(QObject *)
{
    const std::optional<QString> text =
        Dialogs().prompt(QStringLiteral("Goto Line"), QStringLiteral("Line Number"), QString());
    if (!text)
        return;
    bool ok = false;
    const qlonglong number = text->toLongLong(&ok, 10);
    // The editor keeps the caret inside the text; huge numbers mean the last line.
    re->setCaretLine(ok ? int(qBound(qlonglong(INT_MIN), number, qlonglong(INT_MAX))) : 0);
}

void TMainForm::Findinfiles1Click(QObject *Sender)
{
    if (Sender) {
        const std::optional<QString> text = Dialogs().prompt(
            QStringLiteral("Search in files"), QStringLiteral("Search for"), m_findInFilesText);
        if (!text)
            return;
        m_findInFilesText = *text;
    }
    ClearMessages();
    QStringList names;
    Project.ListFileNames(names);
    // The engine reads and searches every file on all cores; the rows go to
    // the panel in one step. An unreadable file ends the search with its
    // error after the rows of the files before it.
    const FindInFilesResult result = FindInFiles(names, m_findInFilesText);
    QList<MessageRow> rows;
    rows.reserve(qsizetype(result.lines.size()) + 1);
    for (const FoundLine &found : result.lines)
        rows.append({found.text, names.at(found.file), QString::number(found.line)});
    if (result.binaryFiles > 0)
        rows.append({BinaryFilesNote(result.binaryFiles), QString(), QString()});
    if (!rows.isEmpty()) {
        ShowMessages();
        messages->setColumnWidth(0, 500);
        messages->setFocus();
        AddMessageRows(rows);
    }
    if (result.failure)
        throw AppError(result.failure->message);
}

void TMainForm::IndentCode1Click(QObject *)
{
    const int count = re->lineCount();
    QStringList lines;
    lines.reserve(count);
    for (int line = 0; line < count; ++line)
        lines.append(re->lineText(line));
    const QStringList indented = IndentLines(lines);

    int caretLine = 0;
    int caretIndex = 0;
    re->getCursorPosition(&caretLine, &caretIndex);
    for (int line = 0; line < count; ++line) {
        if (indented.at(line) != lines.at(line))
            re->replaceLine(line, indented.at(line));
    }
    // Lines above the caret changed length: put it back on its line and column.
    re->setCursorPosition(caretLine, qMin(caretIndex, int(re->lineText(caretLine).size())));
}
