// The run commands: save, fetch the run address, and either land on the first
// PHP error of the page or show the page in the Run window.
#include "app/main_window.h"

#include "app/window_set.h"
#include "editor/code_editor.h"
#include "forms/run_window.h"
#include "forms/run_text_window.h"
#include "forms/browser_frame.h"
#include "foundation/http_client.h"
#include "foundation/user_dialogs.h"
#include "net/curl_http_client.h"
#include "project/php_error.h"

#include <QFileInfo>

HttpClient &MainWindow::Http()
{
    if (!m_http)
        m_http = std::make_unique<CurlHttpClient>();
    return *m_http;
}

void MainWindow::SetHttpClient(std::unique_ptr<HttpClient> client)
{
    m_http = std::move(client);
}

void MainWindow::Run2Click(QObject *Sender)
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);

    BrowserFrame *runFrame = m_windows->runWindow->frame_browser1;
    runFrame->setUrlText(m_project.RunAddress);
    if (m_project.RunAddress == m_previousRunAddress)
        runFrame->reload();
    else
        runFrame->navigate(m_project.RunAddress);
    m_previousRunAddress = m_project.RunAddress;
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
    Dialogs().showModal(m_windows->runWindow);
    m_project.RunAddress = runFrame->urlText();
    WebPanel->setUrlText(m_project.RunAddress);
}

void MainWindow::RunwithoutDebuging1Click(QObject *)
{
    Run2Click(nullptr);
}

void MainWindow::RunText1Click(QObject *)
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);
    BrowserFrame *runFrame = m_windows->runWindow->frame_browser1;
    runFrame->setUrlText(m_project.RunAddress);
    ClearMessages();
    const QString page = getOrEmpty(Http(), runFrame->urlText());
    m_windows->runTextWindow->setText(page);
    Dialogs().showModal(m_windows->runTextWindow);
}
