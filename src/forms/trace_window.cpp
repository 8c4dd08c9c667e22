#include "forms/trace_window.h"

#include "editor/desktop_fonts.h"
#include "foundation/switches.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QToolButton>

TraceWindow::TraceWindow(TraceLogger &logger)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), m_logger(logger)
{
    setObjectName(QStringLiteral("FormTrace"));
    setWindowTitle(QStringLiteral("Trace Log (Debug Info)"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(CodeFont(8));

    // Created after the memo, so it sits over the memo's top-left corner.
    PauseButton = new QToolButton(this);
    PauseButton->setObjectName(QStringLiteral("PauseButton"));
    PauseButton->setText(QStringLiteral("Pause"));
    PauseButton->setCheckable(true);
    PauseButton->setAutoRaise(true);
    PauseButton->setAutoFillBackground(true); // the memo must not show through
    PauseButton->setGeometry(0, 0, 214, 22);
    PauseButton->raise();

    // Small enough for a one-line strip, never so small the Pause button is lost.
    setMinimumSize(PauseButton->width(), PauseButton->height());
    move(145, 3);
    resize(871, 101);

    applySwitches();
    m_logger.setSink(this);
}

TraceWindow::~TraceWindow()
{
    if (m_logger.sink() == this)
        m_logger.setSink(nullptr);
}

void TraceWindow::applySwitches()
{
    m_clearAllowed = !HasSwitch(QStringLiteral("noclearlog"));
    if (HasSwitch(QStringLiteral("trace")))
        show();
    if (HasSwitch(QStringLiteral("debug")))
        show();
    if (HasSwitch(QStringLiteral("traceheight")))
        resize(width(), std::max(SwitchInt(QStringLiteral("traceheight"), 0), minimumHeight()));
    if (HasSwitch(QStringLiteral("traceup"))) {
        show();
        move(0, 0);
    }
    if (HasSwitch(QStringLiteral("debugmax")))
        showMaximized();
}

bool TraceWindow::traceVisible() const
{
    return isVisible();
}

bool TraceWindow::tracePaused() const
{
    return PauseButton->isChecked();
}

void TraceWindow::traceClear()
{
    Memo1->clear();
}

void TraceWindow::traceAppend(const QString &line)
{
    Memo1->appendPlainText(line);
}

void TraceWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Memo1->setGeometry(rect());
}
