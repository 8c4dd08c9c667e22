#pragma once

#include <QList>

#include <memory>

class QWidget;
class MainWindow;
class RunWindow;
class ProjectFilesDialog;
class FileFunctionsDialog;
class ProjectFunctionsDialog;
class OnlineManualWindow;
class RunTextWindow;
class ProjectOptionsDialog;
class PublishPreviewDialog;
class AdviceWindow;
class EnvironmentOptionsDialog;
class AboutDialog;
class TraceWindow;
class HelpWindow;
class DatabaseAdminWindow;

// The windows that live for the whole run besides the main window, created
// once at start-up and reused by the commands that show them.
struct SecondaryWindows {
    RunWindow *runWindow = nullptr;
    ProjectFilesDialog *projectFilesDialog = nullptr;
    FileFunctionsDialog *fileFunctionsDialog = nullptr;
    ProjectFunctionsDialog *projectFunctionsDialog = nullptr;
    OnlineManualWindow *onlineManualWindow = nullptr;
    RunTextWindow *runTextWindow = nullptr;
    ProjectOptionsDialog *projectOptionsDialog = nullptr;
    AdviceWindow *adviceWindow = nullptr;
    EnvironmentOptionsDialog *environmentOptionsDialog = nullptr;
    AboutDialog *aboutDialog = nullptr;
    TraceWindow *traceWindow = nullptr;
    HelpWindow *helpWindow = nullptr;
    DatabaseAdminWindow *databaseAdminWindow = nullptr;
    PublishPreviewDialog *publishPreviewDialog = nullptr;

    // Every one of them, in creation order.
    QList<QWidget *> all() const;
};

// Owns the fifteen windows of a run, creates them in the program's fixed
// order (the main window first) and destroys them in reverse order at exit.
class WindowSet {
public:
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet &) = delete;
    WindowSet &operator=(const WindowSet &) = delete;

    MainWindow *mainWindow() const { return m_main; }
    const SecondaryWindows &windows() const { return m_windows; }
    // Every window in creation order.
    const QList<QWidget *> &creationOrder() const { return m_order; }

private:
    template <typename T, typename... Args>
    T *create(Args &...args);

    MainWindow *m_main = nullptr;
    SecondaryWindows m_windows;
    QList<QWidget *> m_order;
};

// The program entry after the application object exists: title, user-dialog
// and window set-up, the main window shown maximised, the event loop. Every
// escaped error is shown in the standard error box; returns 0 in every case.
int RunQuillstone();
