// The web preview panel and the windows that show pages: the preview follows
// the run address, reloads after the user's saves, and phpMyAdmin keeps the
// database address.
#include "app/main_form.h"

#include "app/application.h"
#include "forms/form_run.h"
#include "forms/form_run2.h"
#include "forms/frame_browser.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QLineEdit>

void TMainForm::WebPanel1Click(QObject *)
{
    const bool show = !WebPanel->isVisible();
    WebPanel->setVisible(show);
    WebPanelSplit->setVisible(show);
}

void TMainForm::WebPanelURL1Click(QObject *)
{
    if (WebPanel->isVisible())
        WebPanel->focusUrl();
}

void TMainForm::WebPanelURLChange(const QString &text)
{
    Project.RunAddress = text;
}

void TMainForm::ReloadPreviewAfterSave()
{
    const QString address = WebPanel->urlText();
    // When nothing serves the address the preview shows what to do instead.
    if (WebPanel->navigate(address) && address == m_previousPreviewAddress)
        WebPanel->reload();
    m_previousPreviewAddress = address;
    Project.RunAddress = address;
    m_windows->form_run->frame_browser1->setUrlText(Project.RunAddress);
}

void TMainForm::Run3Click(QObject *)
{
    Tform_run2 *form = m_windows->form_run2;
    form->frame_browser1->setUrlText(Project.DatabaseAddress);
    Dialogs().showModal(form);
    Project.DatabaseAddress = form->frame_browser1->urlText();
}
