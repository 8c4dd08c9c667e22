#include "editor/code_editor.h"

#include "editor/character_count.h"
#include "foundation/errors.h"

#include <QColor>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

// The control always holds UTF-8; a Windows-1252 file is converted on load
// and back on save (code_editor_files.cpp), so every byte survives either
// way. Text goes in and out with explicit lengths: the control's string
// helpers stop at the first NUL byte and would cut a binary file short.
//
// Keys live in code_editor_keys.cpp, colours and margins in
// code_editor_appearance.cpp.

namespace {

using Sci = QsciScintillaBase;

// Restores undo collection even if inserting text throws (out of memory).
class OutsideUndo {
public:
    OutsideUndo(CodeEditor &editor, bool &flag) : m_editor(editor), m_flag(flag)
    {
        m_flag = true;
        m_editor.SendScintilla(Sci::SCI_SETUNDOCOLLECTION, 0UL);
    }
    ~OutsideUndo()
    {
        m_editor.SendScintilla(Sci::SCI_SETUNDOCOLLECTION, 1UL);
        m_flag = false;
    }
    Q_DISABLE_COPY_MOVE(OutsideUndo)

private:
    CodeEditor &m_editor;
    bool &m_flag;
};

// Groups changes into one undo step, closed even when a change throws.
class UndoStep {
public:
    explicit UndoStep(CodeEditor &editor) : m_editor(editor)
    {
        m_editor.SendScintilla(Sci::SCI_BEGINUNDOACTION);
    }
    ~UndoStep() { m_editor.SendScintilla(Sci::SCI_ENDUNDOACTION); }
    Q_DISABLE_COPY_MOVE(UndoStep)

private:
    CodeEditor &m_editor;
};

} // namespace

CodeEditor::CodeEditor(QWidget *parent) : QsciScintilla(parent)
{
    setUtf8(true);
    setWrapMode(WrapNone);
    SendScintilla(SCI_SETEOLMODE, SC_EOL_LF);
    removeWindowShortcutBindings();
    connect(this, &QsciScintilla::textChanged, this, &CodeEditor::documentChanged);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *text, int length, int, int, int, int, int,
                   int) { onModified(position, type, text, length); });
    connect(this, &QsciScintilla::modificationChanged, this, &CodeEditor::updateModified);
    connect(this, &QsciScintillaBase::SCN_UPDATEUI, this, &CodeEditor::statusChanged);
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, &CodeEditor::onCharacterAdded);
    connect(this, &QsciScintilla::linesChanged, this, &CodeEditor::updateLineNumberWidth);
    m_dark = wantsDarkColours();
    applyColours();
    updateLineNumberWidth();
    TrackCharacterCounts(this);
}

CodeEditor::~CodeEditor()
{
    StopTrackingCharacterCounts(this);
}

// --- text -------------------------------------------------------------------

long CodeEditor::documentLength() const
{
    return SendScintilla(SCI_GETLENGTH);
}

const char *CodeEditor::documentBytes() const
{
    // Joins the control's gap buffer once; valid until the next change.
    return static_cast<const char *>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
}

void CodeEditor::replaceRange(long start, long end, const QByteArray &utf8)
{
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(start), end);
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(utf8.size()), utf8.constData());
}

void CodeEditor::replaceBytes(long start, long end, const QByteArray &utf8)
{
    UndoStep step(*this);
    replaceRange(start, end, utf8);
}

QByteArray CodeEditor::newLineBytes() const
{
    switch (SendScintilla(SCI_GETEOLMODE)) {
    case SC_EOL_CRLF:
        return QByteArrayLiteral("\r\n");
    case SC_EOL_CR:
        return QByteArrayLiteral("\r");
    default:
        return QByteArrayLiteral("\n");
    }
}

void CodeEditor::runOutsideUndo(const std::function<void()> &change)
{
    OutsideUndo outside(*this, m_outsideUndo);
    change();
}

int CodeEditor::lineCount() const
{
    return int(SendScintilla(SCI_GETLINECOUNT));
}

QString CodeEditor::lineText(int line) const
{
    if (line < 0 || line >= lineCount())
        return {};
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const auto *bytes = reinterpret_cast<const char *>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start));
    return QString::fromUtf8(bytes, end - start);
}

