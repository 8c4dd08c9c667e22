#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Reading project files as the editor would show them, without the editor:
// the bytes as saved, taken as UTF-8 when they are valid UTF-8 (a leading
// byte-order mark dropped) and as Latin-1 otherwise, cut into lines at CR LF,
// LF or CR. The function scan and find in files read every project file this
// way, so what they list is what the editor finds again.

// The bytes of a file as saved. Throws AppError naming the file when it is
// missing, not a regular file, larger than MaxSourceBytes or unreadable.
QByteArray ReadSourceFile(const QString &path);
inline constexpr qint64 MaxSourceBytes = 1024LL * 1024 * 1024;

// True when the bytes hold a NUL: an image or archive, not text with lines.
bool IsBinarySource(const QByteArray &bytes);

// How a file's bytes become text: where the text starts and whether it is UTF-8.
struct SourceEncoding {
    qsizetype start = 0; // 3 after a UTF-8 byte-order mark
    bool utf8 = true;
};
SourceEncoding DetectSourceEncoding(const QByteArray &bytes);
QString DecodeSource(const char *data, qsizetype size, const SourceEncoding &encoding);

// Removes characters with a code of 32 or less from both ends.
QString TrimControls(const QString &text);

// Find in files' rule for one search text: a line matches when the text,
// lower-cased with the system's locale rule, occurs in the line lower-cased
// the same way. An empty text matches nothing.
class LineNeedle final {
public:
    explicit LineNeedle(const QString &text);

    bool matchesLine(const QString &line) const;
    const QString &lowered() const { return m_lowered; }
    // The lowered text as ASCII bytes when it is ASCII and the locale lowers
    // ASCII letters the plain way; empty otherwise.
    const QByteArray &asciiBytes() const { return m_ascii; }
    // True when lines of plain ASCII can be compared byte-wise.
    bool asciiLinesFast() const { return m_asciiFast; }
    // True when no line can ever match (empty text, or a line break inside it).
    bool matchesNothing() const { return m_nothing; }

private:
    QString m_lowered;
    QByteArray m_ascii;
    bool m_asciiFast = false;
    bool m_nothing = false;
};

// Calls `hit` with the 1-based number and the text of every line of `bytes`
// that matches, in order, once per line. Binary bytes have no lines.
void FindMatchingLines(const QByteArray &bytes, const LineNeedle &needle,
                       const std::function<void(int line, const QString &text)> &hit);
