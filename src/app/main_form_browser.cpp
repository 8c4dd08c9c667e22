// The web preview panel and the windows that show pages: the preview follows
// the run address, reloads after the user's saves, and phpMyAdmin keeps the
// database address.
#include "app/main_window.h"

#include "app/window_set.h"
#include "forms/run_window.h"
#include "forms/database_admin_window.h"
#include "forms/browser_frame.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QLineEdit>

void MainWindow::WebPanel1Click(QObject *)
{
    const bool show = !WebPanel->isVisible();
    WebPanel->setVisible(show);
    WebPanelSplit->setVisible(show);
}

void MainWindow::WebPanelURL1Click(QObject *)
{
    if (WebPanel->isVisible())
        WebPanel->focusUrl();
}

void MainWindow::WebPanelURLChange(const QString &text)
{
    m_project.RunAddress = text;
}

void MainWindow::ReloadPreviewAfterSave()
{
    const QString address = WebPanel->urlText();
    WebPanel->navigate(address);
    if (address == m_previousPreviewAddress)
        WebPanel->reload();
    m_previousPreviewAddress = address;
    m_project.RunAddress = address;
    m_windows->runWindow->frame_browser1->setUrlText(m_project.RunAddress);
}

void MainWindow::Run3Click(QObject *)
{
    DatabaseAdminWindow *form = m_windows->databaseAdminWindow;
    form->frame_browser1->setUrlText(m_project.DatabaseAddress);
    Dialogs().showModal(form);
    m_project.DatabaseAddress = form->frame_browser1->urlText();
}
