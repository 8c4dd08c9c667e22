#include "forms/ok_cancel_row.h"

#include "foundation/handler_guard.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

OkCancelRow MakeOkCancelRow(QDialog *dialog, const QString &okName, const QString &cancelName,
                            bool skippedByTab)
{
    OkCancelRow row;
    row.ok = new QPushButton(QStringLiteral("OK"), dialog);
    row.ok->setObjectName(okName);
    row.ok->setDefault(true);
    row.cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    row.cancel->setObjectName(cancelName);
    if (skippedByTab) {
        row.ok->setFocusPolicy(Qt::ClickFocus);
        row.cancel->setFocusPolicy(Qt::ClickFocus);
    }
    SetClickHandler(row.ok, [dialog](QObject *) { dialog->accept(); });
    SetClickHandler(row.cancel, [dialog](QObject *) { dialog->reject(); });
    row.layout = new QHBoxLayout;
    row.layout->addStretch(1);
    row.layout->addWidget(row.ok);
    row.layout->addWidget(row.cancel);
    return row;
}
