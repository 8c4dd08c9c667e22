#pragma once

#include "foundation/trace.h"

#include <QWidget>

class QPlainTextEdit;
class QToolButton;

// The trace log window: a tool window that stays on top and lists the
// numbered trace lines. It only displays; TraceLogger numbers the lines and
// applies the 40-line rule. The window reads the trace switches when it is
// built and attaches itself to the logger, so lines flow as soon as it shows.
// Object name `FormTrace`.
class TraceWindow final : public QWidget, public TraceSink {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TraceWindow)

public:
    // Attaches to `logger` (the program-wide one unless a test gives its own).
    explicit TraceWindow(TraceLogger &logger = ProgramTrace());
    ~TraceWindow() override;

    bool traceVisible() const override;
    bool tracePaused() const override;
    bool traceClearAllowed() const override { return m_clearAllowed; }
    void traceClear() override;
    void traceAppend(const QString &line) override;

    QPlainTextEdit *Memo1;
    QToolButton *PauseButton;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applySwitches();

    TraceLogger &m_logger;
    bool m_clearAllowed = true;
};
