#include "net/sftp_client.h"

#include "foundation/errors.h"
#include "foundation/host_trust.h"
#include "net/send_progress.h"
#include "net/store_source.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>

namespace {

constexpr int MaxBlockSize = 255 * 1024; // OpenSSH's server takes messages up to 256 KB
constexpr int MaxPromptRounds = 8;       // keyboard-interactive rounds before we give up

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 3);
}

QByteArray local8(const QString &text)
{
    return text.toUtf8();
}

QString keyTypeName(ssh_key key)
{
    switch (ssh_key_type(key)) {
    case SSH_KEYTYPE_ED25519:
        return QStringLiteral("ED25519");
    case SSH_KEYTYPE_RSA:
        return QStringLiteral("RSA");
    case SSH_KEYTYPE_ECDSA_P256:
    case SSH_KEYTYPE_ECDSA_P384:
    case SSH_KEYTYPE_ECDSA_P521:
        return QStringLiteral("ECDSA");
    default:
        return QString::fromUtf8(ssh_key_type_to_char(ssh_key_type(key))).toUpper();
    }
}

QString sha256Of(ssh_key key)
{
    unsigned char *hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK)
        return QStringLiteral("(unreadable)");
    char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    const QString fingerprint = QString::fromUtf8(text);
    ssh_string_free_char(text);
    return fingerprint;
}

// One stored key of a host, where known_hosts keeps it.
struct StoredKey {
    QString file;
    int line = 0;
    QString type;
    QString fingerprint;
};

// The keys that `file` holds for `entryName` ("host", or "[host]:port" off
// port 22), hashed names included.
std::vector<StoredKey> storedKeysOf(const QString &file, const QByteArray &entryName)
{
    std::vector<StoredKey> keys;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return keys;
    int number = 0;
    while (!in.atEnd()) {
        const QByteArray line = in.readLine().trimmed();
        ++number;
        if (line.isEmpty() || line.startsWith('#') || line.startsWith('@'))
            continue;
        ssh_knownhosts_entry *entry = nullptr;
        if (ssh_known_hosts_parse_line(entryName.constData(), line.constData(), &entry) == SSH_OK &&
            entry && entry->hostname && entry->publickey)
            keys.push_back(
                {file, number, keyTypeName(entry->publickey), sha256Of(entry->publickey)});
        ssh_knownhosts_entry_free(entry);
    }
    return keys;
}

QString statusText(int code)
{
    switch (code) {
    case SSH_FX_EOF:
        return QStringLiteral("end of file");
    case SSH_FX_NO_SUCH_FILE:
        return QStringLiteral("no such file or folder");
    case SSH_FX_PERMISSION_DENIED:
        return QStringLiteral("permission denied");
    case SSH_FX_BAD_MESSAGE:
        return QStringLiteral("bad message");
    case SSH_FX_NO_CONNECTION:
    case SSH_FX_CONNECTION_LOST:
        return QStringLiteral("connection lost");
    case SSH_FX_OP_UNSUPPORTED:
        return QStringLiteral("not supported by the server");
    case SSH_FX_FILE_ALREADY_EXISTS:
        return QStringLiteral("already exists");
    case SSH_FX_WRITE_PROTECT:
        return QStringLiteral("write protected");
    case SSH_FX_NO_MEDIA:
        return QStringLiteral("no media");
    default:
        return QStringLiteral("failure");
    }
}

} // namespace

