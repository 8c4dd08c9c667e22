#include "app/test_driver.h"

#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/switches.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

namespace {
// The components the owner itself owns, in creation order; those of embedded
// frames belong to the frame and are not collected.
template <typename T>
QList<T *> ownedComponents(QObject *owner)
{
    return owner->findChildren<T *>(QString(), Qt::FindDirectChildrenOnly);
}

QString lowered(const QString &text)
{
    return LocaleLower(text);
}

// This file's own location, from the source tree's root.
QString sourceLocation(int line)
{
    QString file = QString::fromUtf8(__FILE__);
    const qsizetype src = file.lastIndexOf(QStringLiteral("src/"));
    if (src >= 0)
        file = file.mid(src);
    return file + u':' + QString::number(line);
}

void reportMissingHandler(const QString &name, int line)
{
    Dialogs().showMessage(QStringLiteral("Testing: ") + name +
                          QStringLiteral(" on click not defined.") + sourceLocation(line));
}

QWidget *mainWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("MainForm"))
            return w;
    }
    return nullptr;
}
} // namespace

void ClickByName(QObject *owner, const QString &name)
{
    const QString wanted = lowered(name);
    for (QAbstractButton *button : ownedComponents<QAbstractButton>(owner)) {
        if (lowered(button->objectName()) != wanted)
            continue;
        if (ClickFunction handler = ClickHandlerOf(button))
            handler(button);
        else
            reportMissingHandler(wanted, __LINE__);
    }
    for (QAction *item : ownedComponents<QAction>(owner)) {
        if (lowered(item->objectName()) != wanted)
            continue;
        if (ClickFunction handler = ClickHandlerOf(item))
            handler(item);
        else
            reportMissingHandler(wanted, __LINE__);
    }
}

int RunTestCommands(const QList<QWidget *> &windows, const std::function<bool()> &busy)
{
    QList<QWidget *> targets = windows;
    if (targets.isEmpty()) {
        if (QWidget *main = mainWindow())
            targets.append(main);
    }
    const QStringList parameters = ProgramParameters();
    for (qsizetype k = 0; k + 1 < parameters.size(); ++k) {
        const QString &keyword = parameters.at(k);
        const QString &argument = parameters.at(k + 1);
        for (QWidget *window : targets) {
            if (keyword == QStringLiteral("click")) {
                // A failed command is shown in the standard error box, left
                // open, and the later ones still run, Exit among them.
                try {
                    ClickByName(window, argument);
                } catch (...) {
                    const QString message = exceptionMessage(std::current_exception());
                    TraceLog(QStringLiteral("click %1 failed: %2").arg(argument, message));
                    Dialogs().showErrorWithoutWaiting(message);
                }
                // Sleeps until an event comes: processEvents with a time
                // limit never waits, and spinning took a core from the run.
                while (busy && busy())
                    QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                    QEventLoop::WaitForMoreEvents);
            } else if (keyword == QStringLiteral("timer")) {
                for (QTimer *timer : ownedComponents<QTimer>(window)) {
                    if (lowered(timer->objectName()) == lowered(argument))
                        timer->start();
                }
            }
        }
    }
    return parameters.size();
}
