#pragma once

#include "editor/document_encoding.h"
#include "foundation/file_stamp.h"

#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <Qsci/qsciscintilla.h>

#include <exception>
#include <functional>
#include <memory>

class EditorDocument;
class QsciLexer;

// The program's text editor: the main editor `re`, the hidden reading editor
// `temp_re` and the plain editor of the text window are all this class. It
// adds to QScintilla what the program relies on: 1-based caret lines, line
// access outside undo, the forward search without wrap, files that keep their
// bytes (encoding and line ends) and notice changes made by other programs,
// key/command events, line numbers, brace-aware indentation and colours for
// light and dark palettes.
class CodeEditor : public QsciScintilla {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CodeEditor)

public:
    enum class Colouring { None, Php, Html };
    // The caret-move command numbers reported by commandProcessed.
    enum Command {
        CmdLeft = 1,
        CmdRight,
        CmdUp,
        CmdDown,
        CmdWordLeft,
        CmdWordRight,
        CmdLineStart,
        CmdLineEnd,
        CmdPageUp,
        CmdPageDown,
        CmdPageLeft,
        CmdPageRight
    };
    // The line ends the document holds; None when it has a single line.
    enum class LineEnds { None, Lf, CrLf, Cr, Mixed };
    // How the file on disk stands against the version loaded or saved last.
    enum class DiskChange { None, Modified, Missing };
    // Automatic follows the palette: dark colours when its window colour is dark.
    enum class ColourScheme { Automatic, Light, Dark };
    // The Edit menu's commands on the text.
    enum class EditCommand {
        Undo,
        Redo,
        Cut,
        Copy,
        Paste,
        Delete,
        SelectAll,
        ToggleComment,
        DuplicateLine,
        MoveLinesUp,
        MoveLinesDown,
        UpperCase,
        LowerCase
    };
    // Asked when the text holds characters (given, a few of them) that the
    // document's encoding cannot store; true converts the document to UTF-8.
    using EncodingQuestion = std::function<bool(const QString &characters)>;
    // Told how far an open has come (`done` of `total`); false cancels it.
    // (0, 0) says the open is over, whichever way it ended.
    using LoadProgress = std::function<bool(qint64 done, qint64 total)>;
    // Thrown by loadFromFile when the progress cancelled: the editor holds
    // what it held before.
    class LoadCancelled : public std::exception {
    public:
        const char *what() const noexcept override { return "open cancelled"; }
    };

    explicit CodeEditor(QWidget *parent = nullptr);
    ~CodeEditor() override;

    // The keys the editor leaves to its window (menu commands and common
    // keys): none of them is bound in the editor, and pressed in it they
    // change nothing when no window command takes them.
    static const QList<QKeySequence> &windowShortcuts();

    // The main window's appearance: monospace 10 pt text, 4-pixel gutter,
    // right edge at column 1000 in grey, vertical scroll bar only, selection
    // background RGB(10, 36, 106); black on white unless colours are dark.
    void applyDocumentSettings();
    void setColouring(Colouring colouring);
    Colouring colouring() const { return m_colouring; }
    void setColourScheme(ColourScheme scheme);
    ColourScheme colourScheme() const { return m_scheme; }
    bool usesDarkColours() const { return m_dark; }
    // Line numbers in a margin sized to the document. Off until asked for,
    // so the hidden reader and the text window keep their plain gutter; the
    // main editor turns them on (the View menu's toggle, on by default).
    void setLineNumbersVisible(bool visible);
    bool lineNumbersVisible() const { return m_lineNumbers; }
    // The width of the markers' margin (2), kept through changes of colours
    // and colouring; 0 hides it, as the plain gutter has it.
    void setMarkerMarginWidth(int width);

    // Text, lines 0-based.
    int lineCount() const;
    QString lineText(int line) const;                // without its line end
    void replaceLine(int line, const QString &text); // not entered in undo
    QStringList lineTexts() const;                   // every line, without line ends
    // Gives every line a new text in one change and one undo step; each line
    // keeps its own line end and the caret stays on its line. Throws AppError
    // when the number of lines differs.
    void replaceLineTexts(const QStringList &lines);
    QString wholeText() const;
    void setWholeText(const QString &text);
    // Grows with every change of the text; equal values mean equal text.
    quint64 changeCount() const { return m_changeCount; }

    // Loads a file: keeps its encoding (UTF-8, with or without BOM, when
    // valid, else Windows-1252) and line ends; clears undo; caret to line 1
    // column 1; records the file's stamp. Throws AppError.
    void loadFromFile(const QString &path);
    // Takes the file's text in again as one step of the history, so Undo
    // brings back what the editor held; keeps the caret's line. Throws AppError.
    void reloadFromFile(const QString &path);
    // Saves in the document's encoding and line ends through a temporary
    // file, keeping the target's permissions, and records the file's stamp.
    // Text the encoding cannot hold is saved only after the encoding question
    // agreed to UTF-8; otherwise AppError, and nothing is written.
    void saveToFile(const QString &path);
    // Text, undo and redo, markers; the document has no file afterwards.
    void clearAll();

    // Several documents, one shown at a time. Each keeps its text, undo
    // history, markers, line ends, encoding, file and stamp, unsaved state,
    // colouring, caret and scroll position while another one is shown.
    // adoptShownDocument hands the document shown now to the caller (once,
    // before the first switch); createDocument makes an empty one (UTF-8,
    // LF, no file), not shown. A handle outlives neither the editor's use
    // of it: release it only while another document is shown.
    std::unique_ptr<EditorDocument> adoptShownDocument();
    std::unique_ptr<EditorDocument> createDocument();
    // Parks the shown document and shows `document` as it was left;
    // modifiedChanged, statusChanged and documentSwitched follow.
    void showDocument(EditorDocument &document);
    bool isShown(const EditorDocument &document) const { return m_shown == &document; }

    // The file loaded or saved last; empty for a new document.
    QString filePath() const { return m_path; }
    // Compares the file with its stamp from the last load or save (or
    // refreshDiskStamp). A file that cannot be examined counts as unchanged.
    DiskChange diskChange() const;
    // Takes the file's present state as the known one, so diskChange reports
    // only later changes (after the user chose to keep the editor's text).
    void refreshDiskStamp();

    DocumentEncoding encoding() const { return m_encoding; }
    QString encodingName() const { return document_encoding::name(m_encoding); }
    // Changes the encoding the next save writes; Windows-1252 is refused with
    // AppError while the text holds a character it cannot store.
    void setEncoding(DocumentEncoding encoding);
    void setEncodingQuestion(EncodingQuestion question)
    {
        m_encodingQuestion = std::move(question);
    }
    void setLoadProgress(LoadProgress progress) { m_loadProgress = std::move(progress); }

    // Status line information.
    LineEnds lineEnds() const;
    QString lineEndsName() const; // "LF", "CRLF", "CR" or "mixed"
    bool isOverwriting() const { return overwriteMode(); }

    // Modified since load or save, including changes made outside undo
    // (which Scintilla's own modified flag does not see).
    bool isDocumentModified() const;
    // Documents this big are shown without colouring so that opening and
    // scrolling stay fast; the chosen colouring returns with the next file.
    bool isLargeDocument() const { return m_large; }
    static constexpr qint64 LargeDocumentBytes = 16 * 1024 * 1024;
    // Files beyond this are refused with an error rather than risking the
    // control's position range and the machine's memory.
    static constexpr qint64 MaxFileBytes = 1024LL * 1024 * 1024;

    // Caret, 1-based.
    int caretLine() const;
    void setCaretLine(int line); // clamped, keeps column, collapses selection, scrolls
    int caretColumn() const;
    int caretDisplayColumn() const; // tabs expanded
    // Extends the selection from the caret by n characters; a line break counts two.
    void extendSelection(int characters);
    QString wordAtCaret() const;

    // From the caret, case ignored, inside words, no wrap; selects the match
    // with the caret at its end. Empty text finds nothing.
    bool searchForward(const QString &text);
    // From the start of the document, case ignored; selects the first match.
    bool searchWholeDocument(const QString &text);

    void takeFocus();
    // Runs an Edit menu command; the line commands work on every line the
    // selection touches, each command is one undo step.
    void runEditCommand(EditCommand command);

    // Raw access for the search engine: the document's bytes (valid until the
    // next change) and replacing a byte range as one undo step.
    const char *documentBytes() const;
    long documentLength() const;
    void replaceBytes(long start, long end, const QByteArray &utf8);
    // The document's own line end, which new lines get.
    QByteArray newLineBytes() const;

