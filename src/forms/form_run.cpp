#include "forms/form_run.h"

#include "forms/frame_browser.h"

#include <QEvent>
#include <QVBoxLayout>

Tform_run::Tform_run() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run"));
    setWindowTitle(QStringLiteral("Run"));
    setWindowState(Qt::WindowMaximized);

    frame_browser1 = new Tframe_browser(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);

    frame_browser1->WebBrowser1->setSilent(true);
    frame_browser1->setShortcutScope(Tframe_browser::ShortcutScope::Window);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { frame_browser1->showMenu(mapToGlobal(pos)); });
}

Tform_run::~Tform_run() = default;

void Tform_run::FormActivate(QObject *)
{
    frame_browser1->focusUrl();
    frame_browser1->focusBrowser();
}

bool Tform_run::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunBrowserGuarded([this] { FormActivate(this); });
    return QDialog::event(event);
}
