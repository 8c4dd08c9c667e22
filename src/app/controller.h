#pragma once

#include <QObject>

class MainWindow;
class Project;
struct MainWindowUi;
struct SecondaryWindows;

// What the publish controller is still built from: the whole window, the
// project, the window's controls and the secondary windows. The other
// controllers take only what they use; this goes once publishing does too.
// Connections made with the controller as context end with it, so no signal
// of a control that outlives it reaches it.
class Controller : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Controller)

public:
    Controller(MainWindow &window, Project &project, const MainWindowUi &ui,
               const SecondaryWindows &windows);
    ~Controller() override;

protected:
    MainWindow &m_window;
    Project &m_project;
    const MainWindowUi &m_ui;
    const SecondaryWindows &m_windows;
};
