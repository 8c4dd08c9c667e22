#pragma once

#include <QDialog>

class CodeEditor;

// The page of a run shown as raw text: one plain editor filling the window.
// Read-only, zoomed with Ctrl+'+', Ctrl+'-' and Ctrl+'0'. The window sees keys
// before the editor, so Esc closes it even though the editor would otherwise
// take the key.
// Object name `form_run_text`.
class RunTextWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunTextWindow)

public:
    RunTextWindow();
    ~RunTextWindow() override;

    // Replaces the editor's whole text; the caret goes to the start.
    void setText(const QString &text);
    QString text() const;
    // The caret to the last line, where a log's newest part is.
    void showEnd();

    // Sees every key before the editor; Esc closes the window.
    void FormKeyDown(QObject *Sender, int Key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CodeEditor *editor;
};
