#include "forms/online_manual_window.h"

#include "forms/browser_frame.h"
#include "foundation/handler_guard.h"

#include <QEvent>
#include <QUrl>
#include <QVBoxLayout>

OnlineManualWindow::OnlineManualWindow()
{
    setObjectName(QStringLiteral("form_help"));
    setWindowTitle(SiteName());

    frame_browser1 = new BrowserFrame(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);

    frame_browser1->setShortcutScope(BrowserFrame::ShortcutScope::Window);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { frame_browser1->showMenu(mapToGlobal(pos)); });
}

OnlineManualWindow::~OnlineManualWindow() = default;

QString OnlineManualWindow::SiteName()
{
    return QStringLiteral("php.net");
}

QString OnlineManualWindow::LookupAddress(const QString &word)
{
    return QStringLiteral("https://www.php.net/manual-lookup.php?pattern=") +
           QString::fromLatin1(QUrl::toPercentEncoding(word)) + QStringLiteral("&lang=en");
}

void OnlineManualWindow::FormActivate(QObject *)
{
    frame_browser1->focusBrowser();
}

bool OnlineManualWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunGuarded([this] { FormActivate(this); });
    return QDialog::event(event);
}
