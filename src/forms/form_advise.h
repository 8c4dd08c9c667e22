#pragma once

#include <QDialog>

// The PHP manual advice shown beside the completion list: a frameless window that stays on top at the screen's top-left corner.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_advise final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_advise)

public:
    Tform_advise();
};
