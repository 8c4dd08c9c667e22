#pragma once

#include <QDialog>

// The page of a run shown as text. Opens maximised.
// For now the window exists with its caption and name; its content is
// still to come.
class Tform_run_text final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_run_text)

public:
    Tform_run_text();
};
