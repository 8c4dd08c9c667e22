#include "project/publish_record.h"

#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "project/project.h"
#include "project/publish.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// The member that marks our files and their layout's version.
const QString FormatName = QStringLiteral("quillstone publish record");
constexpr int FormatVersion = 1;

} // namespace

PublishRecord::PublishRecord(const QString &key, const QString &filePath)
    : m_key(key), m_filePath(filePath)
{
}

QString PublishRecord::keyOf(const Project &project)
{
    // Plain FTP is written either way; the TLS mode changes nothing on the host.
    const QString protocol = project.Ftp.isSftp() ? QStringLiteral("sftp") : QStringLiteral("ftp");
    return QStringList{project.FileName, protocol, project.Ftp.Host, project.Ftp.User,
                       project.Ftp.Folder}
        .join(u'\n');
}

QString PublishRecord::fileNameFor(const QString &folder, const QString &key)
{
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    return QDir(folder).filePath(QString::fromLatin1(hash.toHex().left(32)) +
                                 QStringLiteral(".json"));
}

bool PublishRecord::load()
{
    m_entries.clear();
    m_problem.clear();
    m_setAside = false;
    if (m_filePath.isEmpty() || !QFileInfo(m_filePath).exists())
        return true;
    const auto unusable = [this](const QString &why) {
        m_entries.clear();
        m_problem = QStringLiteral("The publish record %1 cannot be used: %2")
                        .arg(QuotedPath(m_filePath), why);
        m_setAside = true;
        return false;
    };
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(m_filePath, MaxFileBytes, QStringLiteral("read"));
    } catch (const AppError &error) {
        // Only a real file can be moved aside; a folder or device stays put.
        const bool result = unusable(error.message());
        m_setAside = QFileInfo(m_filePath).isFile();
        return result;
    }
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return unusable(QStringLiteral("it is damaged (%1 at byte %2).")
                            .arg(parse.errorString())
                            .arg(parse.offset));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != FormatName)
        return unusable(QStringLiteral("it is not a publish record."));
    if (root.value(QStringLiteral("version")).toInt() != FormatVersion)
        return unusable(QStringLiteral("it was written in another layout (version %1).")
                            .arg(root.value(QStringLiteral("version")).toVariant().toString()));
    if (root.value(QStringLiteral("key")).toString() != m_key)
        return unusable(QStringLiteral("it belongs to another project or host."));
    const QJsonValue files = root.value(QStringLiteral("files"));
    if (!files.isObject())
        return unusable(QStringLiteral("it lists no files."));
    const QJsonObject list = files.toObject();
    for (auto it = list.begin(); it != list.end(); ++it) {
        const QJsonArray fields = it.value().toArray();
        const QByteArray sha = QByteArray::fromHex(fields.at(2).toString().toLatin1());
        const double size = fields.at(0).toDouble(-1);
        const double modified = fields.at(1).toDouble(-1);
        if (it.key().isEmpty() || fields.size() != 3 || sha.size() != 32 || size < 0 ||
            modified < 0 || size > 9.0e15 || modified > 9.0e15)
            return unusable(QStringLiteral("its entry for \"%1\" is damaged.").arg(it.key()));
        m_entries.insert(it.key(), Entry{qint64(size), qint64(modified), sha});
    }
    // Absent from records written before it; only names of the program's
    // own uploads are taken, so an edited record cannot aim a removal elsewhere.
    for (const QJsonValue &value : root.value(QStringLiteral("leftovers")).toArray()) {
        const QString path = value.toString();
        if (IsUploadTemporaryName(path.mid(path.lastIndexOf(u'/') + 1)) && !path.startsWith(u'/') &&
            !path.split(u'/').contains(QStringLiteral("..")))
            addLeftover(path);
    }
    return true;
}

void PublishRecord::save()
{
    if (m_filePath.isEmpty())
        return;
    const auto failure = [this](const QString &why) {
        return AppError(QStringLiteral("Cannot save the publish record %1: %2")
                            .arg(QuotedPath(m_filePath), why));
    };
    QJsonObject list;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        list.insert(it.key(), QJsonArray{double(it->size), double(it->modifiedMs),
                                         QString::fromLatin1(it->sha256.toHex())});
    const QJsonObject root{{QStringLiteral("format"), FormatName},
                           {QStringLiteral("version"), FormatVersion},
                           {QStringLiteral("key"), m_key},
                           {QStringLiteral("files"), list},
                           {QStringLiteral("leftovers"), QJsonArray::fromStringList(m_leftovers)}};
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);

    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        throw failure(QStringLiteral("its folder cannot be made."));
    if (m_setAside) {
        const QString aside = m_filePath + QStringLiteral(".damaged");
        QFile::remove(aside);
        if (!QFile::rename(m_filePath, aside))
            throw failure(QStringLiteral("the unusable file there cannot be moved to %1.")
                              .arg(QuotedPath(aside)));
        m_setAside = false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(file.errorString());
    // Only the user's own business what was sent where.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size())
        throw failure(file.errorString());
    if (!file.commit())
        throw failure(file.errorString());
}

const PublishRecord::Entry *PublishRecord::find(const QString &remotePath) const
{
    const auto it = m_entries.constFind(remotePath);
    return it == m_entries.cend() ? nullptr : &*it;
}

void PublishRecord::set(const QString &remotePath, const Entry &entry)
{
    m_entries.insert(remotePath, entry);
}

void PublishRecord::addLeftover(const QString &temporaryPath)
{
    if (!m_leftovers.contains(temporaryPath))
        m_leftovers << temporaryPath;
}

void PublishRecord::removeLeftover(const QString &temporaryPath)
{
    m_leftovers.removeAll(temporaryPath);
}

void PublishRecord::remove(const QString &remotePath)
{
    m_entries.remove(remotePath);
}
