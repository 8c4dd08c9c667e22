#pragma once

#include "app/controller.h"

#include <QList>
#include <QString>

// The messages panel under the editor: result rows of a run or of find in
// files. Column 0 is the text, 1 a file, 2 a 1-based line; rows with a file
// jump to that line.
class MessagesController final : public Controller {
    Q_OBJECT

public:
    MessagesController(MainWindow &window, Project &project, const MainWindowUi &ui,
                       const SecondaryWindows &windows);

    void ClearMessages();
    void AddMessage(const QString &text);
    // Many rows at once (find in files), as AddMessage and the cell writes
    // one after the other would leave them.
    struct MessageRow {
        QString text;
        QString file;
        QString line;
        QString match = {}; // where the match lies in the text: "column length"
    };
    void AddMessageRows(const QList<MessageRow> &rows);
    void ShowMessages();
    // Fills the panel with these found places and shows it; none leaves it as it is.
    void ShowFoundRows(const QList<MessageRow> &rows);
    void HideMessages();
    void messagesDblClick(QObject *Sender);
    void messagesKeyDown(int key, Qt::KeyboardModifiers shift);
    // Writes cell (column, row) of the messages grid.
    void SetMessageCell(int column, int row, const QString &text);
    QString MessageCell(int column, int row) const;
    // Takes out the row with this text and file; the grid keeps one row, emptied.
    void RemoveMessage(const QString &text, const QString &file);
    // Makes the panel `producer`'s: rows another command left there are
    // cleared first, so new rows never stand under older unrelated ones.
    void TakePanelFor(const QString &producer);
    // A file as the panel shows it: relative to the project's folder.
    QString DisplayPath(const QString &file) const;
    bool HasMessages() const;

signals:
    // The panel was cleared: whatever was filling it has lost it.
    void cleared();

private:
    void followProjectFolder();

    QString m_producer;
};
