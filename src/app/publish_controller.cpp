// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
#include "app/publish_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/window_set.h"
#include "forms/batched_log.h"
#include "forms/project_options_dialog.h"
#include "foundation/ftp_connection.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/ftp_client.h"
#include "project/publish.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>

PublishController::PublishController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                     const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    m_ui.ftplog->setFont(font);
    m_ui.ftplog->setStyleSheet(QStringLiteral("background: white; color: black;"));
}

PublishController::~PublishController() = default;

void PublishController::WorkspaceLogExecute()
{
    // Status line and FTP log; the window catches up with them at most about
    // twenty times a second, processing its pending events each time.
    publishLog()->add(m_project.LogText, true);
}

BatchedLog *PublishController::publishLog()
{
    if (!m_publishLog)
        m_publishLog = new BatchedLog(m_ui.ftplog, m_ui.StatusPanel1, this);
    return m_publishLog;
}

void PublishController::PublishProgressExecute()
{
    m_ui.ftpprogress->setValue(m_project.Ftp.Progress);
}

FtpConnection &PublishController::FTP()
{
    if (!m_ftp)
        SetFtpConnection(std::make_unique<FtpClient>());
    return *m_ftp;
}

void PublishController::SetFtpConnection(std::unique_ptr<FtpConnection> connection)
{
    m_ftp = std::move(connection);
    if (m_ftp)
        m_ftp->setWorkHandler([this](qint64 bytesSoFar) { FTPWork(bytesSoFar); });
}

void PublishController::FTPWork(qint64 bytesSoFar)
{
    publishLog()->add(QString::number(bytesSoFar) + QStringLiteral(" bytes"), false);
}

void PublishController::Publish1Click(QObject *)
{
    ProjectOptionsDialog *form = m_windows.projectOptionsDialog;
    form->useredit->setText(m_project.Ftp.User);
    form->hostedit->setText(m_project.Ftp.Host);
    form->passedit->setText(m_project.Ftp.Pass);
    form->folderedit->setText(m_project.Ftp.Folder);
    m_publishOptionsCancelled = false;
    if (!HasSwitch(QStringLiteral("autopublish"))) {
        if (Dialogs().showModal(form) != QDialog::Accepted) {
            m_publishOptionsCancelled = true;
            return;
        }
    }
    // Exactly as typed: blanks may belong to a password.
    m_project.Ftp.User = form->useredit->text();
    m_project.Ftp.Host = form->hostedit->text();
    m_project.Ftp.Pass = form->passedit->text();
    m_project.Ftp.Folder = form->folderedit->text();
}

void PublishController::Publish2Click(QObject *)
{
    runPublish(-1);
}

void PublishController::Publish3Click(QObject *)
{
    if (m_project.Ftp.Host.trimmed().isEmpty()) {
        Publish1Click(nullptr);
        if (m_publishOptionsCancelled)
            return;
    }
    m_window.SaveFileClick(nullptr);
    const int index = openedFileEntry();
    if (index < 0)
        return;
    runPublish(index);
}

void PublishController::publishnowClick(QObject *)
{
    const int index = m_window.projectTree().SelectedNode();
    if (index < 0)
        return;
    runPublish(index);
}

int PublishController::openedFileEntry() const
{
    const QString &opened = m_project.OpenedFile;
    if (opened.isEmpty())
        return -1;
    // Letter case tells files apart: an entry spelt otherwise is another file.
    return m_project.IndexOf(opened);
}

void PublishController::runPublish(int index)
{
    m_ui.ftppanel->show();
    const int firstLine = publishLog()->lineCount();
    // An error leaves at once and the panel keeps the failed run's log in
    // view; after a run that left files out, from its first failure on.
    try {
        m_project.PublishFiles(FTP(), index);
    } catch (const PublishIncomplete &) {
        publishLog()->showFirst(firstLine, QStringLiteral("!!!"));
        throw;
    } catch (...) {
        publishLog()->flush();
        throw;
    }
    publishLog()->flush();
    m_ui.ftppanel->hide();
}