// Cuts the connection when the server leaves one request unanswered for too
// long: libssh's SFTP layer waits for a reply without end, so its own time-out
// does not reach it. Shutting the socket down makes the waiting call fail.
class SftpClient::Watchdog {
public:
    Watchdog() : m_thread([this] { run(); }) {}
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    void arm(int descriptor, int milliseconds)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_descriptor = descriptor;
            m_silence = std::chrono::milliseconds(milliseconds);
            m_peer.watch(descriptor);
            m_deadline = Clock::now() + m_silence;
            m_armed = descriptor >= 0;
            m_fired = false;
        }
        m_wake.notify_all();
    }
    // True when the time ran out since arm().
    bool disarm()
    {
        const std::lock_guard lock(m_mutex);
        m_armed = false;
        return m_fired;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds Slice{100};

    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            if (!m_armed) {
                m_wake.wait(lock);
                continue;
            }
            // A write the server is still taking is not silence: each sign
            // of it moving gives the call the whole time again.
            m_wake.wait_until(lock, std::min(m_deadline, Clock::now() + Slice));
            if (m_armed && m_peer.moved())
                m_deadline = Clock::now() + m_silence;
            if (m_armed && !m_quit && Clock::now() >= m_deadline) {
                ::shutdown(m_descriptor, SHUT_RDWR);
                m_fired = true;
                m_armed = false;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_armed = false;
    bool m_fired = false;
    int m_descriptor = -1;
    std::chrono::milliseconds m_silence{0};
    SendWatch m_peer;
    Clock::time_point m_deadline;
    std::thread m_thread; // last: starts once the members above exist
};

namespace {

// Arms the watchdog for one blocking call of libssh.
class Guarded {
public:
    Guarded(auto &watchdog, ssh_session session, int milliseconds, bool &timedOut)
        : m_disarm([&watchdog, &timedOut] { timedOut = watchdog.disarm() || timedOut; })
    {
        watchdog.arm(ssh_get_fd(session), milliseconds);
    }
    ~Guarded() { m_disarm(); }
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;

private:
    std::function<void()> m_disarm;
};

} // namespace

SftpClient::SftpClient() : m_watchdog(std::make_unique<Watchdog>())
{
}

SftpClient::~SftpClient()
{
    closeSession();
}

void SftpClient::setBlockSize(int bytes)
{
    m_blockSize = std::clamp(bytes, 1024, MaxBlockSize);
}

QString SftpClient::serverName() const
{
    return m_endpoint.name();
}

bool SftpClient::isConnected() const
{
    return m_sftp && m_session && ssh_is_connected(m_session) &&
           ssh_channel_is_open(m_sftp->channel);
}

void SftpClient::requireConnected(const QString &what) const
{
    if (!isConnected())
        throw AppError(QStringLiteral("%1: not connected to an SFTP server").arg(what));
}

void SftpClient::closeSession()
{
    if (m_sftp) {
        bool ignored = false;
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, ignored);
        sftp_free(m_sftp);
        m_sftp = nullptr;
    }
    if (m_session) {
        if (ssh_is_connected(m_session))
            ssh_disconnect(m_session);
        ssh_free(m_session);
        m_session = nullptr;
    }
}

QString SftpClient::failure()
{
    QString reason;
    if (m_timedOut) {
        reason = QStringLiteral("the SFTP server %1 did not answer within %2 s")
                     .arg(serverName(), seconds(m_timeoutMs));
    } else {
        reason = QString::fromUtf8(ssh_get_error(m_session));
        if (reason.isEmpty() && m_sftp)
            reason = statusText(sftp_get_error(m_sftp));
        else if (reason.startsWith(QStringLiteral("SFTP server: ")))
            reason = reason.mid(13);
    }
    if (m_timedOut || !isConnected() || ssh_get_error_code(m_session) == SSH_FATAL) {
        if (!m_timedOut && reason.isEmpty())
            reason = QStringLiteral("the SFTP server %1 closed the connection").arg(serverName());
        // The server's idea of the session is unknown now; start afresh next time.
        m_timedOut = false;
        closeSession();
    }
    return reason;
}

void SftpClient::fail(const QString &what)
{
    throw AppError(QStringLiteral("%1: %2").arg(what, failure()));
}

