// The messages panel under the editor: result rows of a run or of find in
// files. Column 0 is the text, 1 a file, 2 a 1-based line; rows with a file jump.
#include "app/messages_controller.h"

#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <QSplitter>

#include <algorithm>
#include <utility>

namespace {
const QString PanelHeightSetting = QStringLiteral("MessagesHeight");
} // namespace

MessagesController::MessagesController(Project &project, MessagesGrid *grid, QSplitter *centre,
                                       QWidget *splitter, CodeEditor *editor,
                                       MessageRowTest isMessageRow, OpenFile openFile)
    : m_project(project), m_grid(grid), m_centre(centre), m_splitter(splitter), m_editor(editor),
      m_isMessageRow(std::move(isMessageRow)), m_openFile(std::move(openFile))
{
    connect(grid, &MessagesGrid::cellDoubleClicked, this,
            [this, grid] { RunGuarded([this, grid] { messagesDblClick(grid); }); });
    followProjectFolder();
    // The height the user gives the panel is kept for the next start.
    connect(m_centre, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_centre->sizes();
        if (m_grid->isVisible() && sizes.size() == 2 && sizes.at(1) >= 40)
            WriteSetting(PanelHeightSetting, QString::number(sizes.at(1)));
    });
}

void MessagesController::SetMessageCell(int column, int row, const QString &text)
{
    m_grid->setCell(column, row, text);
}

QString MessagesController::MessageCell(int column, int row) const
{
    return m_grid->cell(column, row);
}

void MessagesController::ClearMessages()
{
    // The grid keeps one row, emptied.
    m_grid->setRowCount(1);
    for (int column = 0; column < 4; ++column)
        SetMessageCell(column, 0, QString());
    m_grid->setColumnWidth(0, 2000);
    m_grid->setHeading(QString(), false);
    m_grid->fitLocationColumns();
    m_producer.clear();
    emit cleared();
    // Like any grid, the panel always has a current row for Enter to act on.
    m_grid->setCurrentCell(0, 0);
}

void MessagesController::AddMessage(const QString &text)
{
    if (!MessageCell(0, 0).isEmpty())
        m_grid->setRowCount(m_grid->rowCount() + 1);
    SetMessageCell(0, m_grid->rowCount() - 1, text);
}

void MessagesController::AddMessageRows(const QList<MessageRow> &rows)
{
    // The same result as AddMessage and the cell writes row by row, with the
    // grid grown once.
    qsizetype next = 0;
    while (next < rows.size() && MessageCell(0, 0).isEmpty()) {
        const MessageRow &row = rows.at(next++);
        AddMessage(row.text);
        const int last = m_grid->rowCount() - 1;
        SetMessageCell(1, last, row.file);
        SetMessageCell(2, last, row.line);
        SetMessageCell(3, last, row.match);
    }
    std::vector<MessagesModel::Row> added;
    added.reserve(size_t(rows.size() - next));
    for (; next < rows.size(); ++next) {
        const MessageRow &row = rows.at(next);
        added.push_back({row.text, row.file, row.line, row.match});
    }
    const bool first = m_grid->rowCount() <= 1;
    m_grid->appendRows(std::move(added));
    followProjectFolder();
    if (first || m_grid->rowCount() < 1000)
        m_grid->fitLocationColumns();
}

void MessagesController::TakePanelFor(const QString &producer)
{
    if (producer != m_producer && HasMessages())
        ClearMessages();
    m_producer = producer;
}

bool MessagesController::HasMessages() const
{
    return m_grid->rowCount() > 1 || !MessageCell(0, 0).isEmpty();
}

QString MessagesController::DisplayPath(const QString &file) const
{
    const_cast<MessagesController *>(this)->followProjectFolder();
    return m_grid->displayPath(file);
}

void MessagesController::followProjectFolder()
{
    m_grid->setBaseFolder(m_project.FileName.isEmpty() ? QString()
                                                       : ProjectFolderOf(m_project.FileName));
}

void MessagesController::RemoveMessage(const QString &text, const QString &file)
{
    for (int row = m_grid->rowCount() - 1; row >= 0; --row) {
        if (MessageCell(0, row) != text || MessageCell(1, row) != file)
            continue;
        if (m_grid->rowCount() > 1) {
            m_grid->removeRow(row);
        } else {
            for (int column = 0; column < 3; ++column)
                SetMessageCell(column, row, QString());
        }
        return;
    }
}

void MessagesController::ShowMessages()
{
    followProjectFolder();
    m_grid->show();
    m_splitter->show();
    // Dock the splitter directly above the grid again, as high as it was left.
    const QList<int> sizes = m_centre->sizes();
    if (sizes.size() == 2 && sizes.at(1) < 40) {
        const int height = std::clamp(ReadSetting(PanelHeightSetting, QStringLiteral("81")).toInt(),
                                      40, std::max(40, sizes.at(0) + sizes.at(1) - 40));
        m_centre->setSizes({qMax(0, sizes.at(0) + sizes.at(1) - height), height});
    }
}

void MessagesController::HideMessages()
{
    m_grid->hide();
    m_splitter->hide();
}

void MessagesController::messagesDblClick(QObject *)
{
    const int row = m_grid->currentRow();
    if (row < 0)
        return;
    const QString text = MessageCell(0, row);
    const QString file = MessageCell(1, row);
    const QString lineText = MessageCell(2, row);
    if (file.isEmpty())
        return;
    m_openFile(file);
    bool ok = false;
    int line = lineText.toInt(&ok);
    if (!ok)
        line = 0;
    // Going past the line first leaves the target near the top of the view.
    m_editor->setCaretLine(line + 20);
    m_editor->setCaretLine(line);
    // A php -l row's text is a message, so nothing of the file is selected for it.
    if (m_isMessageRow && m_isMessageRow(file, text))
        return;
    // A hit selects its match. The text is the line without the blanks and
    // codes at its ends, so the match lies past the line's own indentation.
    const QStringList match = MessageCell(3, row).split(u' ');
    bool columnOk = false, lengthOk = false;
    const int column = match.value(0).toInt(&columnOk);
    const int length = match.value(1).toInt(&lengthOk);
    if (columnOk && lengthOk && line >= 1 && line <= m_editor->lineCount()) {
        const QString lineText = m_editor->lineText(line - 1);
        qsizetype lead = 0;
        while (lead < lineText.size() && lineText.at(lead).unicode() <= 32)
            ++lead;
        const QString before = lineText.left(lead + column);
        const QString matched = lineText.mid(lead + column, length);
        const long start = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE,
                                                   static_cast<unsigned long>(line - 1)) +
                           long(before.toUtf8().size());
        const long end = start + long(matched.toUtf8().size());
        m_editor->SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(start), end);
        return;
    }
    m_editor->extendSelection(text.size());
}

void MessagesController::messagesKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        messagesDblClick(nullptr);
}

void MessagesController::ShowFoundRows(const QList<MessageRow> &rows)
{
    if (rows.isEmpty())
        return; // the status line says why
    ClearMessages();
    ShowMessages();
    m_grid->setColumnWidth(0, 500);
    AddMessageRows(rows);
}
