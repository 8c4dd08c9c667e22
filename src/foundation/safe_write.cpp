#include "foundation/safe_write.h"

#include "foundation/trace.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

// Closes a descriptor and removes a temporary file unless told they are done with.
class TempFile {
public:
    ~TempFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.isEmpty())
            ::unlink(path.constData());
    }
    int fd = -1;
    QByteArray path;
};

[[noreturn]] void fail(const QString &path, const QString &reason, int code)
{
    TraceLog(QStringLiteral("Cannot save \"%1\": %2").arg(path, reason));
    throw FileWriteError(path, reason, code);
}

[[noreturn]] void failErrno(const QString &path, int code)
{
    fail(path, systemReason(code), code);
}

// Writes everything or returns the errno of the failing call.
int writeAll(int fd, const char *data, qint64 size, off_t offset, bool positioned)
{
    while (size > 0) {
        const ssize_t done =
            positioned ? ::pwrite(fd, data, size_t(size), offset) : ::write(fd, data, size_t(size));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (done == 0)
            return ENOSPC;
        data += done;
        size -= done;
        offset += done;
    }
    return 0;
}

int writeParts(int fd, const QList<QByteArray> &parts, bool positioned)
{
    off_t offset = 0;
    for (const QByteArray &part : parts) {
        if (const int error = writeAll(fd, part.constData(), part.size(), offset, positioned))
            return error;
        offset += part.size();
    }
    return 0;
}

// A new file in `folder` named after `base`, or -1 with errno set.
int makeTemporary(const QByteArray &folder, const QByteArray &base, const char *tag,
                  QByteArray &path)
{
    path = folder + "/." + base + tag + "XXXXXX";
    return ::mkstemp(path.data());
}

// Copies the file open at `from` into `to` from the start; errno or 0.
int copyContent(int from, int to)
{
    char buffer[64 * 1024];
    if (::lseek(from, 0, SEEK_SET) < 0)
        return errno;
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        if (const int error = writeAll(to, buffer, got, 0, false))
            return error;
    }
}

enum class Outcome { Done, NeedsInPlace };

Outcome replaceAtomically(const QString &shown, const QByteArray &target, const QByteArray &folder,
                          const QByteArray &base, const struct stat *old,
                          const QList<QByteArray> &parts, const SafeWriteOptions &options)
{
    TempFile temp;
    temp.fd = makeTemporary(folder, base, ".new-", temp.path);
    if (temp.fd < 0) {
        temp.path.clear();
        failErrno(shown, errno);
    }
    mode_t mode = 0;
    if (old) {
        mode = old->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (options.privateFile)
        mode &= 0600;
    if (::fchmod(temp.fd, mode) != 0)
        failErrno(shown, errno);
    if (old && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        ::fchown(temp.fd, old->st_uid, old->st_gid) != 0)
        return Outcome::NeedsInPlace; // another's file: we may only write into it
    if (const int error = writeParts(temp.fd, parts, false))
        failErrno(shown, error);
    if (::fsync(temp.fd) != 0)
        failErrno(shown, errno);
    if (options.beforeCommit)
        options.beforeCommit(temp.fd);
    const int fd = temp.fd;
    temp.fd = -1;
    if (::close(fd) != 0)
        failErrno(shown, errno);
    if (::rename(temp.path.constData(), target.constData()) != 0)
        failErrno(shown, errno);
    temp.path.clear();
    return Outcome::Done;
}

void writeInPlace(const QString &shown, const QByteArray &target, const QByteArray &folder,
                  const QByteArray &base, const struct stat &old, const QList<QByteArray> &parts,
                  const SafeWriteOptions &options)
{
    const int source = ::open(target.constData(), O_RDWR | O_CLOEXEC);
    if (source < 0)
        failErrno(shown, errno);
    TempFile file; // only closes: the path stays empty
    file.fd = source;

    // The backup holds the old text until the new one is safely written.
    TempFile backup;
    backup.fd = makeTemporary(folder, base, ".backup-", backup.path);
    if (backup.fd < 0) {
        backup.path.clear();
        failErrno(shown, errno);
    }
    if (::fchmod(backup.fd, 0600) != 0)
        failErrno(shown, errno);
    if (const int error = copyContent(source, backup.fd))
        failErrno(shown, error);
    if (::fsync(backup.fd) != 0)
        failErrno(shown, errno);

    qint64 total = 0;
    for (const QByteArray &part : parts)
        total += part.size();
    // Room for a longer text is taken first, so a full disk stops us before
    // a single byte of the file has changed.
    if (total > old.st_size) {
        const int error = ::posix_fallocate(source, 0, off_t(total));
        if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            ::ftruncate(source, old.st_size);
            failErrno(shown, error);
        }
    }
    int error = writeParts(source, parts, true);
    if (!error && ::ftruncate(source, off_t(total)) != 0)
        error = errno;
    if (!error && ::fsync(source) != 0)
        error = errno;
    if (error) {
        // Put the old text back; should that fail too, the backup stays.
        if (::ftruncate(source, 0) == 0 && copyContent(backup.fd, source) == 0 &&
            ::fsync(source) == 0)
            failErrno(shown, error);
        const QString kept = QFile::decodeName(backup.path);
        backup.path.clear();
        fail(shown,
             QStringLiteral("%1 (the previous text is kept in \"%2\")")
                 .arg(systemReason(error), kept),
             error);
    }
    if (options.beforeCommit)
        options.beforeCommit(source);
}

} // namespace

QString FileKindName(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return kindOf(info.st_mode);
}

bool IsRegularFile(const QString &path)
{
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

void SafeWriteFile(const QString &path, const QList<QByteArray> &parts,
                   const SafeWriteOptions &options)
{
    if (path.isEmpty())
        fail(path, QStringLiteral("no file name"), 0);
    const QByteArray native = QFile::encodeName(path);
    struct stat old {};
    bool exists = ::stat(native.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        failErrno(path, errno);
    if (exists && !S_ISREG(old.st_mode))
        fail(path, QStringLiteral("it is %1, not a regular file").arg(kindOf(old.st_mode)), 0);

    // The file a link leads to is written; the link itself stays.
    QByteArray target = native;
    if (exists) {
        if (char *real = ::realpath(native.constData(), nullptr)) {
            target = real;
            ::free(real);
        }
    } else {
        char link[4096];
        const ssize_t length = ::readlink(native.constData(), link, sizeof link - 1);
        if (length > 0) {
            const QByteArray to(link, length);
            target = to.startsWith('/')
                         ? to
                         : QFile::encodeName(QFileInfo(path).absolutePath()) + '/' + to;
        }
    }
    const QByteArray folder =
        QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
    const QByteArray base = QFile::encodeName(QFileInfo(QFile::decodeName(target)).fileName());

    if (exists && old.st_nlink > 1) {
        writeInPlace(path, target, folder, base, old, parts, options);
        return;
    }
    if (replaceAtomically(path, target, folder, base, exists ? &old : nullptr, parts, options) ==
        Outcome::NeedsInPlace)
        writeInPlace(path, target, folder, base, old, parts, options);
}
