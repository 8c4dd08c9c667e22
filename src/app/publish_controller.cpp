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
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "net/ftp_client.h"
#include "net/keychain_password_store.h"
#include "net/sftp_client.h"
#include "project/php_error.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_exclusions.h"
#include "project/publish_record.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <mutex>
#include <thread>

namespace {
// How often the window takes what a run reported.
constexpr int DrainMs = 50;

// Asks the window's trust from a run's thread: the question is put on the
// window's thread, and the run waits for the answer.
class WindowThreadTrust final : public HostTrust {
public:
    WindowThreadTrust(QObject *window, HostTrust &trust) : m_window(window), m_trust(trust) {}
    bool trustCertificate(const QString &host, const QString &fingerprint,
                          const QString &problem) override
    {
        return ask([&] { return m_trust.trustCertificate(host, fingerprint, problem); });
    }
    bool trustHostKey(const QString &host, const QString &fingerprint,
                      const QString &problem) override
    {
        return ask([&] { return m_trust.trustHostKey(host, fingerprint, problem); });
    }

private:
    bool ask(const std::function<bool()> &question)
    {
        if (QThread::currentThread() == m_window->thread())
            return question();
        bool answer = false;
        QMetaObject::invokeMethod(
            m_window, [&] { RunGuarded([&] { answer = question(); }); },
            Qt::BlockingQueuedConnection);
        return answer;
    }

    QObject *m_window;
    HostTrust &m_trust;
};
} // namespace

// One run in the background: the engine, its record and thread, and what it
// reported that the window has not taken yet.
class PublishController::ActiveRun {
public:
    std::unique_ptr<PublishEngine> engine;
    std::unique_ptr<PublishRecord> record;
    std::unique_ptr<WindowThreadTrust> trust;
    std::thread thread;
    int firstLine = 0;

    std::mutex lock; // guards the rest
    QStringList lines;
    QString status; // the latest line that is not a transfer count
    int progress = -1;
    bool ended = false;
    std::exception_ptr error;

    void log(const QString &line, bool toStatus = true)
    {
        const std::lock_guard guard(lock);
        lines << line;
        if (toStatus)
            status = line;
    }
};

PublishController::PublishController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                     const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    m_ui.ftplog->setFont(QApplication::font());
    m_ui.ftplog->setStyleSheet(QStringLiteral("background: white; color: black;"));
    m_gaugeTimer.setSingleShot(true);
    m_gaugeTimer.setInterval(0);
    connect(&m_gaugeTimer, &QTimer::timeout, this, &PublishController::showProgress);
    m_drainTimer.setInterval(DrainMs);
    connect(&m_drainTimer, &QTimer::timeout, this, &PublishController::drainRun);

    // The Cancel button beside the log, shown while a run goes on.
    auto *panel = qobject_cast<QVBoxLayout *>(m_ui.ftppanel->layout());
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), m_ui.ftppanel);
    m_cancelButton->setObjectName(QStringLiteral("ftpcancel"));
    m_cancelButton->setToolTip(QStringLiteral("Stop publishing after the files being sent now"));
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    m_cancelButton->hide();
    SetClickHandler(m_cancelButton, [this](QObject *sender) { CancelPublishClick(sender); });
    if (panel) {
        const int at = panel->indexOf(m_ui.ftplog);
        auto *row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        panel->removeWidget(m_ui.ftplog);
        row->addWidget(m_ui.ftplog, 1);
        row->addWidget(m_cancelButton, 0, Qt::AlignTop);
        panel->insertLayout(at, row, 1);
    }
}

PublishController::~PublishController()
{
    // A run still going on is cancelled; its thread is joined before the
    // connection it uses goes.
    if (m_run) {
        m_run->engine->cancel();
        if (m_run->thread.joinable())
            m_run->thread.join();
    }
}

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

