#pragma once

#include <QByteArray>

#include <optional>

// Byte-level helpers that let the program keep a file's exact bytes. The
// editing control always holds UTF-8; a file that is not valid UTF-8 is taken
// as Latin-1, whose 256 byte values map one to one onto the first 256 code
// points, so converting there and back restores every byte (NUL included).
namespace text_encoding {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const char *data, qsizetype size);
// Where the first byte that breaks that rule is; -1 when the text is valid.
qsizetype invalidUtf8Offset(const char *data, qsizetype size);

// Size the Latin-1 bytes take once converted to UTF-8.
qsizetype latin1AsUtf8Size(const char *data, qsizetype size);
QByteArray latin1ToUtf8(const char *data, qsizetype size);

// The Latin-1 bytes of valid UTF-8 text, or nothing when a character lies
// beyond U+00FF and Latin-1 cannot hold it.
std::optional<QByteArray> utf8ToLatin1(const char *data, qsizetype size);

enum class LineEnd { None, CrLf, Lf, Cr };
// The first line end of the text, which new lines typed by the user follow.
LineEnd firstLineEnd(const char *data, qsizetype size);

} // namespace text_encoding
