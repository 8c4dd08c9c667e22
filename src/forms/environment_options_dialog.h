#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// Environment options: the program settings the user can change. The caller
// loads the settings into the dialog, shows it and stores them on OK.
// Object name `OptionsForm`.
class EnvironmentOptionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EnvironmentOptionsDialog)

public:
    EnvironmentOptionsDialog();

    void setActivateOnReturn(bool on);
    bool activateOnReturn() const;
    void setStartPhpServer(bool on);
    bool startPhpServer() const;
    void setSaveOnLeave(bool on);
    bool saveOnLeave() const;

    QCheckBox *ActivateOnReturnBox;
    QCheckBox *StartPhpServerBox;
    QCheckBox *SaveOnLeaveBox;
    QPushButton *OkButton;
    QPushButton *CancelButton;
};
