#include "app/controller.h"

Controller::Controller(MainWindow &window, Project &project, const MainWindowUi &ui,
                       const SecondaryWindows &windows)
    : m_window(window), m_project(project), m_ui(ui), m_windows(windows)
{
}

Controller::~Controller() = default;
