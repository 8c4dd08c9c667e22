#include "foundation/settings_store.h"

#include "foundation/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include <vector>

namespace {
struct Group {
    QString key;
    std::vector<std::pair<QString, QString>> values;
};

QString escape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString unescape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text.at(++i);
            out += n == u'n' ? QChar(u'\n') : n == u'r' ? QChar(u'\r') : n;
        } else {
            out += c;
        }
    }
    return out;
}

// Group names keep the backslashes of key paths; only ']' and line breaks
// would break the format, and key paths hold neither.
std::vector<Group> parse(const QString &path)
{
    std::vector<Group> groups;
    const QFileInfo info(path);
    if (!info.exists())
        return groups;
    const auto refuse = [&](const QString &reason) {
        return AppError(QStringLiteral("Cannot read the settings file %1: %2")
                            .arg(QDir::toNativeSeparators(path), reason));
    };
    // A link to a device or a pipe would never end, and a huge file is no
    // settings file of ours: refused, and so never replaced by a write.
    if (!info.isFile())
        throw refuse(QStringLiteral("it is not a regular file"));
    if (info.size() > IniSettingsStore::MaxFileBytes)
        throw refuse(QStringLiteral("it is larger than %1 MB")
                         .arg(IniSettingsStore::MaxFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw refuse(file.errorString());
    const QByteArray bytes = file.read(IniSettingsStore::MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw refuse(file.errorString());
    if (bytes.size() > IniSettingsStore::MaxFileBytes)
        throw refuse(QStringLiteral("it is larger than %1 MB")
                         .arg(IniSettingsStore::MaxFileBytes / (1024 * 1024)));
    const QString text = QString::fromUtf8(bytes);
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            groups.push_back({line.mid(1, line.size() - 2), {}});
        } else if (!groups.empty()) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                groups.back().values.emplace_back(line.left(eq), unescape(line.mid(eq + 1)));
        }
    }
    return groups;
}

void save(const QString &path, const std::vector<Group> &groups)
{
    QString text;
    for (const Group &g : groups) {
        text += u'[' + g.key + QStringLiteral("]\n");
        for (const auto &[name, value] : g.values)
            text += name + u'=' + escape(value) + u'\n';
    }
    const auto fail = [&](const QString &reason) {
        throw AppError(QStringLiteral("Cannot write the settings file %1: %2")
                           .arg(QDir::toNativeSeparators(path), reason));
    };
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(QStringLiteral("the folder cannot be created"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        fail(file.errorString());
    if (!file.commit())
        fail(file.errorString());
}

// Groups by lower-cased key path, for lookups of many keys in one pass.
QHash<QString, size_t> indexGroups(const std::vector<Group> &groups)
{
    QHash<QString, size_t> index;
    index.reserve(qsizetype(groups.size()));
    for (size_t i = 0; i < groups.size(); ++i)
        index.insert(groups[i].key.toLower(), i);
    return index;
}

void setValue(Group &g, const QString &valueName, const QString &text)
{
    for (auto &[name, value] : g.values) {
        if (name.compare(valueName, Qt::CaseInsensitive) == 0) {
            value = text;
            return;
        }
    }
    g.values.emplace_back(valueName, text);
}

Group *findGroup(std::vector<Group> &groups, const QString &keyPath)
{
    for (Group &g : groups) {
        if (g.key.compare(keyPath, Qt::CaseInsensitive) == 0)
            return &g;
    }
    return nullptr;
}
} // namespace

IniSettingsStore::IniSettingsStore(QString filePath) : m_filePath(std::move(filePath))
{
}

QString IniSettingsStore::defaultFilePath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/quillstone/settings.ini");
}

QString IniSettingsStore::readValue(const QString &keyPath, const QString &valueName)
{
    std::vector<Group> groups = parse(m_filePath);
    if (Group *g = findGroup(groups, keyPath)) {
        for (const auto &[name, value] : g->values) {
            if (name.compare(valueName, Qt::CaseInsensitive) == 0)
                return value;
        }
        return QString();
    }
    // Opening a key creates it. A store that cannot be written still reads:
    // the value is absent either way.
    groups.push_back({keyPath, {}});
    try {
        save(m_filePath, groups);
    } catch (const AppError &) {
    }
    return QString();
}

