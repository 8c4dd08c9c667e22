#include "foundation/xml_storage.h"

#include "foundation/errors.h"
#include "foundation/user_dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>

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
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\t': out += QLatin1String("&#9;"); break;
        case '\n': out += QLatin1String("&#10;"); break;
        case '\r': out += QLatin1String("&#13;"); break;
        default: out += ch;
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

void cXMLStorage::LoadFromFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists()) {
        Dialogs().showMessage(QStringLiteral("XML Load: file doesn't exist") + fileName);
        return;
    }
    if (info.isDir())
        throw AppError(QStringLiteral("XML Load: \"%1\" is a folder, not a file").arg(fileName));

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(
            QStringLiteral("XML Load: cannot read \"%1\": %2").arg(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(
            QStringLiteral("XML Load: cannot read \"%1\": %2").arg(fileName, file.errorString()));
    file.close();

    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(bytes, false, &message, &line, &column))
        throw AppError(QStringLiteral("XML Load: \"%1\" is not a well-formed XML file "
                                      "(line %2, column %3): %4")
                           .arg(fileName)
                           .arg(line)
                           .arg(column)
                           .arg(message));

    ReadXML(document, fileName);
    FileName = fileName;
}

void cXMLStorage::SaveToFile(const QString &fileName)
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

    QSaveFile file(fileName);
    auto failure = [&](const QString &reason) {
        return AppError(QStringLiteral("XML Save: cannot write \"%1\": %2").arg(fileName, reason));
    };
    if (fileName.isEmpty())
        throw failure(QStringLiteral("no file name"));
    if (QFileInfo(fileName).isDir())
        throw failure(QStringLiteral("a folder of that name exists"));
    if (!file.open(QIODevice::WriteOnly))
        throw failure(file.errorString());
    if (HoldsSecrets()) {
        // Set on the new file before it takes the old one's place, so the
        // secret is never readable by others, not even for a moment.
        QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        if (QFileInfo::exists(fileName))
            mode &= QFileInfo(fileName).permissions();
        if (!file.setPermissions(mode)) {
            const QString reason = file.errorString();
            file.cancelWriting();
            throw failure(reason);
        }
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw failure(reason);
    }
    if (!file.commit())
        throw failure(file.errorString());
    FileName = fileName;
}

QString cXMLStorage::AttrText(const QString &name) const
{
    return Node.attribute(name);
}

bool cXMLStorage::AttrBool(const QString &name) const
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

void cXMLStorage::SetAttrText(const QString &name, const QString &value)
{
    if (!OutNode)
        throw AppError(QStringLiteral("XML Save: no element to write \"%1\" to").arg(name));
    OutNode->SetAttribute(name, value);
}

void cXMLStorage::SetAttrInt(const QString &name, qint64 value)
{
    SetAttrText(name, QString::number(value));
}

void cXMLStorage::SetAttrBool(const QString &name, bool value)
{
    SetAttrText(name, value ? QStringLiteral("True") : QStringLiteral("False"));
}

bool cXMLStorage::TextToBool(const QString &text)
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
