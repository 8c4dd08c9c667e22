#pragma once

#include <QDialog>

// The functions declared in all of the project's files.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_all_functions final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_all_functions)

public:
    Tform_all_functions();
};
