#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableWidget;

// The project's files as a list to jump to one of them: a search box that
// moves the current row to the first path containing the typed text, and the
// grid of relative paths (column 0) with the full path hidden beside them.
// Object name `form_files`.
class ProjectFilesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProjectFilesDialog)

public:
    ProjectFilesDialog();

    // Fills the grid: one row per (relative, full) pair; `currentRow` is made current.
    void setRows(const QList<QPair<QString, QString>> &rows, int currentRow);
    // The full path of the current row; empty when there is none.
    QString chosenPath() const;

    void Edit1Change();

    QLineEdit *Edit1 = nullptr;
    QTableWidget *grid = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
