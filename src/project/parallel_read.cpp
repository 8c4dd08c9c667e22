#include "project/parallel_read.h"

#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "project/source_text.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void ReusedFileBuffer::reserve(qsizetype bytes)
{
    if (bytes <= m_capacity)
        return;
    // Grown, never shrunk: the next file is usually no larger.
    const qsizetype capacity = std::max(bytes, std::min(2 * m_capacity, MaxSourceBytes + 1));
    m_data.reset(new char[size_t(capacity)]);
    m_capacity = capacity;
}

qsizetype ReusedFileBuffer::takeBytes(const QByteArray &bytes)
{
    reserve(bytes.size() + 1);
    std::memcpy(m_data.get(), bytes.constData(), size_t(bytes.size()));
    return bytes.size();
}

qsizetype ReusedFileBuffer::read(const QString &path)
{
#ifdef Q_OS_UNIX
    // The plain system calls cost a fraction of QFile's; anything unusual
    // goes through ReadSourceFile, which refuses it with its own message (or
    // reads it, when the file has changed in between).
    const QByteArray native = QFile::encodeName(path);
    // Not blocking, so a pipe named as a file cannot hold the search up.
    const int fd =
        native.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return takeBytes(ReadSourceFile(path));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > MaxSourceBytes) {
        ::close(fd);
        return takeBytes(ReadSourceFile(path));
    }
    // One byte more than its size tells a file that grew meanwhile.
    reserve(qsizetype(status.st_size) + 1);
    qsizetype total = 0;
    while (true) {
        if (total == m_capacity) {
            if (total > MaxSourceBytes) {
                ::close(fd);
                throw AppError(QStringLiteral("%1 is too large to read.").arg(QuotedPath(path)));
            }
            std::unique_ptr<char[]> kept = std::move(m_data);
            m_capacity = 0;
            reserve(std::min(total * 2, MaxSourceBytes + 1));
            std::memcpy(m_data.get(), kept.get(), size_t(total));
        }
        const ssize_t got = ::read(fd, m_data.get() + total, size_t(m_capacity - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return takeBytes(ReadSourceFile(path));
        }
        if (got == 0)
            break;
        total += got;
        // The size it had when it was opened is the file; asking once more
        // for the end would cost a system call per file.
        if (total == qsizetype(status.st_size) && total > 0)
            break;
    }
    ::close(fd);
    if (total > MaxSourceBytes)
        throw AppError(QStringLiteral("%1 is too large to read.").arg(QuotedPath(path)));
    return total;
#else
    return takeBytes(ReadSourceFile(path));
#endif
}

namespace {

// Reads every file before the first failure, or every file when `skip`;
// `failures` receives the failures in list order (only the first without `skip`).
void readInParallel(const QStringList &paths, const FileWork &work, int workers, bool skip,
                    std::vector<FileReadFailure> &failures)
{
    const qsizetype count = paths.size();
    workers = int(std::clamp<qsizetype>(workers, 1, std::max<qsizetype>(count, 1)));
    // Each worker reads into its own buffer, reused from file to file.
    std::vector<ReusedFileBuffer> buffers(static_cast<size_t>(workers));
    std::atomic<qsizetype> failedAt{count};
    std::mutex failureLock;
    FileReadFailure failure;
    const auto fail = [&](qsizetype index, const QString &message) {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (skip) {
            failures.push_back({index, message});
            return;
        }
        if (index < failedAt.load()) {
            failedAt.store(index);
            failure = {index, message};
        }
    };
    // Failures are kept per file here, so every file before one gets its turn.
    ParallelFor(count, workers, [&](qsizetype index, int worker) {
        if (index > failedAt.load())
            return;
        ReusedFileBuffer &buffer = buffers[size_t(worker)];
        try {
            const qsizetype size = buffer.read(paths.at(index));
            work(index, buffer.data(), size, worker);
        } catch (const AppError &e) {
            fail(index, e.message());
        } catch (...) {
            fail(index, exceptionMessage(std::current_exception()));
        }
    });
    if (skip)
        std::sort(
            failures.begin(), failures.end(),
            [](const FileReadFailure &a, const FileReadFailure &b) { return a.index < b.index; });
    else if (failedAt.load() < count)
        failures.push_back(failure);
}

} // namespace

std::optional<FileReadFailure> ReadFilesInParallel(const QStringList &paths, const FileWork &work,
                                                   int workers)
{
    std::vector<FileReadFailure> failures;
    readInParallel(paths, work, workers, false, failures);
    if (failures.empty())
        return std::nullopt;
    return failures.front();
}

std::vector<FileReadFailure> ReadFilesInParallelSkipping(const QStringList &paths,
                                                         const FileWork &work, int workers)
{
    std::vector<FileReadFailure> failures;
    readInParallel(paths, work, workers, true, failures);
    return failures;
}
