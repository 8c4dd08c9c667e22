// Files, encodings and the file's state on disk.
#include "editor/code_editor.h"
#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "foundation/safe_write.h"
#include "foundation/text_encoding.h"

#include <QGuiApplication>
#include <QMetaObject>

#include <algorithm>
#include <climits>

namespace {

const char Bom[] = "\xEF\xBB\xBF";

// Sets a flag for the lifetime of a scope, whatever way the scope ends.
class FlagScope {
public:
    explicit FlagScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    Q_DISABLE_COPY_MOVE(FlagScope)

private:
    bool &m_flag;
};

// A large file takes seconds to take in: say so with the pointer.
class BusyPointer {
public:
    explicit BusyPointer(bool on) : m_on(on)
    {
        if (m_on)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyPointer()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }
    Q_DISABLE_COPY_MOVE(BusyPointer)

private:
    bool m_on;
};

QString quotedCharacters(const QString &characters)
{
    return QStringLiteral("\u201C") + characters + QStringLiteral("\u201D");
}

// Settles a file's encoding: a wide one's text becomes UTF-8 in `bytes`;
// the text to take in starts at `offset` and is `size` bytes once in UTF-8.
DocumentEncoding decodeFileBytes(const QString &path, QByteArray &bytes, qsizetype &offset,
                                 qsizetype &size)
{
    DocumentEncoding encoding = DocumentEncoding::Utf8;
    offset = 0;
    if (auto wide = document_encoding::decodeWide(bytes.constData(), bytes.size())) {
        // The control holds UTF-8: the text comes in converted and goes out
        // converted back, with its mark.
        bytes = std::move(wide->utf8);
        size = bytes.size();
        if (size >= INT_MAX)
            throw AppError(QStringLiteral("%1 is too large to open.").arg(QuotedPath(path)));
        return wide->encoding;
    }
    if (bytes.startsWith(Bom)) {
        encoding = DocumentEncoding::Utf8WithBom;
        offset = 3;
    }
    size = bytes.size() - offset;
    if (!text_encoding::isValidUtf8(bytes.constData() + offset, size)) {
        encoding = DocumentEncoding::Windows1252;
        offset = 0;
        size = document_encoding::windows1252AsUtf8Size(bytes.constData(), bytes.size());
        if (size >= INT_MAX)
            throw AppError(QStringLiteral("%1 is too large to open.").arg(QuotedPath(path)));
    }
    return encoding;
}

} // namespace

void CodeEditor::loadFromFile(const QString &path)
{
    if (m_opening)
        throw AppError(QStringLiteral("Another file is being opened; open %1 once it is there.")
                           .arg(QuotedPath(path)));
    FlagScope opening(m_opening);
    // The stamp is taken before reading, so a change made while the file is
    // read shows as a change rather than going unnoticed.
    const FileStamp stamp = FileStamp::of(path);
    const struct Over {
        const LoadProgress &progress;
        ~Over()
        {
            if (progress)
                progress(0, 0);
        }
    } over{m_loadProgress};
    // Reading is the first half of the way, taking the text in the second.
    const auto tell = [this](qint64 done, qint64 total) {
        if (m_loadProgress && !m_loadProgress(done, total))
            throw LoadCancelled();
    };
    QByteArray bytes = ReadWholeFile(path, MaxFileBytes, QStringLiteral("open"),
                                     [&tell](qint64 done, qint64 total) { tell(done, 2 * total); });

    // Decide the encoding before touching the current document, so a
    // refused file leaves it as it was.
    qsizetype offset = 0;
    qsizetype size = 0;
    const DocumentEncoding encoding = decodeFileBytes(path, bytes, offset, size);

    const DocumentEncoding previousEncoding = m_encoding;
    const bool previousLarge = m_large;
    m_encoding = encoding;
    m_large = size > LargeDocumentBytes;
    BusyPointer busy(m_large);
    // Drop colouring before a large text arrives so nothing styles it.
    applyLexer();
    try {
        FlagScope loading(m_loading);
        runOutsideUndo([&] {
            SendScintilla(SCI_CLEARALL);
            SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(size + 1));
            const qint64 total = bytes.size() - offset;
            appendInBlocks(bytes.constData() + offset, total,
                           encoding == DocumentEncoding::Windows1252,
                           [&tell, total](qsizetype done) { tell(total + done, 2 * total); });
        });
    } catch (const LoadCancelled &) {
        // Back to the empty document the text was going into.
        runOutsideUndo([this] { SendScintilla(SCI_CLEARALL); });
        resetHistory();
        m_encoding = previousEncoding;
        m_large = previousLarge;
        applyLexer();
        SendScintilla(SCI_SETSAVEPOINT);
        m_changedOutsideUndo = false;
        updateModified();
        throw;
    }
    bytes = QByteArray();
    resetHistory();
    markerDeleteAll();

    // New lines follow the file's own line ends (LF when it has none);
    // existing ones are never touched.
    const char *loaded = documentBytes();
    switch (text_encoding::firstLineEnd(loaded, std::min<qsizetype>(size, 1 << 20))) {
    case text_encoding::LineEnd::CrLf:
        SendScintilla(SCI_SETEOLMODE, SC_EOL_CRLF);
        break;
    case text_encoding::LineEnd::Cr:
        SendScintilla(SCI_SETEOLMODE, SC_EOL_CR);
        break;
    case text_encoding::LineEnd::Lf:
    case text_encoding::LineEnd::None:
        SendScintilla(SCI_SETEOLMODE, SC_EOL_LF);
        break;
    }
    applyLexer();
    // Styled before anything is laid out: a layout made from unstyled text is
    // made again once the colouring comes, and a line of megabytes takes
    // seconds each time.
    if (lexer()) {
        const long shown =
            SendScintilla(SCI_POSITIONFROMLINE, SendScintilla(SCI_LINESONSCREEN) + 1);
        SendScintilla(SCI_COLOURISE, 0UL, shown);
    }

    SendScintilla(SCI_GOTOPOS, 0UL);
    SendScintilla(SCI_SETFIRSTVISIBLELINE, 0UL);
    SendScintilla(SCI_SETXOFFSET, 0UL);
    afterLoadOrSave(path, stamp);
}

