#pragma once

#include <QString>

class QDialog;
class QHBoxLayout;
class QPushButton;

// The row of "OK" (default, accepts) and "Cancel" (rejects) at the bottom
// right of a dialog, with the buttons' component names. Buttons that the
// Tab key skips take the focus only by click.
struct OkCancelRow {
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
    QHBoxLayout *layout = nullptr;
};
OkCancelRow MakeOkCancelRow(QDialog *dialog, const QString &okName, const QString &cancelName,
                            bool skippedByTab = false);
