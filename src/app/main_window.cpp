#include "app/main_window.h"

#include "app/window_set.h"
#include "app/desktop.h"
#include "foundation/handler_guard.h"
#include "app/command_table.h"
#include "app/messages_grid.h"
#include "app/test_driver.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/about_dialog.h"
#include "forms/help_window.h"
#include "forms/environment_options_dialog.h"
#include "foundation/settings.h"
#include "foundation/switches.h"
#include "foundation/trace.h"
#include "foundation/http_client.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// The one stored preference of the Environment Options dialog.
const BoolSetting ActivateOnReturn(QStringLiteral("ActivateOnReturn"), QStringLiteral("1"));

QTableWidget *makeGrid(QWidget *parent, const QString &name, int columns)
{
    auto *grid = new QTableWidget(0, columns, parent);
    grid->setObjectName(name);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->hide();
    grid->setShowGrid(false);
    grid->setFrameShape(QFrame::NoFrame);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->verticalHeader()->setDefaultSectionSize(18);
    grid->setWordWrap(false);
    return grid;
}
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(ApplicationTitle());
    resize(540, 560);
    buildControls();
    buildMenus();
    recentFiles = new RecentFiles(this);
    recentFiles->SetMenuItem(item(QStringLiteral("Reopen1")));
    recentFiles->OnOpenFile = [this](QObject *sender, const QString &name) {
        RunGuarded([this, sender, name] { RecentFilesOpenFile(sender, name); });
    };
    bindHandlers();
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

