#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// Environment options: the one program setting the user can change. The
// caller loads the setting into the dialog, shows it and stores it on OK.
// Object name `OptionsForm`.
class EnvironmentOptionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EnvironmentOptionsDialog)

public:
    EnvironmentOptionsDialog();

    void setActivateOnReturn(bool on);
    bool activateOnReturn() const;

    QCheckBox *ActivateOnReturnBox;
    QPushButton *OkButton;
    QPushButton *CancelButton;
};
