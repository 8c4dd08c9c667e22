#include "editor/code_editor.h"

#include "foundation/file_read.h"
#include "foundation/text_encoding.h"
#include "foundation/errors.h"

#include <QColor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QSaveFile>
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qscilexerhtml.h>
#include <algorithm>
#include <climits>
#include <utility>

// The control always holds UTF-8 (see text_encoding.h); a Latin-1 file is
// converted on load and back on save, so every byte survives either way.
// Text goes in and out with explicit lengths: the control's string helpers
// stop at the first NUL byte and would cut a binary file short.

namespace {

using Sci = QsciScintillaBase;

const char Bom[] = "\xEF\xBB\xBF";


struct MoveBinding {
    QsciCommand::Command command;
    int number;
};

// The control's own caret moves, by whichever keys they are bound to; the
// Shift variants that extend the selection count as the same move.
const MoveBinding MoveBindings[] = {
    {QsciCommand::CharLeft, CodeEditor::CmdLeft},
    {QsciCommand::CharLeftExtend, CodeEditor::CmdLeft},
    {QsciCommand::CharLeftRectExtend, CodeEditor::CmdLeft},
    {QsciCommand::CharRight, CodeEditor::CmdRight},
    {QsciCommand::CharRightExtend, CodeEditor::CmdRight},
    {QsciCommand::CharRightRectExtend, CodeEditor::CmdRight},
    {QsciCommand::LineUp, CodeEditor::CmdUp},
    {QsciCommand::LineUpExtend, CodeEditor::CmdUp},
    {QsciCommand::LineUpRectExtend, CodeEditor::CmdUp},
    {QsciCommand::LineDown, CodeEditor::CmdDown},
    {QsciCommand::LineDownExtend, CodeEditor::CmdDown},
    {QsciCommand::LineDownRectExtend, CodeEditor::CmdDown},
    {QsciCommand::WordLeft, CodeEditor::CmdWordLeft},
    {QsciCommand::WordLeftExtend, CodeEditor::CmdWordLeft},
    {QsciCommand::WordLeftEnd, CodeEditor::CmdWordLeft},
    {QsciCommand::WordLeftEndExtend, CodeEditor::CmdWordLeft},
    {QsciCommand::WordRight, CodeEditor::CmdWordRight},
    {QsciCommand::WordRightExtend, CodeEditor::CmdWordRight},
    {QsciCommand::WordRightEnd, CodeEditor::CmdWordRight},
    {QsciCommand::WordRightEndExtend, CodeEditor::CmdWordRight},
    {QsciCommand::Home, CodeEditor::CmdLineStart},
    {QsciCommand::HomeExtend, CodeEditor::CmdLineStart},
    {QsciCommand::HomeRectExtend, CodeEditor::CmdLineStart},
    {QsciCommand::HomeDisplay, CodeEditor::CmdLineStart},
    {QsciCommand::HomeDisplayExtend, CodeEditor::CmdLineStart},
    {QsciCommand::HomeWrap, CodeEditor::CmdLineStart},
    {QsciCommand::HomeWrapExtend, CodeEditor::CmdLineStart},
    {QsciCommand::VCHome, CodeEditor::CmdLineStart},
    {QsciCommand::VCHomeExtend, CodeEditor::CmdLineStart},
    {QsciCommand::VCHomeRectExtend, CodeEditor::CmdLineStart},
    {QsciCommand::VCHomeWrap, CodeEditor::CmdLineStart},
    {QsciCommand::VCHomeWrapExtend, CodeEditor::CmdLineStart},
    {QsciCommand::LineEnd, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndExtend, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndRectExtend, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndDisplay, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndDisplayExtend, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndWrap, CodeEditor::CmdLineEnd},
    {QsciCommand::LineEndWrapExtend, CodeEditor::CmdLineEnd},
    {QsciCommand::PageUp, CodeEditor::CmdPageUp},
    {QsciCommand::PageUpExtend, CodeEditor::CmdPageUp},
    {QsciCommand::PageUpRectExtend, CodeEditor::CmdPageUp},
    {QsciCommand::StutteredPageUp, CodeEditor::CmdPageUp},
    {QsciCommand::StutteredPageUpExtend, CodeEditor::CmdPageUp},
    {QsciCommand::PageDown, CodeEditor::CmdPageDown},
    {QsciCommand::PageDownExtend, CodeEditor::CmdPageDown},
    {QsciCommand::PageDownRectExtend, CodeEditor::CmdPageDown},
    {QsciCommand::StutteredPageDown, CodeEditor::CmdPageDown},
    {QsciCommand::StutteredPageDownExtend, CodeEditor::CmdPageDown},
};

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

} // namespace

