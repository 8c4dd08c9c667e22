#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QPainter;
class QPushButton;
class QRect;
class QStyleOptionViewItem;
class QTableView;
class FunctionFilterModel;

// The project functions list: every declaration line of the project with its
// file, filtered as the user types and sorted in the list's own order. It
// lives for the whole run, so the filter text and the chosen row carry over
// from one showing to the next. The complete list (`grid`) is kept as data;
// only the filtered rows (`filter_grid`) are shown, through a model, so that
// tens of thousands of rows fill and filter without building a cell each.
// Object name `form_all_functions`.
class ProjectFunctionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProjectFunctionsDialog)

public:
    ProjectFunctionsDialog();
    ~ProjectFunctionsDialog() override;

    // The hidden complete list: column 0 the declaration line, column 1 the
    // file name. It always has at least one row; cleared, it is one empty row.
    struct Grid {
        QStringList lines;
        QStringList files;
        int rowCount() const { return int(lines.size()); }
        QString cell(int column, int row) const;
    };

    // Clears `grid` to one empty row.
    void clearRows();
    // Fills `grid` with one row per line (one empty row when there are none).
    void setRows(const QStringList &lines, const QStringList &files);

    // Sorts, filters, makes the first row whose line equals `line` current
    // (when `line` is not empty) and shows the window modally; the result code.
    int ShowWithSelection(const QString &line);
    void SortRows();
    // Rebuilds `filter_grid` from `grid` and the filter text.
    void search_editChange(QObject *Sender);
    // Draws one cell of `filter_grid`: the text 2 pixels in from the cell's
    // corner, clipped, file names past 20 characters cut to their end.
    void filter_gridDrawCell(QPainter *painter, int column, int row, const QRect &rect,
                             const QStyleOptionViewItem &state) const;
    void filter_gridDblClick(QObject *Sender);
    void FormActivate(QObject *Sender);
    // F2 cancels; Up and Down in the filter box move into the list.
    // Returns true when the key was used.
    bool FormKeyDown(QObject *Sender, int key, Qt::KeyboardModifiers shift);

    // `filter_grid` read back: its rows, cells and current row.
    int filterRowCount() const;
    QString filterCell(int column, int row) const;
    int currentRow() const;
    void setCurrentRow(int row);

    // A file-name cell's text: "..." and the last 17 characters past 20.
    static QString FileNameCellText(const QString &name);

    Grid grid;
    QLineEdit *search_edit = nullptr;
    QTableView *filter_grid = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FunctionFilterModel *m_model = nullptr;
};
