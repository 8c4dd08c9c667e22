#pragma once

#include <QString>

#include <optional>

// Where the user's publishing passwords are kept when the project file must
// hold none: the desktop keyring in the program, a map in tests. Every call
// blocks until the store answers; a store that cannot be reached throws
// AppError saying why, so a password is never silently lost.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;

    // The password kept under `key`; nothing when none is kept.
    virtual std::optional<QString> read(const QString &key) = 0;
    virtual void write(const QString &key, const QString &password) = 0;
    // Forgets the password under `key`; no error when none was kept.
    virtual void remove(const QString &key) = 0;
};
