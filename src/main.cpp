// Program entry: the application object, then everything else in RunQuillstone.
#include "app/window_set.h"
#include "forms/browser_view.h"

#include <QApplication>

int main(int argc, char **argv)
{
    PrepareBrowserEngineEnvironment();
    QApplication app(argc, argv);
    return RunQuillstone();
}