void SftpClient::connect()
{
    closeSession();
    m_note.clear();
    m_cwd.clear();
    m_timedOut = false;
    m_endpoint = ParseRemoteHost(m_host, DefaultPort, QStringLiteral("SFTP"));
    m_session = ssh_new();
    if (!m_session)
        throw AppError(QStringLiteral("Cannot start an SSH session"));
    try {
        const QByteArray host = local8(m_endpoint.host);
        const unsigned int port = m_endpoint.port;
        const long timeoutSeconds = std::max(1, (m_timeoutMs + 999) / 1000);
        ssh_options_set(m_session, SSH_OPTIONS_HOST, host.constData());
        ssh_options_set(m_session, SSH_OPTIONS_PORT, &port);
        ssh_options_set(m_session, SSH_OPTIONS_TIMEOUT, &timeoutSeconds);
        // Each request waits for its answer: without this, Nagle's algorithm
        // holds small packets back for the peer's delayed acknowledgement.
        const int noDelay = 1;
        ssh_options_set(m_session, SSH_OPTIONS_NODELAY, &noDelay);
        if (!m_user.isEmpty()) {
            const QByteArray user = local8(m_user);
            ssh_options_set(m_session, SSH_OPTIONS_USER, user.constData());
        }
        if (!m_sshFolder.isEmpty()) {
            const QByteArray folder = local8(m_sshFolder);
            ssh_options_set(m_session, SSH_OPTIONS_SSH_DIR, folder.constData());
        }
        if (!m_knownHosts.isEmpty()) {
            const QByteArray file = local8(m_knownHosts);
            ssh_options_set(m_session, SSH_OPTIONS_KNOWNHOSTS, file.constData());
        }
        if (ssh_connect(m_session) != SSH_OK)
            throw AppError(QStringLiteral("Cannot connect to the SFTP server %1: %2")
                               .arg(serverName(), QString::fromUtf8(ssh_get_error(m_session))));
        checkHostKey();
        authenticate();

        m_sftp = sftp_new(m_session);
        if (!m_sftp)
            fail(QStringLiteral("Opening the SFTP channel on %1").arg(serverName()));
        {
            const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
            if (sftp_init(m_sftp) != SSH_OK)
                fail(QStringLiteral("Starting SFTP on %1").arg(serverName()));
        }
        char *home = nullptr;
        {
            const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
            home = sftp_canonicalize_path(m_sftp, ".");
        }
        if (!home)
            fail(QStringLiteral("Finding the home folder on %1").arg(serverName()));
        m_cwd = QString::fromUtf8(home);
        ssh_string_free_char(home);
        if (!m_cwd.startsWith(u'/'))
            m_cwd.prepend(u'/');
        m_home = m_cwd;
    } catch (...) {
        closeSession();
        throw;
    }
}

void SftpClient::checkHostKey()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(m_session, &key) != SSH_OK)
        throw AppError(QStringLiteral("The SFTP server %1 sent no host key").arg(serverName()));
    unsigned char *hash = nullptr;
    size_t length = 0;
    const int hashed = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length);
    const QString keyType = keyTypeName(key);
    ssh_key_free(key);
    if (hashed != SSH_OK)
        throw AppError(
            QStringLiteral("Cannot read the host key of the SFTP server %1").arg(serverName()));
    char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    const QString fingerprint = QString::fromUtf8(text);
    ssh_string_free_char(text);

    // Port 22 is the host's own name in known_hosts and in what the user reads.
    const QString shown = m_endpoint.port == DefaultPort ? m_endpoint.host : serverName();
    const enum ssh_known_hosts_e state = ssh_session_is_known_server(m_session);
    switch (state) {
    case SSH_KNOWN_HOSTS_OK:
        m_note = QStringLiteral("SFTP, host key checked against known_hosts");
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        // Refused outright, as ssh does: a question here is one click away
        // from handing the password to whoever sits in between.
        throw AppError(changedKeyMessage(shown, keyType, fingerprint));
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND: {
        const QString problem =
            QStringLiteral("The host %1 is not in known_hosts: its key has not been seen before.")
                .arg(shown);
        if (!m_trust)
            throw AppError(QStringLiteral("The host key of the SFTP server %1 (%2) is not in "
                                          "known_hosts; the connection was refused")
                               .arg(shown, fingerprint));
        if (!m_trust->trustHostKey(shown, fingerprint, problem))
            throw AppError(QStringLiteral("The host key of the SFTP server %1 (%2) was not "
                                          "trusted; the connection was refused")
                               .arg(shown, fingerprint));
        if (ssh_session_update_known_hosts(m_session) != SSH_OK) {
            m_note = QStringLiteral("SFTP, new host key %1 accepted; it could not be stored in "
                                    "known_hosts (%2)")
                         .arg(fingerprint, QString::fromUtf8(ssh_get_error(m_session)));
            return;
        }
        m_note = QStringLiteral("SFTP, new host key %1 accepted and stored in known_hosts")
                     .arg(fingerprint);
        return;
    }
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        throw AppError(QStringLiteral("Cannot check the host key of %1 against known_hosts: %2")
                           .arg(shown, QString::fromUtf8(ssh_get_error(m_session))));
    }
}

