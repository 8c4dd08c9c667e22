// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
#include "app/publish_controller.h"

#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/remembering_host_trust.h"
#include "app/run_controller.h"
#include "app/window_set.h"
#include "forms/batched_log.h"
#include "forms/browser_frame.h"
#include "forms/project_options_dialog.h"
#include "forms/publish_preview_dialog.h"
#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "foundation/settings_store.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/ftp_client.h"
#include "net/keychain_password_store.h"
#include "net/sftp_client.h"
#include "project/php_error.h"
#include "project/publish.h"
#include "project/publish_exclusions.h"
#include "project/publish_record.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QUrl>

PublishController::PublishController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                     const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    m_ui.ftplog->setFont(QApplication::font());
    m_ui.ftplog->setStyleSheet(QStringLiteral("background: white; color: black;"));
    m_gaugeTimer.setSingleShot(true);
    m_gaugeTimer.setInterval(0);
    connect(&m_gaugeTimer, &QTimer::timeout, this, &PublishController::showProgress);
}

PublishController::~PublishController() = default;

QString PublishController::RecordFolder()
{
    return QFileInfo(IniSettingsStore::defaultFilePath()).absolutePath() +
           QStringLiteral("/published");
}

PasswordStore &PublishController::passwords()
{
    // Long enough for the user to type the keyring's own password when the
    // desktop asks for it; a keyring that never answers still ends in an error.
    if (!m_passwords)
        m_passwords = std::make_unique<KeychainPasswordStore>(std::chrono::seconds(60));
    return *m_passwords;
}

void PublishController::SetPasswordStore(std::unique_ptr<PasswordStore> store)
{
    m_passwords = std::move(store);
}

QString PublishController::keyringKey() const
{
    return KeychainPasswordStore::PublishPasswordKey(m_project.Ftp.Protocol, m_project.Ftp.User,
                                                     m_project.Ftp.Host);
}

bool PublishController::keepPasswordInKeyring()
{
    FtpSettings &ftp = m_project.Ftp;
    if (!ftp.PasswordInKeyring || ftp.KeyringHoldsPassword || ftp.Pass.isEmpty())
        return true;
    try {
        passwords().write(keyringKey(), ftp.Pass);
    } catch (const AppError &error) {
        // The project file keeps the password until the keyring takes it.
        Dialogs().showError(error.message() +
                            QStringLiteral("\n\nThe password stays in the project file."));
        return false;
    }
    ftp.KeyringHoldsPassword = true;
    return true;
}

bool PublishController::readyPassword()
{
    FtpSettings &ftp = m_project.Ftp;
    if (!ftp.PasswordInKeyring)
        return true;
    if (!ftp.Pass.isEmpty()) {
        keepPasswordInKeyring();
        return true;
    }
    std::optional<QString> kept;
    try {
        kept = passwords().read(keyringKey());
    } catch (const AppError &error) {
        m_project.Log(error.message());
    }
    if (kept) {
        ftp.Pass = *kept;
        ftp.KeyringHoldsPassword = true;
        return true;
    }
    // SFTP logs in with the user's keys as well; a password is only one way.
    if (ftp.isSftp())
        return true;
    const std::optional<QString> typed =
        Dialogs().promptSecret(QStringLiteral("FTP Password"),
                               QStringLiteral("Password of %1 at %2:").arg(ftp.User, ftp.Host));
    if (!typed)
        return false;
    ftp.Pass = *typed;
    keepPasswordInKeyring();
    return true;
}

