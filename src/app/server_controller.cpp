// The project's own PHP server and the syntax check on save: what Run and the
// preview need before they show or fetch the run address, the guidance page
// when nothing can serve it, the server's log, and `php -l` rows.
#include "app/server_controller.h"

#include "app/messages_controller.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/browser_view.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/user_dialogs.h"
#include "net/curl_http_client.h"
#include "net/local_php_server.h"
#include "net/php_lint.h"
#include "net/run_guidance.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <QFile>
#include <QFileInfo>

ServerController::ServerController(Project &project, BrowserFrame *preview,
                                   RunWindow *const &runWindow, RunTextWindow *const &runTextWindow,
                                   MessagesController &messages)
    : m_project(project), m_preview(preview), m_runWindow(runWindow),
      m_runTextWindow(runTextWindow), m_messages(messages)
{
    // The Run window is made after the main window; it is gated at first use.
    installGate(m_preview);
}

ServerController::~ServerController()
{
    // The preview outlives the controllers by a little; it must not call back.
    m_preview->setNavigationGate({});
    m_preview->setFailurePage({});
}

const BoolSetting &ServerController::StartPhpServer()
{
    static const BoolSetting setting(QStringLiteral("StartPhpServer"), QStringLiteral("1"));
    return setting;
}

LocalPhpServer &ServerController::PhpServer()
{
    if (!m_phpServer)
        m_phpServer = std::make_unique<LocalPhpServer>();
    return *m_phpServer;
}

void ServerController::StopServer()
{
    if (m_phpServer)
        m_phpServer->stop();
}

void ServerController::ProjectLoaded()
{
    // The own PHP server served the project opened before.
    if (m_phpServer && !m_phpServer->servesFolder(ProjectFolderOf(m_project.FileName)))
        m_phpServer->stop();
}

ServerController::RunServing ServerController::ServeRunAddress(const QString &address)
{
    if (!m_runWindowGated && m_runWindow) {
        m_runWindowGated = true;
        installGate(m_runWindow->browser());
    }
    const QString refused = WebAddressProblem(address);
    if (!refused.isEmpty())
        return {false, refused};
    const QString folder =
        m_project.FileName.isEmpty() ? QString() : ProjectFolderOf(m_project.FileName);
    const LocalPhpServer::Outcome outcome =
        PhpServer().prepare(address, folder, StartPhpServer().ReadBool());
    return {outcome.served, outcome.problem};
}

QString ServerController::guidancePage(const QString &address, const QString &problem)
{
    RunGuidance guidance;
    guidance.address = address;
    guidance.problem = problem;
    if (!m_project.FileName.isEmpty())
        guidance.projectFolder = ProjectFolderOf(m_project.FileName);
    guidance.logPath = PhpServer().logPath();
    guidance.ownServer = StartPhpServer().ReadBool();
    return RunGuidancePage(guidance);
}

void ServerController::ShowRunGuidance(BrowserFrame *frame, const QString &address,
                                       const QString &problem)
{
    frame->showPage(guidancePage(address, problem), address);
}

void ServerController::installGate(BrowserFrame *frame)
{
    frame->setNavigationGate([this, frame](const QString &url) {
        const RunServing serving = ServeRunAddress(url);
        if (!serving.served)
            ShowRunGuidance(frame, url, serving.problem);
        return serving.served;
    });
    // A server elsewhere, or one that went away after the gate let the
    // address through: the same page instead of the engine's.
    frame->setFailurePage([this](const QString &url, const QString &error) {
        return guidancePage(url, QStringLiteral("The page could not be loaded: %1.").arg(error));
    });
}

void ServerController::ServerLog1Click(QObject *)
{
    const QString path = PhpServer().logPath();
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly)) {
        Dialogs().showMessage(
            QStringLiteral("Quillstone has not started PHP's server yet; its log will be %1.")
                .arg(path));
        return;
    }
    // The end of a long log is what matters; the window shows the last part.
    constexpr qint64 Shown = 4 * 1024 * 1024;
    if (log.size() > Shown)
        log.seek(log.size() - Shown);
    RunTextWindow *window = m_runTextWindow;
    window->setText(DecodePageText(log.readAll()));
    window->showEnd();
    Dialogs().showModal(window);
}

PhpLint &ServerController::Lint()
{
    if (!m_lint) {
        m_lint = new PhpLint(this);
        connect(m_lint, &PhpLint::checked, this, [this](const PhpLintResult &result) {
            RunGuarded([this, &result] { PhpLintChecked(result); });
        });
    }
    return *m_lint;
}

void ServerController::LintSavedFile(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("php"), Qt::CaseInsensitive) == 0)
        Lint().check(path);
}

bool ServerController::IsLintRow(const QString &file, const QString &text) const
{
    return !text.isEmpty() && m_lintRows.value(file) == text;
}

void ServerController::PhpLintChecked(const PhpLintResult &result)
{
    // The file's earlier row goes, wherever it stands now.
    const QString earlier = m_lintRows.take(result.file);
    if (!earlier.isEmpty())
        m_messages.RemoveMessage(earlier, result.file);
    if (result.clean)
        return;
    // Place first, as the project shows it, then the message; the tooltip
    // has the whole path.
    const QString line = QString::number(result.line);
    MessagesController &panel = m_messages;
    const QString text =
        panel.DisplayPath(result.file) + u'(' + line + QStringLiteral("): ") + result.message;
    panel.TakePanelFor(QStringLiteral("php -l"));
    panel.AddMessageRows({{text, result.file, line}});
    m_lintRows.insert(result.file, text);
    m_messages.ShowMessages();
}
