#pragma once

#include <QDialog>

// The online PHP manual. Opens maximised.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_help final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_help)

public:
    Tform_help();
};
