#include "forms/file_functions_dialog.h"

#include "editor/desktop_fonts.h"
#include "forms/window_placement.h"
#include "foundation/handler_guard.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

FileFunctionsDialog::FileFunctionsDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_function_list"));
    setWindowTitle(QStringLiteral("Function List"));
    resize(568, 402);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setFont(CodeFont(10));
    ListBox1->setUniformItemSizes(true);
    ListBox1->setFixedWidth(457);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 8, 0);
    layout->addWidget(ListBox1);
    layout->addLayout(buttons);

    SetClickHandler(Button1, [this](QObject *) { accept(); });
    SetClickHandler(Button2, [this](QObject *) { reject(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this,
            [this] { ListBox1DblClick(ListBox1); });
}

void FileFunctionsDialog::setLines(const QStringList &lines)
{
    ListBox1->clear();
    for (const QString &line : lines) {
        auto *item = new QListWidgetItem(line);
        item->setSizeHint(QSize(0, 16));
        ListBox1->addItem(item);
    }
    ListBox1->setCurrentRow(-1);
}

QStringList FileFunctionsDialog::lines() const
{
    QStringList lines;
    for (int row = 0; row < ListBox1->count(); ++row)
        lines.append(ListBox1->item(row)->text());
    return lines;
}

bool FileFunctionsDialog::hasSelection() const
{
    return ListBox1->currentItem() && ListBox1->currentItem()->isSelected();
}

QString FileFunctionsDialog::selectedText() const
{
    return hasSelection() ? ListBox1->currentItem()->text() : QString();
}

void FileFunctionsDialog::selectRow(int row)
{
    ListBox1->setCurrentRow(row);
}

void FileFunctionsDialog::ListBox1DblClick(QObject *)
{
    accept();
}

void FileFunctionsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    MoveToScreenTopLeft(this);
    ListBox1->setFocus();
}
