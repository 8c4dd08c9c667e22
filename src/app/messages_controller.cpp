// The messages panel under the editor: result rows of a run or of find in
// files. Column 0 is the text, 1 a file, 2 a 1-based line; rows with a file jump.
#include "app/messages_controller.h"

#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_grid.h"
#include "app/server_controller.h"
#include "editor/code_editor.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <QSplitter>

#include <algorithm>

namespace {
const QString PanelHeightSetting = QStringLiteral("MessagesHeight");
} // namespace

MessagesController::MessagesController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                       const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    MessagesGrid *grid = m_ui.messages;
    connect(grid, &MessagesGrid::cellDoubleClicked, this,
            [this, grid] { RunGuarded([this, grid] { messagesDblClick(grid); }); });
    followProjectFolder();
    // The height the user gives the panel is kept for the next start.
    connect(m_ui.centre, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_ui.centre->sizes();
        if (m_ui.messages->isVisible() && sizes.size() == 2 && sizes.at(1) >= 40)
            WriteSetting(PanelHeightSetting, QString::number(sizes.at(1)));
    });
}

void MessagesController::SetMessageCell(int column, int row, const QString &text)
{
    m_ui.messages->setCell(column, row, text);
}

QString MessagesController::MessageCell(int column, int row) const
{
    return m_ui.messages->cell(column, row);
}

void MessagesController::ClearMessages()
{
    // The grid keeps one row, emptied.
    m_ui.messages->setRowCount(1);
    for (int column = 0; column < 4; ++column)
        SetMessageCell(column, 0, QString());
    m_ui.messages->setColumnWidth(0, 2000);
    m_ui.messages->setHeading(QString(), false);
    m_ui.messages->fitLocationColumns();
    m_producer.clear();
    emit cleared();
    // Like any grid, the panel always has a current row for Enter to act on.
    m_ui.messages->setCurrentCell(0, 0);
}

void MessagesController::AddMessage(const QString &text)
{
    if (!MessageCell(0, 0).isEmpty())
        m_ui.messages->setRowCount(m_ui.messages->rowCount() + 1);
    SetMessageCell(0, m_ui.messages->rowCount() - 1, text);
}

void MessagesController::AddMessageRows(const QList<MessageRow> &rows)
{
    // The same result as AddMessage and the cell writes row by row, with the
    // grid grown once.
    qsizetype next = 0;
    while (next < rows.size() && MessageCell(0, 0).isEmpty()) {
        const MessageRow &row = rows.at(next++);
        AddMessage(row.text);
        const int last = m_ui.messages->rowCount() - 1;
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
    const bool first = m_ui.messages->rowCount() <= 1;
    m_ui.messages->appendRows(std::move(added));
    followProjectFolder();
    if (first || m_ui.messages->rowCount() < 1000)
        m_ui.messages->fitLocationColumns();
}

void MessagesController::TakePanelFor(const QString &producer)
{
    if (producer != m_producer && HasMessages())
        ClearMessages();
    m_producer = producer;
}

bool MessagesController::HasMessages() const
{
    return m_ui.messages->rowCount() > 1 || !MessageCell(0, 0).isEmpty();
}

QString MessagesController::DisplayPath(const QString &file) const
{
    const_cast<MessagesController *>(this)->followProjectFolder();
    return m_ui.messages->displayPath(file);
}

void MessagesController::followProjectFolder()
{
    m_ui.messages->setBaseFolder(
        m_project.FileName.isEmpty() ? QString() : ProjectFolderOf(m_project.FileName));
}

void MessagesController::RemoveMessage(const QString &text, const QString &file)
{
    for (int row = m_ui.messages->rowCount() - 1; row >= 0; --row) {
        if (MessageCell(0, row) != text || MessageCell(1, row) != file)
            continue;
        if (m_ui.messages->rowCount() > 1) {
            m_ui.messages->removeRow(row);
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
    m_ui.messages->show();
    m_ui.messagessplitter->show();
    // Dock the splitter directly above the grid again, as high as it was left.
    const QList<int> sizes = m_ui.centre->sizes();
    if (sizes.size() == 2 && sizes.at(1) < 40) {
        const int height = std::clamp(ReadSetting(PanelHeightSetting, QStringLiteral("81")).toInt(),
                                      40, std::max(40, sizes.at(0) + sizes.at(1) - 40));
        m_ui.centre->setSizes({qMax(0, sizes.at(0) + sizes.at(1) - height), height});
    }
}

void MessagesController::HideMessages()
{
    m_ui.messages->hide();
    m_ui.messagessplitter->hide();
}

void MessagesController::messagesDblClick(QObject *)
{
    const int row = m_ui.messages->currentRow();
    if (row < 0)
        return;
    const QString text = MessageCell(0, row);
    const QString file = MessageCell(1, row);
    const QString lineText = MessageCell(2, row);
    if (file.isEmpty())
        return;
    m_window.documents().OpenFileAtLine(file, true);
    bool ok = false;
    int line = lineText.toInt(&ok);
    if (!ok)
        line = 0;
    // Going past the line first leaves the target near the top of the view.
    m_ui.re->setCaretLine(line + 20);
    m_ui.re->setCaretLine(line);
    // A php -l row's text is a message, so nothing of the file is selected for it.
    if (m_window.server().IsLintRow(file, text))
        return;
    // A hit selects its match. The text is the line without the blanks and
    // codes at its ends, so the match lies past the line's own indentation.
    const QStringList match = MessageCell(3, row).split(u' ');
    bool columnOk = false, lengthOk = false;
    const int column = match.value(0).toInt(&columnOk);
    const int length = match.value(1).toInt(&lengthOk);
    if (columnOk && lengthOk && line >= 1 && line <= m_ui.re->lineCount()) {
        const QString lineText = m_ui.re->lineText(line - 1);
        qsizetype lead = 0;
        while (lead < lineText.size() && lineText.at(lead).unicode() <= 32)
            ++lead;
        const QString before = lineText.left(lead + column);
        const QString matched = lineText.mid(lead + column, length);
        const long start = m_ui.re->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE,
                                                  static_cast<unsigned long>(line - 1)) +
                           long(before.toUtf8().size());
        const long end = start + long(matched.toUtf8().size());
        m_ui.re->SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(start), end);
        return;
    }
    m_ui.re->extendSelection(text.size());
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
    m_ui.messages->setColumnWidth(0, 500);
    AddMessageRows(rows);
}