std::function<std::unique_ptr<FtpConnection>()> PublishController::connectionFactory()
{
    // Set up like the run's own session, on the run's threads.
    HostTrust *trust = m_run->trust.get();
    if (auto *client = dynamic_cast<FtpClient *>(m_ftp.get())) {
        const FtpTls tls = client->tls();
        const QStringList trusted = client->trustedFingerprints();
        const int timeout = client->timeoutMs();
        return [tls, trusted, timeout, trust]() -> std::unique_ptr<FtpConnection> {
            auto session = std::make_unique<FtpClient>();
            session->setTls(tls);
            session->setTrustedFingerprints(trusted);
            session->setHostTrust(trust);
            session->setTimeoutMs(timeout);
            return session;
        };
    }
    if (auto *client = dynamic_cast<SftpClient *>(m_ftp.get())) {
        const int timeout = client->timeoutMs();
        const QString ssh = QDir::homePath() + QStringLiteral("/.ssh");
        return [timeout, trust, ssh]() -> std::unique_ptr<FtpConnection> {
            auto session = std::make_unique<SftpClient>();
            session->setHostTrust(trust);
            session->setSshFolder(ssh);
            session->setKnownHostsFile(ssh + QStringLiteral("/known_hosts"));
            session->setTimeoutMs(timeout);
            return session;
        };
    }
    return {};
}

int PublishController::connectionCount()
{
    bool ok = false;
    const int count =
        ReadSetting(QStringLiteral("PublishConnections"), QString::number(DefaultConnections))
            .trimmed()
            .toInt(&ok);
    return ok ? std::clamp(count, 1, 16) : DefaultConnections;
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
    publishLog()->add(TransferCountLine(bytesSoFar), false);
}

bool PublishController::refusedWhileRunning()
{
    if (!isPublishing())
        return false;
    Dialogs().showMessage(QStringLiteral("Publishing is running. Wait until it ends, or press "
                                         "Cancel on the FTP panel, then try again."));
    return true;
}

