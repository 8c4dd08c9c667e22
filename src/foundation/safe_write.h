#pragma once

#include "foundation/errors.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Writing a user's file without ever leaving it half written, and without
// changing what it is: its permissions, owner and group, and the other names
// a hard-linked file has.
//
// A file with one name whose owner can be kept is replaced atomically: a new
// file beside it receives the text, takes the old one's mode, owner and
// group, and is renamed over it. A file with several names, or one whose
// owner could not be given to the new file, is written in place, after a
// backup copy beside it that is removed once the write succeeded. Links are
// followed: the file they lead to is written and the link stays a link.
// Only regular files are written; anything else is refused by name.

// What a path names, after following links: "a regular file", "a folder",
// "a named pipe (FIFO)", "a character device", "a block device", "a socket";
// empty when it names nothing.
QString FileKindName(const QString &path);
// True when the path names a regular file (following links).
bool IsRegularFile(const QString &path);

// A failed write: the system's reason (errno's text) beside the path.
class FileWriteError : public AppError {
public:
    FileWriteError(const QString &path, const QString &reason, int code)
        : AppError(QStringLiteral("Cannot save \"%1\": %2").arg(path, reason)), m_reason(reason),
          m_code(code)
    {
    }
    const QString &reason() const { return m_reason; }
    int code() const { return m_code; } // errno, 0 when the refusal is ours
private:
    QString m_reason;
    int m_code;
};

struct SafeWriteOptions {
    // The file holds a secret: a new file is made readable and writable by
    // its owner only, an existing one keeps a mode no wider than that.
    bool privateFile = false;
    // Called with the written file's descriptor just before it takes its
    // place (to take its stamp, say).
    std::function<void(int descriptor)> beforeCommit;
};

// Writes `parts`, one after the other, as the whole content of `path`.
// Throws FileWriteError naming the failing step's system reason; the file as
// it was stays in place (or, after a failed write in place, its backup copy
// beside it is kept and named in the message).
void SafeWriteFile(const QString &path, const QList<QByteArray> &parts,
                   const SafeWriteOptions &options = {});
