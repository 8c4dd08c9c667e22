#pragma once

#include <QDialog>

// The project's FTP publishing settings.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_publish final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_publish)

public:
    Tform_publish();
};
