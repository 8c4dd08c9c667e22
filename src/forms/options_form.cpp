#include "forms/options_form.h"

#include "forms/dialog_buttons.h"
#include "forms/window_placement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TOptionsForm::TOptionsForm() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Environment Options"));

    ActivateOnReturnBox = new QCheckBox(
        QStringLiteral("set focus on text editor on <ENTER> in project manager"), this);
    ActivateOnReturnBox->setObjectName(QStringLiteral("ActivateOnReturnBox"));
    StartPhpServerBox = new QCheckBox(
        QStringLiteral("start PHP's built-in server for a local run address"), this);
    StartPhpServerBox->setObjectName(QStringLiteral("StartPhpServerBox"));

    const OkCancelRow row = MakeOkCancelRow(this, QStringLiteral("OkButton"), QStringLiteral("CancelButton"));
    OkButton = row.ok;
    CancelButton = row.cancel;
    QHBoxLayout *buttons = row.layout;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ActivateOnReturnBox);
    layout->addWidget(StartPhpServerBox);
    layout->addStretch();
    layout->addLayout(buttons);

    setFixedSize(384, 179);
    CentreOnScreen(this);
}

void TOptionsForm::setActivateOnReturn(bool on) { ActivateOnReturnBox->setChecked(on); }

bool TOptionsForm::activateOnReturn() const { return ActivateOnReturnBox->isChecked(); }

void TOptionsForm::setStartPhpServer(bool on) { StartPhpServerBox->setChecked(on); }

bool TOptionsForm::startPhpServer() const { return StartPhpServerBox->isChecked(); }
