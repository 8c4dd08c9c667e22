// The run commands: save, fetch the run address, and either land on the first
// PHP error of the page or show the page in the Run window.
#include "app/main_form.h"

#include "app/application.h"
#include "editor/code_editor.h"
#include "forms/form_run.h"
#include "forms/form_run_text.h"
#include "forms/frame_browser.h"
#include "foundation/http_fetch.h"
#include "foundation/user_dialogs.h"
#include "net/http_client.h"
#include "project/php_error.h"

#include <QFileInfo>

HttpClient &TMainForm::Http()
{
    if (!m_http)
        m_http = std::make_unique<CurlHttpClient>();
    return *m_http;
}

void TMainForm::SetHttpClient(std::unique_ptr<HttpClient> client)
{
    m_http = std::move(client);
}

void TMainForm::Run2Click(QObject *Sender)
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);

    Tframe_browser *runFrame = m_windows->form_run->frame_browser1;
    runFrame->setUrlText(Project.RunAddress);
    if (Project.RunAddress == m_previousRunAddress)
        runFrame->reload();
    else
        runFrame->navigate(Project.RunAddress);
    m_previousRunAddress = Project.RunAddress;
    ClearMessages();

    QString page;
    if (Sender)
        page = getOrEmpty(Http(), runFrame->urlText());

    const PhpErrorCapture capture = CapturePhpError(page);
    if (capture.found) {
        AddMessage(capture.messageRow());
        ShowMessages();
        if (QFileInfo(capture.file).isFile()) {
            OpenFileAtLine(capture.file, true);
            // Past the line first, so the error line shows with what follows it.
            re->setCaretLine(capture.lineNumber() + 18);
            re->setCaretLine(capture.lineNumber());
        }
        return;
    }

    HideMessages();
    runFrame->navigate(runFrame->urlText());
    Dialogs().showModal(m_windows->form_run);
    Project.RunAddress = runFrame->urlText();
    WebPanel->setUrlText(Project.RunAddress);
}

void TMainForm::RunwithoutDebuging1Click(QObject *)
{
    Run2Click(nullptr);
}

void TMainForm::RunText1Click(QObject *)
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);
    Tframe_browser *runFrame = m_windows->form_run->frame_browser1;
    runFrame->setUrlText(Project.RunAddress);
    ClearMessages();
    const QString page = getOrEmpty(Http(), runFrame->urlText());
    m_windows->form_run_text->setText(page);
    Dialogs().showModal(m_windows->form_run_text);
}