void CodeEditor::reloadFromFile(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path);
    QByteArray bytes = ReadWholeFile(path, MaxFileBytes, QStringLiteral("open"));
    qsizetype offset = 0;
    qsizetype size = 0;
    const DocumentEncoding encoding = decodeFileBytes(path, bytes, offset, size);
    if (encoding == DocumentEncoding::Windows1252)
        bytes = document_encoding::windows1252ToUtf8(bytes.constData(), bytes.size());
    else if (offset > 0)
        bytes.remove(0, offset);

    // One step in the history: Undo brings the editor's text back.
    const int line = caretLine();
    {
        FlagScope loading(m_loading);
        SendScintilla(SCI_BEGINUNDOACTION);
        replaceRange(0, documentLength(), bytes);
        SendScintilla(SCI_ENDUNDOACTION);
    }
    m_encoding = encoding;
    setCaretLine(line);
    afterLoadOrSave(path, stamp);
}

void CodeEditor::appendInBlocks(const char *data, qsizetype size, bool windows1252,
                                const std::function<void(qsizetype)> &progress)
{
    // The control hands every insertion to its listeners as a copy, so a
    // whole file in one piece would briefly cost its size again; blocks keep
    // that copy (and the conversion) small, and let an open show its progress.
    constexpr qsizetype Block = 8 * 1024 * 1024;
    qsizetype done = 0;
    while (done < size) {
        qsizetype end = std::min(size, done + Block);
        // Never split a UTF-8 sequence or a CR LF pair between two blocks.
        while (end < size && end > done + 1 &&
               ((!windows1252 && (static_cast<unsigned char>(data[end]) & 0xC0) == 0x80) ||
                (data[end] == '\n' && data[end - 1] == '\r')))
            --end;
        if (windows1252) {
            const QByteArray utf8 = document_encoding::windows1252ToUtf8(data + done, end - done);
            SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(utf8.size()),
                          utf8.constData());
        } else {
            SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(end - done), data + done);
        }
        done = end;
        if (progress)
            progress(done);
    }
}

