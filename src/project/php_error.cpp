#include "project/php_error.h"

#include "project/project.h"
#include "project/project_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

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

namespace {

// One error line found in a page, in any of the formats, and where it starts.
struct Candidate {
    qsizetype at = -1;
    bool error = false;
    PhpErrorCapture capture;
};

// Keeps the earliest error, and the earliest warning for a page without one.
void consider(Candidate &best, Candidate found)
{
    if (found.at < 0)
        return;
    if (best.at < 0 || (found.error && !best.error) ||
        (found.error == best.error && found.at < best.at))
        best = std::move(found);
}

// PHP's own HTML error line, as the format has always been read.
PhpErrorCapture cutHtmlLine(QStringView page, qsizetype at, qsizetype markerLength)
{
    PhpErrorCapture capture;
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

// What a caption names: an error (any caption ending in "error", an uncaught
// exception), a warning, or something not captured (notices, deprecations).
enum class Kind { None, Warning, Error };

Kind kindOfXdebugClass(QStringView cls)
{
    if (cls.endsWith(u"warning"))
        return Kind::Warning;
    if (cls.endsWith(u"error") || cls.endsWith(u"exception"))
        return Kind::Error;
    return Kind::None;
}

// The message, file and line of " Caption: message in FILE on line N" once
// the caption's colon is at `colon` and " on line " at `onLine`; `lineText`
// is the number's text. The message is the first line of what follows the
// colon, without the " in FILE" that ends it, so uncaught exceptions keep
// their first line only, as in PHP's HTML form.
PhpErrorCapture cutCaptionedLine(QStringView block, qsizetype colon, qsizetype onLine,
                                 QStringView lineText, bool escaped)
{
    PhpErrorCapture capture;
    capture.found = true;
    const QStringView body = block.sliced(colon + 1, onLine - colon - 1);
    const qsizetype fileAt = body.lastIndexOf(u" in ");
    if (fileAt >= 0)
        capture.file = RepairedPath(body.sliced(fileAt + 4).toString());
    capture.line = lineText.toString();
    QStringView message = fileAt >= 0 ? body.first(fileAt) : body;
    const qsizetype lineBreak = message.indexOf(u'\n');
    if (lineBreak >= 0)
        message = message.first(lineBreak);
    while (!message.isEmpty() && message.back().isSpace())
        message.chop(1);
    capture.message = escaped ? decodeEntities(message) : message.toString();
    return capture;
}

// Xdebug's development mode writes each error as a table
// (class='xdebug-error xe-KIND') whose first heading reads
// "( ! )</span> Caption: message in FILE on line <i>N</i>".
void findXdebugTables(QStringView page, Candidate &best)
{
    constexpr QStringView Table = u"class='xdebug-error xe-";
    bool warningSeen = false;
    for (qsizetype at = page.indexOf(Table); at >= 0; at = page.indexOf(Table, at + 1)) {
        const qsizetype clsStart = at + Table.size() - 3;
        const qsizetype clsEnd = page.indexOf(u'\'', clsStart);
        if (clsEnd < 0)
            return;
        const Kind kind = kindOfXdebugClass(page.sliced(clsStart, clsEnd - clsStart));
        if (kind == Kind::None || (kind == Kind::Warning && warningSeen))
            continue;
        Candidate found;
        found.at = at;
        found.error = kind == Kind::Error;
        found.capture.found = true;
        // The heading: after the "( ! )" badge, up to the end of the cell.
        const qsizetype badge = page.indexOf(u"</span>", clsEnd);
        const qsizetype cellEnd = badge < 0 ? -1 : page.indexOf(u"</th>", badge);
        if (cellEnd >= 0) {
            const QStringView heading = page.sliced(badge + 7, cellEnd - badge - 7);
            const qsizetype colon = heading.indexOf(u':');
            const qsizetype onLine = heading.lastIndexOf(u" on line <i>");
            const QStringView lineText =
                onLine < 0 ? QStringView() : between(heading.sliced(onLine), u"<i>", u"</i>");
            if (colon >= 0 && onLine > colon)
                found.capture = cutCaptionedLine(heading, colon, onLine, lineText, true);
        }
        warningSeen = warningSeen || !found.error;
        consider(best, std::move(found));
        if (best.error)
            return; // the first error wins; later tables cannot beat it
    }
}

bool isDigits(QStringView text)
{
    return !text.isEmpty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// PHP's plain-text form (html_errors off): a line "Caption: message in FILE
// on line N" standing on its own, where an uncaught exception's stack trace
// sits between the message and its "thrown in FILE on line N". Only the whole
// shape counts, so a page that merely says "Warning:" is not an error.
void findTextLines(QStringView page, Candidate &best)
{
    constexpr QStringView OnLine = u" on line ";
    // The next " on line N" whose number ends its line; searched forwards only.
    qsizetype nextOnLine = -1;
    QStringView nextNumber;
    const auto onLineAfter = [&](qsizetype from) {
        if (nextOnLine >= from)
            return nextOnLine;
        for (qsizetype at = page.indexOf(OnLine, from); at >= 0;
             at = page.indexOf(OnLine, at + 1)) {
            qsizetype end = at + OnLine.size();
            while (end < page.size() && page[end].isDigit())
                ++end;
            const QStringView number = page.sliced(at + OnLine.size(), end - at - OnLine.size());
            if (isDigits(number) &&
                (end == page.size() || page[end] == u'\n' || page[end] == u'\r')) {
                nextOnLine = at;
                nextNumber = number;
                return at;
            }
        }
        nextOnLine = page.size(); // none further on
        return qsizetype(-1);
    };
    const auto lineStartOf = [&](qsizetype at) {
        // Captions are short: a line start further back is no caption's.
        for (qsizetype i = at; i > 0 && at - i < 40; --i) {
            if (page[i - 1] == u'\n')
                return i;
        }
        return at < 40 ? qsizetype(0) : qsizetype(-1);
    };
    const auto tryCaption = [&](qsizetype lineStart, qsizetype colon, bool error) {
        const qsizetype onLine = onLineAfter(colon);
        if (onLine < 0 || onLine >= page.size())
            return false;
        // Captions are words: letters and blanks from the line's start.
        for (qsizetype i = lineStart; i < colon; ++i) {
            if (!page[i].isLetter() && page[i] != u' ')
                return false;
        }
        // The number ends the caption's own line, or an uncaught exception's
        // "  thrown in" line below its stack trace.
        const qsizetype lineEnd = page.indexOf(u'\n', colon);
        if (lineEnd >= 0 && lineEnd < onLine) {
            const qsizetype numberLine = page.lastIndexOf(u'\n', onLine) + 1;
            if (!error || !page.sliced(numberLine).startsWith(u"  thrown in "))
                return false;
        }
        Candidate found;
        found.at = lineStart;
        found.error = error;
        found.capture = cutCaptionedLine(page.sliced(lineStart), colon - lineStart,
                                         onLine - lineStart, nextNumber, false);
        consider(best, std::move(found));
        return true;
    };
    constexpr QStringView Error = u" error: ";
    for (qsizetype at = page.indexOf(Error); at >= 0; at = page.indexOf(Error, at + 1)) {
        const qsizetype lineStart = lineStartOf(at);
        if (lineStart >= 0 && tryCaption(lineStart, at + Error.size() - 2, true))
            return;
    }
    nextOnLine = -1; // the warnings are searched from the start again
    constexpr QStringView Warning = u"Warning: ";
    for (qsizetype at = page.indexOf(Warning); at >= 0; at = page.indexOf(Warning, at + 1)) {
        if ((at == 0 || page[at - 1] == u'\n') && tryCaption(at, at + Warning.size() - 2, false))
            return;
    }
}

} // namespace

PhpErrorCapture CapturePhpError(QStringView page)
{
    Candidate best;
    const auto [at, markerLength] = findMarker(page);
    if (at >= 0) {
        Candidate html;
        html.at = at;
        html.error = markerLength == ErrorMarker.size();
        html.capture = cutHtmlLine(page, at, markerLength);
        consider(best, std::move(html));
    }
    // Xdebug's tables and the plain-text lines; a page normally holds one
    // format, and an error in any of them wins over a warning.
    if (!best.error)
        findXdebugTables(page, best);
    if (!best.error)
        findTextLines(page, best);
    return best.capture;
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

namespace {

// The longest tail of `parts` (keeping at least `keep` leading parts) that
// names a file of the project: its entries first, then the disk below
// `folder`. Gives the count of leading parts left and the local folder the
// tail sits in; -1 when no tail matches.
qsizetype matchTail(const QStringList &parts, qsizetype keep, const QString &folder,
                    const Project &project, QString &local)
{
    for (qsizetype lead = keep; lead < parts.size(); ++lead) {
        const QString tail = u'/' + parts.sliced(lead).join(u'/');
        for (int i = 0; i < project.Files.Count(); ++i) {
            const QString &name = project.Files.Get(i)->Name;
            if (name.endsWith(tail) && name.size() > tail.size()) {
                local = name.chopped(tail.size());
                return lead;
            }
        }
        if (QFileInfo(folder + tail).isFile()) {
            local = folder;
            return lead;
        }
    }
    return -1;
}

QString absoluteOf(const QStringList &parts, qsizetype count)
{
    return u'/' + parts.first(count).join(u'/');
}

} // namespace

SuggestedMapping SuggestServerMapping(const QString &reported, const QString &runAddress,
                                      const Project &project)
{
    if (project.FileName.isEmpty())
        return {};
    QString folder = ProjectFolderOf(project.FileName);
    folder.chop(1);

    // A path only another machine has: its tail is a project file, so its
    // head is where that server keeps the project.
    if (reported.startsWith(u'/') && !reported.startsWith(folder + u'/') &&
        ProjectPathOfReported(reported, project) == reported && project.IndexOf(reported) < 0) {
        const QStringList parts = reported.split(u'/', Qt::SkipEmptyParts);
        QString local;
        const qsizetype lead = matchTail(parts, 1, folder, project, local);
        if (lead > 0)
            return {absoluteOf(parts, lead), local};
    }

    // The run address's folder, below the document root servers are usually
    // set up with; the page at its end is the project's own when it exists.
    constexpr QLatin1StringView DocumentRoot("/var/www/html");
    const QUrl address(runAddress.trimmed());
    QStringList parts;
    QString local = folder;
    if (address.isValid() && address.scheme().startsWith(QLatin1String("http"))) {
        const QString path = address.path(QUrl::FullyDecoded);
        parts = path.split(u'/', Qt::SkipEmptyParts);
        if (!path.endsWith(u'/') && !parts.isEmpty()) {
            const qsizetype lead = matchTail(parts, 0, folder, project, local);
            if (lead >= 0)
                parts.resize(lead);
            else
                parts.removeLast(); // a page the project lacks: its folder
        }
    }
    return {parts.isEmpty() ? QString(DocumentRoot)
                            : DocumentRoot + absoluteOf(parts, parts.size()),
            local};
}
