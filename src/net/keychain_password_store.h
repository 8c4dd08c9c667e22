#pragma once

#include "foundation/password_store.h"

#include <QString>

#include <chrono>

// Publishing passwords in the desktop keyring (the freedesktop secret service,
// KWallet, ...) under the service name "Quillstone". Every call blocks on a
// local event loop that ignores user input, for at most the given wait, so a
// keyring that hangs can never freeze the window for good; a keyring that
// cannot be reached, stays locked or refuses access throws AppError saying
// so. Reading a key the keyring does not hold gives nothing, not an error; a
// key that is held in a locked keyring is an error, not "nothing", so the
// caller never mistakes it for a forgotten password.
class KeychainPasswordStore final : public PasswordStore {
public:
    static constexpr std::chrono::milliseconds DefaultWait{10'000};

    explicit KeychainPasswordStore(std::chrono::milliseconds wait = DefaultWait);

    std::optional<QString> read(const QString &key) override;
    void write(const QString &key, const QString &password) override;
    void remove(const QString &key) override;

    // The service every entry is filed under.
    static QString serviceName();

    // The key of a publishing password: "ftp://user@host" or
    // "sftp://user@host". An empty or unknown protocol is FTP (FTPS shares
    // its key, as the password is the same account's); the host's letter case
    // does not matter, the user's does. '%', '@', ':' and '/' inside the user
    // or the host are percent-encoded so two accounts never share a key.
    static QString PublishPasswordKey(const QString &protocol, const QString &user,
                                      const QString &host);

private:
    std::chrono::milliseconds m_wait;
};
