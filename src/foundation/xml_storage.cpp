#include "foundation/xml_storage.h"

#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "foundation/safe_write.h"
#include "foundation/text_encoding.h"
#include "foundation/user_dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
const QByteArray LineEnd = QByteArrayLiteral("\r\n");
const QByteArray Indent = QByteArrayLiteral("   ");

// XML 1.0 cannot carry these at all, not even as character references; a file
// holding one could not be read back.
bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Escapes an attribute value. Tabs and line breaks become character
// references, since a parser turns raw ones into spaces.
void appendEscaped(QString &out, const QString &value, const QString &name, const QString &tag)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar ch = value.at(i);
        char32_t code = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            out += ch;
            out += value.at(++i);
            continue;
        }
        if (ch.isSurrogate() || !isXmlChar(code))
            throw AppError(QStringLiteral("XML Save: the attribute \"%1\" of <%2> holds the "
                                          "character U+%3, which an XML file cannot store")
                               .arg(name, tag)
                               .arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')));
        switch (code) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\t':
            out += QLatin1String("&#9;");
            break;
        case '\n':
            out += QLatin1String("&#10;");
            break;
        case '\r':
            out += QLatin1String("&#13;");
            break;
        default:
            out += ch;
        }
    }
}

void appendElement(QString &out, const XmlOutElement &element, int depth)
{
    for (int i = 0; i < depth; ++i)
        out += QLatin1String(Indent);
    out += u'<';
    out += element.Tag();
    for (const auto &[name, value] : element.Attributes()) {
        out += u' ';
        out += name;
        out += QLatin1String("=\"");
        appendEscaped(out, value, name, element.Tag());
        out += u'"';
    }
    if (element.Children().empty()) {
        out += QLatin1String("/>");
        out += QLatin1String(LineEnd);
        return;
    }
    out += u'>';
    out += QLatin1String(LineEnd);
    for (const auto &child : element.Children())
        appendElement(out, *child, depth + 1);
    for (int i = 0; i < depth; ++i)
        out += QLatin1String(Indent);
    out += QLatin1String("</");
    out += element.Tag();
    out += u'>';
    out += QLatin1String(LineEnd);
}
// True when the file's text is UTF-8: a UTF-8 byte-order mark, or no
// byte-order mark of UTF-16 or UTF-32 and no declared encoding other than UTF-8.
bool declaresUtf8(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return true;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
        bytes.startsWith(QByteArray("\0\0", 2)) || bytes.startsWith(QByteArray("<\0", 2)) ||
        bytes.startsWith(QByteArray("\0<", 2)))
        return false;
    if (!bytes.startsWith("<?xml"))
        return true;
    const qsizetype end = bytes.indexOf("?>");
    const QByteArray declaration = bytes.left(end < 0 ? 0 : end);
    static const QRegularExpression encoding(
        QStringLiteral("encoding\\s*=\\s*[\"']([A-Za-z0-9._-]+)[\"']"));
    const QRegularExpressionMatch match = encoding.match(QString::fromLatin1(declaration));
    if (!match.hasMatch())
        return true;
    const QString name = match.captured(1).toLower();
    return name == QLatin1String("utf-8") || name == QLatin1String("utf8");
}

// The deepest nesting of elements, counted on the bytes: tags, comments,
// processing instructions, character data sections and quoted attribute
// values are told apart, which is all a document without a document type
// needs. Up to the first fault of a document the count is exact, and a parser
// stops there, so the result bounds the depth it builds. -1 when the document
// has a document type (whose entities could add elements). A quoted value
// longer than `maxValue` bytes stops the count: `longValue` gets its offset.
int nestingDepth(const QByteArray &bytes, qsizetype maxValue, qsizetype &longValue)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    const auto find = [&](qsizetype from, const char *what) {
        const qsizetype at = bytes.indexOf(what, from);
        return at < 0 ? size : at + qsizetype(std::strlen(what));
    };
    const auto startsAt = [&](qsizetype at, const char *what) {
        const auto length = qsizetype(std::strlen(what));
        return at + length <= size && std::memcmp(data + at, what, size_t(length)) == 0;
    };
    int depth = 0;
    int deepest = 0;
    qsizetype p = 0;
    while (true) {
        const void *open = p < size ? std::memchr(data + p, '<', size_t(size - p)) : nullptr;
        if (!open)
            return deepest;
        p = static_cast<const char *>(open) - data + 1;
        if (startsAt(p - 1, "<!--")) {
            p = find(p, "-->");
        } else if (startsAt(p - 1, "<![CDATA[")) {
            p = find(p, "]]>");
        } else if (p < size && data[p] == '?') {
            p = find(p, "?>");
        } else if (p < size && data[p] == '!') {
            return -1;
        } else if (p < size && data[p] == '/') {
            depth = std::max(depth - 1, 0);
            p = find(p, ">");
        } else {
            // A start tag: to its '>', past quoted values; "/>" closes it at once.
            char quote = 0;
            char last = 0;
            for (; p < size; ++p) {
                const char c = data[p];
                if (quote) {
                    // The value's end, found at once rather than byte by byte.
                    const void *end = std::memchr(data + p, quote, size_t(size - p));
                    const qsizetype close = end ? static_cast<const char *>(end) - data : size;
                    if (close - p > maxValue) {
                        longValue = p;
                        return deepest;
                    }
                    p = close;
                    quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
                last = c;
            }
            if (p >= size)
                return deepest;
            ++p;
            // An empty element is a level of its own, as the parser counts it.
            deepest = std::max(deepest, depth + 1);
            if (last != '/')
                ++depth;
        }
    }
}