CodeEditor::CodeEditor(QWidget *parent) : QsciScintilla(parent)
{
    setUtf8(true);
    setWrapMode(WrapNone);
    SendScintilla(SCI_SETEOLMODE, SC_EOL_LF);
    connect(this, &QsciScintilla::textChanged, this, &CodeEditor::documentChanged);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int length, int, int, int, int, int,
                   int) { trackHistory(position, type, length); });
}

CodeEditor::~CodeEditor() = default;

// --- appearance -------------------------------------------------------------

void CodeEditor::applyDocumentSettings()
{
    QFont font(QStringLiteral("Courier New"));
    if (!QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    m_textFont = font;
    m_settingsApplied = true;
    // The lexer carries its own fonts, so rebuild it with the new one.
    dropLexer();
    applyLexer();
    applyAppearance();
}

void CodeEditor::setColouring(Colouring colouring)
{
    if (colouring == m_colouring)
        return;
    m_colouring = colouring;
    dropLexer();
    applyLexer();
    if (m_settingsApplied)
        applyAppearance();
}

void CodeEditor::dropLexer()
{
    if (lexer())
        setLexer(nullptr);
    delete m_lexer;
    m_lexer = nullptr;
}

void CodeEditor::applyLexer()
{
    const bool wanted = m_colouring != Colouring::None && !m_large;
    if (!wanted) {
        dropLexer();
        return;
    }
    if (m_lexer && lexer() == m_lexer)
        return;

    auto *html = new QsciLexerHTML(this);
    if (m_settingsApplied) {
        // Keep each style's weight and slant but in the document font.
        for (int style = 0; style < 128; ++style) {
            if (html->description(style).isEmpty())
                continue;
            QFont font = m_textFont;
            const QFont own = html->defaultFont(style);
            font.setBold(own.bold());
            font.setItalic(own.italic());
            html->setFont(font, style);
        }
        html->setDefaultFont(m_textFont);
    }
    if (m_colouring == Colouring::Php) {
        for (int style = QsciLexerHTML::PHPDefault; style <= QsciLexerHTML::PHPOperator; ++style)
            html->setPaper(Qt::white, style);
        const QColor teal(0, 128, 128);
        html->setColor(teal, QsciLexerHTML::PHPComment);
        html->setColor(teal, QsciLexerHTML::PHPCommentLine);
        html->setColor(Qt::black, QsciLexerHTML::PHPDefault); // identifiers
        html->setColor(Qt::black, QsciLexerHTML::PHPKeyword);
        QFont keyword = html->font(QsciLexerHTML::PHPKeyword);
        keyword.setBold(false);
        html->setFont(keyword, QsciLexerHTML::PHPKeyword);
        for (int style : {int(QsciLexerHTML::PHPDoubleQuotedString),
                          int(QsciLexerHTML::PHPSingleQuotedString)}) {
            html->setColor(Qt::black, style);
            QFont font = html->font(style);
            font.setBold(true);
            html->setFont(font, style);
        }
        html->setColor(Qt::black, QsciLexerHTML::PHPVariable);
        html->setColor(Qt::black, QsciLexerHTML::PHPDoubleQuotedVariable);
    }
    setLexer(html);
    m_lexer = html;
}

void CodeEditor::applyAppearance()
{
    setFrameStyle(QFrame::NoFrame);
    if (!lexer()) {
        setFont(m_textFont);
        setColor(Qt::black);
        setPaper(Qt::white);
    }
    // One narrow plain gutter: no line numbers, no fold margin.
    setMarginWidth(0, 0);
    setMarginWidth(2, 0);
    setMarginWidth(1, 4);
    SendScintilla(SCI_SETMARGINTYPEN, 1UL, long(SC_MARGIN_COLOUR));
    SendScintilla(SCI_SETMARGINBACKN, 1UL, QColor(Qt::white));
    setMarginsBackgroundColor(Qt::white);
    QFont gutterFont = m_textFont;
    gutterFont.setPointSize(8);
    setMarginsFont(gutterFont);

    setEdgeMode(EdgeLine);
    setEdgeColumn(1000);
    setEdgeColor(Qt::gray);
    SendScintilla(SCI_SETHSCROLLBAR, 0UL);
    SendScintilla(SCI_SETVSCROLLBAR, 1UL);
    setSelectionBackgroundColor(QColor(10, 36, 106));
    setSelectionForegroundColor(Qt::white);
    setWrapMode(WrapNone);
}

// --- text -------------------------------------------------------------------

long CodeEditor::documentLength() const { return SendScintilla(SCI_GETLENGTH); }

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

int CodeEditor::lineCount() const { return int(SendScintilla(SCI_GETLINECOUNT)); }

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
    {
        OutsideUndo outside(*this, m_outsideUndo);
        replaceRange(start, end, utf8);
    }
    m_changedOutsideUndo = true;
}

