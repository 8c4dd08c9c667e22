#include "project/php_error.h"

#include "project/project.h"
#include "project/project_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr QStringView ErrorMarker = u"error</b>:";
constexpr QStringView WarningMarker = u"Warning</b>:";

// The text between `open` and the next `close` inside `text`; empty when
// either is missing.
QStringView between(QStringView text, QStringView open, QStringView close)
{
    const qsizetype at = text.indexOf(open);
    if (at < 0)
        return {};
    const QStringView rest = text.sliced(at + open.size());
    const qsizetype end = rest.indexOf(close);
    return end < 0 ? QStringView() : rest.first(end);
}

// PHP escapes its messages for HTML; the panel shows plain text.
QString decodeEntities(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        // Entities are short: look for their ';' only a few characters on.
        const qsizetype window = std::min<qsizetype>(10, text.size() - i - 1);
        const qsizetype found = c == u'&' ? text.sliced(i + 1, window).indexOf(u';') : -1;
        const qsizetype semi = found < 0 ? -1 : i + 1 + found;
        if (semi < 0) {
            out += c;
            ++i;
            continue;
        }
        const QStringView name = text.sliced(i + 1, semi - i - 1);
        char32_t decoded = 0;
        if (name == u"amp")
            decoded = u'&';
        else if (name == u"lt")
            decoded = u'<';
        else if (name == u"gt")
            decoded = u'>';
        else if (name == u"quot")
            decoded = u'"';
        else if (name == u"apos")
            decoded = u'\'';
        else if (name.size() > 1 && name[0] == u'#') {
            bool ok = false;
            const uint code = (name[1] == u'x' || name[1] == u'X') ? name.sliced(2).toUInt(&ok, 16)
                                                                   : name.sliced(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF))
                decoded = code;
        }
        if (decoded == 0) {
            out += c;
            ++i;
            continue;
        }
        out += QString::fromUcs4(&decoded, 1);
        i = semi + 1;
    }
    return out;
}

// Where the first error marker starts, else the first warning marker, with
// its length; -1 when the page holds neither. Both markers end in "</b>:",
// and colons are rare in pages and found by the vectorised character search,
// so one pass from colon to colon finds both. A page dense with colons falls
// back to the two plain string searches, whose time does not depend on it.
std::pair<qsizetype, qsizetype> findMarker(QStringView page)
{
    constexpr QStringView Tail = u"</b>:";
    const qsizetype errorHead = ErrorMarker.size() - Tail.size();
    const qsizetype warningHead = WarningMarker.size() - Tail.size();
    qsizetype warningAt = -1;
    qsizetype stops = 0;
    for (qsizetype colon = page.indexOf(u':', Tail.size() - 1); colon >= 0;
         colon = page.indexOf(u':', colon + 1)) {
        if (++stops > 1024 && stops > colon / 16) {
            const qsizetype errorAt = page.indexOf(ErrorMarker);
            if (errorAt >= 0)
                return {errorAt, ErrorMarker.size()};
            return {page.indexOf(WarningMarker), WarningMarker.size()};
        }
        const qsizetype tailAt = colon - (Tail.size() - 1);
        if (page.sliced(tailAt, Tail.size()) != Tail)
            continue;
        if (tailAt >= errorHead &&
            page.sliced(tailAt - errorHead, errorHead) == ErrorMarker.first(errorHead))
            return {tailAt - errorHead, ErrorMarker.size()};
        if (warningAt < 0 && tailAt >= warningHead &&
            page.sliced(tailAt - warningHead, warningHead) == WarningMarker.first(warningHead))
            warningAt = tailAt - warningHead;
    }
    return {warningAt, WarningMarker.size()};
}

} // namespace

int PhpErrorCapture::lineNumber() const
{
    if (line.isEmpty() || line.size() > 10)
        return 0;
    qint64 value = 0;
    for (const QChar c : line) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value > std::numeric_limits<int>::max() ? 0 : int(value);
}

QString PhpErrorCapture::messageRow() const
{
    return file + u'(' + line + QStringLiteral("):") + message;
}

PhpErrorCapture CapturePhpError(QStringView page)
{
    const auto [at, markerLength] = findMarker(page);
    PhpErrorCapture capture;
    if (at < 0)
        return capture;
    capture.found = true;

    // The error line: after the marker and the one character that follows
    // it, up to the first "<br />"; nothing when the line is not closed.
    const qsizetype start = at + markerLength + 1;
    if (start >= page.size())
        return capture;
    const QStringView after = page.sliced(start);
    const qsizetype lineEnd = after.indexOf(u"<br />");
    if (lineEnd < 0)
        return capture;
    const QStringView errorLine = after.first(lineEnd);

    capture.file = RepairedPath(between(errorLine, u"in <b>", u"</b>").toString());
    capture.line = between(errorLine, u"on line <b>", u"</b>").toString();

    // The message runs up to " in <" (the bold file name). An uncaught
    // exception carries its stack trace before that; the row keeps only the
    // first line of it.
    QStringView message = errorLine;
    const qsizetype fileAt = errorLine.indexOf(u" in <");
    if (fileAt >= 0)
        message = errorLine.first(fileAt);
    const qsizetype lineBreak = message.indexOf(u'\n');
    if (lineBreak >= 0)
        message = message.first(lineBreak);
    while (!message.isEmpty() && message.back().isSpace())
        message.chop(1);
    capture.message = decodeEntities(message);
    return capture;
}

QString RepairedPath(const QString &path)
{
    bool high = false;
    for (const QChar c : path) {
        if (c.unicode() > 0xFF)
            return path;
        high = high || c.unicode() >= 0x80;
    }
    if (!high)
        return path;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(path.toLatin1());
    return utf8.hasError() ? path : decoded;
}

QString ProjectPathOfReported(const QString &reported, const Project &project)
{
    if (reported.isEmpty() || project.IndexOf(reported) >= 0)
        return reported;
    const QString real = QFileInfo(reported).canonicalFilePath();
    if (real.isEmpty())
        return reported; // no such file: nothing to compare

    // Below the project folder as the project names it, when the folder is a
    // link or lies below one.
    QString candidate;
    if (!project.FileName.isEmpty()) {
        const QString folder = ProjectFolderOf(project.FileName);
        const QString realFolder = QFileInfo(folder).canonicalFilePath();
        if (!realFolder.isEmpty() && real.startsWith(realFolder + u'/')) {
            candidate = folder + real.mid(realFolder.size() + 1);
            if (project.IndexOf(candidate) >= 0)
                return candidate;
        }
    }
    // An entry elsewhere that is the same file under another name.
    for (int i = 0; i < project.Files.Count(); ++i) {
        const QString &name = project.Files.Get(i)->Name;
        if (QFileInfo(name).canonicalFilePath() == real)
            return name;
    }
    if (!candidate.isEmpty() && QFileInfo(candidate).canonicalFilePath() == real)
        return candidate;
    return reported;
}
