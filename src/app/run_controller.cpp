// The run commands: save, make sure something serves the run address (the
// server controller may start PHP's own server), fetch it, and either land on
// the first PHP error of the page or show the page in the Run window. The web
// preview panel and the windows that show pages: the preview follows the run
// address, reloads after the user's saves, and phpMyAdmin keeps the database
// address.
#include "app/run_controller.h"

#include "app/document_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/project_tree_controller.h"
#include "app/server_controller.h"
#include "app/window_set.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/database_admin_window.h"
#include "forms/run_text_window.h"
#include "forms/run_window.h"
#include "foundation/handler_guard.h"
#include "foundation/http_client.h"
#include "foundation/user_dialogs.h"
#include "net/curl_http_client.h"
#include "project/php_error.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace {
// Calls `onEscape` for an Escape pressed anywhere in the program while it lives.
class EscapeWatch final : public QObject {
public:
    explicit EscapeWatch(std::function<void()> onEscape) : m_onEscape(std::move(onEscape))
    {
        qApp->installEventFilter(this);
    }
    ~EscapeWatch() override { qApp->removeEventFilter(this); }
    Q_DISABLE_COPY_MOVE(EscapeWatch)

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent *>(event)->key() != Qt::Key_Escape)
            return false;
        m_onEscape();
        return true;
    }

private:
    std::function<void()> m_onEscape;
};
} // namespace

RunController::RunController(MainWindow &window, Project &project, const MainWindowUi &ui,
                             const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    connect(m_ui.WebPanel, &BrowserFrame::urlChanged, this,
            [this](const QString &text) { RunGuarded([this, text] { WebPanelURLChange(text); }); });
}

RunController::~RunController() = default;

HttpClient &RunController::Http()
{
    if (!m_http)
        m_http = std::make_unique<CurlHttpClient>();
    return *m_http;
}

void RunController::Run2Click(QObject *Sender)
{
    if (m_fetching)
        return; // the run before is still waiting for its page
    m_window.projectTree().SavePrjClick(nullptr);
    m_window.documents().SaveFileClick(nullptr);

    BrowserFrame *runFrame = m_windows.runWindow->frame_browser1;
    runFrame->setUrlText(m_project.RunAddress);
    // Only what a web server can serve is shown or fetched; the project's own
    // PHP server is started here when it is needed. The user's command says
    // why not in a box; otherwise the Run window shows what to do.
    const ServerController::RunServing serving =
        m_window.server().ServeRunAddress(m_project.RunAddress);
    if (!serving.served) {
        if (Sender && !serving.problem.isEmpty()) {
            Dialogs().showMessage(serving.problem);
            return;
        }
        m_window.server().ShowRunGuidance(runFrame, m_project.RunAddress, serving.problem);
    } else if (m_project.RunAddress == m_previousRunAddress) {
        runFrame->reload();
    } else {
        runFrame->navigate(m_project.RunAddress);
    }
    m_previousRunAddress = m_project.RunAddress;
    m_window.messagePanel().ClearMessages();

    QString page;
    if (Sender && serving.served && !fetchPage(runFrame->urlText(), page))
        return;

    PhpErrorCapture capture = CapturePhpError(page);
    if (capture.found) {
        m_lastReportedFile = capture.file;
        // PHP names files by their real paths; the project may know them
        // through a linked folder.
        capture.file = ProjectPathOfReported(capture.file, m_project);
        m_window.messagePanel().AddMessage(capture.messageRow());
        m_window.messagePanel().ShowMessages();
        if (QFileInfo(capture.file).isFile()) {
            m_window.documents().OpenFileAtLine(capture.file, true);
            // Past the line first, so the error line shows with what follows it.
            m_ui.re->setCaretLine(capture.lineNumber() + 18);
            m_ui.re->setCaretLine(capture.lineNumber());
        }
        return;
    }

    m_window.messagePanel().HideMessages();
    if (serving.served)
        runFrame->navigate(runFrame->urlText());
    Dialogs().showModal(m_windows.runWindow);
    m_project.RunAddress = runFrame->urlText();
    m_ui.WebPanel->setUrlText(m_project.RunAddress);
}

bool RunController::fetchPage(const QString &url, QString &page)
{
    // The fetch runs on a thread of its own while the window goes on; the
    // run's own commands wait for it, Escape (or closing the window) ends it.
    if (m_fetching)
        return false;
    HttpClient &client = Http();
    m_fetching = true;
    std::atomic<bool> done{false};
    bool cancelled = false;
    QString fetched;
    std::thread worker([&] {
        try {
            fetched = client.get(url);
        } catch (...) {
            // A failed fetch gives an empty page, as it always has.
        }
        done.store(true);
    });
    m_ui.StatusPanel1->setText(QStringLiteral("Fetching %1 ... (Escape cancels)").arg(url));
    QEventLoop loop;
    EscapeWatch escape([&] {
        cancelled = true;
        client.cancel();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!m_window.isVisible() && !cancelled) {
            cancelled = true;
            client.cancel();
        }
        if (done.load())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    worker.join();
    m_fetching = false;
    m_ui.StatusPanel1->setText(cancelled ? QStringLiteral("Run cancelled") : QString());
    if (cancelled)
        return false;
    page = std::move(fetched);
    return true;
}

void RunController::RunwithoutDebuging1Click(QObject *)
{
    Run2Click(nullptr);
}

void RunController::RunText1Click(QObject *)
{
    if (m_fetching)
        return;
    m_window.projectTree().SavePrjClick(nullptr);
    m_window.documents().SaveFileClick(nullptr);
    BrowserFrame *runFrame = m_windows.runWindow->frame_browser1;
    runFrame->setUrlText(m_project.RunAddress);
    const ServerController::RunServing serving =
        m_window.server().ServeRunAddress(m_project.RunAddress);
    if (!serving.served && !serving.problem.isEmpty()) {
        Dialogs().showMessage(serving.problem);
        return;
    }
    m_window.messagePanel().ClearMessages();
    QString page;
    if (serving.served && !fetchPage(runFrame->urlText(), page))
        return;
    m_windows.runTextWindow->setText(page);
    Dialogs().showModal(m_windows.runTextWindow);
}

void RunController::WebPanel1Click(QObject *)
{
    const bool show = !m_ui.WebPanel->isVisible();
    m_ui.WebPanel->setVisible(show);
    m_ui.WebPanelSplit->setVisible(show);
}

void RunController::WebPanelURL1Click(QObject *)
{
    if (m_ui.WebPanel->isVisible())
        m_ui.WebPanel->focusUrl();
}

void RunController::WebPanelURLChange(const QString &text)
{
    m_project.RunAddress = text;
}

void RunController::ReloadPreviewAfterSave()
{
    const QString address = m_ui.WebPanel->urlText();
    // When nothing serves the address the preview shows what to do instead.
    if (m_ui.WebPanel->navigate(address) && address == m_previousPreviewAddress)
        m_ui.WebPanel->reload();
    m_previousPreviewAddress = address;
    m_project.RunAddress = address;
    m_windows.runWindow->frame_browser1->setUrlText(m_project.RunAddress);
}

void RunController::Run3Click(QObject *)
{
    DatabaseAdminWindow *form = m_windows.databaseAdminWindow;
    form->frame_browser1->setUrlText(m_project.DatabaseAddress);
    Dialogs().showModal(form);
    m_project.DatabaseAddress = form->frame_browser1->urlText();
}
