// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces.
#include "app/main_window.h"
#include "app/messages_grid.h"

#include "editor/code_editor.h"
#include "foundation/user_dialogs.h"
#include "project/code_indent.h"
#include "project/source_text.h"

#include <QTableWidget>
#include <climits>

void MainWindow::Find1Click(QObject *Sender)
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

void MainWindow::Searchagain1Click(QObject *)
{
    Find1Click(nullptr);
}

void MainWindow::GotoLine1Click(QObject *)
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

void MainWindow::Findinfiles1Click(QObject *Sender)
{
    if (Sender) {
        const std::optional<QString> text = Dialogs().prompt(
            QStringLiteral("Search in files"), QStringLiteral("Search for"), m_findInFilesText);
        if (!text)
            return;
        m_findInFilesText = *text;
    }
    ClearMessages();
    const LineNeedle needle(m_findInFilesText);
    if (needle.matchesNothing())
        return;

    bool shown = false;
    // Rows appear file by file as they are found; an unreadable file stops
    // the search with its error and leaves the rows found before it.
    QList<MessageRow> rows;
    for (int index = 0; index < m_project.Files.Count(); ++index) {
        const QString name = m_project.Files.Get(index)->Name;
        const QByteArray bytes = ReadSourceFile(name);
        FindMatchingLines(bytes, needle, [&](int line, const QString &text) {
            rows.append({TrimControls(text), name, QString::number(line)});
        });
        if (rows.isEmpty())
            continue;
        if (!shown) {
            ShowMessages();
            messages->setColumnWidth(0, 500);
            messages->setFocus();
            shown = true;
        }
        AddMessageRows(rows);
        rows.clear();
    }
}

void MainWindow::IndentCode1Click(QObject *)
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