QStringList CodeEditor::lineTexts() const
{
    const int count = lineCount();
    QStringList lines;
    lines.reserve(count);
    for (int line = 0; line < count; ++line)
        lines.append(lineText(line));
    return lines;
}

void CodeEditor::replaceLine(int line, const QString &text)
{
    if (line < 0 || line >= lineCount())
        throw AppError(QStringLiteral("Line %1 does not exist; the document has %2 lines.")
                           .arg(line + 1)
                           .arg(lineCount()));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() == end - start) {
        const auto *old = reinterpret_cast<const char *>(
            SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start));
        if (std::equal(utf8.begin(), utf8.end(), old))
            return;
    }
    // A change before a step recorded in undo would make that step undo the
    // wrong text; in that case the history is dropped instead of corrupted.
    const bool history = SendScintilla(SCI_CANUNDO) || SendScintilla(SCI_CANREDO);
    if (!history || start < m_historyEnd) {
        if (history)
            SendScintilla(SCI_EMPTYUNDOBUFFER);
        m_historyEnd = 0;
    }
    runOutsideUndo([&] { replaceRange(start, end, utf8); });
    m_changedOutsideUndo = true;
    updateModified();
}

void CodeEditor::replaceLineTexts(const QStringList &lines)
{
    const int count = lineCount();
    if (lines.size() != count)
        throw AppError(QStringLiteral("%1 lines cannot replace the document's %2.")
                           .arg(lines.size())
                           .arg(count));
    auto lineBytes = [this](int line) {
        const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
        return QByteArray::fromRawData(
            reinterpret_cast<const char *>(
                SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start)),
            end - start);
    };
    // Only the stretch from the first to the last changed line is replaced.
    std::vector<QByteArray> texts(static_cast<size_t>(count));
    int first = -1;
    int last = -1;
    for (int line = 0; line < count; ++line) {
        texts[size_t(line)] = lines.at(line).toUtf8();
        if (texts[size_t(line)] != lineBytes(line)) {
            if (first < 0)
                first = line;
            last = line;
        }
    }
    if (first < 0)
        return;

    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const int caretLine =
        int(SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret)));
    const long caretColumn =
        SendScintilla(SCI_COUNTCHARACTERS,
                      static_cast<unsigned long>(SendScintilla(
                          SCI_POSITIONFROMLINE, static_cast<unsigned long>(caretLine))),
                      caret);
    const long firstVisible = SendScintilla(SCI_GETFIRSTVISIBLELINE);

    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(first));
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(last));
    const char *bytes = documentBytes();
    QByteArray replacement;
    for (int line = first; line <= last; ++line) {
        replacement += texts[size_t(line)];
        if (line < last) {
            // The line's own end, whatever its kind.
            const long lineEnd =
                SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
            const long next =
                SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line + 1));
            replacement.append(bytes + lineEnd, next - lineEnd);
        }
    }
    replaceBytes(start, end, replacement);

    const long lineStart =
        SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(caretLine));
    const long lineEnd =
        SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(caretLine));
    long position =
        SendScintilla(SCI_POSITIONRELATIVE, static_cast<unsigned long>(lineStart), caretColumn);
    if (position == 0 && caretColumn > 0)
        position = lineEnd; // the column lies past the end of the document
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(std::min(position, lineEnd)));
    SendScintilla(SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(firstVisible));
}

QString CodeEditor::wholeText() const
{
    return QString::fromUtf8(documentBytes(), documentLength());
}

void CodeEditor::setWholeText(const QString &text)
{
    replaceRange(0, documentLength(), text.toUtf8());
}

// --- change tracking ----------------------------------------------------------

