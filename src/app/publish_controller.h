#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>

#include <functional>
#include <memory>

class BatchedLog;
class BrowserFrame;
class FtpConnection;
struct PublishOptions;
class PasswordStore;
class Project;
class ProjectOptionsDialog;
class PublishPreviewDialog;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;
class RememberingHostTrust;

// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts, the gauge and the Cancel
// button of a run. Owns the FTP connection, one for the whole run, made at
// its first use.
//
// A run goes on in the background: the engine works on a thread of its own,
// over several sessions at once (the setting PublishConnections, 4 unless
// set), and hands its log and gauge to the window by a queue the window
// empties a few times a second. The editor stays usable meanwhile; commands
// that would start a second run or change the publish settings are refused
// until the run ends.
class PublishController final : public QObject {
    Q_OBJECT

public:
    // The main window's controls publishing works on: the FTP panel with its
    // log and gauge, the status line, and the preview whose address follows
    // the project's run address.
    struct Controls {
        QWidget *panel = nullptr;
        QPlainTextEdit *log = nullptr;
        QProgressBar *gauge = nullptr;
        QLabel *status = nullptr;
        BrowserFrame *preview = nullptr;
    };
    // The dialogs publishing shows, made after the main window: read at use.
    struct Windows {
        ProjectOptionsDialog *const &options;
        PublishPreviewDialog *const &preview;
    };
    // What publishing asks of the rest of the window.
    struct Asks {
        // The file of the last error a run reported (to suggest a mapping).
        std::function<QString()> lastReportedFile;
        // Saves the document before a publish of the current file.
        std::function<void()> saveDocument;
        // The project tree's selected node, and the entries under it.
        std::function<int()> selectedNode;
        std::function<QList<int>()> selectedEntries;
    };
    PublishController(Project &project, Controls controls, Windows windows, Asks asks);
    ~PublishController() override;

    void Publish1Click(QObject *Sender);
    void Publish2Click(QObject *Sender);
    void Publish3Click(QObject *Sender);
    void publishnowClick(QObject *Sender);
    // Publishes the given project entries (a folder's files) in one run.
    bool PublishEntries(const QList<int> &entries);
    // Sends only the files that are new or changed since the last publish.
    void PublishChanges1Click(QObject *Sender);
    // Shows what Publish Changes would send and skip, and why, before anything
    // is sent; publishes on the user's word.
    void PublishPreview1Click(QObject *Sender);
    // Lists each file as same, changed locally, changed on the host, only
    // local or only on the host, from a listing of the host, in the FTP log.
    void FTPCompare1Click(QObject *Sender);
    // Appends a transfer's byte count to the FTP log.
    void FTPWork(qint64 bytesSoFar);
    // The project's latest log line into the status line and the FTP log.
    void WorkspaceLogExecute();
    void PublishProgressExecute();
    // The FTP panel's Cancel button: the run stops after the files being
    // sent now; the log says what was and was not sent.
    void CancelPublishClick(QObject *Sender);

    // Fills the FTP panel's target chooser from the project's targets.
    void RefreshTargets();

    // True while a run is going on in the background.
    bool isPublishing() const;
    // Lets the user leave during a run: asks, then cancels it and waits for
    // it to end. False when the user would rather stay.
    bool SettleForExit();
    // Waits, processing the window's events, until no run is going on.
    void waitForRun();
    // The program is about to end on a signal: a run stops after the files
    // being sent now, so its record keeps what reached the host and no
    // temporary upload stays there, unless that takes longer than `graceMs`.
    void stopBeforeEnd(int graceMs);
    // Sessions a run uses at most: the setting PublishConnections.
    static int connectionCount();
    // The same for a run to `host`: fewer for a server on this machine.
    static int connectionCountFor(const QString &host);
    static constexpr int DefaultConnections = 4;

    FtpConnection &FTP();
    // Replaces the connection (tests shorten its time-out); not during a run.
    // A connection set here serves every protocol from then on.
    void SetFtpConnection(std::unique_ptr<FtpConnection> connection);
    // Replaces the desktop keyring (tests); nullptr goes back to it.
    void SetPasswordStore(std::unique_ptr<PasswordStore> store);
    PasswordStore &passwords();

    // Where the records of what each project last published are kept: beside
    // the user's settings.
    static QString RecordFolder();

signals:
    // A run started on its worker thread.
    void publishStarted();
    // A run ended, however it ended.
    void publishEnded();

private:
    class ActiveRun;
    // Shows the FTP panel and starts a run of the publish engine in the
    // background; false when it could not start.
    bool runPublish(int index, bool changesOnly = false, const QList<int> *only = nullptr);
    // Refuses, with a message, while a run goes on.
    bool refusedWhileRunning();
    // Takes what the run reported since the last time; at its end, reports
    // how it ended.
    void drainRun();
    void endRun();
    // A session like the run's own for each further connection of a run.
    std::function<std::unique_ptr<FtpConnection>()> connectionFactory();
    // With the project mirroring deletions, what a changes run over the
    // whole project (index -1) deletes on the host, from options.record.
    void planDeletions(int index, PublishOptions &options) const;
    // The connection for the project's protocol, set up for its TLS mode and
    // trust; a new one when the protocol changed.
    FtpConnection &connectionForRun();
    // Makes sure the password the run needs is at hand: read from the
    // keyring, or asked for. False when the user cancelled.
    bool readyPassword();
    // Moves a typed or loaded password into the keyring, as the project asks.
    // False, with the reason shown, when the keyring would not take it.
    bool keepPasswordInKeyring();
    QString keyringKey() const;
    // The current document's entry in the file list, or -1.
    int openedFileEntry() const;

    // The FTP log and the status line, caught up at a bounded rate.
    BatchedLog *publishLog();

    // Moves the gauge when the window next catches up, not once per file:
    // each move repainted the whole window at once.
    QTimer m_gaugeTimer;
    void showProgress();

    std::unique_ptr<FtpConnection> m_ftp;
    bool m_ftpGiven = false; // set by SetFtpConnection: used as it is
    std::unique_ptr<PasswordStore> m_passwords;
    std::unique_ptr<RememberingHostTrust> m_trust;
    BatchedLog *m_publishLog = nullptr;
    // The last Project Options showing ended without OK.
    bool m_publishOptionsCancelled = false;
    QPushButton *m_cancelButton = nullptr;
    QComboBox *m_targetBox = nullptr;
    bool m_comparing = false; // a host listing is going on
    // Asked on a run's thread: the question goes to the window's thread.
    bool confirmOverwrite(const QStringList &changedOnHost);
    std::unique_ptr<ActiveRun> m_run;
    QTimer m_drainTimer;

    Project &m_project;
    Controls m_controls;
    Windows m_windows;
    Asks m_asks;
};