void CodeEditor::saveToFile(const QString &path)
{
    // Settle the encoding first: the question may show a window, and the
    // text is read only once it has been answered.
    if (m_encoding == DocumentEncoding::Windows1252) {
        QString unencodable;
        if (!document_encoding::utf8ToWindows1252(documentBytes(), documentLength(),
                                                  &unencodable)) {
            if (!m_encodingQuestion || !m_encodingQuestion(unencodable))
                throw AppError(
                    QStringLiteral("%1 was not saved: the text holds %2, which its encoding "
                                   "Windows-1252 cannot store. Convert the file to UTF-8 or "
                                   "remove those characters.")
                        .arg(QuotedPath(path), quotedCharacters(unencodable)));
            setEncoding(DocumentEncoding::Utf8);
        }
    }

    QByteArray converted;
    const char *data = documentBytes();
    qsizetype size = documentLength();
    if (m_encoding == DocumentEncoding::Windows1252)
        converted = *document_encoding::utf8ToWindows1252(data, size);
    else if (document_encoding::isWide(m_encoding))
        converted = document_encoding::utf8ToWide(m_encoding, data, size);
    if (!converted.isNull()) {
        data = converted.constData();
        size = converted.size();
    }

    // The new file's stamp, read before it takes the old one's place, so
    // that no change by another program can slip in between.
    FileStamp stamp;
    stamp.unknown = true;
    SafeWriteOptions options;
    options.beforeCommit = [&stamp](int descriptor) {
        stamp = FileStamp::ofDescriptor(descriptor);
    };
    QList<QByteArray> parts;
    if (const QByteArray bom = document_encoding::byteOrderMark(m_encoding); !bom.isEmpty())
        parts << bom;
    parts << QByteArray::fromRawData(data, size);
    SafeWriteFile(path, parts, options);
    if (stamp.unknown)
        stamp = FileStamp::of(path);
    afterLoadOrSave(path, stamp);
}

void CodeEditor::afterLoadOrSave(const QString &path, const FileStamp &stamp)
{
    m_path = path;
    m_stamp = stamp;
    m_questionDeclined = false;
    SendScintilla(SCI_SETSAVEPOINT);
    m_changedOutsideUndo = false;
    updateModified();
    emit statusChanged();
}

void CodeEditor::clearAll()
{
    runOutsideUndo([this] { SendScintilla(SCI_CLEARALL); });
    resetHistory();
    markerDeleteAll();
    m_encoding = DocumentEncoding::Utf8;
    m_large = false;
    applyLexer();
    afterLoadOrSave(QString(), FileStamp());
}

// --- the file on disk ----------------------------------------------------------

CodeEditor::DiskChange CodeEditor::diskChange() const
{
    if (m_path.isEmpty())
        return DiskChange::None;
    const FileStamp now = FileStamp::of(m_path);
    if (now.unknown || m_stamp.unknown)
        return DiskChange::None;
    if (!now.exists)
        return DiskChange::Missing;
    return now == m_stamp ? DiskChange::None : DiskChange::Modified;
}

void CodeEditor::refreshDiskStamp()
{
    if (!m_path.isEmpty())
        m_stamp = FileStamp::of(m_path);
}

// --- encodings -------------------------------------------------------------------

void CodeEditor::setEncoding(DocumentEncoding encoding)
{
    if (encoding == m_encoding)
        return;
    if (encoding == DocumentEncoding::Windows1252) {
        QString unencodable;
        if (!document_encoding::utf8ToWindows1252(documentBytes(), documentLength(), &unencodable))
            throw AppError(QStringLiteral("The text holds %1, which Windows-1252 cannot store.")
                               .arg(quotedCharacters(unencodable)));
    }
    m_encoding = encoding;
    m_questionDeclined = false;
    emit statusChanged();
}

void CodeEditor::watchEncoding(const char *text, int length)
{
    if (m_encoding != DocumentEncoding::Windows1252 || m_loading || m_questionPending ||
        m_questionDeclined || !m_encodingQuestion || !text)
        return;
    if (document_encoding::fitsWindows1252(text, length))
        return;
    // Asked once the change is complete, never from inside the control's
    // own notification.
    m_questionPending = true;
    QMetaObject::invokeMethod(this, &CodeEditor::askAboutEncoding, Qt::QueuedConnection);
}

void CodeEditor::askAboutEncoding()
{
    m_questionPending = false;
    if (m_encoding != DocumentEncoding::Windows1252 || m_questionDeclined || !m_encodingQuestion)
        return;
    QString unencodable;
    if (document_encoding::utf8ToWindows1252(documentBytes(), documentLength(), &unencodable))
        return; // the characters went again before the question came up
    if (m_encodingQuestion(unencodable))
        setEncoding(DocumentEncoding::Utf8);
    else
        m_questionDeclined = true; // asked again when saving
}