QString SftpClient::changedKeyMessage(const QString &shown, const QString &keyType,
                                      const QString &fingerprint) const
{
    // known_hosts names a host off port 22 as "[host]:port".
    const QByteArray entryName =
        m_endpoint.port == DefaultPort
            ? local8(m_endpoint.host)
            : local8(QStringLiteral("[%1]:%2").arg(m_endpoint.host).arg(m_endpoint.port));
    std::vector<StoredKey> stored;
    QString userFile;
    for (const auto option : {SSH_OPTIONS_KNOWNHOSTS, SSH_OPTIONS_GLOBAL_KNOWNHOSTS}) {
        char *path = nullptr;
        if (ssh_options_get(m_session, option, &path) != SSH_OK || !path)
            continue;
        const QString file = QString::fromUtf8(path);
        ssh_string_free_char(path);
        if (option == SSH_OPTIONS_KNOWNHOSTS)
            userFile = file;
        const std::vector<StoredKey> keys = storedKeysOf(file, entryName);
        stored.insert(stored.end(), keys.begin(), keys.end());
    }
    QString text = QStringLiteral("The host key of the SFTP server %1 has CHANGED since it was "
                                  "stored in known_hosts; the connection was refused. Someone may "
                                  "be intercepting it (an attack), or the server was reinstalled "
                                  "and has a new key.\n\n")
                       .arg(shown);
    for (const StoredKey &key : stored)
        text += QStringLiteral("Stored %1 key (%2, line %3): %4\n")
                    .arg(key.type, key.file)
                    .arg(key.line)
                    .arg(key.fingerprint);
    text += QStringLiteral("%1 key the server sent now: %2\n\n").arg(keyType, fingerprint);
    const QString entry = QString::fromUtf8(entryName);
    text += QStringLiteral("Publish again only after the host's owner confirms the new key. "
                           "Then remove the old one with\n    ssh-keygen -f \"%1\" -R \"%2\"\n"
                           "and the new key is asked for once.")
                .arg(userFile.isEmpty() ? QStringLiteral("~/.ssh/known_hosts") : userFile, entry);
    return text;
}

bool SftpClient::authenticateKeyboardInteractive()
{
    const QByteArray password = local8(m_password);
    int rc = ssh_userauth_kbdint(m_session, nullptr, nullptr);
    for (int round = 0; rc == SSH_AUTH_INFO && round < MaxPromptRounds; ++round) {
        const int prompts = ssh_userauth_kbdint_getnprompts(m_session);
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            ssh_userauth_kbdint_getprompt(m_session, static_cast<unsigned>(i), &echo);
            // Hidden prompts ask for the password; shown ones for something we
            // do not know, answered empty so the server decides.
            ssh_userauth_kbdint_setanswer(m_session, static_cast<unsigned>(i),
                                          echo ? "" : password.constData());
        }
        rc = ssh_userauth_kbdint(m_session, nullptr, nullptr);
    }
    if (rc == SSH_AUTH_ERROR)
        throw AppError(QStringLiteral("Login on %1 failed: %2")
                           .arg(serverName(), QString::fromUtf8(ssh_get_error(m_session))));
    return rc == SSH_AUTH_SUCCESS;
}

