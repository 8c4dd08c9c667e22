#include "forms/environment_options_dialog.h"

#include "forms/ok_cancel_row.h"
#include "forms/window_placement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

EnvironmentOptionsDialog::EnvironmentOptionsDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Environment Options"));

    ActivateOnReturnBox = new QCheckBox(
        QStringLiteral("set focus on text editor on <ENTER> in project manager"), this);
    ActivateOnReturnBox->setObjectName(QStringLiteral("ActivateOnReturnBox"));
    StartPhpServerBox =
        new QCheckBox(QStringLiteral("start PHP's built-in server for a local run address"), this);
    StartPhpServerBox->setObjectName(QStringLiteral("StartPhpServerBox"));
    SaveOnLeaveBox =
        new QCheckBox(QStringLiteral("save a named document silently when leaving it"), this);
    SaveOnLeaveBox->setObjectName(QStringLiteral("SaveOnLeaveBox"));

    const OkCancelRow row =
        MakeOkCancelRow(this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"));
    OkButton = row.ok;
    CancelButton = row.cancel;
    QHBoxLayout *buttons = row.layout;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ActivateOnReturnBox);
    layout->addWidget(StartPhpServerBox);
    layout->addWidget(SaveOnLeaveBox);
    layout->addStretch();
    layout->addLayout(buttons);

    setFixedSize(384, 179);
    CentreOnScreen(this);
}

void EnvironmentOptionsDialog::setActivateOnReturn(bool on)
{
    ActivateOnReturnBox->setChecked(on);
}

bool EnvironmentOptionsDialog::activateOnReturn() const
{
    return ActivateOnReturnBox->isChecked();
}

void EnvironmentOptionsDialog::setStartPhpServer(bool on)
{
    StartPhpServerBox->setChecked(on);
}

bool EnvironmentOptionsDialog::startPhpServer() const
{
    return StartPhpServerBox->isChecked();
}

void EnvironmentOptionsDialog::setSaveOnLeave(bool on)
{
    SaveOnLeaveBox->setChecked(on);
}

bool EnvironmentOptionsDialog::saveOnLeave() const
{
    return SaveOnLeaveBox->isChecked();
}
