// What a publish does with each file (the plan), the publish markers, the
// temporary upload names and the folder creation the engine relies on.

#include "project/publish.h"

#include "foundation/errors.h"
#include "foundation/ftp_connection.h"
#include "foundation/parallel_for.h"
#include "foundation/sha256.h"
#include "foundation/switches.h"
#include "foundation/text_utils.h"
#include "project/project.h"
#include "project/project_paths.h"
#include "project/publish_engine.h"
#include "project/publish_exclusions.h"
#include "project/publish_record.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Finds either publish marker, ignoring ASCII letter case, in one pass over a
// block. A place is compared letter by letter only where a marker's first
// and last letters stand at their distance; with SSE2 sixteen places are
// sifted at once, several bytes per cycle, since every byte of every file
// of a run goes through here.
class MarkerSearch {
public:
    static constexpr const char *First = "host specific";   // 13 characters
    static constexpr const char *Second = "//dont publish"; // 14 characters
    // Bytes of the previous block kept in front of the next, so that a marker
    // split by a block boundary is still seen whole.
    static constexpr qsizetype Overlap = 14 - 1;

    static bool foundIn(const char *text, qsizetype length)
    {
        qsizetype at = 0;
#ifdef __SSE2__
        // Setting the case bit folds 'H' onto 'h'; '/' has it already (the
        // control byte 0x0F folds onto it, and is then turned down whole).
        const __m128i caseBit = _mm_set1_epi8(0x20);
        const __m128i h = _mm_set1_epi8('h');
        const __m128i c = _mm_set1_epi8('c');
        const __m128i slash = _mm_set1_epi8('/');
        const auto load = [&](qsizetype from) {
            return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(text + from)),
                                caseBit);
        };
        for (; at + 16 + 13 <= length; at += 16) {
            const __m128i head = load(at);
            auto first = unsigned(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(head, h), _mm_cmpeq_epi8(load(at + 12), c))));
            auto second = unsigned(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(head, slash), _mm_cmpeq_epi8(load(at + 13), h))));
            for (; first != 0; first &= first - 1) {
                if (matches(text + at + std::countr_zero(first), First))
                    return true;
            }
            for (; second != 0; second &= second - 1) {
                if (matches(text + at + std::countr_zero(second), Second))
                    return true;
            }
        }
#endif
        for (; at + 13 <= length; ++at) {
            const char lead = lowerAscii(text[at]);
            if (lead == 'h' && matches(text + at, First))
                return true;
            if (lead == '/' && at + 14 <= length && matches(text + at, Second))
                return true;
        }
        return false;
    }

private:
    static bool matches(const char *text, const char *marker)
    {
        for (; *marker; ++text, ++marker) {
            if (lowerAscii(*text) != *marker)
                return false;
        }
        return true;
    }
};

} // namespace

void CreateFtpPath(FtpConnection &connection, const QString &path,
                   const std::function<void(const QString &name, const QString &path)> &made)
{
    QStringList parts;
    QString walked;
    SplitByDelimiter(path, path.contains(u'\\') ? QStringLiteral("\\") : QStringLiteral("/"),
                     parts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QString target = part;
        if (part.isEmpty()) {
            // A leading separator names the root; an empty name elsewhere names nothing.
            if (i != 0)
                continue;
            target = QStringLiteral("/");
        } else {
            walked += (walked.isEmpty() ? QString() : QStringLiteral("/")) + part;
            try {
                connection.makeDir(part);
                if (made)
                    made(part, walked);
            } catch (const AppError &) {
                // The folder may exist already; entering it tells.
            }
        }
        try {
            connection.changeDir(target);
        } catch (const AppError &error) {
            if (!connection.isConnected())
                throw;
            throw FtpPathError(error.message());
        }
    }
}

PublishIncomplete::PublishIncomplete(int failedFiles, const QStringList &replies,
                                     const QString &target)
    : AppError(
          (failedFiles == 1
               ? QStringLiteral("1 file was not published to %1; the FTP log names it.").arg(target)
               : QStringLiteral("%1 files were not published to %2; the FTP log names them.")
                     .arg(failedFiles)
                     .arg(target)) +
          (replies.isEmpty()
               ? QString()
               : QStringLiteral("\n\nThe server's first replies:\n") + replies.join(u'\n'))),
      m_failedFiles(failedFiles), m_replies(replies)
{
}

namespace {
const QString &uploadPrefix()
{
    static const QString prefix = QStringLiteral(".qs-upload-");
    return prefix;
}
} // namespace

