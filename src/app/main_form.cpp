#include "app/main_form.h"

#include "app/application.h"
#include "app/desktop.h"
#include "app/handler_guard.h"
#include "app/messages_grid.h"
#include "app/test_driver.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/frame_browser.h"
#include "forms/about_form.h"
#include "forms/app_help_form.h"
#include "forms/options_form.h"
#include "foundation/reg_string.h"
#include "foundation/switches.h"
#include "foundation/trace.h"
#include "foundation/http_fetch.h"
#include "foundation/user_dialogs.h"
#include "net/local_php_server.h"
#include "project/project_paths.h"

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
const TRegString ActivateOnReturn(QStringLiteral("ActivateOnReturn"), QStringLiteral("1"));

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

TMainForm::TMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(ApplicationTitle());
    resize(540, 560);
    buildControls();
    buildMenus();
    RecentFiles = new TRecentFiles(this);
    RecentFiles->SetMenuItem(item(QStringLiteral("Reopen1")));
    RecentFiles->OnOpenFile = [this](QObject *sender, const QString &name) {
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

TMainForm::~TMainForm()
{
    qApp->removeEventFilter(this);
}

void TMainForm::buildControls()
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
    WebPanel = new Tframe_browser(outer);
    WebPanel->setObjectName(QStringLiteral("WebPanel"));
    WebPanel->setShortcutScope(Tframe_browser::ShortcutScope::Browser);
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

void TMainForm::bindEditorEvents(CodeEditor *editor, bool keys)
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

void TMainForm::bindHandlers()
{
    bindEditorEvents(re, true);
    bindEditorEvents(temp_re, false);
    connect(StatusRefr, &QTimer::timeout, this, [this] { RunGuarded([this] { UpdateStatusLine(); }); });
    StatusRefr->start();
    CodeExplorerRefresh->start();

    const auto bind = [this](const char *name, void (TMainForm::*handler)(QObject *)) {
        SetClickHandler(item(QString::fromLatin1(name)),
                        [this, handler](QObject *sender) { (this->*handler)(sender); });
    };
    bind("Exit1", &TMainForm::Exit1Click);
    bind("About1", &TMainForm::AboutClick);
    bind("Options1", &TMainForm::OptionsClick);
    bind("Help2", &TMainForm::Help2Click);
    bind("WebSite1", &TMainForm::WebSite1Click);
    bind("cmd1", &TMainForm::cmd1Click);
    bind("Code1", &TMainForm::Code1Click);
    bind("pmitem", &TMainForm::pmitemClick);
    bind("New2", &TMainForm::New2Click);
    bind("New1", &TMainForm::New1Click);
    bind("Open1", &TMainForm::Open1Click);
    bind("Open2", &TMainForm::Open2Click);
    bind("Close1", &TMainForm::Close1Click);
    bind("Save1", &TMainForm::SaveFileClick);
    bind("SaveProject", &TMainForm::SavePrjClick);
    bind("Saveas2", &TMainForm::Saveas2Click);
    bind("Saveas3", &TMainForm::Saveas1Click);
    bind("Files1", &TMainForm::Files1Click);
    bind("ProjectAdd", &TMainForm::ProjectAddClick);
    bind("PManProjectAdd", &TMainForm::ProjectAddClick);
    bind("dontpublish", &TMainForm::dontpublishClick);
    bind("removefromproj", &TMainForm::removefromprojClick);
    bind("Rename1", &TMainForm::Rename1Click);
    bind("WebPanel1", &TMainForm::WebPanel1Click);
    bind("WebPanelURL1", &TMainForm::WebPanelURL1Click);
    bind("Run3", &TMainForm::Run3Click);
    bind("Run2", &TMainForm::Run2Click);
    bind("RunwithoutDebuging1", &TMainForm::RunwithoutDebuging1Click);
    bind("RunText1", &TMainForm::RunText1Click);
    bind("ServerLog1", &TMainForm::ServerLog1Click);

    // --- search, functions, code explorer, indenter: bindings ---
    bindNavigation();
    // --- end search, functions, code explorer, indenter bindings ---

    // --- completion and PHP manual: bindings ---
    setUpCompletion();
    bind("Adviser1", &TMainForm::Adviser1Click);
    bind("PHPnethelp1", &TMainForm::PHPnethelp1Click);
    // --- end completion and PHP manual bindings ---

    // --- publishing: bindings ---
    setUpPublishing();
    bind("Publish1", &TMainForm::Publish1Click);
    bind("Publish2", &TMainForm::Publish2Click);
    bind("Publish3", &TMainForm::Publish3Click);
    bind("publishnow", &TMainForm::publishnowClick);
    // --- end publishing bindings ---

    connect(WebPanel, &Tframe_browser::urlChanged, this,
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

QAction *TMainForm::item(const QString &name) const
{
    return m_items.value(name.toLower());
}

void TMainForm::FormCreate()
{
    StatusPanel1->clear();
    Project.OnProjectUpdate.bind([this](QObject *) { OnProjectUpdateExecute(); });
    Project.OnLoaded.bind([this](QObject *) { OnLoadedExecute(); });
    ClearMessages();
    StatusPanel1->clear();
    Project.OnWorkspaceLog.bind([this](QObject *) { WorkspaceLogExecute(); });
    Project.OnPublishProgress.bind([this](QObject *) { PublishProgressExecute(); });
    UpdateStatusLine();
}

void TMainForm::OnLoadedExecute()
{
    // The own PHP server served the project opened before.
    if (m_phpServer && !m_phpServer->servesFolder(ProjectFolderOf(Project.FileName)))
        m_phpServer->stop();
    RecentFiles->NotifyOpen(Project.FileName);
    WebPanel->setUrlText(Project.RunAddress);
}

void TMainForm::WorkspaceLogExecute()
{
    StatusPanel1->setText(Project.LogText);
    ftplog->appendPlainText(Project.LogText);
    // Long operations log as they go; let the window keep up with them.
    QCoreApplication::processEvents();
}

void TMainForm::PublishProgressExecute()
{
    ftpprogress->setValue(Project.Ftp.Progress);
}

void TMainForm::UpdateStatusLine()
{
    StatusPanel0->setText(QStringLiteral("ln ") + QString::number(re->caretLine()));
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees keys before the focused control does. A key that the
    // focused control leaves unhandled travels up through its parents as the
    // same event; act on it once, at its first receiver.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        // A command's own shortcut wins over a menu's access key (Alt+R runs,
        // it does not open the Run menu); Qt would call the pair ambiguous.
        auto *widget = qobject_cast<QWidget *>(watched);
        auto *key = static_cast<QKeyEvent *>(event);
        if (widget && widget->window() == this && !WebPanel->isAncestorOf(widget) &&
            (key->modifiers() & Qt::AltModifier)) {
            if (QAction *command = commandForMnemonicClash(key)) {
                event->accept();
                if (event->type() == QEvent::KeyPress)
                    command->trigger();
                return true;
            }
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

QAction *TMainForm::commandForMnemonicClash(const QKeyEvent *key) const
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

void TMainForm::FormKeyDown(int key, Qt::KeyboardModifiers)
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

void TMainForm::showEvent(QShowEvent *event)
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

void TMainForm::AppEventsActivate()
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
        Project.RunAddress = SwitchValue(QStringLiteral("address"));
    if (HasSwitch(QStringLiteral("run")))
        Run2Click(nullptr);
    if (HasSwitch(QStringLiteral("allfunctions")))
        Allfunctionlist1Click(nullptr);
    if (HasSwitch(QStringLiteral("advise")))
        ShowAdviceModal();
    if (HasSwitch(QStringLiteral("publish")))
        Publish1Click(nullptr);
    RunTestCommands(this);
}

void TMainForm::closeEvent(QCloseEvent *event)
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

void TMainForm::FormClose()
{
    SavePrjClick(nullptr);
    SaveFileClick(nullptr);
}

void TMainForm::Exit1Click(QObject *)
{
    close();
}

void TMainForm::AboutClick(QObject *)
{
    Dialogs().showModal(m_windows->AboutForm);
}

void TMainForm::OptionsClick(QObject *)
{
    TOptionsForm *form = m_windows->OptionsForm;
    form->setActivateOnReturn(ActivateOnReturn.ReadBool());
    form->setStartPhpServer(StartPhpServer().ReadBool());
    if (Dialogs().showModal(form) == QDialog::Accepted) {
        ActivateOnReturn.WriteBool(form->activateOnReturn());
        StartPhpServer().WriteBool(form->startPhpServer());
        // Switched off: the user's own server takes the port from now on.
        if (!form->startPhpServer())
            PhpServer().stop();
    }
}

void TMainForm::Help2Click(QObject *)
{
    m_windows->AppHelpForm->loadHelpIfNeeded(QCoreApplication::applicationDirPath());
    Dialogs().showModal(m_windows->AppHelpForm);
}

QString TMainForm::homePageAddress()
{
    return QStringLiteral("https://quillstone.org/?call=fromapp");
}

void TMainForm::WebSite1Click(QObject *)
{
    ProgramDesktop().openUrl(homePageAddress());
}

void TMainForm::cmd1Click(QObject *)
{
    QString folder;
    if (!Project.FileName.isEmpty())
        folder = QFileInfo(Project.FileName).absolutePath();
    // Without a project file the terminal starts in the current folder.
    if (!folder.isEmpty() && !QDir::setCurrent(folder))
        folder.clear();
    ProgramDesktop().startTerminal(folder);
}

void TMainForm::Code1Click(QObject *)
{
    re->takeFocus();
}
