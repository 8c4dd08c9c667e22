#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

// Project Options: the project's FTP host, user, password and folder on one
// "FTP settings" page. The caller fills the four edits, shows the dialog and
// copies the edits back on OK; the dialog itself holds no settings, so it is
// built once and reused for every opening. The password is shown as typed.
// Object name `form_publish`.
class ProjectOptionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProjectOptionsDialog)

public:
    ProjectOptionsDialog();

    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLineEdit *hostedit;
    QLineEdit *useredit;
    QLineEdit *passedit;
    QLineEdit *folderedit;
    QPushButton *Button1;
    QPushButton *Button2;
};