FtpConnection &PublishController::connectionForRun()
{
    const FtpSettings &ftp = m_project.Ftp;
    if (!m_ftpGiven) {
        const bool sftp = ftp.isSftp();
        if (!m_ftp || (dynamic_cast<SftpClient *>(m_ftp.get()) != nullptr) != sftp) {
            if (sftp)
                m_ftp = std::make_unique<SftpClient>();
            else
                m_ftp = std::make_unique<FtpClient>();
            m_ftp->setWorkHandler([this](qint64 bytesSoFar) { FTPWork(bytesSoFar); });
        }
    }
    if (!m_trust)
        m_trust = std::make_unique<RememberingHostTrust>();
    if (auto *client = dynamic_cast<FtpClient *>(m_ftp.get())) {
        const std::optional<FtpTls> tls = FtpTlsFromText(ftp.Tls);
        if (!tls)
            throw AppError(QStringLiteral("The project asks for TLS \"%1\"; Project Options "
                                          "offers \"off\", \"when offered\" and \"required\".")
                               .arg(ftp.Tls));
        client->setTls(*tls);
        client->setHostTrust(m_trust.get());
        // Certificates name hosts, not ports: the client asks by host name.
        const QString hostName = QUrl(QStringLiteral("ftp://") + ftp.Host.trimmed()).host();
        client->setTrustedFingerprints(RememberingHostTrust::trustedCertificates(hostName));
    } else if (auto *client = dynamic_cast<SftpClient *>(m_ftp.get())) {
        client->setHostTrust(m_trust.get());
        // The home the desktop gives the program, so a session with its own
        // HOME has its own keys and known hosts.
        const QString ssh = QDir::homePath() + QStringLiteral("/.ssh");
        client->setSshFolder(ssh);
        client->setKnownHostsFile(ssh + QStringLiteral("/known_hosts"));
    }
    return *m_ftp;
}

void PublishController::WorkspaceLogExecute()
{
    // Status line and FTP log; the window catches up with them at most about
    // ten times a second, processing its pending events each time.
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
    if (!m_gaugeTimer.isActive())
        m_gaugeTimer.start();
}

void PublishController::showProgress()
{
    m_gaugeTimer.stop();
    m_ui.ftpprogress->setValue(m_project.Ftp.Progress);
}

FtpConnection &PublishController::FTP()
{
    return m_ftp ? *m_ftp : connectionForRun();
}

void PublishController::SetFtpConnection(std::unique_ptr<FtpConnection> connection)
{
    m_ftp = std::move(connection);
    m_ftpGiven = m_ftp != nullptr;
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
    ProjectOptions filled;
    filled.targets = m_project.PublishTargets();
    filled.chosenTarget = m_project.ChosenTarget();
    filled.runAddress = m_project.RunAddress;
    filled.databaseAddress = m_project.DatabaseAddress;
    filled.debugPort = m_project.Debug.Port;
    filled.pathMappings = m_project.Debug.Mappings;
    const SuggestedMapping suggestion =
        SuggestServerMapping(m_window.run().LastReportedFile(), m_project.RunAddress, m_project);
    form->setOptions(filled, suggestion.server.isEmpty()
                                 ? QString()
                                 : suggestion.server + QStringLiteral(" => ") + suggestion.local);
    m_publishOptionsCancelled = false;
    if (HasSwitch(QStringLiteral("autopublish")))
        return; // nothing was shown, so nothing changes
    ProjectOptions chosen;
    for (;;) {
        if (Dialogs().showModal(form) != QDialog::Accepted) {
            m_publishOptionsCancelled = true;
            return;
        }
        // A pattern that cannot work is refused while the user still sees it.
        QStringList problems;
        chosen = form->options(&problems);
        for (const FtpSettings &target : chosen.targets) {
            for (const QString &pattern : target.Exclude) {
                const QString problem = PublishExclusions::patternError(pattern);
                if (!problem.isEmpty())
                    problems << QStringLiteral("The exclusion pattern \"%1\" is not valid: %2.")
                                    .arg(pattern, problem);
            }
        }
        if (problems.isEmpty())
            break;
        Dialogs().showError(problems.join(u'\n'));
    }
    m_project.Debug.Port = chosen.debugPort;
    m_project.Debug.Mappings = chosen.pathMappings;
    const bool sameTarget = chosen.chosenTarget == m_project.ChosenTarget() &&
                            chosen.targets.size() == m_project.PublishTargets().size();
    const QString oldKey = keyringKey();
    const bool wasInKeyring = sameTarget && m_project.Ftp.PasswordInKeyring;
    // Texts exactly as typed: blanks may belong to a password. The dialog
    // already forgot that the keyring holds a password it saw changed.
    m_project.SetPublishTargets(chosen.targets, chosen.chosenTarget);
    FtpSettings &ftp = m_project.Ftp;
    m_project.DatabaseAddress = chosen.databaseAddress;
    if (chosen.runAddress != m_project.RunAddress) {
        m_project.RunAddress = chosen.runAddress;
        m_ui.WebPanel->setUrlText(m_project.RunAddress);
    }
    if (ftp.PasswordInKeyring) {
        if (!keepPasswordInKeyring())
            ftp.PasswordInKeyring = false;
    } else if (wasInKeyring && ftp.Pass.isEmpty()) {
        // Out of the keyring and back into the project file.
        try {
            if (const std::optional<QString> kept = passwords().read(oldKey))
                ftp.Pass = *kept;
        } catch (const AppError &error) {
            Dialogs().showError(error.message());
        }
        ftp.KeyringHoldsPassword = false;
    }
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
    m_window.documents().SaveFileClick(nullptr);
    const int index = openedFileEntry();
    if (index < 0)
        return;
    runPublish(index);
}

