#pragma once

#include <QDialog>

// The functions declared in the current document.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_function_list final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_function_list)

public:
    Tform_function_list();
};
