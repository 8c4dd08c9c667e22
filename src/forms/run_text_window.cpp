#include "forms/run_text_window.h"

#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "foundation/handler_guard.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QVBoxLayout>

RunTextWindow::RunTextWindow() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run_text"));
    setWindowTitle(QStringLiteral("form_run_text"));
    setWindowState(Qt::WindowMaximized);

    editor = new CodeEditor(this);
    editor->setObjectName(QStringLiteral("editor"));
    editor->setColouring(CodeEditor::Colouring::None);
    // Gutter, right edge, scroll bars and colours as in the main editor; then
    // this window's own font and wrapping.
    editor->applyDocumentSettings();
    QFont font(QStringLiteral("Courier New"));
    if (!QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    editor->setFont(font);
    editor->setColor(Qt::black);
    editor->setWrapMode(QsciScintilla::WrapWord);
    editor->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor);
}

RunTextWindow::~RunTextWindow() = default;

void RunTextWindow::setText(const QString &text)
{
    editor->clearAll();
    editor->setWholeText(text);
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
        const int key = static_cast<QKeyEvent *>(event)->key();
        RunGuarded([&] { FormKeyDown(this, key); });
        // Esc is the window's alone; every other key goes on to the editor.
        if (key == Qt::Key_Escape)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
