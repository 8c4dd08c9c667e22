// The project's own PHP server: what Run and the preview need before they
// show or fetch the run address, and the guidance page when nothing can serve it.
#include "app/main_form.h"

#include "app/application.h"
#include "forms/form_run.h"
#include "forms/frame_browser.h"
#include "foundation/reg_string.h"
#include "foundation/user_dialogs.h"
#include "net/http_client.h"
#include "net/local_php_server.h"
#include "net/run_guidance.h"
#include "project/project_paths.h"

#include <QFileInfo>

const TRegString &TMainForm::StartPhpServer()
{
    static const TRegString setting(QStringLiteral("StartPhpServer"), QStringLiteral("1"));
    return setting;
}

LocalPhpServer &TMainForm::PhpServer()
{
    if (!m_phpServer)
        m_phpServer = std::make_unique<LocalPhpServer>();
    return *m_phpServer;
}

TMainForm::RunServing TMainForm::ServeRunAddress(const QString &address)
{
    const QString refused = WebAddressProblem(address);
    if (!refused.isEmpty())
        return {false, refused};
    const QString folder = Project.FileName.isEmpty() ? QString() : ProjectFolderOf(Project.FileName);
    const LocalPhpServer::Outcome outcome =
        PhpServer().prepare(address, folder, StartPhpServer().ReadBool());
    return {outcome.served, outcome.problem};
}

void TMainForm::ShowRunGuidance(Tframe_browser *frame, const QString &address,
                                const QString &problem)
{
    RunGuidance guidance;
    guidance.address = address;
    guidance.problem = problem;
    guidance.projectFolder =
        Project.FileName.isEmpty() ? QString() : ProjectFolderOf(Project.FileName);
    guidance.logPath = PhpServer().logPath();
    guidance.ownServer = StartPhpServer().ReadBool();
    frame->showPage(RunGuidancePage(guidance), address);
}

void TMainForm::setUpRunServer()
{
    const auto install = [this](Tframe_browser *frame) {
        frame->setNavigationGate([this, frame](const QString &url) {
            const RunServing serving = ServeRunAddress(url);
            if (!serving.served)
                ShowRunGuidance(frame, url, serving.problem);
            return serving.served;
        });
        frame->WebBrowser1->setFailurePage([this](const QString &url, const QString &error) {
            RunGuidance guidance;
            guidance.address = url;
            guidance.problem = QStringLiteral("The page could not be loaded: %1.").arg(error);
            guidance.projectFolder =
                Project.FileName.isEmpty() ? QString() : ProjectFolderOf(Project.FileName);
            guidance.logPath = PhpServer().logPath();
            guidance.ownServer = StartPhpServer().ReadBool();
            return RunGuidancePage(guidance);
        });
    };
    install(WebPanel);
    if (m_windows && m_windows->form_run)
        install(m_windows->form_run->frame_browser1);
}
