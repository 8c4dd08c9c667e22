#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

// Per-user settings in the registry's shape: a key path below the user's root
// holding named string values. On Linux one INI file whose groups are the key
// paths; key paths compare without regard to letter case, as registry keys do.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens (creating when missing) the key and reads a value; empty when absent.
    virtual QString readValue(const QString &keyPath, const QString &valueName) = 0;
    // Opens (creating when missing) the key and writes a value; throws AppError
    // when the store cannot be written.
    virtual void writeValue(const QString &keyPath, const QString &valueName,
                            const QString &text) = 0;
    // Whether the key exists, with or without values.
    virtual bool hasKey(const QString &keyPath) = 0;
    // The names of the keys directly below `keyPath`, as stored; creates nothing.
    virtual QStringList childKeys(const QString &keyPath) = 0;

    // Many keys at once, in one pass over the store (a long recent list).
    // Reading creates the keys that are missing, as readValue does.
    virtual QStringList readValues(const QStringList &keyPaths, const QString &valueName);
    virtual void writeValues(const QList<QPair<QString, QString>> &keyValues,
                             const QString &valueName);
};

// The store kept in one INI-like file. Every call reads the file afresh and
// every write replaces it atomically, so nothing is cached between calls.
// Only a regular file up to MaxFileBytes is read; anything else raises
// AppError and is never overwritten.
class IniSettingsStore final : public SettingsStore {
public:
    explicit IniSettingsStore(QString filePath);
    QString readValue(const QString &keyPath, const QString &valueName) override;
    void writeValue(const QString &keyPath, const QString &valueName, const QString &text) override;
    bool hasKey(const QString &keyPath) override;
    QStringList childKeys(const QString &keyPath) override;
    QStringList readValues(const QStringList &keyPaths, const QString &valueName) override;
    void writeValues(const QList<QPair<QString, QString>> &keyValues,
                     const QString &valueName) override;
    const QString &filePath() const { return m_filePath; }

    // $XDG_CONFIG_HOME/quillstone/settings.ini (or ~/.config/... without it).
    static QString defaultFilePath();
    static constexpr qint64 MaxFileBytes = 16LL * 1024 * 1024;

private:
    QString m_filePath;
};

// The user's store. Created on first use at the default path, so tests that
// point XDG_CONFIG_HOME at a temporary folder before that use it.
SettingsStore &UserSettings();
// Replaces the user's store (tests); nullptr goes back to the default file.
void SetUserSettings(std::unique_ptr<SettingsStore> store);