bool IsUploadTemporaryName(const QString &name)
{
    return name.size() > uploadPrefix().size() && name.startsWith(uploadPrefix()) &&
           !name.contains(u'/');
}

QString UploadTemporaryName(const QString &remotePath)
{
    const QString &prefix = uploadPrefix();
    const qsizetype slash = remotePath.lastIndexOf(u'/');
    const QString name = remotePath.mid(slash + 1);
    // Most file systems take names of up to 255 bytes.
    if (name.isEmpty() || (prefix + name).toUtf8().size() > 255)
        return {};
    return remotePath.left(slash + 1) + prefix + name;
}

namespace {

// One pass over a file for the plan: its publish marker and, when asked, the
// SHA-256 of its bytes, with its size and time as read.
struct FileScan {
    bool marker = false;
    bool sameAsRecorded = false; // size and time as recorded: not read
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QByteArray sha256;
    // The whole file as read, when it was asked for and small enough.
    QByteArray content;
    bool whole = false;
};

[[noreturn]] void CannotRead(const QString &path, const QString &why)
{
    throw AppError(QStringLiteral("Cannot read file %1: %2").arg(path, why));
}

// A local file open for one pass. On Unix it is read straight from its
// descriptor: four calls per file, where QFile made nine, for every file
// of a site.
class LocalFile {
public:
    explicit LocalFile(const QString &path) : m_path(path)
    {
#ifdef Q_OS_UNIX
        // Without blocking: opening a pipe would wait for a writer, and hold
        // the run and the window's exit with it.
        do {
            m_descriptor =
                ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        } while (m_descriptor < 0 && errno == EINTR);
        if (m_descriptor < 0)
            CannotRead(path, qt_error_string(errno));
        const FileStamp stamp = FileStamp::ofDescriptor(m_descriptor);
        if (!stamp.exists) {
            ::close(m_descriptor);
            CannotRead(path, QStringLiteral("not a regular file"));
        }
        m_regular = true;
        m_size = stamp.size;
        m_modifiedMs = ModifiedMs(stamp);
#else
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            CannotRead(path, m_file.errorString());
        m_regular = !m_file.isSequential();
        m_size = m_file.size();
        m_modifiedMs = m_file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch();
#endif
    }
    ~LocalFile()
    {
#ifdef Q_OS_UNIX
        ::close(m_descriptor);
#endif
    }
    LocalFile(const LocalFile &) = delete;
    LocalFile &operator=(const LocalFile &) = delete;

    // A regular file ends where a read comes back short; a pipe may not.
    bool regular() const
    {
        return m_regular;
    }
    qint64 size() const
    {
        return m_size;
    }
    qint64 modifiedMs() const
    {
        return m_modifiedMs;
    }

    // Up to `most` bytes; 0 at the end. Throws AppError when the read fails.
    qint64 read(char *data, qint64 most)
    {
#ifdef Q_OS_UNIX
        ssize_t count = 0;
        do {
            count = ::read(m_descriptor, data, size_t(most));
        } while (count < 0 && errno == EINTR);
        if (count < 0)
            CannotRead(m_path, qt_error_string(errno));
        return qint64(count);
#else
        const qint64 count = m_file.read(data, most);
        if (count < 0)
            CannotRead(m_path, m_file.errorString());
        return count;
#endif
    }