signals:
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void keyUp(int key, Qt::KeyboardModifiers modifiers);
    void keyPressed(const QString &text);
    void documentChanged();
    void commandProcessed(int command);
    // The document became modified, or unmodified again (the caption's "*").
    void modifiedChanged(bool modified);
    // Caret, selection, insert/overwrite, encoding or line ends may have changed.
    void statusChanged();
    // Another document is about to be shown, or was shown (showDocument).
    // The text of each did not change: what was worked out from it stays.
    void aboutToSwitchDocument();
    void documentSwitched();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class EditorDocument;
    // What the editor knows of a document that is not shown.
    struct Parked {
        DocumentEncoding encoding = DocumentEncoding::Utf8;
        bool questionDeclined = false;
        bool large = false;
        bool changedOutsideUndo = false;
        bool modified = false;
        long historyEnd = 0;
        quint64 changeCount = 0;
        qint64 crLfCount = 0;
        qint64 lfCount = 0;
        qint64 crCount = 0;
        QString path;
        FileStamp stamp;
        Colouring colouring = Colouring::None;
        quint64 lexerGeneration = 0; // the lexer its text was coloured with
        long anchor = 0;
        long caret = 0;
        long firstVisibleLine = 0;
        long xOffset = 0;
        bool fresh = false; // never shown yet: a new control document
    };
    Parked park() const;
    void unpark(const Parked &parked);

    void replaceRange(long start, long end, const QByteArray &utf8);
    // `progress(bytes appended)` after each block; what it throws ends the append.
    void appendInBlocks(const char *data, qsizetype size, bool windows1252,
                        const std::function<void(qsizetype)> &progress = nullptr);
    void resetHistory();
    void onModified(int position, int type, const char *text, int length);
    void trackHistory(int position, int modificationType, int length);
    void countLineEnds(long from, long to, int sign);
    void runOutsideUndo(const std::function<void()> &change);
    void watchEncoding(const char *text, int length);
    void askAboutEncoding();
    void updateModified();
    void afterLoadOrSave(const QString &path, const FileStamp &stamp);

    void dropLexer();
    void applyLexer();
    void applyAppearance();
    void applyColours();
    void updateLineNumberWidth();
    bool wantsDarkColours() const;

    bool isWindowShortcut(const QKeyEvent *event) const;
    void removeWindowShortcutBindings();
    int moveCommandFor(const QKeyEvent *event) const;
    bool scrollPageSideways(const QKeyEvent *event);
    void toggleLineComments();
    void onCharacterAdded(int character);
    void indentNewLine();
    void outdentClosingBrace();

    Colouring m_colouring = Colouring::None;
    ColourScheme m_scheme = ColourScheme::Automatic;
    bool m_dark = false;
    QsciLexer *m_lexer = nullptr;
    DocumentEncoding m_encoding = DocumentEncoding::Utf8;
    EncodingQuestion m_encodingQuestion;
    LoadProgress m_loadProgress;
    bool m_opening = false; // an open runs (its progress lets events through)
    bool m_questionPending = false;
    bool m_questionDeclined = false;
    bool m_large = false;
    bool m_loading = false;
    bool m_settingsApplied = false;
    bool m_lineNumbers = false;
    int m_lineNumberDigits = -1;
    int m_markerMarginWidth = 0;
    // Set while the text changes with undo collection off.
    bool m_outsideUndo = false;
    bool m_changedOutsideUndo = false;
    bool m_lastModified = false;
    // Every position the undo and redo history refers to lies before this
    // one, so text from here on can change outside undo without making the
    // recorded steps point at the wrong place.
    long m_historyEnd = 0;
    quint64 m_changeCount = 0;
    // Line ends by kind, kept up to date change by change.
    qint64 m_crLfCount = 0;
    qint64 m_lfCount = 0;
    qint64 m_crCount = 0;
    QString m_path;
    FileStamp m_stamp;
    QFont m_textFont;
    EditorDocument *m_shown = nullptr;
    // Grows with every lexer made, so a parked document knows whether its
    // text still carries the shown lexer's colouring.
    quint64 m_lexerGeneration = 0;
};

// A document of a CodeEditor, held by whoever keeps it open. While another
// document is shown it keeps what the editor knew of it; its file name and
// unsaved state read the same whether it is shown or not.
class EditorDocument final {
    Q_DISABLE_COPY_MOVE(EditorDocument)

public:
    ~EditorDocument();

    // The file loaded or saved last; empty for a new document.
    QString filePath() const;
    bool isModified() const;
    // Grows with every change of the text; equal values mean equal text.
    quint64 changeCount() const;

private:
    friend class CodeEditor;
    EditorDocument(CodeEditor *editor, void *pointer, CodeEditor::Parked parked);

    QPointer<CodeEditor> m_editor;
    void *m_pointer;
    CodeEditor::Parked m_parked;
};