QString CodeEditor::wholeText() const
{
    return QString::fromUtf8(documentBytes(), documentLength());
}

void CodeEditor::setWholeText(const QString &text)
{
    replaceRange(0, documentLength(), text.toUtf8());
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

bool CodeEditor::isDocumentModified() const { return isModified() || m_changedOutsideUndo; }

// --- files ------------------------------------------------------------------

void CodeEditor::loadFromFile(const QString &path)
{
    QByteArray bytes = ReadWholeFile(path, MaxFileBytes, QStringLiteral("open"));

    // Decide the encoding before touching the current document, so a
    // refused file leaves it as it was.
    bool bom = bytes.startsWith(Bom);
    qsizetype offset = bom ? 3 : 0;
    bool latin1 = false;
    qsizetype size = bytes.size() - offset;
    if (!text_encoding::isValidUtf8(bytes.constData() + offset, size)) {
        latin1 = true;
        bom = false;
        offset = 0;
        size = text_encoding::latin1AsUtf8Size(bytes.constData(), bytes.size());
        if (size >= INT_MAX)
            throw AppError(QStringLiteral("%1 is too large to open.").arg(QuotedPath(path)));
    }

    m_latin1 = latin1;
    m_bom = bom;
    m_large = size > LargeDocumentBytes;
    // A large file takes seconds to take in: say so with the pointer.
    struct BusyPointer {
        explicit BusyPointer(bool on) : active(on)
        {
            if (active)
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        }
        ~BusyPointer()
        {
            if (active)
                QGuiApplication::restoreOverrideCursor();
        }
        bool active;
    } busy(m_large);
    // Drop colouring before a large text arrives so nothing styles it.
    applyLexer();
    {
        OutsideUndo outside(*this, m_outsideUndo);
        SendScintilla(SCI_CLEARALL);
        SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(size + 1));
        appendInBlocks(bytes.constData() + offset, bytes.size() - offset, latin1);
    }
    bytes = QByteArray();
    resetHistory();
    markerDeleteAll();
    SendScintilla(SCI_SETSAVEPOINT);
    m_changedOutsideUndo = false;

    // New lines follow the file's own line ends; existing ones are never touched.
    const char *loaded = documentBytes();
    switch (text_encoding::firstLineEnd(loaded, std::min<qsizetype>(size, 1 << 20))) {
    case text_encoding::LineEnd::CrLf: SendScintilla(SCI_SETEOLMODE, SC_EOL_CRLF); break;
    case text_encoding::LineEnd::Cr: SendScintilla(SCI_SETEOLMODE, SC_EOL_CR); break;
    case text_encoding::LineEnd::Lf: SendScintilla(SCI_SETEOLMODE, SC_EOL_LF); break;
    case text_encoding::LineEnd::None: break;
    }
    applyLexer();

    SendScintilla(SCI_GOTOPOS, 0UL);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0UL);
    SendScintilla(SCI_SETXOFFSET, 0UL);
}

void CodeEditor::appendInBlocks(const char *data, qsizetype size, bool latin1)
{
    // The control hands every insertion to its listeners as a copy, so a
    // whole file in one piece would briefly cost its size again; blocks keep
    // that copy (and the Latin-1 conversion) small.
    constexpr qsizetype Block = 64 * 1024 * 1024;
    qsizetype done = 0;
    while (done < size) {
        qsizetype end = std::min(size, done + Block);
        // Never split a UTF-8 sequence or a CR LF pair between two blocks.
        while (end < size && end > done + 1
               && ((!latin1 && (static_cast<unsigned char>(data[end]) & 0xC0) == 0x80)
                   || (data[end] == '\n' && data[end - 1] == '\r')))
            --end;
        if (latin1) {
            const QByteArray utf8 = text_encoding::latin1ToUtf8(data + done, end - done);
            SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(utf8.size()),
                          utf8.constData());
        } else {
            SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(end - done), data + done);
        }
        done = end;
    }
}

