#include "net/keychain_password_store.h"

#include "foundation/errors.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <memory>

namespace {
// What one keychain job came back with; shared with the job's signal so a
// job that outlives the wait writes into memory that still exists.
struct Outcome {
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorString;
    QString text;
};

enum class Action { Read, Write, Remove };

QString doing(Action action, const QString &key)
{
    switch (action) {
    case Action::Read:
        return QStringLiteral("reading the password for \"%1\"").arg(key);
    case Action::Write:
        return QStringLiteral("keeping the password for \"%1\"").arg(key);
    case Action::Remove:
        return QStringLiteral("forgetting the password for \"%1\"").arg(key);
    }
    return {};
}

// Runs the job to its end or to the end of the wait. The job deletes itself
// when it finishes, even after the wait gave up on it, so a late answer
// neither crashes nor leaks more than the job.
Outcome runJob(QKeychain::Job *job, std::chrono::milliseconds wait)
{
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, &loop, [outcome, &loop](QKeychain::Job *done) {
        outcome->finished = true;
        outcome->error = done->error();
        outcome->errorString = done->errorString();
        if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(done))
            outcome->text = reading->textData();
        loop.quit();
    });
    QTimer::singleShot(wait, &loop, &QEventLoop::quit);
    job->start();
    // The window repaints while the keyring thinks, but takes no input that
    // could start another command in the middle of this one.
    if (!outcome->finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // `loop` ends here, and with it the connection: a late answer goes nowhere.
    return *outcome;
}

bool soundsUnreachable(const QString &detail)
{
    static const char *const signs[] = {
        "ServiceUnknown",
        "not provided by any",
        "No such interface",
        "Could not connect",
        "Cannot autolaunch",
        "DBUS_SESSION_BUS_ADDRESS",
        "Failed to connect",
        "No such file",
        "Connection refused",
        "not activatable",
        "The name is not activ",
        "Error spawning command",
        "org.freedesktop.DBus.Error.NoReply",
    };
    for (const char *sign : signs) {
        if (detail.contains(QLatin1String(sign), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString noKeyring(const QString &detail)
{
    return QStringLiteral("No desktop keyring is running in this session (%1). Start the "
                          "keyring, or keep the password in the project file instead.")
        .arg(detail);
}

[[noreturn]] void fail(Action action, const QString &key, const Outcome &outcome)
{
    const QString what = doing(action, key);
    const QString detail =
        outcome.errorString.isEmpty() ? QStringLiteral("no further detail") : outcome.errorString;
    switch (outcome.error) {
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        throw AppError(noKeyring(detail));
    case QKeychain::AccessDeniedByUser:
        throw AppError(QStringLiteral("The desktop keyring stayed locked: access was refused "
                                      "while %1.")
                           .arg(what));
    case QKeychain::AccessDenied:
        throw AppError(QStringLiteral("The desktop keyring denied access while %1 (%2). Unlock the "
                                      "keyring and try again.")
                           .arg(what, detail));
    case QKeychain::CouldNotDeleteEntry:
        throw AppError(QStringLiteral("The desktop keyring could not forget the password for "
                                      "\"%1\" (%2).")
                           .arg(key, detail));
    default:
        break;
    }
    if (soundsUnreachable(detail))
        throw AppError(noKeyring(detail));
    if (detail.contains(QLatin1String("locked"), Qt::CaseInsensitive))
        throw AppError(QStringLiteral("The desktop keyring is locked and was not unlocked "
                                      "while %1 (%2).")
                           .arg(what, detail));
    throw AppError(QStringLiteral("The desktop keyring failed while %1: %2.").arg(what, detail));
}

[[noreturn]] void timedOut(Action action, const QString &key, std::chrono::milliseconds wait)
{
    throw AppError(QStringLiteral("The desktop keyring did not answer within %1 seconds while "
                                  "%2. It may be waiting for a password prompt, or hung.")
                       .arg(QString::number(wait.count() / 1000.0, 'g', 3), doing(action, key)));
}

// The keychain library reports a password kept in a locked keyring whose
// unlocking was refused as "not found". Asks the secret service whether it
// holds the entry behind a lock, so the caller can tell the two apart. Any
// failure of the question itself (no secret service, KWallet) answers no.
bool heldLocked(const QString &key, int timeoutMs)
{
    if (timeoutMs <= 0)
        return false;
    using Attributes = QMap<QString, QString>;
    qDBusRegisterMetaType<Attributes>();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    // The attributes the keychain library files its entries under.
    const Attributes attributes{{QStringLiteral("server"), KeychainPasswordStore::serviceName()},
                                {QStringLiteral("user"), key}};
    call << QVariant::fromValue(attributes);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return false;
    const auto locked = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1));
    return !locked.isEmpty();
}

QString escapePart(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'%' || c == u'@' || c == u':' || c == u'/')
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}
} // namespace

KeychainPasswordStore::KeychainPasswordStore(std::chrono::milliseconds wait) : m_wait(wait)
{
}

QString KeychainPasswordStore::serviceName()
{
    return QStringLiteral("Quillstone");
}

QString KeychainPasswordStore::PublishPasswordKey(const QString &protocol, const QString &user,
                                                  const QString &host)
{
    const QString scheme =
        protocol.trimmed().compare(QLatin1String("sftp"), Qt::CaseInsensitive) == 0
            ? QStringLiteral("sftp")
            : QStringLiteral("ftp");
    return scheme + QLatin1String("://") + escapePart(user) + u'@' + escapePart(host.toLower());
}

std::optional<QString> KeychainPasswordStore::read(const QString &key)
{
    QElapsedTimer clock;
    clock.start();
    auto *job = new QKeychain::ReadPasswordJob(serviceName());
    job->setKey(key);
    const Outcome outcome = runJob(job, m_wait);
    if (!outcome.finished)
        timedOut(Action::Read, key, m_wait);
    if (outcome.error == QKeychain::NoError)
        return outcome.text;
    if (outcome.error != QKeychain::EntryNotFound)
        fail(Action::Read, key, outcome);
    const auto left = m_wait.count() - clock.elapsed();
    if (heldLocked(key, static_cast<int>(left)))
        throw AppError(QStringLiteral("The desktop keyring is locked and was not unlocked, so "
                                      "the password for \"%1\" cannot be read. Unlock the "
                                      "keyring and try again.")
                           .arg(key));
    return std::nullopt;
}

void KeychainPasswordStore::write(const QString &key, const QString &password)
{
    auto *job = new QKeychain::WritePasswordJob(serviceName());
    job->setKey(key);
    job->setTextData(password);
    const Outcome outcome = runJob(job, m_wait);
    if (!outcome.finished)
        timedOut(Action::Write, key, m_wait);
    if (outcome.error != QKeychain::NoError)
        fail(Action::Write, key, outcome);
}

void KeychainPasswordStore::remove(const QString &key)
{
    QElapsedTimer clock;
    clock.start();
    auto *job = new QKeychain::DeletePasswordJob(serviceName());
    job->setKey(key);
    const Outcome outcome = runJob(job, m_wait);
    if (!outcome.finished)
        timedOut(Action::Remove, key, m_wait);
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        fail(Action::Remove, key, outcome);
    // A locked keyring answers a removal with success and keeps the entry.
    const auto left = m_wait.count() - clock.elapsed();
    if (heldLocked(key, static_cast<int>(left)))
        throw AppError(QStringLiteral("The desktop keyring is locked and was not unlocked, so "
                                      "the password for \"%1\" is still kept there. Unlock "
                                      "the keyring and try again.")
                           .arg(key));
}
