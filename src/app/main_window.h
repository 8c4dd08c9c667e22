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
struct CommandTargets;
struct MainWindowUi;
struct SecondaryWindows;

// The workspace (object name `MainForm`): one editor, the project, the panels around the editor,
// the menus, the status line and two timers. It owns its controls, the project and one controller
// per concern; the command table binds each menu item straight to the method that does its work,
// and the handler names users, the test driver and the tests reach it by stay as they are. A
// handler called without a sender is the program's own call and never prompts.
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
    // Runs the command handler of this name (`SaveFileClick`, `Run2Click` …)
    // as its menu item does, without the guard: the caller sees what it throws.
    void handle(const QString &handlerName, QObject *Sender = nullptr);
    // Window events.
    void FormCreate();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void AppEventsActivate();
    void UpdateStatusLine();
    // The project's file list changed: the tree and the symbol index follow it.
    void OnProjectUpdateExecute();

public slots:
    // The window's own commands; the command table binds the others straight
    // to their controllers.
    void Exit1Click(QObject *Sender);
    void OptionsClick(QObject *Sender);
    void cmd1Click(QObject *Sender);
    void Help2Click(QObject *Sender);
    void WebSite1Click(QObject *Sender);
    void AboutClick(QObject *Sender);
    void Code1Click(QObject *Sender);

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
