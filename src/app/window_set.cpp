#include "app/window_set.h"

#include "app/desktop.h"
#include "app/document_controller.h"
#include "app/document_recovery.h"
#include "app/end_signals.h"
#include "app/main_window.h"
#include "app/publish_controller.h"
#include "forms/about_dialog.h"
#include "forms/advice_window.h"
#include "forms/database_admin_window.h"
#include "forms/environment_options_dialog.h"
#include "forms/file_functions_dialog.h"
#include "forms/help_window.h"
#include "forms/online_manual_window.h"
#include "forms/project_files_dialog.h"
#include "forms/project_functions_dialog.h"
#include "forms/project_options_dialog.h"
#include "forms/publish_preview_dialog.h"
#include "forms/qt_user_dialogs.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "forms/trace_window.h"
#include "foundation/errors.h"
#include "foundation/settings.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"
#include "project/project_prefetch.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

#include <utility>

QList<QWidget *> SecondaryWindows::all() const
{
    return {
        runWindow,
        projectFilesDialog,
        fileFunctionsDialog,
        projectFunctionsDialog,
        onlineManualWindow,
        runTextWindow,
        projectOptionsDialog,
        adviceWindow,
        environmentOptionsDialog,
        aboutDialog,
        traceWindow,
        helpWindow,
        databaseAdminWindow,
        publishPreviewDialog,
    };
}

template <typename T, typename... Args>
T *WindowSet::create(Args &...args)
{
    auto *window = new T(args...);
    m_order.append(window);
    return window;
}

WindowSet::WindowSet()
{
    // The order is fixed: the trace window reads its switches while created,
    // so trace lines written before it exists are dropped.
    m_main = create<MainWindow>(std::as_const(m_windows));
    m_windows.runWindow = create<RunWindow>();
    m_windows.projectFilesDialog = create<ProjectFilesDialog>();
    m_windows.fileFunctionsDialog = create<FileFunctionsDialog>();
    m_windows.projectFunctionsDialog = create<ProjectFunctionsDialog>();
    m_windows.onlineManualWindow = create<OnlineManualWindow>();
    m_windows.runTextWindow = create<RunTextWindow>();
    m_windows.projectOptionsDialog = create<ProjectOptionsDialog>();
    m_windows.adviceWindow = create<AdviceWindow>();
    m_windows.environmentOptionsDialog = create<EnvironmentOptionsDialog>();
    m_windows.aboutDialog = create<AboutDialog>();
    m_windows.traceWindow = create<TraceWindow>();
    m_windows.helpWindow = create<HelpWindow>();
    m_windows.databaseAdminWindow = create<DatabaseAdminWindow>();
    m_windows.publishPreviewDialog = create<PublishPreviewDialog>();
}

WindowSet::~WindowSet()
{
    // The main window goes last: the others may refer to it while closing.
    for (qsizetype i = m_order.size() - 1; i >= 0; --i)
        delete m_order.at(i);
}

int RunQuillstone()
{
    QtUserDialogs dialogs;
    SetDialogs(&dialogs);
    try {
        SetApplicationTitle(QStringLiteral("Quillstone"));
        ApplyDesktopIdentity();
        // The project named at start is read while the windows are built.
        const QStringList parameters = ProgramParameters();
        if (parameters.size() > 1 && parameters.at(1).endsWith(QLatin1String(".wdx")) &&
            QFileInfo(parameters.at(1)).isFile())
            ProjectPrefetch::atStart().start(QFileInfo(parameters.at(1)).absoluteFilePath());
        WindowSet windows;
        // Without a window manager nothing honours "maximised": start at the
        // screen's size so the window fills it either way.
        if (QScreen *screen = QGuiApplication::primaryScreen())
            windows.mainWindow()->setGeometry(screen->availableGeometry());
        windows.mainWindow()->showMaximized();
        // Before a signal ends the program, the unsaved text of the document
        // shown goes to its recovery copy (the other tabs have theirs) and a
        // publish stops after the files being sent now.
        const EndSignals ending([&windows] {
            windows.mainWindow()->documents().recovery().update();
            windows.mainWindow()->publishing().stopBeforeEnd(5000);
        });
        QApplication::exec();
    } catch (...) {
        Dialogs().showError(exceptionMessage(std::current_exception()));
    }
    SetDialogs(nullptr);
    return 0;
}