void CodeEditor::onModified(int position, int type, const char *text, int length)
{
    if (type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE))
        CharactersChangeAt(this, position);
    if (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT))
        ++m_changeCount;
    trackHistory(position, type, length);
    // Line ends whose kind a change can alter lie in it or right beside it.
    const long pos = position;
    if ((type & SC_MOD_BEFOREDELETE) && pos == 0 && length == documentLength())
        m_crLfCount = m_lfCount = m_crCount = 0; // all of it goes: nothing to count
    else if (type & SC_MOD_BEFOREINSERT)
        countLineEnds(pos - 1, pos + 1, -1);
    else if (type & SC_MOD_INSERTTEXT)
        countLineEnds(pos - 1, pos + length + 1, +1);
    else if (type & SC_MOD_BEFOREDELETE)
        countLineEnds(pos - 1, pos + length + 1, -1);
    else if (type & SC_MOD_DELETETEXT)
        countLineEnds(pos - 1, pos + 1, +1);
    if ((type & SC_MOD_INSERTTEXT) && length > 0) {
        if (!text)
            text = reinterpret_cast<const char *>(
                SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(pos), long(length)));
        watchEncoding(text, length);
    }
}

void CodeEditor::countLineEnds(long from, long to, int sign)
{
    // Counts the line ends that start in [from, to), reading one byte either
    // side to tell CR LF from a lone CR or LF.
    const long length = documentLength();
    from = std::max(0L, from);
    to = std::min(length, to);
    if (from >= to)
        return;
    const long readFrom = std::max(0L, from - 1);
    const long readTo = std::min(length, to + 1);
    const auto *bytes = reinterpret_cast<const char *>(SendScintilla(
        SCI_GETRANGEPOINTER, static_cast<unsigned long>(readFrom), readTo - readFrom));
    if (!bytes)
        return;
    auto at = [&](long position) { return bytes[position - readFrom]; };
    // Jumps from one CR or LF to the next: a whole file is counted at the
    // speed of memchr when it is loaded.
    const char *begin = bytes + (from - readFrom);
    const char *end = bytes + (to - readFrom);
    auto next = [end](const char *p, char c) {
        const void *found = std::memchr(p, c, size_t(end - p));
        return found ? static_cast<const char *>(found) : end;
    };
    const char *cr = next(begin, '\r');
    const char *lf = next(begin, '\n');
    while (cr < end || lf < end) {
        if (cr < lf) {
            const long i = readFrom + (cr - bytes);
            if (i + 1 < readTo && at(i + 1) == '\n')
                m_crLfCount += sign;
            else
                m_crCount += sign;
            cr = next(cr + 1, '\r');
        } else {
            const long i = readFrom + (lf - bytes);
            if (!(i > readFrom && at(i - 1) == '\r'))
                m_lfCount += sign;
            lf = next(lf + 1, '\n');
        }
    }
}

CodeEditor::LineEnds CodeEditor::lineEnds() const
{
    const int kinds = (m_crLfCount > 0) + (m_lfCount > 0) + (m_crCount > 0);
    if (kinds > 1)
        return LineEnds::Mixed;
    if (m_crLfCount > 0)
        return LineEnds::CrLf;
    if (m_lfCount > 0)
        return LineEnds::Lf;
    if (m_crCount > 0)
        return LineEnds::Cr;
    return LineEnds::None;
}

QString CodeEditor::lineEndsName() const
{
    LineEnds ends = lineEnds();
    if (ends == LineEnds::None) {
        // A single line shows the kind that new lines will get.
        const QByteArray next = newLineBytes();
        ends = next == "\r\n" ? LineEnds::CrLf : next == "\r" ? LineEnds::Cr : LineEnds::Lf;
    }
    switch (ends) {
    case LineEnds::CrLf:
        return QStringLiteral("CRLF");
    case LineEnds::Cr:
        return QStringLiteral("CR");
    case LineEnds::Mixed:
        return QStringLiteral("mixed");
    default:
        return QStringLiteral("LF");
    }
}

void CodeEditor::resetHistory()
{
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    m_historyEnd = 0;
}

void CodeEditor::trackHistory(int position, int modificationType, int length)
{
    if (m_outsideUndo)
        return;
    const long pos = position;
    if (modificationType & SC_MOD_INSERTTEXT) {
        m_historyEnd = pos <= m_historyEnd ? m_historyEnd + length : pos + length;
    } else if (modificationType & SC_MOD_DELETETEXT) {
        if (pos >= m_historyEnd)
            m_historyEnd = pos;
        else if (pos + length <= m_historyEnd)
            m_historyEnd -= length;
        else
            m_historyEnd = pos;
    }
}