    // Back to the first byte; false when the file cannot go back.
    bool rewind()
    {
#ifdef Q_OS_UNIX
        return ::lseek(m_descriptor, 0, SEEK_SET) == 0;
#else
        return m_file.seek(0);
#endif
    }

private:
    const QString m_path;
#ifdef Q_OS_UNIX
    int m_descriptor = -1;
#else
    QFile m_file;
#endif
    bool m_regular = false;
    qint64 m_size = 0;
    qint64 m_modifiedMs = 0;
};

// A file of up to `limit` bytes read whole into `scan.content`, in as few
// reads as its size allows. False when it turned out bigger: it is then read
// in blocks instead.
bool ReadWhole(LocalFile &file, qint64 limit, bool hash, FileScan &scan)
{
    if (file.size() > limit)
        return false;
    // One byte more than the size tells a file that grew since.
    QByteArray content(qsizetype(file.size()) + 1, Qt::Uninitialized);
    qsizetype have = 0;
    for (;;) {
        const qsizetype wanted = content.size() - have;
        const qint64 count = file.read(content.data() + have, wanted);
        have += qsizetype(count);
        if (count == 0 || (count < wanted && file.regular()))
            break;
        if (have == content.size()) {
            if (have > limit)
                return false;
            content.resize(std::min<qsizetype>(have * 2, qsizetype(limit) + 1));
        }
    }
    content.truncate(have);
    scan.size = have;
    if (MarkerSearch::foundIn(content.constData(), have)) {
        scan.marker = true;
        return true;
    }
    if (hash) {
        Sha256 sha;
        sha.addData(content);
        scan.sha256 = sha.result();
    }
    scan.content = std::move(content);
    scan.whole = true;
    return true;
}

// Reads in blocks, so big files cost no memory; stops at a marker, since a
// marked file is never sent. A file of up to `keepUpTo` bytes is kept whole
// in the scan, to be sent as read. Throws AppError when the file cannot be
// read.
FileScan ScanPublishFile(const QString &path, bool hash, qint64 keepUpTo = -1)
{
    constexpr qsizetype overlap = MarkerSearch::Overlap;
    constexpr qsizetype block = 1024 * 1024;
    LocalFile file(path);
    FileScan scan;
    scan.modifiedMs = file.modifiedMs();
    if (keepUpTo >= 0) {
        if (ReadWhole(file, keepUpTo, hash, scan))
            return scan;
        // Grown past the limit while read: start again in blocks.
        if (!file.rewind())
            CannotRead(path, QStringLiteral("it grew while read and cannot be read again"));
        scan = FileScan{false, false, 0, file.modifiedMs(), {}, {}, false};
    }
    std::optional<Sha256> sha;
    if (hash)
        sha.emplace();
    // Sized to the file and left uninitialised: a site is mostly small files,
    // and clearing a whole block for each of them cost more than the search.
    const qsizetype chunk = static_cast<qsizetype>(std::clamp<qint64>(file.size() + 1, 1, block));
    const std::unique_ptr<char[]> buffer(new char[overlap + chunk]);
    qsizetype carried = 0; // tail of the previous block, kept in front
    for (;;) {
        const qint64 count = file.read(buffer.get() + carried, chunk);
        if (count == 0)
            break;
        scan.size += count;
        if (sha)
            sha->addData(QByteArrayView(buffer.get() + carried, count));
        const qsizetype length = carried + count;
        if (MarkerSearch::foundIn(buffer.get(), length)) {
            scan.marker = true;
            return scan;
        }
        carried = std::min(overlap, length);
        std::memmove(buffer.get(), buffer.get() + length - carried, carried);
    }
    if (sha)
        scan.sha256 = sha->result();
    return scan;
}

qint64 SizeOrUnknown(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path);
    return stamp.exists ? stamp.size : -1;
}

} // namespace

qint64 ModifiedMs(const FileStamp &stamp)
{
    // Rounded down, as Qt counts it, so times kept in a record compare equal.
    const qint64 ns = stamp.modifiedNs;
    return ns >= 0 ? ns / 1000000 : -((-ns + 999999) / 1000000);
}

bool FileHasPublishMarker(const QString &path)
{
    return ScanPublishFile(path, false).marker;
}

QString PublishStep::describe() const
{
    switch (action) {
    case Action::SendNew:
        return QStringLiteral("send (not published before)");
    case Action::SendChanged:
        return QStringLiteral("send (changed since the last publish)");
    case Action::Send:
        return QStringLiteral("send");
    case Action::SkipLocked:
        return QStringLiteral("skip (locked)");
    case Action::SkipMarker:
        return QStringLiteral("skip (host specific)");
    case Action::SkipOutside:
        return QStringLiteral("skip (outside the project folder)");
    case Action::SkipExcluded:
        return QStringLiteral("skip (excluded by \"%1\")").arg(pattern);
    case Action::SkipUnchanged:
        return QStringLiteral("skip (unchanged since the last publish)");
    case Action::Unreadable:
        return QStringLiteral("stop (%1)").arg(error);
    case Action::SkipGone:
        return QStringLiteral("skip (no longer on disk)");
    }
    return {};
}

