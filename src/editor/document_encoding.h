#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The encodings a document is kept in, and the conversions between the bytes
// of a file and the UTF-8 the editing control always holds. A file that is
// not valid UTF-8 is taken as Windows-1252: its bytes 0x80 to 0x9F carry the
// euro sign, typographic quotes and dashes that such files use, and the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the control characters of the same number, so every byte comes back
// unchanged on saving. UTF-16 and UTF-32 are recognised by their byte order
// mark and written back with it.
enum class DocumentEncoding { Utf8, Utf8WithBom, Windows1252, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

namespace document_encoding {

// The name the status line shows: "UTF-8", "UTF-8 BOM", "Windows-1252",
// "UTF-16LE BOM", "UTF-16BE BOM", "UTF-32LE BOM", "UTF-32BE BOM".
QString name(DocumentEncoding encoding);

// The byte order mark a file in this encoding starts with; empty for none.
QByteArray byteOrderMark(DocumentEncoding encoding);
// UTF-16 or UTF-32, which the control cannot hold as they are.
bool isWide(DocumentEncoding encoding);
// The wide encoding whose mark starts the bytes and whose text after it is
// valid (whole units, paired surrogates, nothing beyond U+10FFFF), with that
// text as UTF-8; nothing otherwise, and the bytes are then taken as before.
struct WideText {
    DocumentEncoding encoding;
    QByteArray utf8;
};
std::optional<WideText> decodeWide(const char *data, qsizetype size);
// The UTF-8 text in a wide encoding, without the mark.
QByteArray utf8ToWide(DocumentEncoding encoding, const char *data, qsizetype size);

// The character a Windows-1252 byte stands for.
char32_t windows1252Character(unsigned char byte);
// Size the bytes take once converted to UTF-8.
qsizetype windows1252AsUtf8Size(const char *data, qsizetype size);
QByteArray windows1252ToUtf8(const char *data, qsizetype size);

// The Windows-1252 bytes of valid UTF-8 text, or nothing when a character has
// no byte there; then `unencodable`, when given, receives the distinct
// characters that do not fit (at most a few, in order of appearance).
std::optional<QByteArray> utf8ToWindows1252(const char *data, qsizetype size,
                                            QString *unencodable = nullptr);
// Whether every character of the UTF-8 text has a Windows-1252 byte.
bool fitsWindows1252(const char *data, qsizetype size);

} // namespace document_encoding
