#include "forms/run_window.h"

#include "forms/browser_frame.h"
#include "foundation/handler_guard.h"

#include <QEvent>
#include <QVBoxLayout>

RunWindow::RunWindow()
{
    setObjectName(QStringLiteral("form_run"));
    setWindowTitle(QStringLiteral("Run"));

    frame_browser1 = new BrowserFrame(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);

    frame_browser1->setSilent(true);
    frame_browser1->setShortcutScope(BrowserFrame::ShortcutScope::Window);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { frame_browser1->showMenu(mapToGlobal(pos)); });
}

RunWindow::~RunWindow() = default;

void RunWindow::FormActivate(QObject *)
{
    frame_browser1->focusUrl();
    frame_browser1->focusBrowser();
}

bool RunWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunGuarded([this] { FormActivate(this); });
    return QDialog::event(event);
}
