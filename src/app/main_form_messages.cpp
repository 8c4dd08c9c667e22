// The messages panel under the editor: result rows of a run or of find in
// files. Column 0 is the text, 1 a file, 2 a 1-based line; rows with a file jump.
#include "app/main_form.h"

#include "editor/code_editor.h"

#include <QHeaderView>
#include <QSplitter>
#include "app/messages_grid.h"

void TMainForm::SetMessageCell(int column, int row, const QString &text)
{
    messages->setCell(column, row, text);
}

QString TMainForm::MessageCell(int column, int row) const
{
    return messages->cell(column, row);
}

void TMainForm::ClearMessages()
{
    // The grid keeps one row, emptied.
    messages->setRowCount(1);
    for (int column = 0; column < 3; ++column)
        SetMessageCell(column, 0, QString());
    messages->setColumnWidth(0, 2000);
    // Like any grid, the panel always has a current row for Enter to act on.
    messages->setCurrentCell(0, 0);
}

void TMainForm::AddMessage(const QString &text)
{
    if (!MessageCell(0, 0).isEmpty())
        messages->setRowCount(messages->rowCount() + 1);
    SetMessageCell(0, messages->rowCount() - 1, text);
}

void TMainForm::AddMessageRows(const QList<MessageRow> &rows)
{
    // The same result as AddMessage and the cell writes row by row, with the
    // grid grown once.
    qsizetype next = 0;
    while (next < rows.size() && MessageCell(0, 0).isEmpty()) {
        const MessageRow &row = rows.at(next++);
        AddMessage(row.text);
        const int last = messages->rowCount() - 1;
        SetMessageCell(1, last, row.file);
        SetMessageCell(2, last, row.line);
    }
    std::vector<MessagesModel::Row> added;
    added.reserve(size_t(rows.size() - next));
    for (; next < rows.size(); ++next)
        added.push_back({rows.at(next).text, rows.at(next).file, rows.at(next).line});
    messages->appendRows(std::move(added));
}

void TMainForm::ShowMessages()
{
    messages->show();
    messagessplitter->show();
    // Dock the splitter directly above the grid again.
    const QList<int> sizes = m_centre->sizes();
    if (sizes.size() == 2 && sizes.at(1) < 40)
        m_centre->setSizes({qMax(0, sizes.at(0) + sizes.at(1) - 81), 81});
}

void TMainForm::HideMessages()
{
    messages->hide();
    messagessplitter->hide();
}

void TMainForm::messagesDblClick(QObject *)
{
    const int row = messages->currentRow();
    if (row < 0)
        return;
    const QString text = MessageCell(0, row);
    const QString file = MessageCell(1, row);
    const QString lineText = MessageCell(2, row);
    if (file.isEmpty())
        return;
    OpenFileAtLine(file, true);
    bool ok = false;
    int line = lineText.toInt(&ok);
    if (!ok)
        line = 0;
    // Going past the line first leaves the target near the top of the view.
    re->setCaretLine(line + 20);
    re->setCaretLine(line);
    // A hit's text is the line's own text, selected after the jump; a php -l
    // row's text is a message, so nothing of the file is selected for it.
    if (m_lintRows.value(file) != text)
        re->extendSelection(text.size());
}

void TMainForm::messagesKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        messagesDblClick(nullptr);
}
