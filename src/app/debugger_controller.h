#pragma once

#include "net/dbgp_client.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class BrowserFrame;
class CodeEditor;
class DebugPanels;
class LocalPhpServer;
class Project;
class QPoint;
class QTreeWidgetItem;
struct DbgpProperty;

// Step debugging with Xdebug: Debug starts the project's own PHP server with
// Xdebug loaded for it alone and a listener on a free port, and asks for the
// run address in the preview; Listen for Debugger waits on the project's port
// for a server elsewhere. Owns the listener, the breakpoints' markers in the
// editor (the breakpoints themselves live in the project) and what the panels
// show. It works on the project, the editor, the panels, the own PHP server
// and the preview only; the window shows a stopped file through
// showFileAtLine.
class DebuggerController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DebuggerController)

public:
    DebuggerController(Project &project, CodeEditor &editor, DebugPanels &panels,
                       LocalPhpServer &server, BrowserFrame &preview, QObject *parent = nullptr);
    ~DebuggerController() override;

    void Debug1Click(QObject *Sender); // F5: start, or continue when stopped
    void ListenDebugger1Click(QObject *Sender);
    void ToggleBreakpoint1Click(QObject *Sender); // F9 on the caret's line
    void BreakpointCondition1Click(QObject *Sender);
    void StepOver1Click(QObject *Sender);
    void StepInto1Click(QObject *Sender);
    void StepOut1Click(QObject *Sender);
    void RunToCursor1Click(QObject *Sender);
    void StopDebug1Click(QObject *Sender);

    // The project changed: markers for its breakpoints, no session.
    void ProjectLoaded();
    bool isStopped() const { return m_stopped; }
    bool isDebugging() const { return m_listener.isListening(); }
    // The "php" asked whether Xdebug loads; tests point it elsewhere.
    void setPhpProgram(const QString &program) { m_php = program; }

signals:
    // Make `path` the current document with the caret on `line` (1-based).
    void showFileAtLine(const QString &path, int line);
    void listeningChanged(bool listening);

private:
    bool xdebugAvailable(QString &problem);
    void startDebugging();
    void onSession(DbgpSession *session);
    void onStatus(const DbgpStatus &status);
    void onSessionEnded(const QString &reason);
    void go(const QString &how);
    void showFrame(int depth);
    void fillProperty(QTreeWidgetItem *item, const DbgpProperty &property);
    void loadChildren(QTreeWidgetItem *item);
    void refreshWatches();
    void maxDepth(int depth);
    void showHoverValue(int position, const QPoint &at);
    void clearStopped();

    // Breakpoints: markers of the shown file, the engine's ids.
    void toggleBreakpoint(int line);
    void preloadIfDebuggingIsLikely();
    void placeMarkers();
    void readMarkerLines();
    void afterEditorChange();
    void syncEngineBreakpoints();
    QString breakpointKey(int index) const;

    Project &m_project;
    CodeEditor &m_editor;
    DebugPanels &m_panels;
    LocalPhpServer &m_server;
    BrowserFrame &m_preview;
    DbgpListener m_listener;
    QPointer<DbgpSession> m_session;
    DbgpPathMap m_paths;
    QString m_php = QStringLiteral("php");
    bool m_xdebugChecked = false;
    bool m_ownServer = false; // the listener serves our own PHP server's Xdebug
    bool m_stopped = false;
    QString m_stoppedFile;
    int m_stoppedLine = 0;
    int m_currentHandle = -1;
    QString m_shownFile;                 // the file whose markers the editor shows
    QList<int> m_handles;                // per breakpoint: its marker, -1 when not shown
    QHash<QString, QString> m_engineIds; // breakpoint key -> the engine's id
    QList<DbgpStackFrame> m_frames;
    int m_depth = 0;      // the frame whose variables the panel shows
    int m_generation = 0; // counts the stops and frames shown; late replies are dropped
    bool m_syncQueued = false;
    int m_maxDepth = -1; // as last told to the engine
};
