#pragma once

#include <QDialog>

// The Run window: shows the project's page after a run without errors. Opens maximised.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_run final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_run)

public:
    Tform_run();
};