void IniSettingsStore::writeValue(const QString &keyPath, const QString &valueName,
                                  const QString &text)
{
    std::vector<Group> groups = parse(m_filePath);
    Group *g = findGroup(groups, keyPath);
    if (!g) {
        groups.push_back({keyPath, {}});
        g = &groups.back();
    }
    bool replaced = false;
    for (auto &[name, value] : g->values) {
        if (name.compare(valueName, Qt::CaseInsensitive) == 0) {
            value = text;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        g->values.emplace_back(valueName, text);
    save(m_filePath, groups);
}

bool IniSettingsStore::hasKey(const QString &keyPath)
{
    std::vector<Group> groups = parse(m_filePath);
    return findGroup(groups, keyPath) != nullptr;
}

QStringList IniSettingsStore::childKeys(const QString &keyPath)
{
    const QString prefix = keyPath + u'\\';
    QStringList names;
    for (const Group &g : parse(m_filePath)) {
        if (g.key.size() > prefix.size() && g.key.startsWith(prefix, Qt::CaseInsensitive) &&
            !g.key.mid(prefix.size()).contains(u'\\'))
            names << g.key.mid(prefix.size());
    }
    return names;
}

QStringList IniSettingsStore::readValues(const QStringList &keyPaths, const QString &valueName)
{
    std::vector<Group> groups = parse(m_filePath);
    QHash<QString, size_t> index = indexGroups(groups);
    QStringList values;
    values.reserve(keyPaths.size());
    bool created = false;
    for (const QString &keyPath : keyPaths) {
        const auto found = index.constFind(keyPath.toLower());
        if (found == index.constEnd()) {
            groups.push_back({keyPath, {}});
            index.insert(keyPath.toLower(), groups.size() - 1);
            created = true;
            values << QString();
            continue;
        }
        QString text;
        for (const auto &[name, value] : groups[*found].values) {
            if (name.compare(valueName, Qt::CaseInsensitive) == 0) {
                text = value;
                break;
            }
        }
        values << text;
    }
    if (created) {
        try {
            save(m_filePath, groups);
        } catch (const AppError &) {
        }
    }
    return values;
}

void IniSettingsStore::writeValues(const QList<QPair<QString, QString>> &keyValues,
                                   const QString &valueName)
{
    std::vector<Group> groups = parse(m_filePath);
    QHash<QString, size_t> index = indexGroups(groups);
    for (const auto &[keyPath, text] : keyValues) {
        auto found = index.constFind(keyPath.toLower());
        if (found == index.constEnd()) {
            groups.push_back({keyPath, {}});
            found = index.insert(keyPath.toLower(), groups.size() - 1);
        }
        setValue(groups[*found], valueName, text);
    }
    save(m_filePath, groups);
}

QStringList SettingsStore::readValues(const QStringList &keyPaths, const QString &valueName)
{
    QStringList values;
    for (const QString &keyPath : keyPaths)
        values << readValue(keyPath, valueName);
    return values;
}

void SettingsStore::writeValues(const QList<QPair<QString, QString>> &keyValues,
                                const QString &valueName)
{
    for (const auto &[keyPath, text] : keyValues)
        writeValue(keyPath, valueName, text);
}

namespace {
std::unique_ptr<SettingsStore> &storeSlot()
{
    static std::unique_ptr<SettingsStore> store;
    return store;
}
} // namespace

SettingsStore &UserSettings()
{
    if (!storeSlot())
        storeSlot() = std::make_unique<IniSettingsStore>(IniSettingsStore::defaultFilePath());
    return *storeSlot();
}

void SetUserSettings(std::unique_ptr<SettingsStore> store)
{
    storeSlot() = std::move(store);
}
