#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the application title in large letters, the version and a
// one-line description. The texts are set when the window is built, so the
// application title must be set before.
class TAboutForm final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutForm)

public:
    TAboutForm();

    QLabel *TitleLabel;
    QLabel *VersionLabel;
    QLabel *DescriptionLabel;
    QPushButton *OkButton;
};