// The 1-based line and column of a byte: lines end at LF, CR LF or CR;
// columns count characters, each UTF-8 lead or single byte being one.
std::pair<qint64, qint64> placeOf(const QByteArray &bytes, qsizetype offset)
{
    qint64 line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        const char c = bytes.at(i);
        if (c == '\n' || (c == '\r' && (i + 1 >= bytes.size() || bytes.at(i + 1) != '\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    qint64 column = 1;
    for (qsizetype i = lineStart; i < offset; ++i) {
        if ((static_cast<unsigned char>(bytes.at(i)) & 0xC0) != 0x80)
            ++column;
    }
    return {line, column};
}
} // namespace

XmlOutElement *XmlOutElement::AddChild(const QString &tag)
{
    m_children.push_back(std::make_unique<XmlOutElement>(tag));
    return m_children.back().get();
}

void XmlOutElement::SetAttribute(const QString &name, const QString &value)
{
    for (auto &attribute : m_attributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    m_attributes.append({name, value});
}

XmlOutElement *XmlOutDocument::AddChild(const QString &tag)
{
    if (m_root)
        throw AppError(QStringLiteral("XML Save: the document already has the element <%1>")
                           .arg(m_root->Tag()));
    m_root = std::make_unique<XmlOutElement>(tag);
    return m_root.get();
}

QByteArray XmlOutDocument::ToBytes() const
{
    if (!m_root)
        return QByteArray();
    QString text;
    appendElement(text, *m_root, 0);
    return text.toUtf8();
}

void XmlStorage::LoadFromFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists()) {
        Dialogs().showMessage(QStringLiteral("XML Load: file doesn't exist") + fileName);
        return;
    }
    LoadParsed(ParseFile(fileName), fileName);
}

XmlStorage::Parsed XmlStorage::ParseFile(const QString &fileName)
{
    if (QFileInfo(fileName).isDir())
        throw AppError(QStringLiteral("XML Load: \"%1\" is a folder, not a file").arg(fileName));

    // Only a regular file of a sane size is read: a link to a device or a
    // pipe would never end.
    Parsed parsed;
    QByteArray bytes;
    // Taken before reading: a write in between shows as a change later.
    parsed.identity = FileStamp::of(fileName);
    try {
        bytes = ReadWholeFile(fileName, MaxXmlFileBytes, QStringLiteral("load"));
    } catch (const AppError &e) {
        throw AppError(QStringLiteral("XML Load: ") + e.message());
    }
    CheckXmlShape(bytes, fileName);

    QString message;
    int line = 0;
    int column = 0;
    if (!parsed.document.setContent(bytes, false, &message, &line, &column))
        throw AppError(QStringLiteral("XML Load: \"%1\" is not a well-formed XML file "
                                      "(line %2, column %3): %4")
                           .arg(fileName)
                           .arg(line)
                           .arg(column)
                           .arg(message));
    return parsed;
}

void XmlStorage::LoadParsed(const Parsed &parsed, const QString &fileName, bool storedLater)
{
    ReadXML(parsed.document, fileName);
    TakeLoaded(parsed.identity, fileName, storedLater);
}

void XmlStorage::TakeLoaded(const FileStamp &identity, const QString &fileName, bool storedLater)
{
    FileName = fileName;
    m_identity = identity;
    if (storedLater) {
        // Until MarkStored, anything counts as changed: the safe side.
        m_storedBytes.clear();
        m_stored = true;
        return;
    }
    // What a save would write now, not the file's bytes: a file laid out by
    // hand or by another program is still unchanged when nothing was edited.
    try {
        m_storedBytes = serialize(fileName);
        m_stored = true;
    } catch (const AppError &) {
        m_stored = false;
    }
}

QByteArray XmlStorage::serialize(const QString &fileName)
{
    XmlOutDocument document;
    OutNode = nullptr;
    ComparingOnly = true;
    try {
        WriteXML(document, fileName);
    } catch (...) {
        OutNode = nullptr;
        ComparingOnly = false;
        throw;
    }
    OutNode = nullptr;
    ComparingOnly = false;
    return document.ToBytes();
}

void XmlStorage::MarkStored()
{
    if (!m_stored || FileName.isEmpty())
        return;
    try {
        m_storedBytes = serialize(FileName);
    } catch (const AppError &) {
        m_stored = false;
    }
}

bool XmlStorage::ChangedSinceStored()
{
    if (!m_stored || FileName.isEmpty())
        return true;
    try {
        return serialize(FileName) != m_storedBytes;
    } catch (const AppError &) {
        return true; // the save will say what is wrong
    }
}

void XmlStorage::CheckXmlShape(const QByteArray &bytes, const QString &fileName)
{
    const auto refuse = [&](qint64 line, qint64 column, const QString &reason) {
        return AppError(QStringLiteral("XML Load: \"%1\" is not a well-formed XML file "
                                       "(line %2, column %3): %4")
                            .arg(fileName)
                            .arg(line)
                            .arg(column)
                            .arg(reason));
    };
    // The parser reports a bad byte of UTF-8 at the file's start wherever it
    // is, so the text is checked here first and the real place named.
    if (declaresUtf8(bytes)) {
        const qsizetype bad = text_encoding::invalidUtf8Offset(bytes.constData(), bytes.size());
        if (bad >= 0) {
            const auto [line, column] = placeOf(bytes, bad);
            throw refuse(
                line, column,
                QStringLiteral("a byte that is not UTF-8 (0x%1)")
                    .arg(static_cast<unsigned char>(bytes.at(bad)), 2, 16, QLatin1Char('0')));
        }
    }
    // The document model takes time growing with the square of the depth, so
    // deep nesting is refused before it sees the file: counted on the bytes,
    // and when that count is past the limit (or cannot be made), confirmed
    // and placed by the stream reader.
    // Values past any sane length (a 20 MB address) are refused the same way:
    // every box and request that would carry them slows to a crawl.
    const QString tooLong =
        QStringLiteral("an attribute value longer than %1 bytes").arg(MaxXmlAttributeBytes);
    qsizetype longValue = -1;
    const int counted = nestingDepth(bytes, MaxXmlAttributeBytes, longValue);
    if (longValue >= 0) {
        const auto [line, column] = placeOf(bytes, longValue);
        throw refuse(line, column, tooLong);
    }
    if (counted >= 0 && counted <= MaxXmlDepth)
        return;
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > MaxXmlDepth)
            throw refuse(reader.lineNumber(), reader.columnNumber(),
                         QStringLiteral("elements nested deeper than %1 levels").arg(MaxXmlDepth));
        if (token == QXmlStreamReader::StartElement) {
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (attribute.value().size() > MaxXmlAttributeBytes)
                    throw refuse(reader.lineNumber(), reader.columnNumber(), tooLong);
            }
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    // Other errors are left to the document model, which reports them the same way.
}

