// The project's own PHP server and the syntax check on save: what Run and the
// preview need before they show or fetch the run address, the guidance page
// when nothing can serve it, the server's log, and `php -l` rows.
#include "app/main_form.h"

#include "app/application.h"
#include "app/handler_guard.h"
#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "forms/form_run.h"
#include "forms/form_run_text.h"
#include "forms/frame_browser.h"
#include "foundation/reg_string.h"
#include "foundation/user_dialogs.h"
#include "net/http_client.h"
#include "net/local_php_server.h"
#include "net/php_lint.h"
#include "net/run_guidance.h"
#include "project/project_paths.h"

#include <QFile>
#include <QFileInfo>

namespace
{
// The guidance page for an address, with the project's folder and the log.
QString guidanceFor(TMainForm &form, const QString &address, const QString &problem)
{
    RunGuidance guidance;
    guidance.address = address;
    guidance.problem = problem;
    if (!form.Project.FileName.isEmpty())
        guidance.projectFolder = ProjectFolderOf(form.Project.FileName);
    guidance.logPath = form.PhpServer().logPath();
    guidance.ownServer = TMainForm::StartPhpServer().ReadBool();
    return RunGuidancePage(guidance);
}
} // namespace

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
    const QString folder =
        Project.FileName.isEmpty() ? QString() : ProjectFolderOf(Project.FileName);
    const LocalPhpServer::Outcome outcome =
        PhpServer().prepare(address, folder, StartPhpServer().ReadBool());
    return {outcome.served, outcome.problem};
}

void TMainForm::ShowRunGuidance(Tframe_browser *frame, const QString &address,
                                const QString &problem)
{
    frame->showPage(guidanceFor(*this, address, problem), address);
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
        // A server elsewhere, or one that went away after the gate let the
        // address through: the same page instead of the engine's.
        frame->WebBrowser1->setFailurePage([this](const QString &url, const QString &error) {
            return guidanceFor(*this, url,
                               QStringLiteral("The page could not be loaded: %1.").arg(error));
        });
    };
    install(WebPanel);
    if (m_windows && m_windows->form_run)
        install(m_windows->form_run->frame_browser1);
}

void TMainForm::ServerLog1Click(QObject *)
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
    Tform_run_text *window = m_windows->form_run_text;
    window->setText(DecodePageText(log.readAll()));
    window->editor->setCaretLine(window->editor->lineCount());
    Dialogs().showModal(window);
}

PhpLint &TMainForm::Lint()
{
    if (!m_lint) {
        m_lint = new PhpLint(this);
        connect(m_lint, &PhpLint::checked, this, [this](const PhpLintResult &result) {
            RunGuarded([this, &result] { PhpLintChecked(result); });
        });
    }
    return *m_lint;
}

void TMainForm::LintSavedFile(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("php"), Qt::CaseInsensitive) == 0)
        Lint().check(path);
}

void TMainForm::PhpLintChecked(const PhpLintResult &result)
{
    // The file's earlier row goes, wherever it stands now.
    const QString earlier = m_lintRows.take(result.file);
    if (!earlier.isEmpty()) {
        for (int row = messages->rowCount() - 1; row >= 0; --row) {
            if (MessageCell(0, row) != earlier || MessageCell(1, row) != result.file)
                continue;
            if (messages->rowCount() > 1) {
                messages->removeRow(row);
            } else {
                for (int column = 0; column < 3; ++column)
                    SetMessageCell(column, row, QString());
            }
            break;
        }
    }
    if (result.clean)
        return;
    const QString line = QString::number(result.line);
    const QString text = result.file + u'(' + line + QStringLiteral("): ") + result.message;
    AddMessageRows({{text, result.file, line}});
    m_lintRows.insert(result.file, text);
    ShowMessages();
}
