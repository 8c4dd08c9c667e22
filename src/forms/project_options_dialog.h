#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

// Project Options: the project's FTP host, user, password and folder on the
// "FTP settings" page; the protocol, the TLS mode, the keyring choice and the
// exclusion patterns on a second page, "Security and exclusions"; the run and
// database addresses on a third, "Addresses". The caller
// fills the controls, shows the dialog and reads them back on OK; the dialog
// itself holds no settings, so it is built once and reused for every opening.
// The password is shown as typed. Object name `form_publish`.
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

    QWidget *TabSheet2;
    QLabel *protocollabel;
    QComboBox *protocolbox; // FTP or SFTP
    QLabel *tlslabel;
    QComboBox *tlsbox; // "off", "when offered", "required"; FTP only
    QCheckBox *keyringbox;
    QLabel *excludelabel;
    QPlainTextEdit *excludeedit; // one pattern per line
    QLabel *excludehint;

    QWidget *TabSheet3; // "Addresses"
    QLabel *runlabel;
    QLineEdit *runedit;
    QLabel *databaselabel;
    QLineEdit *databaseedit;
    QLabel *addresshint;
    // "Debugging": the port Listen for Debugger waits on and the server
    // folders that the project's folders are known by on another server.
    QWidget *TabSheet4;
    QLabel *debugportlabel;
    QSpinBox *debugportedit;
    QLabel *pathmaplabel;
    QPlainTextEdit *pathmapedit; // "server folder => local folder", one a line

    // The values as the project file keeps them. A value the boxes do not
    // know is shown as it is and given back unchanged unless the user picks
    // another; an unchanged choice gives back the very text it was filled
    // with, so opening and confirming the dialog changes no setting.
    void setProtocol(const QString &protocol); // "" or "ftp": FTP; "sftp": SFTP
    QString protocol() const;
    void setTls(const QString &tls); // "" means off
    QString tls() const;
    void setPasswordInKeyring(bool inKeyring);
    bool passwordInKeyring() const;
    // One pattern per line; blank lines are dropped, the rest kept as typed.
    void setExcludePatterns(const QStringList &patterns);
    QStringList excludePatterns() const;
    // One "server => local" pair per line; without pairs the box holds
    // `suggestion` for the user to keep, edit or clear.
    void setPathMappings(const QList<QPair<QString, QString>> &mappings, const QString &suggestion);
    // The pairs as typed; lines without "=>" or with an empty side are
    // named in `problems`.
    QList<QPair<QString, QString>> pathMappings(QStringList *problems = nullptr) const;

private:
    void updateTlsEnabled();

    QString m_filledProtocol;
    int m_filledProtocolIndex = -1;
    QString m_filledTls;
    int m_filledTlsIndex = -1;
};