void SftpClient::authenticate()
{
    const auto broken = [this](int rc) {
        if (rc == SSH_AUTH_ERROR)
            throw AppError(QStringLiteral("Login on %1 failed: %2")
                               .arg(serverName(), QString::fromUtf8(ssh_get_error(m_session))));
    };
    int rc = ssh_userauth_none(m_session, nullptr);
    broken(rc);
    if (rc == SSH_AUTH_SUCCESS)
        return;
    const int methods = ssh_userauth_list(m_session, nullptr);
    QStringList offered;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY)
        offered << QStringLiteral("publickey");
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        offered << QStringLiteral("password");
    if (methods & SSH_AUTH_METHOD_INTERACTIVE)
        offered << QStringLiteral("keyboard-interactive");

    QStringList tried;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
        tried << QStringLiteral("the SSH agent and keys");
        rc = ssh_userauth_publickey_auto(m_session, nullptr, nullptr);
        broken(rc);
        if (rc == SSH_AUTH_SUCCESS)
            return;
    }
    if (!m_password.isEmpty() && (methods & SSH_AUTH_METHOD_PASSWORD)) {
        tried << QStringLiteral("the password");
        const QByteArray password = local8(m_password);
        rc = ssh_userauth_password(m_session, nullptr, password.constData());
        broken(rc);
        if (rc == SSH_AUTH_SUCCESS)
            return;
    }
    if (!m_password.isEmpty() && (methods & SSH_AUTH_METHOD_INTERACTIVE)) {
        tried << QStringLiteral("the password at the server's prompt");
        if (authenticateKeyboardInteractive())
            return;
    }
    QString message =
        QStringLiteral("Login as \"%1\" on the SFTP server %2 failed").arg(m_user, serverName());
    message += tried.isEmpty() ? QStringLiteral("; nothing could be tried")
                               : QStringLiteral("; tried ") + tried.join(QStringLiteral(", "));
    if (m_password.isEmpty() &&
        (methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE)))
        message += QStringLiteral("; no password is set");
    message += QStringLiteral(" (the server offers: %1)")
                   .arg(offered.isEmpty() ? QStringLiteral("nothing we know")
                                          : offered.join(QStringLiteral(", ")));
    throw AppError(message);
}

QString SftpClient::resolve(const QString &path) const
{
    QStringList parts;
    if (!path.startsWith(u'/'))
        parts = m_cwd.split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return u'/' + parts.join(u'/');
}

void SftpClient::changeDir(const QString &path)
{
    const QString what = QStringLiteral("Changing to the folder ") + path;
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("Changing folder: no folder name given"));
    const QString target = resolve(path);
    sftp_attributes attributes = nullptr;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        attributes = sftp_stat(m_sftp, target.toUtf8().constData());
    }
    if (!attributes)
        fail(what);
    const bool folder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
    sftp_attributes_free(attributes);
    if (!folder)
        throw AppError(QStringLiteral("%1: not a folder").arg(what));
    m_cwd = target;
}

void SftpClient::makeDir(const QString &name)
{
    const QString what = QStringLiteral("Making the folder ") + name;
    requireConnected(what);
    if (name.isEmpty())
        throw AppError(QStringLiteral("Making a folder: no folder name given"));
    int rc = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_mkdir(m_sftp, resolve(name).toUtf8().constData(), 0755);
    }
    if (rc != SSH_OK)
        fail(what);
}

void SftpClient::store(const QString &localPath, const QString &remotePath)
{
    storeFrom(*StoreSourceFile(localPath), localPath, remotePath);
}

