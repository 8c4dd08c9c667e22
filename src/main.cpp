// Program entry: the application object, then everything else in RunQuillstone.
#include "app/window_set.h"

#include <QApplication>

#include <unistd.h>

int main(int argc, char **argv)
{
    // The browser engine refuses to start as root unless its sandbox is off.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return RunQuillstone();
}
