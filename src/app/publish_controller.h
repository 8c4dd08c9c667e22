#pragma once

#include "app/controller.h"

#include <QTimer>
#include <QtGlobal>

#include <memory>

class BatchedLog;
class FtpConnection;
struct PublishOptions;
class PasswordStore;
class RememberingHostTrust;

// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
// Owns the FTP connection, one for the whole run, made at its first use.
class PublishController final : public Controller {
    Q_OBJECT

public:
    PublishController(MainWindow &window, Project &project, const MainWindowUi &ui,
                      const SecondaryWindows &windows);
    ~PublishController() override;

    void Publish1Click(QObject *Sender);
    void Publish2Click(QObject *Sender);
    void Publish3Click(QObject *Sender);
    void publishnowClick(QObject *Sender);
    // Sends only the files that are new or changed since the last publish.
    void PublishChanges1Click(QObject *Sender);
    // Shows what Publish Changes would send and skip, and why, before anything
    // is sent; publishes on the user's word.
    void PublishPreview1Click(QObject *Sender);
    // Appends a transfer's byte count to the FTP log.
    void FTPWork(qint64 bytesSoFar);
    // The project's latest log line into the status line and the FTP log.
    void WorkspaceLogExecute();
    void PublishProgressExecute();

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

private:
    // Shows the FTP panel around one run of the publish engine.
    void runPublish(int index, bool changesOnly = false);
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
};