QList<PublishStep> PublishEngine::outline(int index, const PublishOptions &options) const
{
    const QList<PublishSource::File> &files = m_source.files;
    if (index < -1 || index >= files.size())
        throw AppError(QStringLiteral("Cannot publish file number %1: the project has %2 files")
                           .arg(index)
                           .arg(files.size()));
    const PublishExclusions exclusions(m_source.ftp.Exclude);
    const QString projectFolder =
        m_source.projectFile.isEmpty() ? QString() : ProjectFolderOf(m_source.projectFile);

    QList<PublishStep> steps;
    for (int i = 0; i < files.size(); ++i) {
        if (index != -1 && i != index)
            continue;
        const PublishSource::File *entry = &files.at(i);
        PublishStep step;
        step.index = i;
        step.localPath = entry->path;
        if (entry->path.startsWith(projectFolder)) {
            // Without a project folder the whole absolute path is the relative
            // one; its leading '/' would leave the FTP folder for the root.
            QString relative = entry->path.mid(projectFolder.size());
            while (relative.startsWith(QDir::separator()))
                relative.remove(0, 1);
            step.remotePath = QDir::fromNativeSeparators(relative);
        }
        // Locked and excluded files are not read: the folders people exclude
        // are the big ones.
        if (!entry->publish) {
            step.action = PublishStep::Action::SkipLocked;
            step.size = SizeOrUnknown(step.localPath);
        } else if (!step.remotePath.isEmpty() &&
                   !(step.pattern = exclusions.excludedBy(step.remotePath)).isEmpty()) {
            step.action = PublishStep::Action::SkipExcluded;
            step.size = SizeOrUnknown(step.localPath);
        } else if (options.mirrorDeletions && !FileStamp::of(step.localPath).exists) {
            step.action = PublishStep::Action::SkipGone;
        } else {
            step.read = false;
        }
        steps.append(step);
    }
    return steps;
}

PublishStep PublishEngine::readStep(PublishStep step, const PublishOptions &options,
                                    qint64 keepUpTo, std::optional<QByteArray> *content) const
{
    if (step.read)
        return step;
    step.read = true;
    FileScan scan;
    try {
        // A file with the size and time it had when it was sent is taken as
        // sent without reading it: hashing a whole site for three changed
        // files cost more than the uploads. Any other file is decided by its
        // content.
        const PublishRecord::Entry *sent =
            options.changesOnly && options.record ? options.record->find(step.remotePath) : nullptr;
        const FileStamp stamp = sent ? FileStamp::of(step.localPath) : FileStamp{};
        if (sent && stamp.exists && stamp.size == sent->size &&
            ModifiedMs(stamp) == sent->modifiedMs) {
            scan = {false, true, sent->size, sent->modifiedMs, sent->sha256, {}, false};
        } else {
            const bool hash =
                (options.changesOnly || options.record != nullptr) && !step.remotePath.isEmpty();
            scan = ScanPublishFile(step.localPath, hash, keepUpTo);
        }
    } catch (const AppError &error) {
        step.error = error.message();
    } catch (...) {
        step.error = QStringLiteral("Cannot read file %1: %2")
                         .arg(step.localPath, exceptionMessage(std::current_exception()));
    }
    if (!step.error.isEmpty()) {
        step.action = PublishStep::Action::Unreadable;
        step.size = SizeOrUnknown(step.localPath);
        return step;
    }
    step.size = scan.size;
    step.modifiedMs = scan.modifiedMs;
    step.sha256 = scan.sha256;
    if (scan.sameAsRecorded) {
        step.action = PublishStep::Action::SkipUnchanged;
    } else if (scan.marker) {
        step.action = PublishStep::Action::SkipMarker;
    } else if (step.remotePath.isEmpty()) {
        step.action = PublishStep::Action::SkipOutside;
    } else if (!options.changesOnly) {
        step.action = PublishStep::Action::Send;
    } else {
        const PublishRecord::Entry *sent =
            options.record ? options.record->find(step.remotePath) : nullptr;
        step.action = !sent                         ? PublishStep::Action::SendNew
                      : sent->sha256 != step.sha256 ? PublishStep::Action::SendChanged
                                                    : PublishStep::Action::SkipUnchanged;
    }
    if (content && scan.whole && step.sends())
        *content = std::move(scan.content);
    return step;
}

QList<PublishStep> PublishEngine::plan(int index, const PublishOptions &options) const
{
    QList<PublishStep> steps = outline(index, options);
    std::vector<qsizetype> toRead; // steps whose file is read
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (!steps.at(i).read)
            toRead.push_back(i);
    }
    PublishStep *const all = steps.data(); // detached once, before the workers
    ParallelFor(qsizetype(toRead.size()), DefaultWorkerCount(), [&](qsizetype job, int) {
        PublishStep &step = all[toRead[size_t(job)]];
        step = readStep(std::move(step), options);
    });
    return steps;
}
