#include "app/main_window.h"

#include "app/command_table.h"
#include "app/completion_controller.h"
#include "app/debugger_controller.h"
#include "app/desktop.h"
#include "app/document_controller.h"
#include "app/editor_view_controller.h"
#include "app/function_list_controller.h"
#include "app/main_window_ui.h"
#include "app/menu_items.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "app/open_progress.h"
#include "app/project_tree_controller.h"
#include "app/publish_controller.h"
#include "app/quick_open.h"
#include "app/run_controller.h"
#include "app/search_controller.h"
#include "app/server_controller.h"
#include "app/symbol_controller.h"
#include "app/syntax_check_controller.h"
#include "app/test_driver.h"
#include "app/window_set.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/about_dialog.h"
#include "forms/browser_frame.h"
#include "forms/debug_panels.h"
#include "forms/environment_options_dialog.h"
#include "forms/help_window.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/switches.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {
// The one stored preference of the Environment Options dialog.
const BoolSetting ActivateOnReturn(QStringLiteral("ActivateOnReturn"), QStringLiteral("1"));
} // namespace

// One controller per concern, each built from the controls, secondary windows
// and services it uses, after the controls and menus exist. A controller that
// must tell another something emits a signal connected here, or calls what it
// was handed here where it needs an answer or the failure; none reaches back
// into the window.
struct MainWindow::Controllers {
    Controllers(MainWindow &w, Project &p, const MainWindowUi &ui, const SecondaryWindows &s)
        : documents(p, ui.re, ui.documentTabs, ui.WebPanel, &w,
                    w.item(QStringLiteral("RecentFiles1"))),
          messages(
              p, ui.messages, ui.centre, ui.messagessplitter, ui.re,
              [this](const QString &file, const QString &text) {
                  return server.IsLintRow(file, text);
              },
              openFile()),
          projectTree(p,
                      {ui.PrTree, ui.PrPanel, ui.PrFilter, ui.ProjPopup, ui.re, ui.StatusPanel1,
                       ui.WebPanel, ui.recentFiles, &w},
                      MenuItems(w.m_items), documents, s.projectFilesDialog),
          search(p, ui.re, ui.findBar, ui.messages, messages, &w),
          functions(p, ui.re,
                    {ui.CodeGrid, ui.CodeSplitter, ui.CodeExplorerRefresh,
                     w.item(QStringLiteral("CodeExplorer"))},
                    s.projectFunctionsDialog, s.fileFunctionsDialog, openFile()),
          completion(
              ui.re, ui.completion, ui.StatusPanel1, &w, s.adviceWindow, s.onlineManualWindow,
              [this](const QString &tokenEnds) { return symbols.completionAtCaret(tokenEnds); }),
          run(
              p, {&w, ui.re, ui.StatusPanel1, ui.WebPanel, ui.WebPanelSplit},
              {s.runWindow, s.runTextWindow, s.databaseAdminWindow}, messages, server,
              [this] {
                  projectTree.SavePrjClick(nullptr);
                  documents.SaveFileClick(nullptr);
              },
              openFile()),
          publish(p, {ui.ftppanel, ui.ftplog, ui.ftpprogress, ui.StatusPanel1, ui.WebPanel},
                  {s.projectOptionsDialog, s.publishPreviewDialog},
                  {[this] { return run.LastReportedFile(); },
                   [this] { documents.SaveFileClick(nullptr); },
                   [this] { return projectTree.SelectedNode(); },
                   [this] { return projectTree.SelectedEntries(); }}),
          editorView(MenuItems(w.m_items), ui.re,
                     {ui.StatusColumn, ui.StatusEncoding, ui.StatusLineEnds, ui.StatusOverwrite}),
          server(p, ui.WebPanel, s.runWindow, s.runTextWindow, messages),
          symbols(ui.re, ui.StatusPanel1), panels(new DebugPanels(&w)),
          debugger(p, *ui.re, *panels, server.PhpServer(), *ui.WebPanel),
          syntax(ui.re, ui.StatusPanel1), targets{w,       documents,  messages,   projectTree,
                                                  search,  functions,  completion, run,
                                                  publish, editorView, server,     symbols,
                                                  debugger},
          quickOpen(new QuickOpen(p, &w))
    {
        w.addDockWidget(Qt::BottomDockWidgetArea, panels);
        panels->hide();
        // A stop shows its file through the one way files are opened.
        connect(&debugger, &DebuggerController::showFileAtLine, &w,
                [this, &p, &ui](const QString &path, int line) {
                    if (p.OpenedFile != path)
                        documents.OpenFileAtLine(path, true);
                    ui.re->setCaretLine(line);
                });
        connect(&debugger, &DebuggerController::listeningChanged, &w, [&w](bool listening) {
            w.item(QStringLiteral("ListenDebugger1"))->setChecked(listening);
        });
        // The user's saves of PHP files are checked with php -l.
        connect(&documents, &DocumentController::savedByUser, &server,
                &ServerController::LintSavedFile);
        // The caption's "*" comes and goes with unsaved changes.
        connect(ui.re, &CodeEditor::modifiedChanged, &documents, &DocumentController::ShowModified);
        // Rows of another command replace a search's: it has nowhere to go on.
        connect(&messages, &MessagesController::cleared, &search, &SearchController::CancelSearch);
        // The symbol index reads saved files again and opens the places it finds.
        connect(&documents, &DocumentController::savedByUser, &symbols,
                &SymbolController::fileSaved);
        // Edits of the document left and not yet indexed are, before it goes.
        // A document left unedited since it was last indexed here is not
        // read again: on a large file that read was most of a tab switch.
        auto indexedAt = std::make_shared<QHash<QString, quint64>>();
        connect(ui.re, &CodeEditor::aboutToSwitchDocument, &symbols, [this, &ui, indexedAt] {
            const QString path = ui.re->filePath();
            const quint64 change = ui.re->changeCount();
            const auto known = indexedAt->constFind(path);
            if (!ui.re->isDocumentModified() && known != indexedAt->cend() && *known == change)
                return;
            symbols.index();
            indexedAt->insert(path, change);
        });
        functions.useSymbols(&symbols); // a large document's outline from the index
        // Indexing the whole project waits while a publish runs.
        connect(&publish, &PublishController::publishStarted, &symbols,
                [this] { symbols.holdBuilds(true); });
        connect(&publish, &PublishController::publishEnded, &symbols,
                [this] { symbols.holdBuilds(false); });
        connect(&documents, &DocumentController::revealInTree, &projectTree,
                &ProjectTreeController::RevealFile);
        connect(&symbols, &SymbolController::openFileRequested, &documents,
                [this](const QString &path) { documents.OpenFileAtLine(path, true); });
        connect(&documents, &DocumentController::openProjectRequested, &projectTree,
                &ProjectTreeController::OpenProject);
        connect(&documents, &DocumentController::savedForPreview, &run,
                &RunController::ReloadPreviewAfterSave);
        // The own PHP server serves one project's folder.
        connect(&projectTree, &ProjectTreeController::projectLoaded, &server,
                &ServerController::ProjectLoaded);
        connect(&projectTree, &ProjectTreeController::projectLeaving, &server,
                &ServerController::StopServer);
        // The tree follows the document being edited.
        connect(&documents, &DocumentController::documentShown, &projectTree,
                &ProjectTreeController::ShowDocument);
        connect(quickOpen, &QuickOpen::chosen, &documents, [this, &ui](const QString &path) {
            RunGuarded([&] { documents.OpenFileAtLine(path, true); });
            ui.re->takeFocus();
        });
        // An open that takes a while shows a bar with Cancel.
        ui.re->setLoadProgress((new OpenProgress(&w))->callback());
    }
    // How the other controllers open a file: as the user's open does.
    OpenFile openFile()
    {
        return [this](const QString &path) { documents.OpenFileAtLine(path, true); };
    }
    DocumentController documents;
    MessagesController messages;
    ProjectTreeController projectTree;
    SearchController search;
    FunctionListController functions;
    CompletionController completion;
    RunController run;
    PublishController publish;
    EditorViewController editorView;
    ServerController server;
    SymbolController symbols;
    DebugPanels *panels;
    DebuggerController debugger;
    // After the debugger: it shares the markers' margin the debugger sets up.
    SyntaxCheckController syntax;
    CommandTargets targets;
    QuickOpen *quickOpen;
};

