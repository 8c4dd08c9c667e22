#include "forms/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void MoveToScreenTopLeft(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    window->move(screen ? screen->geometry().topLeft() : QPoint(0, 0));
}
