#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class BoolSetting;
class BrowserFrame;
class LocalPhpServer;
class MessagesController;
class Project;
class RunTextWindow;
class RunWindow;
class PhpLint;
struct PhpLintResult;

// The project's own PHP server and the syntax check on save: what Run and the
// preview need before they show or fetch the run address, our guidance page
// when nothing can serve it, the server's log, and the `php -l` rows of the
// messages panel. Owns the server (stopped with the controller, on another
// project, on New Project and when the option goes off) and the checker.
class ServerController final : public QObject {
    Q_OBJECT

public:
    // The run windows are made after the main window: the controller reads
    // their slots when it needs them. `messages` takes the php -l rows.
    ServerController(Project &project, BrowserFrame *preview, RunWindow *const &runWindow,
                     RunTextWindow *const &runTextWindow, MessagesController &messages);
    ~ServerController() override;

    // The switch of Environment Options that lets Run start PHP's server.
    static const BoolSetting &StartPhpServer();

    // Before the run address is shown or fetched: refuses what is not an
    // http or https address, and starts the project's own PHP server when the
    // address is on the loopback, nothing answers there and the switch is on.
    // Shows nothing; `served` false means nothing can serve the address.
    struct RunServing {
        bool served = false;
        QString problem; // why not, when there is more to say than "nothing answers"
    };
    RunServing ServeRunAddress(const QString &address);
    // Our page in a frame that says what to do about an address nothing serves.
    void ShowRunGuidance(BrowserFrame *frame, const QString &address, const QString &problem);
    // Run > Server Log: the own server's log, read into the text window.
    void ServerLog1Click(QObject *Sender);
    LocalPhpServer &PhpServer();
    // The server served the project that goes now.
    void StopServer();
    void ProjectLoaded();

    // After the user's save: `php -l` of a .php file in the background; a
    // parse error becomes a messages row with file and line, removed by a
    // clean check.
    void LintSavedFile(const QString &path);
    void PhpLintChecked(const PhpLintResult &result);
    PhpLint &Lint();
    // A row whose text is a `php -l` message rather than the line's own text.
    bool IsLintRow(const QString &file, const QString &text) const;

private:
    // The gate and the failure page of a frame that shows the run address.
    void installGate(BrowserFrame *frame);
    // The guidance page for an address, with the project's folder and the log.
    QString guidancePage(const QString &address, const QString &problem);

    Project &m_project;
    BrowserFrame *m_preview;
    RunWindow *const &m_runWindow;
    RunTextWindow *const &m_runTextWindow;
    MessagesController &m_messages;
    std::unique_ptr<LocalPhpServer> m_phpServer;
    PhpLint *m_lint = nullptr;
    QHash<QString, QString> m_lintRows; // file -> text of its php -l row
    bool m_runWindowGated = false;
};