MainWindow::MainWindow(const SecondaryWindows &windows, QWidget *parent)
    : QMainWindow(parent), m_windows(windows), m_ui(std::make_unique<MainWindowUi>())
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(ApplicationTitle());
    resize(540, 560);
    m_ui->build(this);
    buildMenus();
    m_ui->recentFiles = new RecentFiles(this);
    m_ui->recentFiles->SetMenuItem(item(QStringLiteral("Reopen1")));
    m_ui->recentFiles->OnOpenFile = [this](QObject *sender, const QString &name) {
        RunGuarded(
            [this, sender, name] { m_controllers->documents.RecentFilesOpenFile(sender, name); });
    };
    m_controllers = std::make_unique<Controllers>(*this, m_project, *m_ui, m_windows);
    BindCommands(m_items, m_controllers->targets);
    bindEvents();
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive && isVisible())
            RunGuarded([this] { AppEventsActivate(); });
    });
    FormCreate();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

// clang-format off
// One line each: the accessors and the handlers' forwards read as tables.
DocumentController &MainWindow::documents() const { return m_controllers->documents; }
MessagesController &MainWindow::messagePanel() const { return m_controllers->messages; }
ProjectTreeController &MainWindow::projectTree() const { return m_controllers->projectTree; }
FunctionListController &MainWindow::functions() const { return m_controllers->functions; }
RunController &MainWindow::run() const { return m_controllers->run; }
PublishController &MainWindow::publishing() const { return m_controllers->publish; }
ServerController &MainWindow::server() const { return m_controllers->server; }
SymbolController &MainWindow::symbols() const { return m_controllers->symbols; }
DebuggerController &MainWindow::debugger() const { return m_controllers->debugger; }
// clang-format on