void PublishController::PublishChanges1Click(QObject *)
{
    runPublish(-1, true);
}

void PublishController::PublishPreview1Click(QObject *)
{
    PublishRecord record(
        PublishRecord::keyOf(m_project),
        PublishRecord::fileNameFor(RecordFolder(), PublishRecord::keyOf(m_project)));
    record.load();
    PublishOptions options;
    options.changesOnly = true;
    options.record = &record;
    planDeletions(-1, options);
    const QList<PublishStep> steps = m_project.PlanPublish(-1, options);
    QList<PublishPreviewDialog::Row> rows;
    rows.reserve(options.deletions.size() + steps.size());
    for (const HostDeletion &deletion : options.deletions)
        rows.append({false, QString(), deletion.remotePath,
                     QStringLiteral("delete (%1)").arg(deletion.reason), 0, true});
    for (const PublishStep &step : steps) {
        QString reason = step.describe();
        if (!record.problem().isEmpty() && step.action == PublishStep::Action::SendNew)
            reason += QStringLiteral(" (the record of the last publish could not be used)");
        rows.append({step.sends(), step.localPath, step.remotePath, reason,
                     std::max<qint64>(step.size, 0)});
    }
    PublishPreviewDialog *form = m_windows.publishPreviewDialog;
    form->setPlan(m_project.Ftp.Host + m_project.Ftp.Folder, rows);
    if (Dialogs().showModal(form) == QDialog::Accepted)
        runPublish(-1, true);
}

void PublishController::planDeletions(int index, PublishOptions &options) const
{
    // Only a run over the whole project knows what the project no longer has.
    if (index != -1 || !m_project.Ftp.MirrorDeletions || !options.record)
        return;
    options.mirrorDeletions = true;
    options.deletions = PlanHostDeletions(m_project, *options.record);
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

void PublishController::runPublish(int index, bool changesOnly)
{
    if (!readyPassword())
        return;
    FtpConnection &connection = connectionForRun();
    // Every run keeps the record of what the host acknowledged, so Publish
    // Changes after a full publish sends only what changed since.
    const QString key = PublishRecord::keyOf(m_project);
    PublishRecord record(key, PublishRecord::fileNameFor(RecordFolder(), key));
    record.load();
    PublishOptions options;
    options.changesOnly = changesOnly;
    options.record = &record;
    if (changesOnly)
        planDeletions(index, options);
    m_ui.ftppanel->show();
    const int firstLine = publishLog()->lineCount();
    // An error leaves at once and the panel keeps the failed run's log in
    // view; after a run that left files out, from its first failure on.
    try {
        m_project.PublishFiles(connection, index, options);
    } catch (const PublishIncomplete &) {
        showProgress();
        publishLog()->showFirst(firstLine, QStringLiteral("!!!"));
        throw;
    } catch (...) {
        showProgress();
        publishLog()->flush();
        throw;
    }
    showProgress();
    publishLog()->flush();
    m_ui.ftppanel->hide();
}
