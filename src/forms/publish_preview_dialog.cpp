#include "forms/publish_preview_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { ActionColumn, FileColumn, RemoteColumn, ReasonColumn, ColumnCount };
}

PublishPreviewDialog::PublishPreviewDialog()
{
    setObjectName(QStringLiteral("form_publish_preview"));
    setWindowTitle(QStringLiteral("Publish Preview"));
    resize(760, 420);

    summarylabel = new QLabel(this);
    summarylabel->setObjectName(QStringLiteral("summarylabel"));
    summarylabel->setWordWrap(true);

    planview = new QTableWidget(0, ColumnCount, this);
    planview->setObjectName(QStringLiteral("planview"));
    planview->setHorizontalHeaderLabels({QStringLiteral("Action"), QStringLiteral("File"),
                                         QStringLiteral("On the host"), QStringLiteral("Why")});
    planview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    planview->setSelectionBehavior(QAbstractItemView::SelectRows);
    planview->verticalHeader()->hide();
    planview->horizontalHeader()->setStretchLastSection(true);
    planview->setWordWrap(false);

    publishbutton = new QPushButton(QStringLiteral("&Publish"), this);
    publishbutton->setObjectName(QStringLiteral("publishbutton"));
    closebutton = new QPushButton(QStringLiteral("Close"), this);
    closebutton->setObjectName(QStringLiteral("closebutton"));
    closebutton->setDefault(true);
    connect(publishbutton, &QPushButton::clicked, this, &QDialog::accept);
    connect(closebutton, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(publishbutton);
    buttons->addWidget(closebutton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summarylabel);
    layout->addWidget(planview, 1);
    layout->addLayout(buttons);
}

void PublishPreviewDialog::setPlan(const QString &target, const QList<Row> &rows)
{
    planview->setUpdatesEnabled(false);
    planview->clearContents();
    planview->setRowCount(static_cast<int>(rows.size()));
    int sending = 0;
    int deleting = 0;
    qint64 bytes = 0;
    for (int i = 0; i < rows.size(); ++i) {
        const Row &row = rows.at(i);
        if (row.send) {
            ++sending;
            bytes += row.bytes;
        }
        if (row.remove)
            ++deleting;
        const QString cells[ColumnCount] = {row.remove ? QStringLiteral("Delete on host")
                                            : row.send ? QStringLiteral("Send")
                                                       : QStringLiteral("Skip"),
                                            row.file, row.remote, row.reason};
        for (int column = 0; column < ColumnCount; ++column)
            planview->setItem(i, column, new QTableWidgetItem(cells[column]));
    }
    planview->resizeColumnsToContents();
    planview->setUpdatesEnabled(true);

    const int skipped = static_cast<int>(rows.size()) - sending - deleting;
    const auto files = [](int count) {
        return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
    };
    summarylabel->setText(
        QStringLiteral("%1 to send (%2), %3%4 skipped. Target: %5")
            .arg(files(sending))
            .arg(QLocale().formattedDataSize(bytes))
            .arg(deleting > 0 ? files(deleting) + QStringLiteral(" to delete on the host, ")
                              : QString())
            .arg(skipped)
            .arg(target));
    publishbutton->setEnabled(sending > 0 || deleting > 0);
    planview->setFocus();
}

QString PublishPreviewDialog::summary() const
{
    return summarylabel->text();
}
