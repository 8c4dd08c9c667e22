#include "forms/project_files_dialog.h"

#include "editor/desktop_fonts.h"
#include "forms/ok_cancel_row.h"
#include "forms/window_placement.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

ProjectFilesDialog::ProjectFilesDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_files"));
    setWindowTitle(QStringLiteral("Project Files"));
    resize(335, 390);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    grid = new QTableWidget(1, 2, this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setShowGrid(false);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(18);
    // Column 1 (the full path) lies beyond the right edge on purpose.
    grid->horizontalHeader()->setDefaultSectionSize(80000);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->setFont(CodeFont(10));
    grid->setWordWrap(false);

    const OkCancelRow row =
        MakeOkCancelRow(this, QStringLiteral("Button1"), QStringLiteral("Button2"),
                        /*skippedByTab=*/true);
    Button1 = row.ok;
    Button2 = row.cancel;
    QHBoxLayout *buttons = row.layout;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Edit1);
    layout->addWidget(grid, 1);
    layout->addLayout(buttons);

    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
    Edit1->installEventFilter(this);
    grid->installEventFilter(this);
}

void ProjectFilesDialog::setRows(const QList<QPair<QString, QString>> &rows, int currentRow)
{
    grid->clearContents();
    // An empty project still shows one empty row.
    grid->setRowCount(qMax<int>(1, rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        grid->setItem(i, 0, new QTableWidgetItem(rows.at(i).first));
        grid->setItem(i, 1, new QTableWidgetItem(rows.at(i).second));
    }
    if (currentRow >= 0 && currentRow < grid->rowCount())
        grid->setCurrentCell(currentRow, 0);
}

QString ProjectFilesDialog::chosenPath() const
{
    const QTableWidgetItem *cell = grid->item(grid->currentRow(), 1);
    return cell ? cell->text() : QString();
}

void ProjectFilesDialog::Edit1Change()
{
    const QString text = Edit1->text();
    if (text.isEmpty())
        return;
    for (int row = 0; row < grid->rowCount(); ++row) {
        const QTableWidgetItem *cell = grid->item(row, 0);
        if (cell && cell->text().contains(text, Qt::CaseSensitive)) {
            grid->setCurrentCell(row, 0);
            grid->scrollToItem(cell);
            return;
        }
    }
}

void ProjectFilesDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
    Edit1->clear();
    Edit1->setFocus();
}

bool ProjectFilesDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The dialog sees keys before its controls: arrows go to the list, F4 leaves.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Down || key == Qt::Key_Up) && watched == Edit1) {
            grid->setFocus();
            return false;
        }
        if (key == Qt::Key_F4) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
