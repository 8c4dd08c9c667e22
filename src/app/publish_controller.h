#pragma once

#include "app/controller.h"

#include <QtGlobal>

#include <memory>

class BatchedLog;
class FtpConnection;

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
    // Appends a transfer's byte count to the FTP log.
    void FTPWork(qint64 bytesSoFar);
    // The project's latest log line into the status line and the FTP log.
    void WorkspaceLogExecute();
    void PublishProgressExecute();

    FtpConnection &FTP();
    // Replaces the connection (tests shorten its time-out); not during a run.
    void SetFtpConnection(std::unique_ptr<FtpConnection> connection);

private:
    // Shows the FTP panel around one run of the publish engine.
    void runPublish(int index);
    // The current document's entry in the file list, or -1.
    int openedFileEntry() const;

    // The FTP log and the status line, caught up at a bounded rate.
    BatchedLog *publishLog();

    std::unique_ptr<FtpConnection> m_ftp;
    BatchedLog *m_publishLog = nullptr;
    // The last Project Options showing ended without OK.
    bool m_publishOptionsCancelled = false;
};
