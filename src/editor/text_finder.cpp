#include "editor/text_finder.h"

#include "editor/code_editor.h"

#include <algorithm>

namespace {

using Sci = QsciScintillaBase;

// UTF-16 units of a UTF-8 character, by its first byte: none for the bytes
// that continue one, two for those beyond the basic plane.
inline int unitsOfByte(unsigned char c)
{
    if ((c & 0xC0) == 0x80)
        return 0;
    return c >= 0xF0 ? 2 : 1;
}

// UTF-8 bytes of a UTF-16 unit; a surrogate pair makes four between its two halves.
inline int bytesOfUnit(char16_t u)
{
    if (u < 0x80)
        return 1;
    if (u < 0x800)
        return 2;
    if (u >= 0xD800 && u < 0xE000)
        return 2;
    return 3;
}

} // namespace

TextFinder::TextFinder(CodeEditor &editor) : m_editor(editor)
{
}

void TextFinder::setPattern(const QString &text, const FindOptions &options)
{
    m_options = options;
    m_error.clear();
    m_valid = false;
    if (text.isEmpty())
        return;
    static const QString LineEnds = QStringLiteral("(*ANYCRLF)");
    static const QString WordStart = QStringLiteral("(?<!\\w)(?:");
    static const QString WordEnd = QStringLiteral(")(?!\\w)");
    QString pattern = options.regularExpression ? text : QRegularExpression::escape(text);
    qsizetype added = LineEnds.size();
    if (options.wholeWord) {
        pattern = WordStart + pattern + WordEnd;
        added += WordStart.size();
    }
    // Every kind of line end ends a line, as the documents hold all of them.
    pattern.prepend(LineEnds);
    QRegularExpression::PatternOptions flags =
        QRegularExpression::UseUnicodePropertiesOption | QRegularExpression::MultilineOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    m_expression = QRegularExpression(pattern, flags);
    if (!m_expression.isValid()) {
        // The position counts in the pattern as typed, not in our wrapping.
        const qsizetype at =
            std::clamp<qsizetype>(m_expression.patternErrorOffset() - added, 0, text.size());
        m_error =
            QStringLiteral("%1 (at character %2)").arg(m_expression.errorString()).arg(at + 1);
        return;
    }
    m_expression.optimize();
    m_valid = true;
}

const QString &TextFinder::subject()
{
    if (m_subjectChange != m_editor.changeCount()) {
        m_subject = QString::fromUtf8(m_editor.documentBytes(), m_editor.documentLength());
        m_subjectChange = m_editor.changeCount();
        m_anchorIndex = 0;
        m_anchorPosition = 0;
    }
    return m_subject;
}

qsizetype TextFinder::textIndex(long position)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_editor.documentBytes());
    qsizetype units = 0;
    if (position >= m_anchorPosition) {
        for (long i = m_anchorPosition; i < position; ++i)
            units += unitsOfByte(bytes[i]);
        m_anchorIndex += units;
    } else {
        for (long i = position; i < m_anchorPosition; ++i)
            units += unitsOfByte(bytes[i]);
        m_anchorIndex -= units;
    }
    m_anchorPosition = position;
    return m_anchorIndex;
}

long TextFinder::bytePosition(qsizetype index)
{
    const QString &text = subject();
    long bytes = 0;
    if (index >= m_anchorIndex) {
        for (qsizetype i = m_anchorIndex; i < index; ++i)
            bytes += bytesOfUnit(text[i].unicode());
        m_anchorPosition += bytes;
    } else {
        for (qsizetype i = index; i < m_anchorIndex; ++i)
            bytes += bytesOfUnit(text[i].unicode());
        m_anchorPosition -= bytes;
    }
    m_anchorIndex = index;
    return m_anchorPosition;
}

void TextFinder::select(qsizetype start, qsizetype end)
{
    const long from = bytePosition(start);
    const long to = bytePosition(end);
    // Show the whole match, then put the caret at its end.
    m_editor.SendScintilla(Sci::SCI_GOTOPOS, static_cast<unsigned long>(from));
    m_editor.SendScintilla(Sci::SCI_SETSEL, static_cast<unsigned long>(from), to);
}

