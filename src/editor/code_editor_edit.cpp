// The Edit menu's commands: the clipboard, undo, and the line commands.
#include "editor/code_editor.h"

#include <algorithm>

namespace {
const QString CommentMark = QStringLiteral("//");

qsizetype indentationOf(const QString &line)
{
    qsizetype blanks = 0;
    while (blanks < line.size() && (line[blanks] == u' ' || line[blanks] == u'\t'))
        ++blanks;
    return blanks;
}
} // namespace

void CodeEditor::runEditCommand(EditCommand command)
{
    switch (command) {
    case EditCommand::Undo:
        undo();
        break;
    case EditCommand::Redo:
        redo();
        break;
    case EditCommand::Cut:
        cut();
        break;
    case EditCommand::Copy:
        copy();
        break;
    case EditCommand::Paste:
        paste();
        break;
    case EditCommand::Delete:
        SendScintilla(SCI_CLEAR);
        break;
    case EditCommand::SelectAll:
        selectAll();
        break;
    case EditCommand::ToggleComment:
        toggleLineComments();
        break;
    case EditCommand::DuplicateLine:
        // The selection when there is one, else the caret's line.
        SendScintilla(SCI_SELECTIONDUPLICATE);
        break;
    case EditCommand::MoveLinesUp:
        SendScintilla(SCI_MOVESELECTEDLINESUP);
        break;
    case EditCommand::MoveLinesDown:
        SendScintilla(SCI_MOVESELECTEDLINESDOWN);
        break;
    case EditCommand::UpperCase:
        SendScintilla(SCI_UPPERCASE);
        break;
    case EditCommand::LowerCase:
        SendScintilla(SCI_LOWERCASE);
        break;
    }
}

void CodeEditor::toggleLineComments()
{
    if (isReadOnly())
        return;
    int firstLine = 0, firstIndex = 0, lastLine = 0, lastIndex = 0;
    getSelection(&firstLine, &firstIndex, &lastLine, &lastIndex);
    if (firstLine < 0) {
        getCursorPosition(&firstLine, &firstIndex);
        lastLine = firstLine;
    } else if (lastIndex == 0 && lastLine > firstLine) {
        --lastLine; // a selection of whole lines ends at the next line's start
    }
    // Commented when every non-blank line is; then uncomment, else comment
    // them all at their smallest indentation.
    bool allCommented = true;
    qsizetype column = -1;
    for (int line = firstLine; line <= lastLine; ++line) {
        const QString text = lineText(line);
        const qsizetype blanks = indentationOf(text);
        if (blanks == text.size())
            continue;
        allCommented = allCommented && text.mid(blanks).startsWith(CommentMark);
        column = column < 0 ? blanks : std::min(column, blanks);
    }
    if (column < 0)
        return;
    SendScintilla(SCI_BEGINUNDOACTION);
    for (int line = firstLine; line <= lastLine; ++line) {
        const QString text = lineText(line);
        const qsizetype blanks = indentationOf(text);
        if (blanks == text.size())
            continue;
        const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        if (allCommented) {
            const qsizetype length =
                CommentMark.size() +
                (text.mid(blanks + CommentMark.size()).startsWith(u' ') ? 1 : 0);
            const long at = start + text.left(blanks).toUtf8().size();
            SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(at), long(length));
        } else {
            const long at = start + text.left(column).toUtf8().size();
            SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(at), "// ");
        }
    }
    SendScintilla(SCI_ENDUNDOACTION);
}
