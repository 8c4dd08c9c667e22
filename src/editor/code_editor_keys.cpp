// Keys: the shortcuts left to the window, caret-move events and the
// indentation that follows Enter and a closing brace.
#include "editor/code_editor.h"

#include <QKeyEvent>
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <algorithm>

namespace {

using Sci = QsciScintillaBase;

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

const QString IndentUnit = QStringLiteral("    ");

Qt::KeyboardModifiers commandModifiers(Qt::KeyboardModifiers modifiers)
{
    return modifiers &
           (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Groups the changes of one key press into one undo step.
class UndoStep {
public:
    UndoStep(CodeEditor &editor, bool active) : m_editor(editor), m_active(active)
    {
        if (m_active)
            m_editor.SendScintilla(Sci::SCI_BEGINUNDOACTION);
    }
    ~UndoStep()
    {
        if (m_active)
            m_editor.SendScintilla(Sci::SCI_ENDUNDOACTION);
    }
    Q_DISABLE_COPY_MOVE(UndoStep)

private:
    CodeEditor &m_editor;
    bool m_active;
};

} // namespace

const QList<QKeySequence> &CodeEditor::windowShortcuts()
{
    // The menus' keys, the completion key and the keys desktop editors share.
    static const QList<QKeySequence> keys = [] {
        QList<QKeySequence> list;
        for (const char *key :
             {"Ctrl+S", "Alt+X", "Ctrl+I", "Ctrl+F", "Ctrl+Shift+F", "F3", "Shift+F3", "Ctrl+G",
              "F4", "F2", "Alt+R", "Alt+Return", "Alt+D", "Alt+Shift+R", "F1", "Ctrl+L", "Ctrl+K",
              "Ctrl+Space", "Ctrl+O", "Ctrl+P", "Ctrl+N", "Ctrl+W", "Ctrl+Q", "Ctrl+Shift+S",
              "Ctrl+H",
              // The Edit menu's line commands (the control zooms on Ctrl+/).
              "Ctrl+/", "Ctrl+D", "Alt+Up", "Alt+Down",
              // Code navigation.
              "F12", "Ctrl+T", "Alt+Left", "Alt+Right", "Shift+F12",
              // Debugging.
              "F5", "F9", "F10", "F11", "Shift+F11", "Ctrl+F10", "Shift+F5",
              // Tabs (Shift+Tab arrives as Backtab).
              "Ctrl+Tab", "Ctrl+Shift+Tab", "Ctrl+Shift+Backtab", "Ctrl+PgDown", "Ctrl+PgUp"})
            list.append(QKeySequence(QString::fromLatin1(key)));
        return list;
    }();
    return keys;
}

void CodeEditor::removeWindowShortcutBindings()
{
    // The control's own bindings would win over the window's commands while
    // the editor has the focus (Ctrl+L would cut the line instead of
    // reaching the address box), so those keys are taken from it.
    const QList<QKeySequence> &keys = windowShortcuts();
    for (QsciCommand *command : standardCommands()->commands()) {
        if (command->key() && keys.contains(QKeySequence(command->key())))
            command->setKey(0);
        if (command->alternateKey() && keys.contains(QKeySequence(command->alternateKey())))
            command->setAlternateKey(0);
    }
}

bool CodeEditor::isWindowShortcut(const QKeyEvent *event) const
{
    const int key = event->key();
    if (key == 0 || key == Qt::Key_unknown || key == Qt::Key_Shift || key == Qt::Key_Control ||
        key == Qt::Key_Alt || key == Qt::Key_Meta)
        return false;
    return windowShortcuts().contains(
        QKeySequence(QKeyCombination(commandModifiers(event->modifiers()), Qt::Key(key))));
}

bool CodeEditor::event(QEvent *event)
{
    // A window key never becomes the editor's, so the window's command runs.
    if (event->type() == QEvent::ShortcutOverride &&
        isWindowShortcut(static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    return QsciScintilla::event(event);
}

int CodeEditor::moveCommandFor(const QKeyEvent *event) const
{
    const int key = event->key() | int(commandModifiers(event->modifiers()));
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
    if (commandModifiers(event->modifiers()) != Qt::AltModifier ||
        (event->key() != Qt::Key_PageUp && event->key() != Qt::Key_PageDown))
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
    if (isWindowShortcut(event)) {
        // Left to the window; a key no command took must not type its letter.
        event->ignore();
        return;
    }
    if (!event->text().isEmpty())
        emit keyPressed(event->text());
    if (scrollPageSideways(event)) {
        event->accept();
        emit commandProcessed(event->key() == Qt::Key_PageUp ? CmdPageLeft : CmdPageRight);
        return;
    }
    const int command = moveCommandFor(event);
    // Enter and a closing brace change the indentation too; one undo step
    // takes back both.
    const bool indents = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                         event->text() == QLatin1String("}");
    {
        UndoStep step(*this, indents && !isReadOnly());
        QsciScintilla::keyPressEvent(event);
    }
    // Reported after the move so that listeners read the new caret position.
    if (command)
        emit commandProcessed(command);
}

void CodeEditor::keyReleaseEvent(QKeyEvent *event)
{
    QsciScintilla::keyReleaseEvent(event);
    emit keyUp(event->key(), event->modifiers());
}

// --- indentation while typing ---------------------------------------------------

void CodeEditor::onCharacterAdded(int character)
{
    const bool lineBreak =
        character == '\n' || (character == '\r' && SendScintilla(SCI_GETEOLMODE) == SC_EOL_CR);
    if (lineBreak)
        indentNewLine();
    else if (character == '}')
        outdentClosingBrace();
}

void CodeEditor::indentNewLine()
{
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
    if (line == 0 || caret != SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line)))
        return;
    const QString previous = lineText(int(line - 1));
    qsizetype blanks = 0;
    while (blanks < previous.size() && (previous[blanks] == u' ' || previous[blanks] == u'\t'))
        ++blanks;
    QString indentation = previous.left(blanks);
    // One level more after an opening brace, unless the new line starts by closing it.
    const QString opened = previous.trimmed();
    const QString rest = lineText(int(line)).trimmed();
    if (opened.endsWith(u'{') && !rest.startsWith(u'}'))
        indentation += indentation.contains(u'\t') ? QStringLiteral("\t") : IndentUnit;
    if (indentation.isEmpty())
        return;
    const QByteArray utf8 = indentation.toUtf8();
    SendScintilla(SCI_INSERTTEXT, static_cast<unsigned long>(caret), utf8.constData());
    SendScintilla(SCI_GOTOPOS, static_cast<unsigned long>(caret + utf8.size()));
}

void CodeEditor::outdentClosingBrace()
{
    const long caret = SendScintilla(SCI_GETCURRENTPOS);
    const long line = SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(caret));
    const long start = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const long brace = caret - 1;
    if (brace <= start)
        return;
    const auto *bytes = reinterpret_cast<const char *>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), brace - start));
    if (!bytes || !std::all_of(bytes, bytes + (brace - start), isBlank))
        return; // the brace is not the first thing on its line
    // One level: a tab, or up to four blanks.
    long remove = 0;
    if (bytes[brace - start - 1] == '\t') {
        remove = 1;
    } else {
        while (remove < 4 && remove < brace - start && bytes[brace - start - 1 - remove] == ' ')
            ++remove;
    }
    SendScintilla(SCI_DELETERANGE, static_cast<unsigned long>(brace - remove), remove);
}
