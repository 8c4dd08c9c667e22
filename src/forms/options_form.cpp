#include "forms/options_form.h"

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

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ActivateOnReturnBox);
    layout->addStretch();
    layout->addLayout(buttons);

    setFixedSize(384, 179);
    CentreOnScreen(this);
}

void TOptionsForm::setActivateOnReturn(bool on) { ActivateOnReturnBox->setChecked(on); }

bool TOptionsForm::activateOnReturn() const { return ActivateOnReturnBox->isChecked(); }
