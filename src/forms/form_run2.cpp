#include "forms/form_run2.h"

#include "forms/frame_browser.h"

#include <QKeyEvent>
#include <QVBoxLayout>

Tform_run2::Tform_run2() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run2"));
    setWindowTitle(QStringLiteral("PHPMyAdmin"));
    setWindowState(Qt::WindowMaximized);

    frame_browser1 = new Tframe_browser(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);
    frame_browser1->setShortcutScope(Tframe_browser::ShortcutScope::Browser);
}

Tform_run2::~Tform_run2() = default;

void Tform_run2::keyPressEvent(QKeyEvent *event)
{
    // Esc closes only through the frame's menu, i.e. while the browser has the
    // focus; a dialog would otherwise close on Esc typed in the URL box.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
