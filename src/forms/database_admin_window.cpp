#include "forms/database_admin_window.h"

#include "forms/browser_frame.h"

#include <QKeyEvent>
#include <QVBoxLayout>

DatabaseAdminWindow::DatabaseAdminWindow()
{
    setObjectName(QStringLiteral("form_run2"));
    setWindowTitle(QStringLiteral("PHPMyAdmin"));

    frame_browser1 = new BrowserFrame(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);
    frame_browser1->setShortcutScope(BrowserFrame::ShortcutScope::Browser);
}

DatabaseAdminWindow::~DatabaseAdminWindow() = default;

void DatabaseAdminWindow::keyPressEvent(QKeyEvent *event)
{
    // Esc closes only through the frame's menu, i.e. while the browser has the
    // focus; a dialog would otherwise close on Esc typed in the URL box.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
