#pragma once

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
    Colouring m_colouring = Colouring::None;
    QsciLexer *m_lexer = nullptr;
    bool m_latin1 = false;
    bool m_bom = false;
};
