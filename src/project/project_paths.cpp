#include "project/project_paths.h"

#include <QFileInfo>
#include <QList>
#include <QStringView>

namespace {
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity FolderCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity FolderCase = Qt::CaseSensitive;
#endif

bool isDriveLetterPath(const QString &value)
{
    return value.size() >= 2 && value.at(1) == u':' && value.at(0).isLetter() &&
           value.at(0).unicode() < 128;
}

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// Appends the segments of `text` (split at any of the separators accepted)
// to `segments`, applying "." and "..". `floor` segments are never popped.
void pushSegments(QList<QStringView> &segments, QStringView text, bool backslashToo,
                  qsizetype floor)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && !(text.at(i) == u'/' || (backslashToo && text.at(i) == u'\\')))
            continue;
        const QStringView segment = text.mid(start, i - start);
        start = i + 1;
        if (segment.isEmpty() || segment == u".")
            continue;
        if (segment == u"..") {
            if (segments.size() > floor)
                segments.removeLast();
            continue;
        }
        segments.append(segment);
    }
}

QString joinSegments(const QString &prefix, const QList<QStringView> &segments, QChar separator)
{
    QString out = prefix;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0)
            out += separator;
        out += segments.at(i);
    }
    return out;
}

// A drive-letter or "\\server\share" value, cleaned in its own form with '\'.
// ".." never climbs above the drive or the server and share.
QString cleanForeignPath(const QString &value)
{
    QString prefix;
    QList<QStringView> segments;
    qsizetype pos = 2;
    if (isDriveLetterPath(value)) {
        const bool rooted = value.size() > 2 && isSeparator(value.at(2));
        prefix = value.left(2) + (rooted ? QStringLiteral("\\") : QString());
    } else {
        prefix = QStringLiteral("\\\\");
        for (int part = 0; part < 2 && pos < value.size(); ++part) {
            qsizetype next = pos;
            while (next < value.size() && !isSeparator(value.at(next)))
                ++next;
            if (next > pos)
                segments.append(QStringView(value).mid(pos, next - pos));
            pos = next + 1;
        }
    }
    const qsizetype floor = segments.size();
    if (pos < value.size())
        pushSegments(segments, QStringView(value).mid(pos), true, floor);
    return joinSegments(prefix, segments, u'\\');
}
} // namespace

QString CleanNativePath(const QString &path)
{
    QList<QStringView> segments;
    pushSegments(segments, path, false, 0);
    return joinSegments(QStringLiteral("/"), segments, u'/');
}

QString ProjectFolderOf(const QString &projectFile)
{
    QString folder = CleanNativePath(QFileInfo(projectFile).absolutePath());
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

ProjectPathEncoder::ProjectPathEncoder(const QString &projectFolder)
    : m_folderParts(projectFolder.split(u'/', Qt::SkipEmptyParts))
{
}

QString ProjectPathEncoder::Encode(const QString &fullPath) const
{
    if (!fullPath.startsWith(u'/'))
        return fullPath;
    const qsizetype cut = fullPath.lastIndexOf(u'/');
    const QStringView name = QStringView(fullPath).mid(cut + 1);
    const QList<QStringView> folders =
        QStringView(fullPath).left(cut).split(u'/', Qt::SkipEmptyParts);

    qsizetype common = 0;
    while (common < folders.size() && common < m_folderParts.size() &&
           folders.at(common).compare(m_folderParts.at(common), FolderCase) == 0)
        ++common;

    QString out;
    for (qsizetype i = common; i < m_folderParts.size(); ++i)
        out += QLatin1String("..\\");
    for (qsizetype i = common; i < folders.size(); ++i) {
        if (folders.at(i).contains(u'\\'))
            return fullPath;
        out += folders.at(i);
        out += u'\\';
    }
    if (name.contains(u'\\'))
        return fullPath;
    out += name;
    // "c:x.php" is a legal name here but would read back as a drive path.
    if (isDriveLetterPath(out))
        out.prepend(QLatin1String(".\\"));
    return out;
}

ProjectPathDecoder::ProjectPathDecoder(const QString &projectFolder) : m_folder(projectFolder)
{
    pushSegments(m_folderSegments, m_folder, false, 0);
}

QString ProjectPathDecoder::Decode(const QString &stored) const
{
    if (stored.startsWith(u'/'))
        return CleanNativePath(stored);
    if (stored.startsWith(QLatin1String("\\\\")) || isDriveLetterPath(stored))
        return cleanForeignPath(stored);

    QList<QStringView> segments;
    if (!stored.startsWith(u'\\'))
        segments = m_folderSegments;
    pushSegments(segments, stored, true, 0);
    return joinSegments(QStringLiteral("/"), segments, u'/');
}

QString DecodeProjectPath(const QString &stored, const QString &projectFolder)
{
    return ProjectPathDecoder(projectFolder).Decode(stored);
}
