#pragma once

#include <QDialog>

// The list of the project's files, for jumping to one of them.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_files final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_files)

public:
    Tform_files();
};
