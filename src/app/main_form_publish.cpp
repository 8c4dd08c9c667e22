// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
#include "app/main_form.h"

#include "app/application.h"
#include "forms/batched_log.h"
#include "forms/form_publish.h"
#include "foundation/ftp_connection.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/ftp_client.h"
#include "project/publish.h"

#include <QDialog>
#include <QFileInfo>
#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>

void TMainForm::setUpPublishing()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    ftplog->setFont(font);
    ftplog->setStyleSheet(QStringLiteral("background: white; color: black;"));
}

FtpConnection &TMainForm::FTP()
{
    if (!m_ftp)
        SetFtpConnection(std::make_unique<FtpClient>());
    return *m_ftp;
}

void TMainForm::SetFtpConnection(std::unique_ptr<FtpConnection> connection)
{
    m_ftp = std::move(connection);
    if (m_ftp)
        m_ftp->setWorkHandler([this](qint64 bytesSoFar) { FTPWork(bytesSoFar); });
}

BatchedLog *TMainForm::publishLog()
{
    if (!m_publishLog)
        m_publishLog = new BatchedLog(ftplog, StatusPanel1, this);
    return m_publishLog;
}

void TMainForm::FTPWork(qint64 bytesSoFar)
{
    publishLog()->add(QString::number(bytesSoFar) + QStringLiteral(" bytes"), false);
}

void TMainForm::Publish1Click(QObject *)
{
    Tform_publish *form = m_windows->form_publish;
    form->useredit->setText(Project.Ftp.User);
    form->hostedit->setText(Project.Ftp.Host);
    form->passedit->setText(Project.Ftp.Pass);
    form->folderedit->setText(Project.Ftp.Folder);
    m_publishOptionsCancelled = false;
    if (!HasSwitch(QStringLiteral("autopublish"))) {
        if (Dialogs().showModal(form) != QDialog::Accepted) {
            m_publishOptionsCancelled = true;
            return;
        }
    }
    // Exactly as typed: blanks may belong to a password.
    Project.Ftp.User = form->useredit->text();
    Project.Ftp.Host = form->hostedit->text();
    Project.Ftp.Pass = form->passedit->text();
    Project.Ftp.Folder = form->folderedit->text();
}

void TMainForm::Publish2Click(QObject *)
{
    runPublish(-1);
}

void TMainForm::Publish3Click(QObject *)
{
    if (Project.Ftp.Host.trimmed().isEmpty()) {
        Publish1Click(nullptr);
        if (m_publishOptionsCancelled)
            return;
    }
    SaveFileClick(nullptr);
    const int index = openedFileEntry();
    if (index < 0)
        return;
    runPublish(index);
}

void TMainForm::publishnowClick(QObject *)
{
    const int index = SelectedNode();
    if (index < 0)
        return;
    runPublish(index);
}

int TMainForm::openedFileEntry() const
{
    const QString &opened = Project.OpenedFile;
    if (opened.isEmpty())
        return -1;
    for (int i = 0; i < Project.Files.Count(); ++i) {
        if (Project.Files.Get(i)->Name == opened)
            return i;
    }
    // An entry spelt in another letter case counts only when it is the same
    // file on disk; here letter case tells files apart, and uploading the
    // other one would put stale text on the host.
    const int index = Project.IndexOf(opened);
    if (index < 0)
        return -1;
    const QString entry = QFileInfo(Project.Files.Get(index)->Name).canonicalFilePath();
    if (entry.isEmpty() || entry != QFileInfo(opened).canonicalFilePath())
        return -1;
    return index;
}

void TMainForm::runPublish(int index)
{
    ftppanel->show();
    const int firstLine = publishLog()->lineCount();
    // An error leaves at once and the panel keeps the failed run's log in
    // view; after a run that left files out, from its first failure on.
    try {
        Project.PublishFiles(FTP(), index);
    } catch (const PublishIncomplete &) {
        publishLog()->showFirst(firstLine, QStringLiteral("!!!"));
        throw;
    } catch (...) {
        publishLog()->flush();
        throw;
    }
    publishLog()->flush();
    ftppanel->hide();
}
