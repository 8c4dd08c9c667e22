#pragma once

#include <QFont>
#include <Qsci/qsciscintilla.h>

class QsciLexer;

// The program's text editor: the main editor `re`, the hidden reading editor
// `temp_re` and the plain editor of the text window are all this class. It
// adds to QScintilla what the program relies on: 1-based caret lines, line
// access outside undo, the forward search without wrap, files that keep their
// bytes (encoding and line ends), and key/command events.
class CodeEditor : public QsciScintilla {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CodeEditor)

public:
    enum class Colouring { None, Php, Html };
    // The caret-move command numbers reported by commandProcessed.
    enum Command {
        CmdLeft = 1, CmdRight, CmdUp, CmdDown, CmdWordLeft, CmdWordRight,
        CmdLineStart, CmdLineEnd, CmdPageUp, CmdPageDown, CmdPageLeft, CmdPageRight
    };

    explicit CodeEditor(QWidget *parent = nullptr);
    ~CodeEditor() override;

    // The main window's appearance: monospace 10 pt black text, 4-pixel white
    // gutter, right edge at column 1000 in grey, vertical scroll bar only,
    // selection background RGB(10, 36, 106).
    void applyDocumentSettings();
    void setColouring(Colouring colouring);
    Colouring colouring() const { return m_colouring; }

    // Text, lines 0-based.
    int lineCount() const;
    QString lineText(int line) const;               // without its line end
    void replaceLine(int line, const QString &text); // not entered in undo
    QString wholeText() const;
    void setWholeText(const QString &text);

    // Loads a file: keeps its encoding (UTF-8 when valid, else Latin-1) and
    // line ends; clears undo; caret to line 1 column 1. Throws AppError.
    void loadFromFile(const QString &path);
    // Saves in the loaded file's encoding and line ends through a temporary
    // file, keeping the target's permissions. Throws AppError.
    void saveToFile(const QString &path);
    // Text, undo and redo, markers.
    void clearAll();

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

    // The loaded file's encoding; a Latin-1 document saves as UTF-8 once it
    // holds a character Latin-1 cannot store.
    bool isLatin1() const { return m_latin1; }
    bool hasByteOrderMark() const { return m_bom; }
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

signals:
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void keyUp(int key, Qt::KeyboardModifiers modifiers);
    void keyPressed(const QString &text);
    void documentChanged();
    void commandProcessed(int command);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    long documentLength() const;
    const char *documentBytes() const;
    void replaceRange(long start, long end, const QByteArray &utf8);
    void appendInBlocks(const char *data, qsizetype size, bool latin1);
    void resetHistory();
    void trackHistory(int position, int modificationType, int length);
    void dropLexer();
    void applyLexer();
    void applyAppearance();
    int moveCommandFor(const QKeyEvent *event) const;
    bool scrollPageSideways(const QKeyEvent *event);

    Colouring m_colouring = Colouring::None;
    QsciLexer *m_lexer = nullptr;
    bool m_latin1 = false;
    bool m_bom = false;
    bool m_large = false;
    bool m_settingsApplied = false;
    // Set while the text changes with undo collection off.
    bool m_outsideUndo = false;
    bool m_changedOutsideUndo = false;
    // Every position the undo and redo history refers to lies before this
    // one, so text from here on can change outside undo without making the
    // recorded steps point at the wrong place.
    long m_historyEnd = 0;
    QFont m_textFont;
};