void MainWindow::buildControls()
{
    // Centre: the editor over the messages grid; the hidden reading editor.
    m_centre = new QSplitter(Qt::Vertical);
    m_centre->setObjectName(QStringLiteral("centre"));
    m_centre->setChildrenCollapsible(false);
    re = new CodeEditor(m_centre);
    re->setObjectName(QStringLiteral("re"));
    re->applyDocumentSettings();
    re->setColouring(CodeEditor::Colouring::Php);
    messages = new MessagesGrid(m_centre);
    messages->setObjectName(QStringLiteral("messages"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(10);
    messages->setFont(mono);
    m_centre->addWidget(re);
    m_centre->addWidget(messages);
    m_centre->setHandleWidth(3);
    messagessplitter = m_centre->handle(1);
    messagessplitter->setObjectName(QStringLiteral("messagessplitter"));
    messages->setMinimumHeight(40);
    m_centre->setSizes({400, 81});
    messages->hide();

    temp_re = new CodeEditor(this);
    temp_re->setObjectName(QStringLiteral("temp_re"));
    temp_re->applyDocumentSettings();
    temp_re->setColouring(CodeEditor::Colouring::Php);
    temp_re->hide();

    // Left code explorer, centre, right project tree.
    auto *middle = new QSplitter(Qt::Horizontal);
    middle->setObjectName(QStringLiteral("middle"));
    middle->setHandleWidth(6);
    CodeGrid = makeGrid(middle, QStringLiteral("CodeGrid"), 2);
    PrTree = new QTreeWidget(middle);
    PrTree->setObjectName(QStringLiteral("PrTree"));
    PrTree->setHeaderHidden(true);
    PrTree->setIndentation(19);
    middle->addWidget(CodeGrid);
    middle->addWidget(m_centre);
    middle->addWidget(PrTree);
    middle->setStretchFactor(1, 1);
    middle->setSizes({209, 600, 200});
    CodeSplitter = middle->handle(1);
    CodeSplitter->setObjectName(QStringLiteral("CodeSplitter"));
    PrSplitter = middle->handle(2);
    PrSplitter->setObjectName(QStringLiteral("PrSplitter"));
    CodeGrid->hide();
    PrTree->hide();

    // The web preview under the work area.
    auto *outer = new QSplitter(Qt::Vertical);
    outer->setObjectName(QStringLiteral("outer"));
    outer->setHandleWidth(5);
    WebPanel = new BrowserFrame(outer);
    WebPanel->setObjectName(QStringLiteral("WebPanel"));
    WebPanel->setShortcutScope(BrowserFrame::ShortcutScope::Browser);
    outer->addWidget(middle);
    outer->addWidget(WebPanel);
    outer->setStretchFactor(0, 1);
    outer->setSizes({500, 224});
    WebPanelSplit = outer->handle(1);
    WebPanelSplit->setObjectName(QStringLiteral("WebPanelSplit"));

    // The FTP panel: progress gauge over the publish log.
    ftppanel = new QWidget;
    ftppanel->setObjectName(QStringLiteral("ftppanel"));
    ftppanel->setFixedHeight(63);
    auto *ftpLayout = new QVBoxLayout(ftppanel);
    ftpLayout->setContentsMargins(0, 0, 0, 0);
    ftpLayout->setSpacing(0);
    ftpprogress = new QProgressBar(ftppanel);
    ftpprogress->setObjectName(QStringLiteral("ftpprogress"));
    ftpprogress->setTextVisible(false);
    ftpprogress->setFixedHeight(6);
    ftpprogress->setRange(0, 100);
    ftplog = new QPlainTextEdit(ftppanel);
    ftplog->setObjectName(QStringLiteral("ftplog"));
    ftplog->setReadOnly(true);
    ftplog->setFrameShape(QFrame::NoFrame);
    ftplog->setFocusPolicy(Qt::ClickFocus);
    ftplog->setStyleSheet(QStringLiteral("background: white;"));
    ftpLayout->addWidget(ftpprogress);
    ftpLayout->addWidget(ftplog);
    ftppanel->hide();

    auto *central = new QWidget;
    central->setObjectName(QStringLiteral("central"));
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(outer, 1);
    layout->addWidget(ftppanel);
    setCentralWidget(central);

    // Status bar with two 100-pixel panels.
    statusBar()->setObjectName(QStringLiteral("Status"));
    StatusPanel0 = new QLabel;
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setMinimumWidth(100);
    StatusPanel1 = new QLabel;
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setMinimumWidth(100);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);

    StatusRefr = new QTimer(this);
    StatusRefr->setObjectName(QStringLiteral("StatusRefr"));
    StatusRefr->setInterval(1000);
    CodeExplorerRefresh = new QTimer(this);
    CodeExplorerRefresh->setObjectName(QStringLiteral("CodeExplorerRefresh"));
    CodeExplorerRefresh->setInterval(1000);

    re->setFocus();
}

void MainWindow::bindEditorEvents(CodeEditor *editor, bool keys)
{
    const auto refresh = [this] { RunGuarded([this] { UpdateStatusLine(); }); };
    if (keys) {
        connect(editor, &CodeEditor::keyDown, this, refresh);
        connect(editor, &CodeEditor::keyUp, this, refresh);
    }
    connect(editor, &CodeEditor::keyPressed, this, refresh);
    connect(editor, &CodeEditor::documentChanged, this, refresh);
    connect(editor, &CodeEditor::commandProcessed, this, [this](int command) {
        if (command >= CodeEditor::CmdLeft && command <= CodeEditor::CmdPageRight)
            RunGuarded([this] { UpdateStatusLine(); });
    });
}

void MainWindow::bindHandlers()
{
    bindEditorEvents(re, true);
    bindEditorEvents(temp_re, false);
    connect(StatusRefr, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateStatusLine(); }); });
    StatusRefr->start();
    CodeExplorerRefresh->start();

    bindNavigation();
    setUpCompletion();
    setUpPublishing();

    connect(WebPanel, &BrowserFrame::urlChanged, this,
            [this](const QString &text) { RunGuarded([this, text] { WebPanelURLChange(text); }); });
    connect(messages, &MessagesGrid::cellDoubleClicked, this,
            [this] { RunGuarded([this] { messagesDblClick(messages); }); });
    connect(PrTree, &QTreeWidget::itemSelectionChanged, this, [this] {
        RunGuarded([this] { PrTreeDblClick(PrTree); });
    });
    connect(PrTree, &QTreeWidget::itemDoubleClicked, this,
            [this] { RunGuarded([this] { PrTreeDblClick(PrTree); }); });
    connect(PrTree, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        // A right click selects the clicked row first.
        if (QTreeWidgetItem *node = PrTree->itemAt(at))
            PrTree->setCurrentItem(node);
        RunGuarded([this] { ProjPopupPopup(ProjPopup); });
        ProjPopup->popup(PrTree->viewport()->mapToGlobal(at));
    });
}

void MainWindow::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    const BuiltCommands built = BuildCommands(*this, menuBar(), PrTree, re);
    m_items = built.items;
    ProjPopup = built.menus.value(QStringLiteral("ProjPopup"));
    EdPopup = built.menus.value(QStringLiteral("EdPopup"));
    // A menu command no item reaches is a mistake in the table, found at once.
    if (const QStringList unbound = UnboundHandlers(staticMetaObject); !unbound.isEmpty())
        qFatal("Menu handlers without an item: %s", qPrintable(unbound.join(QStringLiteral(", "))));
    PrTree->setContextMenuPolicy(Qt::CustomContextMenu);
    re->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(re, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { EdPopup->popup(re->mapToGlobal(at)); });
}

QAction *MainWindow::item(const QString &name) const
{
    return m_items.value(name.toLower());
}