void SftpClient::storeData(const QByteArray &content, const QString &localPath,
                           const QString &remotePath)
{
    storeFrom(*StoreSourceBytes(content), localPath, remotePath);
}

void SftpClient::storeFrom(QIODevice &file, const QString &localPath, const QString &remotePath)
{
    const QString what = QStringLiteral("Storing ") + remotePath;
    requireConnected(what);
    if (remotePath.isEmpty())
        throw AppError(QStringLiteral("Storing: no remote file name given for %1").arg(localPath));

    sftp_file handle = nullptr;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        handle = sftp_open(m_sftp, resolve(remotePath).toUtf8().constData(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!handle) {
        const QString reason = failure();
        if (!isConnected())
            throw AppError(QStringLiteral("%1: %2").arg(what, reason));
        throw FtpStoreRefused(QStringLiteral("%1: %2").arg(what, reason));
    }
    // Closes the remote file when the transfer ends early; the reason of the
    // failure is what the caller hears, not the close's.
    const auto abandon = [&](const QString &reason) {
        if (isConnected()) {
            const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
            sftp_close(handle);
        }
        throw AppError(QStringLiteral("%1: %2").arg(what, reason));
    };

    const qint64 size = file.size();
    QByteArray block(static_cast<qsizetype>(std::clamp<qint64>(size, 1, m_blockSize)),
                     Qt::Uninitialized);
    qint64 sent = 0;
    qint64 reported = -1;
    QElapsedTimer sinceWork;
    sinceWork.start();
    for (;;) {
        const qint64 count = file.read(block.data(), block.size());
        if (count < 0)
            abandon(QStringLiteral("cannot read %1: %2").arg(localPath, file.errorString()));
        if (count == 0)
            break;
        qint64 done = 0;
        while (done < count) {
            ssize_t written = 0;
            {
                const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
                written =
                    sftp_write(handle, block.constData() + done, static_cast<size_t>(count - done));
            }
            if (written <= 0)
                abandon(failure());
            done += written;
            sent += written;
        }
        if (m_onWork && sinceWork.elapsed() >= m_workIntervalMs) {
            m_onWork(sent);
            reported = sent;
            sinceWork.restart();
        }
    }
    int closed = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        closed = sftp_close(handle);
    }
    // The server may only now tell that the disk is full.
    if (closed != SSH_OK)
        fail(what);
    if (m_onWork && reported != sent)
        m_onWork(sent);
}

void SftpClient::rename(const QString &from, const QString &to)
{
    const QString what = QStringLiteral("Renaming %1 to %2").arg(from, to);
    requireConnected(what);
    if (from.isEmpty() || to.isEmpty())
        throw AppError(QStringLiteral("Renaming: no file name given"));
    const QByteArray source = resolve(from).toUtf8();
    const QByteArray target = resolve(to).toUtf8();
    int rc = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_rename(m_sftp, source.constData(), target.constData());
    }
    if (rc == SSH_OK)
        return;
    const int status = sftp_get_error(m_sftp);
    const QString refusal = failure();
    if (!isConnected())
        throw AppError(QStringLiteral("%1: %2").arg(what, refusal));
    // SFTP version 3 renames only onto a free name, and libssh offers no
    // way to send the server's replacing rename. So an existing file is
    // removed first: for that moment the host has no copy under the name,
    // which is still better than a half-written one. Only when the source
    // is a file that is there, so a failed rename never costs the target.
    if (status != SSH_FX_FAILURE && status != SSH_FX_FILE_ALREADY_EXISTS)
        throw AppError(QStringLiteral("%1: %2").arg(what, refusal));
    const auto typeOf = [this](const QByteArray &path) {
        sftp_attributes attributes = nullptr;
        {
            const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
            attributes = sftp_lstat(m_sftp, path.constData());
        }
        if (!attributes) {
            failure(); // drops a lost session
            return -1;
        }
        const int type = attributes->type;
        sftp_attributes_free(attributes);
        return type;
    };
    if (typeOf(source) != SSH_FILEXFER_TYPE_REGULAR)
        throw AppError(QStringLiteral("%1: %2").arg(what, refusal));
    const int existing = typeOf(target);
    if (existing == SSH_FILEXFER_TYPE_DIRECTORY)
        throw AppError(QStringLiteral("%1: %2 is a folder").arg(what, to));
    if (existing < 0)
        throw AppError(QStringLiteral("%1: %2").arg(what, refusal));
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_unlink(m_sftp, target.constData());
    }
    if (rc != SSH_OK)
        throw AppError(QStringLiteral("%1: %2; removing the old file failed: %3")
                           .arg(what, refusal, failure()));
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_rename(m_sftp, source.constData(), target.constData());
    }
    if (rc != SSH_OK)
        fail(what);
}

