#pragma once

#include <QDialog>

// The local server's database administration page. Opens maximised.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_run2 final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_run2)

public:
    Tform_run2();
};
