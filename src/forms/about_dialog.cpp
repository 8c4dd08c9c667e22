#include "forms/about_dialog.h"

#include "editor/desktop_fonts.h"
#include "forms/window_placement.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));

    TitleLabel = new QLabel(ApplicationTitle(), this);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    QFont big = ScaledUiFont(2.4);
    big.setBold(true);
    TitleLabel->setFont(big);

    VersionLabel = new QLabel(QStringLiteral(QUILLSTONE_VERSION " beta"), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));

    DescriptionLabel = new QLabel(QStringLiteral("php web design environment"), this);
    DescriptionLabel->setObjectName(QStringLiteral("DescriptionLabel"));

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    SetClickHandler(OkButton, [this](QObject *) { accept(); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TitleLabel);
    layout->addWidget(VersionLabel);
    layout->addWidget(DescriptionLabel);
    layout->addStretch();
    layout->addLayout(buttons);

    setFixedSize(sizeHint().expandedTo(QSize(364, 191)));
    CentreOnScreen(this);
}
