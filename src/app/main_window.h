#pragma once

#include "project/project.h"

#include <QHash>
#include <QMainWindow>

#include <memory>

class DebuggerController;
class DocumentController;
class FunctionListController;
class MessagesController;
class ProjectTreeController;
class PublishController;
class QAction;
class QKeyEvent;
class RunController;
class ServerController;
class SymbolController;
struct MainWindowUi;
struct SecondaryWindows;

// The workspace (object name `MainForm`): one editor, the project, the panels around the editor,
// the menus, the status line and two timers. It owns its controls, the project and one controller
// per concern; every handler keeps the name users, the test driver and the tests reach it by and
// hands over to its controller. A handler called without a sender is the program's own call and
// never prompts.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // `windows` are created after this window; the application fills them in.
    explicit MainWindow(const SecondaryWindows &windows, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The controls, to use but never to replace.
    const MainWindowUi &ui() const { return *m_ui; }
    Project &project() { return m_project; }
    // A menu item (main menu, hidden menu or popup) by its component name.
    QAction *item(const QString &name) const;
    // The controllers, for what has no handler of its own.
    DocumentController &documents() const;
    MessagesController &messagePanel() const;
    ProjectTreeController &projectTree() const;
    FunctionListController &functions() const;
    RunController &run() const;
    ServerController &server() const;
    PublishController &publishing() const;
    SymbolController &symbols() const;
    DebuggerController &debugger() const;
    // Window events, then documents, messages, project tree, preview and the rest.
    void FormCreate();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void AppEventsActivate();
    void UpdateStatusLine();
    void OpenFileAtLine(const QString &path, bool rememberCurrent);
    void UpdateCaption();
    void RecentFilesOpenFile(QObject *Sender, const QString &FileName);
    void ClearMessages();
    void AddMessage(const QString &text);
    void messagesDblClick(QObject *Sender);
    void messagesKeyDown(int key, Qt::KeyboardModifiers shift);
    void OpenProject(const QString &path);
    void OnProjectUpdateExecute();
    void PrTreeDblClick(QObject *Sender);
    void PrTreeKeyDown(int key, Qt::KeyboardModifiers shift);
    void ProjPopupPopup(QObject *Sender);
    void WebPanelURLChange(const QString &text);
    void CodeGridEnter(QObject *Sender);
    void CodeGridDblClick(QObject *Sender);
    void CodeGridKeyDown(int key, Qt::KeyboardModifiers shift);
    void CodeExplorerRefreshTimer(QObject *Sender);
    void completionShow(QObject *Sender);
    void completionChange(QObject *Sender, int index);
    void completionClose(QObject *Sender);
    void FTPWork(qint64 bytesSoFar);

public slots:
    // The menus' commands; the command table binds each to its item.
    void New2Click(QObject *Sender);
    void New1Click(QObject *Sender);
    void Open1Click(QObject *Sender);
    void Open2Click(QObject *Sender);
    void Close1Click(QObject *Sender);
    void SaveFileClick(QObject *Sender);
    void SavePrjClick(QObject *Sender);
    void Saveas2Click(QObject *Sender);
    void Saveas1Click(QObject *Sender);
    void Publish3Click(QObject *Sender);
    void Publish2Click(QObject *Sender);
    void PublishChanges1Click(QObject *Sender);
    void PublishPreview1Click(QObject *Sender);
    void Exit1Click(QObject *Sender);
    void EditCommandClick(QObject *Sender); // Undo, Copy, Toggle Comment and the rest alike
    void IndentCode1Click(QObject *Sender);
    void Find1Click(QObject *Sender);
    void Findinfiles1Click(QObject *Sender);
    void Searchagain1Click(QObject *Sender);
    void Replace1Click(QObject *Sender);
    void GotoLine1Click(QObject *Sender);
    void CodeExplorerClick(QObject *Sender);
    void pmitemClick(QObject *Sender);
    void WebPanel1Click(QObject *Sender);
    void LineNumbers1Click(QObject *Sender);
    void Colours1Click(QObject *Sender); // Automatic, Light and Dark alike
    void Files1Click(QObject *Sender);
    void Allfunctionlist1Click(QObject *Sender);
    void FunctionList1Click(QObject *Sender);
    void ProjectAddClick(QObject *Sender);
    void OpenFolder1Click(QObject *Sender);
    void AddFolder1Click(QObject *Sender);
    void RefreshFolder1Click(QObject *Sender);
    void QuickOpen1Click(QObject *Sender);
    void Publish1Click(QObject *Sender);
    void Run2Click(QObject *Sender);
    void RunwithoutDebuging1Click(QObject *Sender);
    void RunText1Click(QObject *Sender);
    void ServerLog1Click(QObject *Sender);
    void Debug1Click(QObject *Sender);
    void StepOver1Click(QObject *Sender);
    void StepInto1Click(QObject *Sender);
    void StepOut1Click(QObject *Sender);
    void RunToCursor1Click(QObject *Sender);
    void StopDebug1Click(QObject *Sender);
    void ToggleBreakpoint1Click(QObject *Sender);
    void BreakpointCondition1Click(QObject *Sender);
    void ListenDebugger1Click(QObject *Sender);
    void OptionsClick(QObject *Sender);
    void Run3Click(QObject *Sender);
    void cmd1Click(QObject *Sender);
    void Help2Click(QObject *Sender);
    void PHPnethelp1Click(QObject *Sender);
    void PHPnetOnline1Click(QObject *Sender);
    void WebSite1Click(QObject *Sender);
    void AboutClick(QObject *Sender);
    void WebPanelURL1Click(QObject *Sender);
    void Code1Click(QObject *Sender);
    void dontpublishClick(QObject *Sender);
    void removefromprojClick(QObject *Sender);
    void Rename1Click(QObject *Sender);
    void publishnowClick(QObject *Sender);
    void Adviser1Click(QObject *Sender);
    void GotoDefinition1Click(QObject *Sender);
    void NavigateBack1Click(QObject *Sender);
    void NavigateForward1Click(QObject *Sender);
    void GotoSymbol1Click(QObject *Sender);
    void FindReferences1Click(QObject *Sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildMenus();
    void bindEvents();
    // Saves what changed before the window closes; false to stay open.
    bool FormClose();
    // The command this key reaches over a menu's access key or a control's binding, if any.
    QAction *commandForMnemonicClash(const QKeyEvent *key) const;
    QAction *windowCommandFor(const QKeyEvent *key) const;

    Project m_project;
    const SecondaryWindows &m_windows;
    std::unique_ptr<MainWindowUi> m_ui;
    QHash<QString, QAction *> m_items;
    struct Controllers;
    std::unique_ptr<Controllers> m_controllers;
    bool m_firstActivation = true;
    bool m_closing = false;
    const QEvent *m_lastKey = nullptr;
};