void XmlStorage::SaveToFile(const QString &fileName)
{
    // Numbers are written with QString::number, which never uses the
    // locale's decimal separator, so no process-wide setting is needed.
    XmlOutDocument document;
    OutNode = nullptr;
    try {
        WriteXML(document, fileName);
    } catch (...) {
        OutNode = nullptr; // it pointed into the document about to go
        throw;
    }
    OutNode = nullptr;
    const QByteArray bytes = document.ToBytes();

    auto failure = [&](const QString &reason) {
        return AppError(QStringLiteral("XML Save: cannot write \"%1\": %2").arg(fileName, reason));
    };
    if (fileName.isEmpty())
        throw failure(QStringLiteral("no file name"));
    if (QFileInfo(fileName).isDir())
        throw failure(QStringLiteral("a folder of that name exists"));
    SafeWriteOptions options;
    options.privateFile = HoldsSecrets();
    try {
        SafeWriteFile(fileName, {bytes}, options);
    } catch (const FileWriteError &e) {
        throw failure(e.reason());
    }
    FileName = fileName;
    m_storedBytes = bytes;
    m_stored = true;
    m_identity = FileStamp::of(fileName);
}

bool XmlStorage::FileChangedOnDisk() const
{
    if (FileName.isEmpty() || !m_stored)
        return false;
    const FileStamp now = FileStamp::of(FileName);
    return now.exists && !(now == m_identity);
}

QString XmlStorage::AttrText(const QString &name) const
{
    return Node.attribute(name);
}

bool XmlStorage::AttrBool(const QString &name) const
{
    if (!Node.hasAttribute(name))
        return false;
    try {
        return TextToBool(Node.attribute(name));
    } catch (const AppError &e) {
        throw AppError(QStringLiteral("%1 (attribute \"%2\" of <%3>, line %4)")
                           .arg(e.message(), name, Node.tagName())
                           .arg(Node.lineNumber()));
    }
}

void XmlStorage::SetAttrText(const QString &name, const QString &value)
{
    if (!OutNode)
        throw AppError(QStringLiteral("XML Save: no element to write \"%1\" to").arg(name));
    OutNode->SetAttribute(name, value);
}

void XmlStorage::SetAttrInt(const QString &name, qint64 value)
{
    SetAttrText(name, QString::number(value));
}

void XmlStorage::SetAttrBool(const QString &name, bool value)
{
    SetAttrText(name, value ? QStringLiteral("True") : QStringLiteral("False"));
}

bool XmlStorage::TextToBool(const QString &text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = word.toDouble(&ok);
    if (ok && std::isfinite(number))
        return number != 0.0;
    throw AppError(
        QStringLiteral("\"%1\" is not a boolean value (True, False or a number)").arg(text));
}
