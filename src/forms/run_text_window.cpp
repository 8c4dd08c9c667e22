#include "forms/run_text_window.h"

#include "editor/code_editor.h"
#include "editor/desktop_fonts.h"
#include "forms/browser_frame.h"
#include "foundation/handler_guard.h"

#include <QKeyEvent>
#include <QVBoxLayout>

RunTextWindow::RunTextWindow() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run_text"));
    setWindowTitle(QStringLiteral("Run in Text Mode"));
    resize(900, 700);

    editor = new CodeEditor(this);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setColouring(CodeEditor::Colouring::None);
    // Gutter, right edge, scroll bars and colours as in the main editor; then
    // this window's own font and wrapping.
    editor->applyDocumentSettings();
    editor->setFont(CodeFont(10));
    editor->setColor(Qt::black);
    editor->setWrapMode(QsciScintilla::WrapWord);
    // The fetched page is shown, not edited: nothing here could save it.
    editor->setReadOnly(true);
    editor->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor);
}

RunTextWindow::~RunTextWindow() = default;

void RunTextWindow::setText(const QString &text)
{
    // Read-only is the user's limit; the program fills the text.
    editor->setReadOnly(false);
    editor->clearAll();
    editor->setWholeText(text);
    editor->setReadOnly(true);
    editor->setCursorPosition(0, 0);
}

QString RunTextWindow::text() const
{
    return editor->wholeText();
}

void RunTextWindow::FormKeyDown(QObject *, int Key)
{
    if (Key == Qt::Key_Escape)
        close();
}

bool RunTextWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == editor && event->type() == QEvent::KeyPress) {
        const auto *press = static_cast<QKeyEvent *>(event);
        const int key = press->key();
        RunGuarded([&] { FormKeyDown(this, key); });
        // Esc is the window's alone; every other key goes on to the editor.
        if (key == Qt::Key_Escape)
            return true;
        if (press->modifiers() & Qt::ControlModifier) {
            // Ctrl with '+' or '=' (one key on most keyboards), '-' and '0'.
            if (key == Qt::Key_Plus || key == Qt::Key_Equal)
                editor->zoomIn();
            else if (key == Qt::Key_Minus)
                editor->zoomOut();
            else if (key == Qt::Key_0)
                editor->zoomTo(0);
            else
                return QDialog::eventFilter(watched, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void RunTextWindow::showEnd()
{
    editor->setCaretLine(editor->lineCount());
}
