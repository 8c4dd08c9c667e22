// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces.
#include "app/search_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "foundation/user_dialogs.h"
#include "project/code_indent.h"
#include "project/source_text.h"

#include <QTableWidget>
#include <climits>

void SearchController::Find1Click(QObject *Sender)
{
    if (Sender) {
        const std::optional<QString> text =
            Dialogs().prompt(QStringLiteral("Search for"), QStringLiteral("Search for"), m_findText);
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
    const LineNeedle needle(m_findInFilesText);
    if (needle.matchesNothing())
        return;

    bool shown = false;
    // Rows appear file by file as they are found; an unreadable file stops
    // the search with its error and leaves the rows found before it.
    QList<MessagesController::MessageRow> rows;
    for (int index = 0; index < m_project.Files.Count(); ++index) {
        const QString name = m_project.Files.Get(index)->Name;
        const QByteArray bytes = ReadSourceFile(name);
        FindMatchingLines(bytes, needle, [&](int line, const QString &text) {
            rows.append({TrimControls(text), name, QString::number(line)});
        });
        if (rows.isEmpty())
            continue;
        if (!shown) {
            m_window.messagePanel().ShowMessages();
            m_ui.messages->setColumnWidth(0, 500);
            m_ui.messages->setFocus();
            shown = true;
        }
        m_window.messagePanel().AddMessageRows(rows);
        rows.clear();
    }
}

void SearchController::IndentCode1Click(QObject *)
{
    const int count = m_ui.re->lineCount();
    QStringList lines;
    lines.reserve(count);
    for (int line = 0; line < count; ++line)
        lines.append(m_ui.re->lineText(line));
    const QStringList indented = IndentLines(lines);

    int caretLine = 0;
    int caretIndex = 0;
    m_ui.re->getCursorPosition(&caretLine, &caretIndex);
    for (int line = 0; line < count; ++line) {
        if (indented.at(line) != lines.at(line))
            m_ui.re->replaceLine(line, indented.at(line));
    }
    // Lines above the caret changed length: put it back on its line and column.
    m_ui.re->setCursorPosition(caretLine, qMin(caretIndex, int(m_ui.re->lineText(caretLine).size())));
}
