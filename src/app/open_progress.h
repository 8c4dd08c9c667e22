#pragma once

#include "editor/code_editor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// The bar with Cancel of an open that takes a while: it shows over the
// window once an open has run for a second, and goes when the open ends.
class OpenProgress final : public QObject {
    Q_OBJECT

public:
    explicit OpenProgress(QWidget *window);
    ~OpenProgress() override;

    // What the editor calls as an open goes on.
    CodeEditor::LoadProgress callback();
    void setShowAfter(int milliseconds) { m_showAfterMs = milliseconds; }
    // The bar while it is shown.
    QProgressDialog *dialog() const { return m_dialog; }

private:
    bool update(qint64 done, qint64 total);

    QWidget *m_window;
    int m_showAfterMs = 1000;
    QElapsedTimer m_clock;
    QPointer<QProgressDialog> m_dialog;
};