void MainWindow::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    const BuiltCommands built = BuildCommands(*this, menuBar(), m_ui->PrTree, m_ui->re);
    m_items = built.items;
    m_ui->ProjPopup = built.menus.value(QStringLiteral("ProjPopup"));
    m_ui->EdPopup = built.menus.value(QStringLiteral("EdPopup"));
    // A menu command no item reaches is a mistake in the table, found at once.
    if (const QStringList unbound = UnboundHandlers(staticMetaObject); !unbound.isEmpty())
        qFatal("Menu handlers without an item: %s", qPrintable(unbound.join(QStringLiteral(", "))));
    m_ui->PrTree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_ui->re->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->re, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { m_ui->EdPopup->popup(m_ui->re->mapToGlobal(at)); });
}

void MainWindow::bindEvents()
{
    const auto refresh = [this] { RunGuarded([this] { UpdateStatusLine(); }); };
    for (CodeEditor *editor : {m_ui->re, m_ui->temp_re}) {
        // The hidden reading editor shares every handler but the key ones.
        if (editor == m_ui->re) {
            connect(editor, &CodeEditor::keyDown, this, refresh);
            connect(editor, &CodeEditor::keyUp, this, refresh);
            // Caret moves by mouse or by the program, overwrite and encoding.
            connect(editor, &CodeEditor::statusChanged, this, refresh);
        }
        connect(editor, &CodeEditor::keyPressed, this, refresh);
        connect(editor, &CodeEditor::documentChanged, this, refresh);
        connect(editor, &CodeEditor::commandProcessed, this, [refresh](int command) {
            if (command >= CodeEditor::CmdLeft && command <= CodeEditor::CmdPageRight)
                refresh();
        });
    }
    connect(m_ui->StatusRefr, &QTimer::timeout, this, refresh);
    m_ui->StatusRefr->start();
    m_ui->CodeExplorerRefresh->start();
}

QAction *MainWindow::item(const QString &name) const
{
    return m_items.value(name.toLower());
}

void MainWindow::FormCreate()
{
    m_ui->StatusPanel1->clear();
    m_project.OnProjectUpdate.bind([this](QObject *) { OnProjectUpdateExecute(); });
    m_project.OnLoaded.bind([this](QObject *) {
        m_controllers->projectTree.OnLoadedExecute();
        m_controllers->debugger.ProjectLoaded();
    });
    m_controllers->messages.ClearMessages();
    m_ui->StatusPanel1->clear();
    m_project.OnWorkspaceLog.bind(
        [this](QObject *) { m_controllers->publish.WorkspaceLogExecute(); });
    m_project.OnPublishProgress.bind(
        [this](QObject *) { m_controllers->publish.PublishProgressExecute(); });
    UpdateStatusLine();
}

