// The run commands: save, make sure something serves the run address, fetch
// it, and either land on the first PHP error of the page or show the page in
// the Run window.
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
    // Only what a web server can serve is shown or fetched; the project's own
    // PHP server is started here when it is needed. The user's command says
    // why not in a box; otherwise the Run window shows what to do.
    const RunServing serving = ServeRunAddress(Project.RunAddress);
    if (!serving.served) {
        if (Sender && !serving.problem.isEmpty()) {
            Dialogs().showMessage(serving.problem);
            return;
        }
        ShowRunGuidance(runFrame, Project.RunAddress, serving.problem);
    } else if (Project.RunAddress == m_previousRunAddress) {
        runFrame->reload();
    } else {
        runFrame->navigate(Project.RunAddress);
    }
    m_previousRunAddress = Project.RunAddress;
    ClearMessages();

    QString page;
    if (Sender && serving.served)
        page = getOrEmpty(Http(), runFrame->urlText());

    PhpErrorCapture capture = CapturePhpError(page);
    if (capture.found) {
        // PHP names files by their real paths; the project may know them
        // through a linked folder.
        capture.file = ProjectPathOfReported(capture.file, Project);
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
    if (serving.served)
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
    const RunServing serving = ServeRunAddress(Project.RunAddress);
    if (!serving.served && !serving.problem.isEmpty()) {
        Dialogs().showMessage(serving.problem);
        return;
    }
    ClearMessages();
    const QString page = serving.served ? getOrEmpty(Http(), runFrame->urlText()) : QString();
    m_windows->form_run_text->setText(page);
    Dialogs().showModal(m_windows->form_run_text);
}
