// Test entry shared by every test binary: no display, no browser sandbox, and
// a private settings folder so no test touches the user's real settings.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>

#ifdef QS_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QTemporaryDir configHome;
    setenv("XDG_CONFIG_HOME", qPrintable(configHome.path()), 1);
    // Crash-recovery copies and server logs stay private to the run too.
    QTemporaryDir stateHome;
    setenv("XDG_STATE_HOME", qPrintable(stateHome.path()), 1);
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