bool CodeEditor::isDocumentModified() const
{
    // The control's own flag, not QsciScintilla's copy of it: that one
    // belongs to the view and stays with the document shown before a switch.
    return SendScintilla(SCI_GETMODIFY) != 0 || m_changedOutsideUndo;
}

void CodeEditor::updateModified()
{
    const bool modified = isDocumentModified();
    if (modified == m_lastModified)
        return;
    m_lastModified = modified;
    emit modifiedChanged(modified);
}

// --- caret and selection ----------------------------------------------------

int CodeEditor::caretLine() const
{
    return int(SendScintilla(SCI_LINEFROMPOSITION,
                             static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS)))) +
           1;
}

void CodeEditor::setCaretLine(int line)
{
    const int target = std::clamp(line, 1, lineCount()) - 1;
    // The column kept is the visible one, so tabs do not shift the caret sideways.
    const long column =
        SendScintilla(SCI_GETCOLUMN, static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS)));
    const long position = SendScintilla(SCI_FINDCOLUMN, static_cast<unsigned long>(target), column);
    SendScintilla(SCI_ENSUREVISIBLE, static_cast<unsigned long>(target));
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(position));
}

int CodeEditor::caretColumn() const
{
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    return int(SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start), caret)) + 1;
}

int CodeEditor::caretDisplayColumn() const
{
    return int(SendScintilla(SCI_GETCOLUMN,
                             static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS)))) +
           1;
}

void CodeEditor::extendSelection(int characters)
{
    // Every line break counts as two characters, whatever its bytes: CR LF,
    // a lone LF or a lone CR. A count that ends inside a line break stops
    // before it, since half a line break cannot be selected.
    const long anchor = SendScintilla(SCI_GETCURRENTPOS);
    const long length = documentLength();
    long position = anchor;
    long remaining = std::max(characters, 0);
    while (remaining > 0 && position < length) {
        const char c = char(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(position)));
        if (c == '\r' || c == '\n') {
            if (remaining < 2)
                break;
            const bool crLf = c == '\r' && position + 1 < length &&
                              char(SendScintilla(SCI_GETCHARAT,
                                                 static_cast<unsigned long>(position + 1))) == '\n';
            position += crLf ? 2 : 1;
            remaining -= 2;
        } else {
            position = SendScintilla(SCI_POSITIONAFTER, static_cast<unsigned long>(position));
            remaining -= 1;
        }
    }
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(anchor), position);
}

QString CodeEditor::wordAtCaret() const
{
    const auto caret = static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS));
    const long start = SendScintilla(SCI_WORDSTARTPOSITION, caret, 1L);
    const long end = SendScintilla(SCI_WORDENDPOSITION, caret, 1L);
    if (end <= start)
        return {};
    const auto *bytes = reinterpret_cast<const char *>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start));
    return QString::fromUtf8(bytes, end - start);
}

// --- search -----------------------------------------------------------------

namespace {

bool findAndSelect(CodeEditor &editor, long from, const QString &text)
{
    if (text.isEmpty())
        return false;
    const QByteArray utf8 = text.toUtf8();
    editor.SendScintilla(Sci::SCI_SETSEARCHFLAGS, 0UL); // case ignored, inside words
    editor.SendScintilla(Sci::SCI_SETTARGETRANGE, static_cast<unsigned long>(from),
                         editor.SendScintilla(Sci::SCI_GETLENGTH));
    const long found = editor.SendScintilla(
        Sci::SCI_SEARCHINTARGET, static_cast<unsigned long>(utf8.size()), utf8.constData());
    if (found < 0)
        return false;
    const long end = editor.SendScintilla(Sci::SCI_GETTARGETEND);
    editor.SendScintilla(Sci::SCI_SETSEL, static_cast<unsigned long>(found), end);
    return true;
}

} // namespace

bool CodeEditor::searchForward(const QString &text)
{
    return findAndSelect(*this, SendScintilla(SCI_GETCURRENTPOS), text);
}

bool CodeEditor::searchWholeDocument(const QString &text)
{
    return findAndSelect(*this, 0, text);
}

void CodeEditor::takeFocus()
{
    setFocus(Qt::OtherFocusReason);
}
