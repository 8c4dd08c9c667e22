#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the application title in large letters, the version and a
// one-line description. The texts are set when the window is built, so the
// application title must be set before.
// Object name `AboutForm`.
class AboutDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutDialog)

public:
    AboutDialog();

    QLabel *TitleLabel;
    QLabel *VersionLabel;
    QLabel *DescriptionLabel;
    QPushButton *OkButton;
};
