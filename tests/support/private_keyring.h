#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private D-Bus session bus in a temporary folder, with or without a real
// keyring daemon (gnome-keyring's secret service) on it; nothing of the user's
// own session is touched. The bus reads no service files, so nothing is ever
// started on demand: without the keyring the secret service is simply absent.
// Child processes run with environment() talk to this bus and keyring only
// (their home, data and runtime folders are the temporary folder's). Everything
// is stopped by the destructor. Throws std::runtime_error when it cannot start.
class PrivateKeyring {
public:
    enum class Kind { BusOnly, WithKeyring };

    explicit PrivateKeyring(Kind kind, const QString &password = QStringLiteral("test-login"));
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;

    QString busAddress() const { return m_address; }
    QProcessEnvironment environment() const;

    // Locks the keyring's default collection, as the desktop does on a timer
    // or at the screen lock. No prompt can unlock it again: the bus has no
    // prompter, so any unlock request counts as refused.
    void lockDefaultCollection();
    // Stops (SIGSTOP) or resumes the keyring daemon: a stopped one keeps its
    // name on the bus and never answers, as a hung keyring would.
    void freezeKeyring(bool frozen);

    // Runs a D-Bus call on this bus with dbus-send; returns its printed reply.
    QString send(const QStringList &arguments) const;

private:
    void startBus();
    void startKeyring(const QString &password);

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_bus;
    std::unique_ptr<QProcess> m_keyring;
    QString m_address;
};