void CodeEditor::saveToFile(const QString &path)
{
    const char *data = documentBytes();
    qsizetype size = documentLength();
    bool latin1 = m_latin1;
    QByteArray converted;
    if (latin1) {
        // A character beyond Latin-1 was typed in: keep it by saving UTF-8.
        if (auto bytes = text_encoding::utf8ToLatin1(data, size)) {
            converted = std::move(*bytes);
            data = converted.constData();
            size = converted.size();
        } else {
            latin1 = false;
        }
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("Cannot save %1: %2").arg(QuotedPath(path), file.errorString()));
    bool written = true;
    if (m_bom && !latin1)
        written = file.write(Bom, 3) == 3;
    if (written)
        written = file.write(data, size) == size;
    if (!written) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw AppError(QStringLiteral("Cannot save %1: %2").arg(QuotedPath(path), reason));
    }
    if (!file.commit())
        throw AppError(QStringLiteral("Cannot save %1: %2").arg(QuotedPath(path), file.errorString()));
    m_latin1 = latin1;
    SendScintilla(SCI_SETSAVEPOINT);
    m_changedOutsideUndo = false;
}

void CodeEditor::clearAll()
{
    {
        OutsideUndo outside(*this, m_outsideUndo);
        SendScintilla(SCI_CLEARALL);
    }
    resetHistory();
    markerDeleteAll();
    SendScintilla(SCI_SETSAVEPOINT);
    m_changedOutsideUndo = false;
    m_latin1 = false;
    m_bom = false;
    m_large = false;
    applyLexer();
}

// --- caret and selection ----------------------------------------------------

int CodeEditor::caretLine() const
{
    return int(SendScintilla(SCI_LINEFROMPOSITION,
                             static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS))))
        + 1;
}

void CodeEditor::setCaretLine(int line)
{
    const int target = std::clamp(line, 1, lineCount()) - 1;
    // The column kept is the visible one, so tabs do not shift the caret sideways.
    const long column = SendScintilla(SCI_GETCOLUMN,
                                      static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS)));
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
                             static_cast<unsigned long>(SendScintilla(SCI_GETCURRENTPOS))))
        + 1;
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
            const bool crLf = c == '\r' && position + 1 < length
                && char(SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(position + 1)))
                    == '\n';
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
    const long found = editor.SendScintilla(Sci::SCI_SEARCHINTARGET,
                                            static_cast<unsigned long>(utf8.size()),
                                            utf8.constData());
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

// --- keys -------------------------------------------------------------------

int CodeEditor::moveCommandFor(const QKeyEvent *event) const
{
    const auto modifiers = event->modifiers()
        & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key() | int(modifiers);
    QsciCommandSet *commands = const_cast<CodeEditor *>(this)->standardCommands();
    for (const MoveBinding &binding : MoveBindings) {
        const QsciCommand *command = commands->find(binding.command);
        if (command && (command->key() == key || command->alternateKey() == key))
            return binding.number;
    }
    return 0;
}

bool CodeEditor::scrollPageSideways(const QKeyEvent *event)
{
    // The control has no sideways page move; Alt+PageUp/PageDown provide it.
    const auto modifiers = event->modifiers()
        & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers != Qt::AltModifier
        || (event->key() != Qt::Key_PageUp && event->key() != Qt::Key_PageDown))
        return false;
    const long page = std::max(1, viewport()->width());
    const long offset = SendScintilla(SCI_GETXOFFSET);
    const long next = event->key() == Qt::Key_PageUp ? std::max(0L, offset - page) : offset + page;
    SendScintilla(SCI_SETXOFFSET, static_cast<unsigned long>(next));
    return true;
}

void CodeEditor::keyPressEvent(QKeyEvent *event)
{
    emit keyDown(event->key(), event->modifiers());
    if (!event->text().isEmpty())
        emit keyPressed(event->text());
    if (scrollPageSideways(event)) {
        event->accept();
        emit commandProcessed(event->key() == Qt::Key_PageUp ? CmdPageLeft : CmdPageRight);
        return;
    }
    const int command = moveCommandFor(event);
    QsciScintilla::keyPressEvent(event);
    // Reported after the move so that listeners read the new caret position.
    if (command)
        emit commandProcessed(command);
}

void CodeEditor::keyReleaseEvent(QKeyEvent *event)
{
    QsciScintilla::keyReleaseEvent(event);
    emit keyUp(event->key(), event->modifiers());
}
