#pragma once

#include "foundation/parallel_for.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Reading many project files at once for a search or a scan: the files are
// shared out over the machine's cores, each file is read once into its
// thread's reused buffer, and its bytes are handed to `work` on that thread.

// The first file, in list order, that could not be read (or whose work threw).
struct FileReadFailure {
    qsizetype index = -1;
    QString message;
};

// `work(index, data, size, worker)` runs once for each file before the first
// failure, on worker `worker` (0 is the calling thread, up to workers - 1),
// never twice at once on one worker. It may also have run for some files
// after the failure: callers keep only the results of files before it.
using FileWork = std::function<void(qsizetype index, const char *data, qsizetype size, int worker)>;
std::optional<FileReadFailure> ReadFilesInParallel(const QStringList &paths, const FileWork &work,
                                                   int workers);

// The same, going on past a file that cannot be read (a pipe, a device, a
// file deleted since it was listed): every such file's failure, in list order.
std::vector<FileReadFailure> ReadFilesInParallelSkipping(const QStringList &paths,
                                                         const FileWork &work, int workers);

// A file's whole bytes into a buffer kept between reads. Only a regular file
// up to MaxSourceBytes is read; the refusals are ReadSourceFile's, word for word.
class ReusedFileBuffer {
public:
    // Reads the file; the bytes stay valid until the next read.
    qsizetype read(const QString &path);
    const char *data() const { return m_data.get(); }

private:
    void reserve(qsizetype bytes);
    qsizetype takeBytes(const QByteArray &bytes);

    std::unique_ptr<char[]> m_data;
    qsizetype m_capacity = 0;
};