void PublishController::Publish1Click(QObject *)
{
    m_publishOptionsCancelled = false;
    if (refusedWhileRunning()) {
        m_publishOptionsCancelled = true;
        return;
    }
    ProjectOptionsDialog *form = m_windows.projectOptionsDialog;
    form->useredit->setText(m_project.Ftp.User);
    form->hostedit->setText(m_project.Ftp.Host);
    form->passedit->setText(m_project.Ftp.Pass);
    form->folderedit->setText(m_project.Ftp.Folder);
    form->setProtocol(m_project.Ftp.Protocol);
    form->setTls(m_project.Ftp.Tls);
    form->setPasswordInKeyring(m_project.Ftp.PasswordInKeyring);
    form->setExcludePatterns(m_project.Ftp.Exclude);
    form->runedit->setText(m_project.RunAddress);
    form->databaseedit->setText(m_project.DatabaseAddress);
    form->debugportedit->setValue(m_project.Debug.Port);
    QList<QPair<QString, QString>> mappings;
    for (const DebugSettings::Mapping &m : m_project.Debug.Mappings)
        mappings.append({m.server, m.local});
    const SuggestedMapping suggestion =
        SuggestServerMapping(m_window.run().LastReportedFile(), m_project.RunAddress, m_project);
    form->setPathMappings(mappings,
                          suggestion.server.isEmpty()
                              ? QString()
                              : suggestion.server + QStringLiteral(" => ") + suggestion.local);
    m_publishOptionsCancelled = false;
    if (HasSwitch(QStringLiteral("autopublish")))
        return; // nothing was shown, so nothing changes
    for (;;) {
        if (Dialogs().showModal(form) != QDialog::Accepted) {
            m_publishOptionsCancelled = true;
            return;
        }
        // A pattern that cannot work is refused while the user still sees it.
        QStringList problems;
        form->pathMappings(&problems);
        for (const QString &pattern : form->excludePatterns()) {
            const QString problem = PublishExclusions::patternError(pattern);
            if (!problem.isEmpty())
                problems << QStringLiteral("The exclusion pattern \"%1\" is not valid: %2.")
                                .arg(pattern, problem);
        }
        if (problems.isEmpty())
            break;
        Dialogs().showError(problems.join(u'\n'));
    }
    m_project.Debug.Port = form->debugportedit->value();
    m_project.Debug.Mappings.clear();
    for (const auto &[server, local] : form->pathMappings())
        m_project.Debug.Mappings.append({server, local});
    FtpSettings &ftp = m_project.Ftp;
    const QString oldKey = keyringKey();
    const bool wasInKeyring = ftp.PasswordInKeyring;
    // Exactly as typed: blanks may belong to a password.
    ftp.User = form->useredit->text();
    ftp.Host = form->hostedit->text();
    const QString pass = form->passedit->text();
    if (pass != ftp.Pass)
        ftp.KeyringHoldsPassword = false;
    ftp.Pass = pass;
    ftp.Folder = form->folderedit->text();
    m_project.DatabaseAddress = form->databaseedit->text();
    if (form->runedit->text() != m_project.RunAddress) {
        m_project.RunAddress = form->runedit->text();
        m_ui.WebPanel->setUrlText(m_project.RunAddress);
    }
    ftp.Protocol = form->protocol();
    ftp.Tls = form->tls();
    ftp.Exclude = form->excludePatterns();
    ftp.PasswordInKeyring = form->passwordInKeyring();
    if (keyringKey() != oldKey)
        ftp.KeyringHoldsPassword = false;
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
    if (refusedWhileRunning())
        return;
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
    if (refusedWhileRunning())
        return;
    PublishRecord record(
        PublishRecord::keyOf(m_project),
        PublishRecord::fileNameFor(RecordFolder(), PublishRecord::keyOf(m_project)));
    record.load();
    PublishOptions options;
    options.changesOnly = true;
    options.record = &record;
    const QList<PublishStep> steps = PlanPublish(m_project, -1, options);
    QList<PublishPreviewDialog::Row> rows;
    rows.reserve(steps.size());
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

void PublishController::publishnowClick(QObject *)
{
    const int index = m_window.projectTree().SelectedNode();
    if (index == FolderTree::FolderNode) {
        PublishEntries(m_window.projectTree().SelectedEntries());
        return;
    }
    if (index < 0)
        return;
    runPublish(index);
}

bool PublishController::PublishEntries(const QList<int> &entries)
{
    if (entries.isEmpty())
        return false;
    return runPublish(-1, false, &entries);
}

int PublishController::openedFileEntry() const
{
    const QString &opened = m_project.OpenedFile;
    if (opened.isEmpty())
        return -1;
    // Letter case tells files apart: an entry spelt otherwise is another file.
    return m_project.IndexOf(opened);
}

bool PublishController::isPublishing() const
{
    return m_run != nullptr;
}

bool PublishController::runPublish(int index, bool changesOnly, const QList<int> *only)
{
    if (refusedWhileRunning() || !readyPassword())
        return false;
    FtpConnection &connection = connectionForRun();
    auto run = std::make_unique<ActiveRun>();
    ActiveRun *const active = run.get();
    // Every run keeps the record of what the host acknowledged, so Publish
    // Changes after a full publish sends only what changed since.
    const QString key = PublishRecord::keyOf(m_project);
    run->record =
        std::make_unique<PublishRecord>(key, PublishRecord::fileNameFor(RecordFolder(), key));
    run->record->load();
    PublishEvents events;
    events.log = [active](const QString &line) { active->log(line); };
    events.progress = [active](int percent) {
        const std::lock_guard guard(active->lock);
        active->progress = percent;
    };
    PublishSource source = PublishSource::of(m_project);
    if (only) {
        // A folder's files: the run's list is theirs alone.
        QList<PublishSource::File> picked;
        for (const int i : *only)
            if (i >= 0 && i < source.files.size())
                picked.append(source.files.at(i));
        source.files = picked;
    }
    run->engine = std::make_unique<PublishEngine>(std::move(source), std::move(events));
    m_run = std::move(run);
    if (m_trust)
        active->trust = std::make_unique<WindowThreadTrust>(this, *m_trust);
    if (auto *client = dynamic_cast<FtpClient *>(&connection))
        client->setHostTrust(active->trust.get());
    else if (auto *client = dynamic_cast<SftpClient *>(&connection))
        client->setHostTrust(active->trust.get());
    if (!m_ftpGiven)
        active->engine->setExtraConnections(connectionCount() - 1, connectionFactory());
    // Transfer counts come from the run's thread: into the queue too.
    connection.setWorkHandler(
        [active](qint64 bytesSoFar) { active->log(TransferCountLine(bytesSoFar), false); });

    m_ui.ftppanel->show();
    m_cancelButton->setEnabled(true);
    m_cancelButton->show();
    active->firstLine = publishLog()->lineCount();
    PublishOptions options;
    options.changesOnly = changesOnly;
    options.record = active->record.get();
    try {
        active->thread = std::thread([this, active, &connection, index, options] {
            try {
                active->engine->publish(connection, index, options);
            } catch (...) {
                const std::lock_guard guard(active->lock);
                active->error = std::current_exception();
            }
            {
                const std::lock_guard guard(active->lock);
                active->ended = true;
            }
            QMetaObject::invokeMethod(this, &PublishController::drainRun, Qt::QueuedConnection);
        });
    } catch (const std::system_error &error) {
        m_run.reset();
        m_cancelButton->hide();
        throw AppError(QStringLiteral("Cannot start publishing: ") +
                       QString::fromLocal8Bit(error.what()));
    }
    m_drainTimer.start();
    emit publishStarted();
    return true;
}

void PublishController::drainRun()
{
    if (!m_run)
        return;
    QStringList lines;
    QString status;
    int progress = -1;
    bool ended = false;
    {
        const std::lock_guard guard(m_run->lock);
        lines.swap(m_run->lines);
        status.swap(m_run->status);
        std::swap(progress, m_run->progress);
        ended = m_run->ended;
    }
    if (!status.isEmpty())
        m_project.LogText = status;
    publishLog()->addLines(lines, status);
    if (progress >= 0) {
        m_project.Ftp.Progress = progress;
        PublishProgressExecute();
    }
    // Writing the lines lets the window catch up, which may have ended the
    // run already from a nested call.
    if (ended && m_run)
        endRun();
}

void PublishController::endRun()
{
    m_drainTimer.stop();
    std::unique_ptr<ActiveRun> run = std::move(m_run);
    run->thread.join();
    if (FtpConnection *connection = m_ftp.get()) {
        connection->setWorkHandler([this](qint64 bytesSoFar) { FTPWork(bytesSoFar); });
        if (auto *client = dynamic_cast<FtpClient *>(connection))
            client->setHostTrust(m_trust.get());
        else if (auto *client = dynamic_cast<SftpClient *>(connection))
            client->setHostTrust(m_trust.get());
    }
    m_cancelButton->hide();
    showProgress();
    const bool cancelled = run->engine->cancelled();
    if (run->error) {
        // The panel keeps the failed run's log in view; after a run that
        // left files out, from its first failure on.
        try {
            std::rethrow_exception(run->error);
        } catch (const PublishIncomplete &) {
            publishLog()->showFirst(run->firstLine, QStringLiteral("!!!"));
        } catch (...) {
            publishLog()->flush();
        }
        const std::exception_ptr error = run->error;
        run.reset();
        emit publishEnded();
        RunGuarded([&] { std::rethrow_exception(error); });
        return;
    }
    publishLog()->flush();
    run.reset();
    // A cancelled run leaves its log in view: it says what was not sent.
    if (!cancelled)
        m_ui.ftppanel->hide();
    emit publishEnded();
}

void PublishController::CancelPublishClick(QObject *)
{
    if (!m_run)
        return;
    m_run->engine->cancel();
    m_cancelButton->setEnabled(false);
    m_run->log(QStringLiteral("Cancelling: the files being sent now are finished first"));
}

void PublishController::waitForRun()
{
    // Sleeps until an event comes (the run's drain timer brings them):
    // processEvents with a time limit never waits and spun a core.
    while (m_run)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool PublishController::SettleForExit()
{
    if (!m_run)
        return true;
    if (!Dialogs().askYesNo(QStringLiteral("Publishing"),
                            QStringLiteral("Publishing is still running. Stop it after the files "
                                           "being sent now, and exit?")))
        return false;
    CancelPublishClick(nullptr);
    waitForRun();
    return true;
}