void MainWindow::UpdateStatusLine()
{
    m_ui->StatusPanel0->setText(QStringLiteral("ln ") + QString::number(m_ui->re->caretLine()));
    if (m_controllers)
        m_controllers->editorView.UpdateEditorStatus();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees keys before the focused control does. A key that the
    // focused control leaves unhandled travels up through its parents as the
    // same event; act on it once, at its first receiver.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        // A command's own shortcut wins over a menu's access key (Alt+R runs,
        // it does not open the Run menu); Qt would call the pair ambiguous.
        auto *widget = qobject_cast<QWidget *>(watched);
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ours =
            widget && widget->window() == this && !m_ui->WebPanel->isAncestorOf(widget);
        if (ours && (key->modifiers() & Qt::AltModifier)) {
            if (QAction *command = commandForMnemonicClash(key)) {
                event->accept();
                if (event->type() == QEvent::KeyPress)
                    command->trigger();
                return true;
            }
        }
        // The window's shortcuts win over a control's own key bindings (the
        // editor would cut the line on Ctrl+L): the control does not claim them.
        if (ours && event->type() == QEvent::ShortcutOverride && windowCommandFor(key)) {
            event->ignore();
            return true;
        }
    }
    if (event->type() == QEvent::KeyRelease) {
        m_lastKey = nullptr;
    } else if (event->type() == QEvent::KeyPress && event != m_lastKey) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            m_lastKey = event;
            auto *key = static_cast<QKeyEvent *>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (key->key() == Qt::Key_Escape) {
                RunGuarded([this, key] { FormKeyDown(key->key(), key->modifiers()); });
            } else if (enter &&
                       (widget == m_ui->messages || m_ui->messages->isAncestorOf(widget))) {
                RunGuarded([this, key] {
                    m_controllers->messages.messagesKeyDown(key->key(), key->modifiers());
                });
                return true;
            } else if (enter && (widget == m_ui->PrTree || m_ui->PrTree->isAncestorOf(widget))) {
                RunGuarded([this, key] {
                    m_controllers->projectTree.PrTreeKeyDown(key->key(), key->modifiers());
                });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QAction *MainWindow::commandForMnemonicClash(const QKeyEvent *key) const
{
    const QKeySequence pressed(key->keyCombination());
    for (QAction *opener : menuBar()->actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(opener->text());
        if (mnemonic.isEmpty() || mnemonic != pressed || !opener->isVisible())
            continue;
        for (QAction *command : m_items) {
            if (command->shortcut() == pressed && command->isEnabled() && !command->menu())
                return command;
        }
    }
    return nullptr;
}

QAction *MainWindow::windowCommandFor(const QKeyEvent *key) const
{
    const QKeySequence pressed(key->keyCombination());
    for (QAction *command : m_items) {
        if (command->shortcuts().contains(pressed) &&
            command->shortcutContext() == Qt::WindowShortcut && command->isEnabled() &&
            command->isVisible() && !command->menu())
            return command;
    }
    return nullptr;
}

void MainWindow::FormKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Escape)
        return;
    // Escape stops a running Find in Files first.
    if (m_controllers->search.CancelSearch())
        return;
    if (m_ui->messages->isVisible()) {
        m_controllers->messages.HideMessages();
        m_ui->re->takeFocus();
        return;
    }
    if (HasSwitch(QStringLiteral("ide")))
        close();
    // An empty panel would only hide part of the editor.
    if (m_controllers->messages.HasMessages())
        m_controllers->messages.ShowMessages();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_firstActivation)
        return;
    // Ask for the focus; where the window system grants it, the activation
    // arrives as a state change. Where it never comes (a display without a
    // window manager, focus-stealing prevention) the first activation still
    // runs once the window is up, as the user expects of a fresh start.
    activateWindow();
    QTimer::singleShot(0, this, [this] {
        if (m_firstActivation)
            RunGuarded([this] { AppEventsActivate(); });
    });
}

void MainWindow::AppEventsActivate()
{
    m_controllers->documents.CheckExternalModification();
    if (!m_firstActivation)
        return;
    m_firstActivation = false;

    const QStringList parameters = ProgramParameters();
    if (parameters.size() > 1 && QFileInfo(parameters.at(1)).isFile()) {
        // Later saves must not depend on the current folder, which Console changes.
        const QString path = QFileInfo(parameters.at(1)).absoluteFilePath();
        const QString name = QFileInfo(path).fileName();
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0 && name.mid(dot) == QLatin1String(".wdx")) {
            // The window answers while a large project is read; the rest of
            // the start follows once it is in.
            m_controllers->projectTree.OpenProjectInBackground(path, [this] {
                // Started on a project another window has: that window is the one to use.
                if (m_controllers->projectTree.gaveWay())
                    QTimer::singleShot(0, this, &QWidget::close);
                else
                    finishFirstActivation();
            });
            return;
        }
        m_controllers->documents.OpenFileAtLine(path, true);
    } else if (parameters.size() > 1 && QFileInfo(parameters.at(1)).isDir()) {
        // A folder is opened as a project, as editors started on "." do.
        m_controllers->projectTree.OpenFolderAsProject(parameters.at(1));
        if (m_controllers->projectTree.gaveWay()) {
            QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
    }
    finishFirstActivation();
}

