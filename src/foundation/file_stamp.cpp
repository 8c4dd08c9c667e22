#include "foundation/file_stamp.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>

namespace {

FileStamp fromStat(const struct stat &info)
{
    FileStamp stamp;
    stamp.exists = S_ISREG(info.st_mode);
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
    stamp.size = qint64(info.st_size);
    stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

} // namespace

FileStamp FileStamp::of(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return fromStat(info);
    FileStamp stamp;
    // Only a path that names nothing counts as gone; a folder we may not
    // enter says nothing about the file.
    stamp.unknown = errno != ENOENT && errno != ENOTDIR;
    return stamp;
}

FileStamp FileStamp::ofDescriptor(int descriptor)
{
    struct stat info {};
    if (::fstat(descriptor, &info) == 0)
        return fromStat(info);
    FileStamp stamp;
    stamp.unknown = true;
    return stamp;
}

#else

FileStamp FileStamp::of(const QString &path)
{
    const QFileInfo info(path);
    FileStamp stamp;
    stamp.exists = info.isFile();
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return stamp;
}

FileStamp FileStamp::ofDescriptor(int)
{
    FileStamp stamp;
    stamp.unknown = true;
    return stamp;
}

#endif