bool TextFinder::findNext()
{
    m_wrapped = false;
    if (!m_valid)
        return false;
    const QString &text = subject();
    const long selectionStart = m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART);
    const long selectionEnd = m_editor.SendScintilla(Sci::SCI_GETSELECTIONEND);
    const qsizetype from = textIndex(selectionEnd);
    QRegularExpressionMatch match = m_expression.match(text, from);
    // An empty match where the caret already stands would never move on.
    if (match.hasMatch() && match.capturedLength() == 0 && match.capturedStart() == from &&
        selectionStart == selectionEnd) {
        const qsizetype next = from + (from < text.size() && text[from].isHighSurrogate() ? 2 : 1);
        match = next <= text.size() ? m_expression.match(text, next) : QRegularExpressionMatch();
    }
    if (!match.hasMatch() && m_options.wrap) {
        match = m_expression.match(text, 0);
        if (match.hasMatch() && match.capturedStart() >= from)
            match = QRegularExpressionMatch();
        m_wrapped = match.hasMatch();
    }
    if (!match.hasMatch())
        return false;
    select(match.capturedStart(), match.capturedEnd());
    return true;
}

bool TextFinder::findPrevious()
{
    m_wrapped = false;
    if (!m_valid)
        return false;
    const QString &text = subject();
    const qsizetype before = textIndex(m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART));
    QRegularExpressionMatch best;
    QRegularExpressionMatch last;
    QRegularExpressionMatchIterator matches = m_expression.globalMatch(text);
    while (matches.hasNext()) {
        QRegularExpressionMatch match = matches.next();
        if (match.capturedStart() < before) {
            best = match;
        } else if (!m_options.wrap) {
            break;
        } else {
            last = match;
        }
    }
    if (!best.hasMatch() && last.hasMatch()) {
        best = last;
        m_wrapped = true;
    }
    if (!best.hasMatch())
        return false;
    select(best.capturedStart(), best.capturedEnd());
    return true;
}

QByteArray TextFinder::expand(const QRegularExpressionMatch &match,
                              const QString &replacement) const
{
    if (!m_options.regularExpression)
        return replacement.toUtf8();
    // \0 to \9 are the match and its groups, \n the document's own line end,
    // \t a tab, \\ a backslash; any other backslash stays as typed.
    QByteArray result;
    QString literal;
    auto flush = [&] {
        result += literal.toUtf8();
        literal.clear();
    };
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != u'\\' || i + 1 >= replacement.size()) {
            literal += c;
            continue;
        }
        const QChar next = replacement[++i];
        if (next.isDigit() && next.unicode() < 0x80) {
            literal += match.captured(next.digitValue());
        } else if (next == u'n') {
            flush();
            result += m_editor.newLineBytes();
        } else if (next == u't') {
            literal += u'\t';
        } else if (next == u'\\') {
            literal += u'\\';
        } else {
            literal += c;
            literal += next;
        }
    }
    flush();
    return result;
}

bool TextFinder::replaceCurrent(const QString &replacement)
{
    if (!m_valid)
        return false;
    const QString &text = subject();
    const long selectionStart = m_editor.SendScintilla(Sci::SCI_GETSELECTIONSTART);
    const long selectionEnd = m_editor.SendScintilla(Sci::SCI_GETSELECTIONEND);
    const qsizetype start = textIndex(selectionStart);
    const qsizetype end = textIndex(selectionEnd);
    const QRegularExpressionMatch match =
        m_expression.match(text, start, QRegularExpression::NormalMatch,
                           QRegularExpression::AnchorAtOffsetMatchOption);
    const bool current = match.hasMatch() && match.capturedEnd() == end;
    if (current) {
        const QByteArray bytes = expand(match, replacement);
        m_editor.replaceBytes(selectionStart, selectionEnd, bytes);
        const long after = selectionStart + long(bytes.size());
        m_editor.SendScintilla(Sci::SCI_SETSEL, static_cast<unsigned long>(after), after);
    }
    findNext();
    return current;
}

int TextFinder::replaceAll(const QString &replacement)
{
    if (!m_valid)
        return 0;
    const QString &text = subject();
    // Positions are read before the one change, while they still hold.
    const char *bytes = m_editor.documentBytes();
    QByteArray replaced;
    long first = -1;
    long copied = 0;
    int count = 0;
    QRegularExpressionMatchIterator matches = m_expression.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const long start = bytePosition(match.capturedStart());
        const long end = bytePosition(match.capturedEnd());
        if (first < 0)
            first = copied = start;
        replaced.append(bytes + copied, start - copied);
        replaced += expand(match, replacement);
        copied = end;
        ++count;
    }
    if (count == 0)
        return 0;

    const long caret = m_editor.SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long firstVisible = m_editor.SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
    m_editor.replaceBytes(first, copied, replaced);
    // The caret keeps its place in the text around the replaced stretch.
    long position = caret;
    if (caret >= copied)
        position = caret + long(replaced.size()) - (copied - first);
    else if (caret > first)
        position = first;
    m_editor.SendScintilla(Sci::SCI_SETSEL, static_cast<unsigned long>(position), position);
    m_editor.SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(firstVisible));
    return count;
}
