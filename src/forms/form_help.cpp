#include "forms/form_help.h"

#include "forms/frame_browser.h"

#include <QEvent>
#include <QUrl>
#include <QVBoxLayout>

Tform_help::Tform_help() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_help"));
    setWindowTitle(SiteName());
    setWindowState(Qt::WindowMaximized);

    frame_browser1 = new Tframe_browser(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);

    frame_browser1->setShortcutScope(Tframe_browser::ShortcutScope::Window);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { frame_browser1->showMenu(mapToGlobal(pos)); });
}

Tform_help::~Tform_help() = default;

QString Tform_help::SiteName()
{
    return QStringLiteral("php.net");
}

QString Tform_help::LookupAddress(const QString &word)
{
    return QStringLiteral("https://www.php.net/manual-lookup.php?pattern=") +
           QString::fromLatin1(QUrl::toPercentEncoding(word)) + QStringLiteral("&lang=en");
}

void Tform_help::FormActivate(QObject *)
{
    frame_browser1->focusBrowser();
}

bool Tform_help::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunBrowserGuarded([this] { FormActivate(this); });
    return QDialog::event(event);
}
