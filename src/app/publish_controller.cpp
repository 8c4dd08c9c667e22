// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
#include "app/publish_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/window_set.h"
#include "forms/project_options_dialog.h"
#include "foundation/ftp_connection.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/ftp_client.h"

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
    m_ui.StatusPanel1->setText(m_project.LogText);
    m_ui.ftplog->appendPlainText(m_project.LogText);
    // Long operations log as they go; let the window keep up with them.
    QCoreApplication::processEvents();
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
    m_ui.ftplog->appendPlainText(QString::number(bytesSoFar) + QStringLiteral(" bytes"));
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
    for (int i = 0; i < m_project.Files.Count(); ++i) {
        if (m_project.Files.Get(i)->Name == opened)
            return i;
    }
    // An entry spelt in another letter case counts only when it is the same
    // file on disk; here letter case tells files apart, and uploading the
    // other one would put stale text on the host.
    const int index = m_project.IndexOf(opened);
    if (index < 0)
        return -1;
    const QString entry = QFileInfo(m_project.Files.Get(index)->Name).canonicalFilePath();
    if (entry.isEmpty() || entry != QFileInfo(opened).canonicalFilePath())
        return -1;
    return index;
}

void PublishController::runPublish(int index)
{
    m_ui.ftppanel->show();
    // An error leaves at once and the panel keeps the failed run's log in view.
    m_project.PublishFiles(FTP(), index);
    m_ui.ftppanel->hide();
}
