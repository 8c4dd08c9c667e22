#pragma once

#include "project/project.h"

#include <QDialog>
#include <QList>
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

// Everything Project Options edits, as the project keeps it.
struct ProjectOptions {
    // The publish targets and the one publishing uses; at least one.
    QList<FtpSettings> targets{FtpSettings{}};
    int chosenTarget = 0;
    FtpSettings &ftp() { return targets[chosenTarget]; }
    const FtpSettings &ftp() const { return targets.at(chosenTarget); }
    QString runAddress;
    QString databaseAddress;
    int debugPort = DebugSettings::DefaultPort;
    QList<DebugSettings::Mapping> pathMappings;
};

// Project Options: the project's publish targets, each with its FTP host,
// user, password and folder, on the "FTP settings" page (the target shown
// there when OK is pressed is the one publishing uses); the protocol, the TLS mode, the keyring
// choice and the exclusion patterns on a second page, "Security and exclusions"; the run and
// database addresses on a third, "Addresses"; the debugger's port and path
// mappings on a fourth. The caller fills it with setOptions, shows it and
// reads options() back on OK; the controls are its own, so it is built once
// and reused for every opening. The password is shown as typed. Object name
// `form_publish`; its controls keep their object names for the test driver.
class ProjectOptionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProjectOptionsDialog)

public:
    ProjectOptionsDialog();

    // Fills every control. Values the boxes do not know are shown as they
    // are and given back unchanged unless the user picks another; unchanged
    // choices give back the very texts they were filled with, so opening and
    // confirming the dialog changes no setting. Without path mappings the
    // mapping box holds `mappingSuggestion` for the user to keep, edit or clear.
    void setOptions(const ProjectOptions &options, const QString &mappingSuggestion = {});
    // What the controls hold now, texts exactly as typed; exclusion patterns
    // without blank lines. Mapping lines without "=>" or with an empty side
    // are left out and named in `problems`.
    ProjectOptions options(QStringList *problems = nullptr) const;

private:
    void setProtocol(const QString &protocol); // "" or "ftp": FTP; "sftp": SFTP
    QString protocol() const;
    void setTls(const QString &tls); // "" means off
    QString tls() const;
    void setExcludePatterns(const QStringList &patterns);
    QStringList excludePatterns() const;
    void setPathMappings(const QList<DebugSettings::Mapping> &mappings, const QString &suggestion);
    QList<DebugSettings::Mapping> pathMappings(QStringList *problems) const;

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

    void updateTlsEnabled();
    // Shows target `index` in the controls and the target box.
    void showTarget(int index);
    // The target shown, as its controls hold it now.
    FtpSettings shownTarget() const;
    void addTarget();
    void removeTarget();
    // The target box's text for target `index`.
    QString targetText(int index) const;

    // "Publishing": what a publish does beyond sending files, per target.
    QWidget *TabSheet5;
    QCheckBox *mirrorbox;
    QLabel *mirrorhint;
    QLabel *filemodelabel;
    QLineEdit *filemodeedit; // octal, empty: as the server makes them
    QLabel *foldermodelabel;
    QLineEdit *foldermodeedit;
    QCheckBox *keeptimesbox;

    QLabel *targetlabel;
    QComboBox *targetbox; // editable: its text is the shown target's name
    QPushButton *targetnewbutton;
    QPushButton *targetremovebutton;

    QList<FtpSettings> m_targets; // as filled, and as left when another is shown
    int m_shown = 0;
    bool m_switching = false; // the target box changes because of us
    QString m_filledProtocol;
    int m_filledProtocolIndex = -1;
    QString m_filledTls;
    int m_filledTlsIndex = -1;
};