void MainWindow::FormCreate()
{
    StatusPanel1->clear();
    m_project.OnProjectUpdate.bind([this](QObject *) { OnProjectUpdateExecute(); });
    m_project.OnLoaded.bind([this](QObject *) { OnLoadedExecute(); });
    ClearMessages();
    StatusPanel1->clear();
    m_project.OnWorkspaceLog.bind([this](QObject *) { WorkspaceLogExecute(); });
    m_project.OnPublishProgress.bind([this](QObject *) { PublishProgressExecute(); });
    UpdateStatusLine();
}

void MainWindow::OnLoadedExecute()
{
    recentFiles->NotifyOpen(m_project.FileName);
    WebPanel->setUrlText(m_project.RunAddress);
}

void MainWindow::WorkspaceLogExecute()
{
    StatusPanel1->setText(m_project.LogText);
    ftplog->appendPlainText(m_project.LogText);
    // Long operations log as they go; let the window keep up with them.
    QCoreApplication::processEvents();
}

void MainWindow::PublishProgressExecute()
{
    ftpprogress->setValue(m_project.Ftp.Progress);
}

void MainWindow::UpdateStatusLine()
{
    StatusPanel0->setText(QStringLiteral("ln ") + QString::number(re->caretLine()));
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
        const bool ours = widget && widget->window() == this && !WebPanel->isAncestorOf(widget);
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
            } else if (enter && (widget == messages || messages->isAncestorOf(widget))) {
                RunGuarded([this, key] { messagesKeyDown(key->key(), key->modifiers()); });
                return true;
            } else if (enter && (widget == PrTree || PrTree->isAncestorOf(widget))) {
                RunGuarded([this, key] { PrTreeKeyDown(key->key(), key->modifiers()); });
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
        if (command->shortcut() == pressed && command->shortcutContext() == Qt::WindowShortcut &&
            command->isEnabled() && command->isVisible() && !command->menu())
            return command;
    }
    return nullptr;
}

void MainWindow::FormKeyDown(int key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Escape)
        return;
    if (messages->isVisible()) {
        HideMessages();
        re->takeFocus();
        return;
    }
    if (HasSwitch(QStringLiteral("ide")))
        close();
    ShowMessages();
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
    CheckExternalModification();
    if (!m_firstActivation)
        return;
    m_firstActivation = false;

    const QStringList parameters = ProgramParameters();
    if (parameters.size() > 1 && QFileInfo(parameters.at(1)).isFile()) {
        // Later saves must not depend on the current folder, which Console changes.
        const QString path = QFileInfo(parameters.at(1)).absoluteFilePath();
        const QString name = QFileInfo(path).fileName();
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0 && name.mid(dot) == QLatin1String(".wdx"))
            OpenProject(path);
        else
            OpenFileAtLine(path, true);
    }

    item(QStringLiteral("pmitem"))->setChecked(true);
    pmitemClick(nullptr);
    if (HasSwitch(QStringLiteral("address")))
        m_project.RunAddress = SwitchValue(QStringLiteral("address"));
    if (HasSwitch(QStringLiteral("run")))
        Run2Click(nullptr);
    if (HasSwitch(QStringLiteral("allfunctions")))
        Allfunctionlist1Click(nullptr);
    if (HasSwitch(QStringLiteral("advise")))
        ShowAdviceModal();
    if (HasSwitch(QStringLiteral("publish")))
        Publish1Click(nullptr);
    // Test commands reach the buttons of the other windows as well.
    RunTestCommands(QList<QWidget *>{this} + m_windows->all());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    try {
        FormClose();
    } catch (...) {
        // A save that failed would lose the user's work if the window closed
        // anyway: say why and stay open.
        Dialogs().showError(exceptionMessage(std::current_exception()));
        event->ignore();
        return;
    }
    m_closing = true;
    event->accept();
}

void MainWindow::FormClose()
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);
}

void MainWindow::Exit1Click(QObject *)
{
    close();
}

void MainWindow::AboutClick(QObject *)
{
    Dialogs().showModal(m_windows->aboutDialog);
}

void MainWindow::OptionsClick(QObject *)
{
    EnvironmentOptionsDialog *form = m_windows->environmentOptionsDialog;
    form->setActivateOnReturn(ActivateOnReturn.ReadBool());
    if (Dialogs().showModal(form) == QDialog::Accepted)
        ActivateOnReturn.WriteBool(form->activateOnReturn());
}

void MainWindow::Help2Click(QObject *)
{
    m_windows->helpWindow->loadHelpIfNeeded(QCoreApplication::applicationDirPath());
    Dialogs().showModal(m_windows->helpWindow);
}

QString MainWindow::homePageAddress()
{
    return QStringLiteral("https://quillstone.org/?call=fromapp");
}

void MainWindow::WebSite1Click(QObject *)
{
    ProgramDesktop().openUrl(homePageAddress());
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
    re->takeFocus();
}
