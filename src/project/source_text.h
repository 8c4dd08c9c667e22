#pragma once

#include <QByteArray>
#include <QString>

// Reading project files as the editor would show them, without the editor:
// the bytes as saved, taken as UTF-8 when they are valid UTF-8 (a leading
// byte-order mark dropped) and as Latin-1 otherwise, cut into lines at CR LF,
// LF or CR. The function scan and find in files read every project file this
// way, so what they list is what the editor finds again (text_search.h).

// The bytes of a file as saved. Throws AppError naming the file when it is
// missing, not a regular file, larger than MaxSourceBytes or unreadable.
QByteArray ReadSourceFile(const QString &path);
inline constexpr qint64 MaxSourceBytes = 1024LL * 1024 * 1024;

// True when the bytes look binary the way `grep -I` decides it: a NUL among
// the first BinaryProbeBytes bytes (grep's first read). A NUL further on is
// an ordinary character of a text file.
inline constexpr qsizetype BinaryProbeBytes = 96 * 1024;
bool LooksBinary(const char *data, qsizetype size);

// How a file's bytes become text: where the text starts and whether it is UTF-8.
struct SourceEncoding {
    qsizetype start = 0; // 3 after a UTF-8 byte-order mark
    bool utf8 = true;
};
SourceEncoding DetectSourceEncoding(const char *data, qsizetype size);
SourceEncoding DetectSourceEncoding(const QByteArray &bytes);
QString DecodeSource(const char *data, qsizetype size, const SourceEncoding &encoding);

// Removes characters with a code of 32 or less from both ends.
QString TrimControls(const QString &text);
