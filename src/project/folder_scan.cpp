#include "project/folder_scan.h"

#include "foundation/errors.h"
#include "project/publish_exclusions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <memory>
#include <vector>

namespace {
const QStringList VersionControlFolders = {QStringLiteral(".git"), QStringLiteral(".svn"),
                                           QStringLiteral(".hg")};
constexpr int ProgressEvery = 1000;

// One .gitignore: its patterns apply below the folder it lies in.
struct IgnoreFile {
    QString base; // relative to the scanned folder, "" for the folder itself
    PublishExclusions patterns;
};

struct Folder {
    QString path;      // full path
    QString relative;  // to the scanned folder, "" for the folder itself
    QString canonical; // its real path, links resolved
    int ignoreDepth;   // how many IgnoreFiles apply here
};

QStringList readIgnoreFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n');
}

// Keeps the patterns that compile: one bad line in somebody's .gitignore
// must not cost the user the folder.
PublishExclusions validPatterns(const QStringList &lines)
{
    QStringList valid;
    for (const QString &line : lines)
        if (PublishExclusions::patternError(line).isEmpty())
            valid << line;
    return PublishExclusions(valid);
}

QString relativeTo(const QString &base, const QString &relative)
{
    return base.isEmpty() ? relative : relative.mid(base.size() + 1);
}
} // namespace

FolderScan::FolderScan(const QString &folder, const QString &projectFolder,
                       const QStringList &exclusions, const QString &projectFile)
    : m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())),
      m_projectFolder(QDir::cleanPath(projectFolder)), m_exclusions(exclusions),
      m_projectFile(projectFile)
{
    if (!QFileInfo(m_folder).isDir())
        throw AppError(QStringLiteral("The folder %1 does not exist.").arg(folder));
    PublishExclusions check(m_exclusions); // throws naming an invalid pattern
}

FolderScanResult FolderScan::run(const std::atomic<bool> *cancel,
                                 const std::function<void(int)> &progress) const
{
    FolderScanResult result;
    const PublishExclusions exclusions(m_exclusions);
    const bool pruneExcluded = !exclusions.hasNegations();
    const QString projectPrefix = m_projectFolder + u'/';
    // The exclusions speak of paths below the project folder only.
    const auto excluded = [&](const QString &full, bool isFolder) {
        if (m_projectFolder.isEmpty() || !full.startsWith(projectPrefix))
            return false;
        const QString relative = full.mid(projectPrefix.size());
        if (isFolder)
            return pruneExcluded &&
                   exclusions.verdictFor(relative, true) == PublishExclusions::Verdict::Excluded;
        return exclusions.excludes(relative);
    };

    std::vector<IgnoreFile> ignores;
    // git's order: the deepest .gitignore that has a say decides.
    const auto ignored = [&](int depth, const QString &relative, bool isFolder) {
        for (int k = depth - 1; k >= 0; --k) {
            const IgnoreFile &ignore = ignores[size_t(k)];
            const auto verdict =
                ignore.patterns.verdictFor(relativeTo(ignore.base, relative), isFolder);
            if (verdict != PublishExclusions::Verdict::None)
                return verdict == PublishExclusions::Verdict::Excluded;
        }
        return false;
    };

    const QString root = QFileInfo(m_folder).canonicalFilePath();
    QSet<QString> walked{root};
    std::vector<Folder> pending{{m_folder, QString(), root, 0}};
    while (!pending.empty()) {
        if (cancel && cancel->load()) {
            result.cancelled = true;
            break;
        }
        Folder folder = std::move(pending.back());
        pending.pop_back();
        result.folders.append(folder.path);

        struct Entry {
            QString name;
            bool isFolder;
            bool isLink;
        };
        std::vector<Entry> entries;
        bool hasIgnoreFile = false;
        QDirIterator it(folder.path,
                        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            const QString name = info.fileName();
            if (name == QLatin1String(".gitignore"))
                hasIgnoreFile = true;
            // A link's target decides what it is; a dangling link is nothing.
            if (!info.isDir() && !info.isFile())
                continue;
            entries.push_back({name, info.isDir(), info.isSymLink()});
        }
        // Ignore files of folders that are done no longer apply: keep those
        // of this folder's ancestors, then add its own.
        while (int(ignores.size()) > folder.ignoreDepth)
            ignores.pop_back();
        if (hasIgnoreFile)
            ignores.push_back(
                {folder.relative, validPatterns(readIgnoreFile(folder.path + "/.gitignore"))});
        const int depth = int(ignores.size());

        std::sort(entries.begin(), entries.end(),
                  [](const Entry &a, const Entry &b) { return a.name < b.name; });
        std::vector<Folder> below;
        for (const Entry &entry : entries) {
            const QString full = folder.path + u'/' + entry.name;
            const QString relative =
                folder.relative.isEmpty() ? entry.name : folder.relative + u'/' + entry.name;
            if ((entry.isFolder && VersionControlFolders.contains(entry.name)) ||
                ignored(depth, relative, entry.isFolder) || excluded(full, entry.isFolder) ||
                (!entry.isFolder && full == m_projectFile)) {
                ++result.leftOut;
                continue;
            }
            if (!entry.isFolder) {
                result.files.append(full);
                if (progress && result.files.size() % ProgressEvery == 0)
                    progress(int(result.files.size()));
                continue;
            }
            // A folder is walked once, whatever the way to it: a link back
            // up the tree would never end.
            const QString canonical = entry.isLink ? QFileInfo(full).canonicalFilePath()
                                                   : folder.canonical + u'/' + entry.name;
            if (entry.isLink && (canonical.isEmpty() || walked.contains(canonical))) {
                ++result.linksSkipped;
                continue;
            }
            walked.insert(canonical);
            below.push_back({full, relative, canonical, depth});
        }
        // Depth first, in name order: the stack takes them reversed.
        for (auto it = below.rbegin(); it != below.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return result;
}
