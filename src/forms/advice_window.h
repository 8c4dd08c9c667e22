#pragma once

#include "project/manual_index.h"

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QTableView;
class ManualIndexModel;
class BrowserFrame;

// The PHP manual advice: shows the local manual page of the entry highlighted
// in the completion list. It holds the manual index (hidden `grid`: the
// function name and the file name of every page, in the folder's order) that
// completion offers its names from, a hidden `searched` box the completion
// writes the highlighted entry into, and a browser frame without address bar.
// Frameless and on top; it sees keys before its controls: Esc closes it, Enter
// shows the current row's page. 751 by 580 at the screen's top-left corner
// until the completion first places it.
// Object name `form_advise`.
class AdviceWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AdviceWindow)

public:
    AdviceWindow();
    ~AdviceWindow() override;

    // Lists the manual folder into `grid`; the current row becomes the first.
    // Throws AppError naming the folder when it cannot be listed.
    void BuildManualIndex();
    bool indexBuilt() const { return m_built; }
    // Column 0 of every row, in order: the completion entries.
    QStringList indexNames() const;
    const QList<ManualEntry> &index() const { return m_index; }
    // The folder the index was built from.
    QString folder() const { return m_folder; }

    int currentRow() const;
    // Makes `row` current; only a real change counts as a click on the grid.
    void setCurrentRow(int row);
    // The "file://" address of a row's page.
    QString pageAddress(int row) const;

    // Shows the window over `area` without taking the focus from the window
    // the user is typing in.
    void showPassively(const QRect &area);

    // Handlers; Sender nullptr is the program's own call.
    void FormShow(QObject *Sender);
    void searchedChange(QObject *Sender);
    void gridClick(QObject *Sender);
    void gridDblClick(QObject *Sender);
    void FormKeyDown(QObject *Sender, int Key, Qt::KeyboardModifiers Shift);

    // The hidden box the completion writes the highlighted name into; the
    // grid follows it.
    QString searchedText() const;
    void setSearchedText(const QString &text);
    // The manual page of the current row.
    BrowserFrame *browser() const { return frame_browser1; }

    QTableView *grid;
    // The hidden file list of the manual folder, as last listed.
    QStringList fl;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *searched;
    BrowserFrame *frame_browser1;
    ManualIndexModel *m_model;
    QList<ManualEntry> m_index;
    QString m_folder;
    bool m_built = false;
    bool m_filtering = false;
};