void MainWindow::finishFirstActivation()
{
    item(QStringLiteral("pmitem"))->setChecked(true);
    m_controllers->projectTree.pmitemClick(nullptr);
    m_controllers->documents.OfferRecovery();
    if (HasSwitch(QStringLiteral("address")))
        m_project.RunAddress = SwitchValue(QStringLiteral("address"));
    if (HasSwitch(QStringLiteral("run")))
        handle(QStringLiteral("Run2Click"));
    if (HasSwitch(QStringLiteral("allfunctions")))
        m_controllers->functions.Allfunctionlist1Click(nullptr);
    if (HasSwitch(QStringLiteral("advise")))
        m_controllers->completion.ShowAdviceModal();
    if (HasSwitch(QStringLiteral("publish")))
        m_controllers->publish.Publish1Click(nullptr);
    // Test commands reach the buttons of the other windows as well.
    RunTestCommands(QList<QWidget *>{this} + m_windows.all(),
                    [this] { return m_controllers->publish.isPublishing(); });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing || FormClose()) {
        m_closing = true;
        event->accept();
    } else {
        event->ignore();
    }
}

bool MainWindow::FormClose()
{
    if (!m_controllers->publish.SettleForExit())
        return false;
    // Only what changed is written, so a read-only or vanished project that
    // was only read never holds the user in. A save that fails says why and
    // lets the user leave without it (the default: the project holds lines
    // and settings, not the user's text) or stay to rescue it.
    try {
        m_controllers->projectTree.SavePrjClick(nullptr);
    } catch (...) {
        const int answer = Dialogs().askChoice(
            QStringLiteral("Cannot save"),
            QStringLiteral(
                "The project %1 could not be saved:\n%2\n\nQuit without saving it, or stay?")
                .arg(m_project.FileName, exceptionMessage(std::current_exception())),
            {QStringLiteral("&Stay"), QStringLiteral("&Quit without saving")});
        if (answer == 0)
            return false;
    }
    return m_controllers->documents.SettleForExit();
}

void MainWindow::Exit1Click(QObject *)
{
    close();
}

void MainWindow::AboutClick(QObject *)
{
    Dialogs().showModal(m_windows.aboutDialog);
}

void MainWindow::OptionsClick(QObject *)
{
    EnvironmentOptionsDialog *form = m_windows.environmentOptionsDialog;
    form->setActivateOnReturn(ActivateOnReturn.ReadBool());
    form->setStartPhpServer(ServerController::StartPhpServer().ReadBool());
    form->setSaveOnLeave(DocumentController::SaveOnLeave().ReadBool());
    if (Dialogs().showModal(form) == QDialog::Accepted) {
        ActivateOnReturn.WriteBool(form->activateOnReturn());
        ServerController::StartPhpServer().WriteBool(form->startPhpServer());
        DocumentController::SaveOnLeave().WriteBool(form->saveOnLeave());
        // Switched off: the user's own server takes the port from now on.
        if (!form->startPhpServer())
            m_controllers->server.StopServer();
    }
}

void MainWindow::Help2Click(QObject *)
{
    m_windows.helpWindow->loadHelpIfNeeded(QCoreApplication::applicationDirPath());
    Dialogs().showModal(m_windows.helpWindow);
}

void MainWindow::WebSite1Click(QObject *)
{
    ProgramDesktop().openUrl(QStringLiteral("https://quillstone.org/?call=fromapp"));
}

void MainWindow::cmd1Click(QObject *)
{
    QString folder;
    if (!m_project.FileName.isEmpty())
        folder = QFileInfo(m_project.FileName).absolutePath();
    // Without a project file the terminal starts in the current folder.
    if (!folder.isEmpty() && !QDir::setCurrent(folder))
        folder.clear();
    ProgramDesktop().startTerminal(folder);
}

void MainWindow::Code1Click(QObject *)
{
    m_ui->re->takeFocus();
}

void MainWindow::QuickOpen1Click(QObject *)
{
    m_controllers->quickOpen->popUp(m_ui->editorPane);
}

void MainWindow::handle(const QString &handlerName, QObject *Sender)
{
    RunCommandHandler(m_controllers->targets, handlerName, Sender);
}

void MainWindow::OnProjectUpdateExecute()
{
    m_controllers->projectTree.OnProjectUpdateExecute();
    QStringList files;
    m_project.ListFileNames(files);
    m_controllers->symbols.setProjectFiles(files);
}