void SftpClient::removeFile(const QString &path)
{
    const QString what = QStringLiteral("Removing ") + path;
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("Removing: no file name given"));
    int rc = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_unlink(m_sftp, resolve(path).toUtf8().constData());
    }
    if (rc != SSH_OK)
        fail(what);
}

void SftpClient::setMode(const QString &path, int mode)
{
    const QString what = QStringLiteral("Setting the permissions of %1 to %2")
                             .arg(path)
                             .arg(mode, 4, 8, QLatin1Char('0'));
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("Setting permissions: no file name given"));
    int rc = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_chmod(m_sftp, resolve(path).toUtf8().constData(), mode_t(mode));
    }
    if (rc != SSH_OK)
        fail(what);
}

bool SftpClient::setModifiedTime(const QString &path, qint64 msSinceEpoch)
{
    const QString what = QStringLiteral("Setting the modification time of ") + path;
    requireConnected(what);
    if (path.isEmpty())
        throw AppError(QStringLiteral("Setting a time: no file name given"));
    // SFTP keeps whole seconds; both times are set, as setstat takes them together.
    timeval times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(msSinceEpoch / 1000);
    times[0].tv_usec = times[1].tv_usec = 0;
    int rc = 0;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        rc = sftp_utimes(m_sftp, resolve(path).toUtf8().constData(), times);
    }
    if (rc != SSH_OK)
        fail(what);
    return true;
}

QList<RemoteEntry> SftpClient::listFolder(const QString &path)
{
    const QString what = QStringLiteral("Listing ") + path;
    requireConnected(what);
    sftp_dir dir = nullptr;
    {
        const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
        dir = sftp_opendir(m_sftp, resolve(path).toUtf8().constData());
    }
    if (!dir)
        fail(what);
    QList<RemoteEntry> entries;
    for (;;) {
        sftp_attributes attributes = nullptr;
        {
            const Guarded guard(*m_watchdog, m_session, m_timeoutMs, m_timedOut);
            attributes = sftp_readdir(m_sftp, dir);
        }
        if (!attributes)
            break;
        const QString name = QString::fromUtf8(attributes->name);
        if (name != u"." && name != u".." &&
            (attributes->type == SSH_FILEXFER_TYPE_REGULAR ||
             attributes->type == SSH_FILEXFER_TYPE_DIRECTORY)) {
            RemoteEntry entry;
            entry.name = name;
            entry.folder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
            if (attributes->flags & SSH_FILEXFER_ATTR_SIZE)
                entry.size = qint64(attributes->size);
            if (attributes->flags & SSH_FILEXFER_ATTR_ACMODTIME)
                entry.modifiedMs = qint64(attributes->mtime) * 1000;
            entries.append(entry);
        }
        sftp_attributes_free(attributes);
    }
    const bool complete = sftp_dir_eof(dir) != 0;
    sftp_closedir(dir);
    if (!complete)
        fail(what);
    return entries;
}

void SftpClient::disconnect()
{
    closeSession();
    m_cwd.clear();
}
