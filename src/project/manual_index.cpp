#include "project/manual_index.h"

#include "foundation/errors.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {
std::optional<QString> &folderOverride()
{
    static std::optional<QString> folder;
    return folder;
}
} // namespace

QString ManualFolder()
{
    if (folderOverride())
        return *folderOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/phpmanual");
}

void SetManualFolderOverride(std::optional<QString> folder)
{
    folderOverride() = std::move(folder);
}

QString ManualNameFromFileName(const QString &fileName)
{
    // Nine characters of "function." come before the name.
    constexpr qsizetype prefix = 9;
    // Looked for after the prefix: "function.htmlspecialchars.htm" would
    // otherwise end at the ".htm" that "function." runs into.
    const qsizetype end = fileName.indexOf(QLatin1String(".htm"), prefix);
    if (end < 0 || end - prefix <= 0)
        return {};
    QString name = fileName.mid(prefix, end - prefix);
    name.replace(u'-', u'_');
    return name;
}

QStringList ListManualFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        throw AppError(QStringLiteral("The PHP manual folder \"%1\" does not exist.").arg(folder));
    if (!info.isDir())
        throw AppError(QStringLiteral("The PHP manual folder \"%1\" is not a folder.").arg(folder));
    if (!info.isReadable() || !info.isExecutable())
        throw AppError(QStringLiteral("The PHP manual folder \"%1\" cannot be read.").arg(folder));

    QStringList names = QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);

    // Sort keys cost one pass over each name instead of a collation per comparison.
    QCollator collator(QLocale::system());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(names.size()));
    // Folded first: the "C" locale's keys would otherwise keep letter case.
    for (QString &name : names)
        keyed.push_back({collator.sortKey(name.toCaseFolded()), std::move(name)});
    // Names equal but for letter case keep a fixed order whatever the disk's.
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    QStringList sorted;
    sorted.reserve(qsizetype(keyed.size()));
    for (Keyed &k : keyed)
        sorted.append(std::move(k.name));
    return sorted;
}

QList<ManualEntry> ReadManualIndex(const QString &folder)
{
    const QStringList files = ListManualFolder(folder);
    QList<ManualEntry> index;
    index.reserve(files.size());
    for (const QString &file : files)
        index.append({ManualNameFromFileName(file), file});
    return index;
}

QString ManualSynopsis(const QString &pagePath)
{
    QFile page(pagePath);
    // A page is a few kilobytes; anything far larger is not one of ours.
    if (!page.open(QIODevice::ReadOnly))
        return {};
    const QByteArray html = page.read(256 * 1024);
    const QByteArray open = "class=\"methodsynopsis\"><code>";
    const qsizetype start = html.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype from = start + open.size();
    const qsizetype end = html.indexOf("</code>", from);
    if (end < 0)
        return {};
    QString text = QString::fromUtf8(html.mid(from, end - from));
    // The entities the page writer escapes; &amp; last so "&amp;lt;" stays "&lt;".
    text.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#039;"), QLatin1String("'"))
        .replace(QLatin1String("&apos;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.simplified();
}
