// Publishing: the Project Options dialog, the three publish commands and the
// FTP panel that shows the log, the transfer counts and the gauge of a run.
#include "app/publish_controller.h"

#include "app/folder_tree.h"
#include "app/remembering_host_trust.h"
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
#include "net/remote_endpoint.h"
#include "net/sftp_client.h"
#include "project/host_compare.h"
#include "project/php_error.h"
#include "project/project.h"
#include "project/publish.h"
#include "project/publish_engine.h"
#include "project/publish_exclusions.h"
#include "project/publish_record.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
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

#include <chrono>
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

PublishController::PublishController(Project &project, Controls controls, Windows windows,
                                     Asks asks)
    : m_project(project), m_controls(controls), m_windows(windows), m_asks(std::move(asks))
{
    m_controls.log->setFont(QApplication::font());
    m_controls.log->setStyleSheet(QStringLiteral("background: white; color: black;"));
    m_gaugeTimer.setSingleShot(true);
    m_gaugeTimer.setInterval(0);
    connect(&m_gaugeTimer, &QTimer::timeout, this, &PublishController::showProgress);
    m_drainTimer.setInterval(DrainMs);
    connect(&m_drainTimer, &QTimer::timeout, this, &PublishController::drainRun);

    // The Cancel button beside the log, shown while a run goes on.
    auto *panel = qobject_cast<QVBoxLayout *>(m_controls.panel->layout());
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), m_controls.panel);
    m_cancelButton->setObjectName(QStringLiteral("ftpcancel"));
    m_cancelButton->setToolTip(QStringLiteral("Stop publishing after the files being sent now"));
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    m_cancelButton->hide();
    SetClickHandler(m_cancelButton, [this](QObject *sender) { CancelPublishClick(sender); });
    if (panel) {
        const int at = panel->indexOf(m_controls.log);
        auto *row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        panel->removeWidget(m_controls.log);
        row->addWidget(m_controls.log, 1);
        row->addWidget(m_cancelButton, 0, Qt::AlignTop);
        // Which target a publish goes to, when the project has several.
        m_targetBox = new QComboBox(m_controls.panel);
        m_targetBox->setObjectName(QStringLiteral("ftptarget"));
        m_targetBox->setToolTip(QStringLiteral("The target the next publish goes to"));
        m_targetBox->setFocusPolicy(Qt::NoFocus);
        m_targetBox->hide();
        connect(m_targetBox, &QComboBox::activated, this, [this](int chosen) {
            if (refusedWhileRunning() || chosen == m_project.ChosenTarget()) {
                RefreshTargets();
                return;
            }
            RunGuarded([&] { m_project.ChooseTarget(chosen); });
            RefreshTargets();
        });
        row->addWidget(m_targetBox, 0, Qt::AlignTop);
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

int PublishController::connectionCountFor(const QString &host)
{
    const int wanted = connectionCount();
    try {
        return SessionsFor(ParseRemoteHost(host, 21, QStringLiteral("FTP")), wanted,
                           QThread::idealThreadCount());
    } catch (const AppError &) {
        return wanted; // the run itself says what is wrong with the host
    }
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
        m_publishLog = new BatchedLog(m_controls.log, m_controls.status, this);
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
    m_controls.gauge->setValue(m_project.Ftp.Progress);
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

void PublishController::RefreshTargets()
{
    if (!m_targetBox)
        return;
    const QList<FtpSettings> targets = m_project.PublishTargets();
    const QSignalBlocker quiet(m_targetBox);
    m_targetBox->clear();
    for (qsizetype i = 0; i < targets.size(); ++i)
        m_targetBox->addItem(targets.at(i).displayName(QStringLiteral("Target %1").arg(i + 1)));
    m_targetBox->setCurrentIndex(m_project.ChosenTarget());
    m_targetBox->setVisible(targets.size() > 1);
    m_targetBox->setEnabled(!isPublishing());
}

bool PublishController::confirmOverwrite(const QStringList &changedOnHost)
{
    constexpr int Listed = 20;
    QStringList shown = changedOnHost.mid(0, Listed);
    if (changedOnHost.size() > Listed)
        shown << QStringLiteral("... and %1 more").arg(changedOnHost.size() - Listed);
    const QString question =
        QStringLiteral("These files changed on the host since the last publish:\n\n") +
        shown.join(u'\n') +
        QStringLiteral("\n\nPublishing overwrites them with the project's copies. Go on?");
    bool goOn = false;
    const auto ask = [&] {
        RunGuarded([&] { goOn = Dialogs().askYesNo(QStringLiteral("Publish Changes"), question); });
    };
    if (QThread::currentThread() == thread())
        ask();
    else
        QMetaObject::invokeMethod(this, ask, Qt::BlockingQueuedConnection);
    return goOn;
}

void PublishController::FTPCompare1Click(QObject *)
{
    if (refusedWhileRunning() || !readyPassword())
        return;
    FtpConnection &connection = connectionForRun();
    const FtpSettings ftp = m_project.Ftp;
    const QString key = PublishRecord::keyOf(m_project);
    PublishRecord record(key, PublishRecord::fileNameFor(RecordFolder(), key));
    record.load();
    m_controls.panel->show();
    publishLog()->add(QStringLiteral("Comparing the project with ") + ftp.Host + ftp.Folder, true);

    // The listing goes on a thread of its own, the window answering its
    // questions (an unknown host key) meanwhile.
    WindowThreadTrust trust(this, *m_trust);
    const auto trustBy = [&connection](HostTrust *by) {
        if (auto *client = dynamic_cast<FtpClient *>(&connection))
            client->setHostTrust(by);
        else if (auto *client = dynamic_cast<SftpClient *>(&connection))
            client->setHostTrust(by);
    };
    trustBy(&trust);
    QList<HostFile> files;
    std::exception_ptr error;
    std::atomic<bool> done{false};
    m_comparing = true;
    std::thread worker([&] {
        try {
            connection.setUser(ftp.User);
            connection.setHost(ftp.Host);
            connection.setPassword(ftp.Pass);
            connection.connect();
            files = ListHostFiles(connection, ftp.Folder);
            connection.disconnect();
        } catch (...) {
            error = std::current_exception();
            if (connection.isConnected()) {
                try {
                    connection.disconnect();
                } catch (...) {
                    // the listing's error is the one to tell
                }
            }
        }
        done.store(true);
    });
    while (!done.load())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    m_comparing = false;
    trustBy(m_trust.get());
    if (error) {
        publishLog()->flush();
        std::rethrow_exception(error);
    }

    // A record that could not be read tells nothing: compare by size and time.
    const QList<HostComparison> rows =
        CompareWithHost(m_project, record.problem().isEmpty() ? &record : nullptr, files);
    QMap<HostComparison::State, int> counts;
    QStringList lines;
    for (const HostComparison &row : rows) {
        ++counts[row.state];
        lines << QStringLiteral("%1: %2 (%3)")
                     .arg(HostComparison::stateText(row.state), row.path, row.why);
    }
    QStringList summary;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(HostComparison::stateText(it.key()));
    lines << QStringLiteral("Compared %1 files with %2: %3")
                 .arg(rows.size())
                 .arg(ftp.Host + ftp.Folder, summary.isEmpty()
                                                 ? QStringLiteral("none")
                                                 : summary.join(QStringLiteral(", ")));
    publishLog()->addLines(lines, lines.last());
    m_project.LogText = lines.last();
    publishLog()->flush();
}

bool PublishController::refusedWhileRunning()
{
    if (m_comparing) {
        Dialogs().showMessage(QStringLiteral("Comparing with the host is running. Wait until it "
                                             "ends, then try again."));
        return true;
    }
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
    ProjectOptionsDialog *form = m_windows.options;
    ProjectOptions filled;
    filled.targets = m_project.PublishTargets();
    filled.chosenTarget = m_project.ChosenTarget();
    filled.runAddress = m_project.RunAddress;
    filled.databaseAddress = m_project.DatabaseAddress;
    filled.debugPort = m_project.Debug.Port;
    filled.pathMappings = m_project.Debug.Mappings;
    const SuggestedMapping suggestion =
        SuggestServerMapping(m_asks.lastReportedFile(), m_project.RunAddress, m_project);
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
        m_controls.preview->setUrlText(m_project.RunAddress);
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
    RefreshTargets();
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
    m_asks.saveDocument();
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
    planDeletions(-1, options);
    const QList<PublishStep> steps = PlanPublish(m_project, -1, options);
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
    PublishPreviewDialog *form = m_windows.preview;
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
    const int index = m_asks.selectedNode();
    if (index == FolderTree::FolderNode) {
        PublishEntries(m_asks.selectedEntries());
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
    if (changesOnly && index == -1)
        events.confirmOverwrite = [this](const QStringList &changed) {
            return confirmOverwrite(changed);
        };
    run->engine = std::make_unique<PublishEngine>(std::move(source), std::move(events));
    m_run = std::move(run);
    if (m_trust)
        active->trust = std::make_unique<WindowThreadTrust>(this, *m_trust);
    if (auto *client = dynamic_cast<FtpClient *>(&connection))
        client->setHostTrust(active->trust.get());
    else if (auto *client = dynamic_cast<SftpClient *>(&connection))
        client->setHostTrust(active->trust.get());
    if (!m_ftpGiven)
        active->engine->setExtraConnections(connectionCountFor(m_project.Ftp.Host) - 1,
                                            connectionFactory());
    // Transfer counts come from the run's thread: into the queue too.
    connection.setWorkHandler(
        [active](qint64 bytesSoFar) { active->log(TransferCountLine(bytesSoFar), false); });

    m_controls.panel->show();
    m_cancelButton->setEnabled(true);
    m_cancelButton->show();
    RefreshTargets();
    active->firstLine = publishLog()->lineCount();
    PublishOptions options;
    options.changesOnly = changesOnly;
    options.record = active->record.get();
    if (changesOnly)
        planDeletions(index, options);
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
    RefreshTargets();
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
        m_controls.panel->hide();
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

void PublishController::stopBeforeEnd(int graceMs)
{
    if (!m_run)
        return;
    m_run->engine->cancel();
    // No events are processed: nobody is there to answer a question the run
    // may wait for, and the grace ends that wait.
    const QDeadlineTimer deadline(graceMs);
    for (;;) {
        {
            const std::lock_guard guard(m_run->lock);
            if (m_run->ended)
                break;
        }
        if (deadline.hasExpired())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_run->thread.join();
    m_run.reset();
}

bool PublishController::SettleForExit()
{
    // A listing ends by itself, at the latest at the connection's time-out.
    while (m_comparing)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
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
