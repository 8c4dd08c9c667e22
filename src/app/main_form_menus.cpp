// The main menu, the hidden shortcut menu and the two popup menus. Every item
// is an action owned by the main window and named after its caption, so the
// test driver and the tests find it by name.
#include "app/main_form.h"

#include "editor/code_editor.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

QMenu *TMainForm::addMenu(QMenu *parent, const QString &name, const QString &caption)
{
    auto *menu = new QMenu(caption, this);
    menu->setObjectName(name + QStringLiteral("Menu"));
    // The item that opens the menu is the window's own component too.
    auto *opener = new QAction(caption, this);
    opener->setObjectName(name);
    opener->setMenu(menu);
    m_items.insert(name.toLower(), opener);
    if (parent)
        parent->addAction(opener);
    else
        menuBar()->addAction(opener);
    return menu;
}

QAction *TMainForm::addItem(QMenu *menu, const QString &name, const QString &caption,
                            const QString &shortcut)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(QKeySequence(shortcut));
    if (menu)
        menu->addAction(action);
    // Shortcuts work whether or not a menu is open.
    addAction(action);
    if (!m_items.contains(name.toLower()))
        m_items.insert(name.toLower(), action);
    return action;
}

void TMainForm::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = addMenu(nullptr, QStringLiteral("File1"), QStringLiteral("&File"));
    QMenu *fileNew = addMenu(file, QStringLiteral("New3"), QStringLiteral("&New"));
    addItem(fileNew, QStringLiteral("New2"), QStringLiteral("File"));
    addItem(fileNew, QStringLiteral("New1"), QStringLiteral("Project"));
    addItem(file, QStringLiteral("Open1"), QStringLiteral("&Open..."));
    addItem(file, QStringLiteral("Open2"), QStringLiteral("Open P&roject..."));
    addMenu(file, QStringLiteral("Reopen1"), QStringLiteral("&Reopen"));
    file->addSeparator();
    addItem(file, QStringLiteral("Close1"), QStringLiteral("&Close"));
    file->addSeparator();
    addItem(file, QStringLiteral("Save1"), QStringLiteral("&Save"), QStringLiteral("Ctrl+S"));
    addItem(file, QStringLiteral("SaveProject"), QStringLiteral("Save Project"));
    addItem(file, QStringLiteral("Saveas2"), QStringLiteral("Save as..."));
    addItem(file, QStringLiteral("Saveas3"), QStringLiteral("Save Project as..."));
    file->addSeparator();
    addItem(file, QStringLiteral("Publish3"), QStringLiteral("FTP Publish File"));
    addItem(file, QStringLiteral("Publish2"), QStringLiteral("FTP Publish Project"));
    file->addSeparator();
    addItem(file, QStringLiteral("Exit1"), QStringLiteral("Exit"), QStringLiteral("Alt+X"));

    QMenu *edit = addMenu(nullptr, QStringLiteral("Edit1"), QStringLiteral("&Edit"));
    addItem(edit, QStringLiteral("IndentCode1"), QStringLiteral("&Indent Code"), QStringLiteral("Ctrl+I"));

    QMenu *search = addMenu(nullptr, QStringLiteral("Search1"), QStringLiteral("&Search"));
    addItem(search, QStringLiteral("Find1"), QStringLiteral("&Find"), QStringLiteral("Ctrl+F"));
    addItem(search, QStringLiteral("Findinfiles1"), QStringLiteral("Find in File&s..."),
            QStringLiteral("Ctrl+Shift+F"));
    addItem(search, QStringLiteral("Searchagain1"), QStringLiteral("Search &Again"), QStringLiteral("F3"));
    search->addSeparator();
    addItem(search, QStringLiteral("GotoLine1"), QStringLiteral("Goto Line..."), QStringLiteral("Ctrl+G"));

    QMenu *view = addMenu(nullptr, QStringLiteral("View1"), QStringLiteral("&View"));
    QAction *explorer = addItem(view, QStringLiteral("CodeExplorer"), QStringLiteral("Code Explorer"));
    explorer->setCheckable(true);
    explorer->setVisible(false);
    addItem(view, QStringLiteral("pmitem"), QStringLiteral("Project Manager"))->setCheckable(true);
    QAction *preview = addItem(view, QStringLiteral("WebPanel1"), QStringLiteral("Web Preview"));
    preview->setCheckable(true);
    preview->setChecked(true);
    view->addSeparator();
    addItem(view, QStringLiteral("Files1"), QStringLiteral("Files..."), QStringLiteral("F4"));
    addItem(view, QStringLiteral("Allfunctionlist1"), QStringLiteral("Functions..."), QStringLiteral("F2"));
    addItem(view, QStringLiteral("FunctionList2"), QStringLiteral("Current File Functions..."))
        ->setVisible(false);

    QMenu *project = addMenu(nullptr, QStringLiteral("Project1"), QStringLiteral("&Project"));
    addItem(project, QStringLiteral("ProjectAdd"), QStringLiteral("Add to Project..."));
    project->addSeparator();
    addItem(project, QStringLiteral("Publish1"), QStringLiteral("Options..."));

    QMenu *run = addMenu(nullptr, QStringLiteral("Run1"), QStringLiteral("&Run"));
    addItem(run, QStringLiteral("Run2"), QStringLiteral("&Run"), QStringLiteral("Alt+R"));
    addItem(run, QStringLiteral("RunwithoutDebuging1"), QStringLiteral("Run Without Debugging"),
            QStringLiteral("Alt+Return"));
    addItem(run, QStringLiteral("RunText1"), QStringLiteral("Run in Text Mode"), QStringLiteral("Alt+T"));
    run->addSeparator();
    addItem(run, QStringLiteral("ServerLog1"), QStringLiteral("Server &Log"));

    QMenu *tools = addMenu(nullptr, QStringLiteral("Tools1"), QStringLiteral("Tools"));
    addItem(tools, QStringLiteral("Options1"), QStringLiteral("Options..."));
    tools->addSeparator();
    addItem(tools, QStringLiteral("Run3"), QStringLiteral("phpMyAdmin..."), QStringLiteral("Alt+D"));
    addItem(tools, QStringLiteral("cmd1"), QStringLiteral("Console"));

    QMenu *help = addMenu(nullptr, QStringLiteral("Help1"), QStringLiteral("&Help"));
    addItem(help, QStringLiteral("Help2"), QStringLiteral("Help"));
    addItem(help, QStringLiteral("PHPnethelp1"), QStringLiteral("php.net"), QStringLiteral("F1"));
    help->addSeparator();
    addItem(help, QStringLiteral("WebSite1"), QStringLiteral("Home Page"));
    help->addSeparator();
    addItem(help, QStringLiteral("About1"), QStringLiteral("About..."));

    // Never displayed: its items exist for their shortcuts only.
    QMenu *shortcuts = addMenu(nullptr, QStringLiteral("ShortCuts1"), QStringLiteral("ShortCuts"));
    item(QStringLiteral("ShortCuts1"))->setVisible(false);
    addItem(shortcuts, QStringLiteral("WebPanelURL1"), QStringLiteral("WebPanel URL"), QStringLiteral("Ctrl+L"));
    addItem(shortcuts, QStringLiteral("Code1"), QStringLiteral("Code"), QStringLiteral("Ctrl+K"));

    ProjPopup = new QMenu(this);
    ProjPopup->setObjectName(QStringLiteral("ProjPopup"));
    addItem(ProjPopup, QStringLiteral("PManProjectAdd"), QStringLiteral("Add to Project..."));
    addItem(ProjPopup, QStringLiteral("dontpublish"), QStringLiteral("Lock FTP Publish"));
    QAction *remove = addItem(ProjPopup, QStringLiteral("removefromproj"), QStringLiteral("Remove"),
                              QStringLiteral("Del"));
    // Del removes a file only while the tree has the focus, never text in the editor.
    removeAction(remove);
    PrTree->addAction(remove);
    remove->setShortcutContext(Qt::WidgetShortcut);
    addItem(ProjPopup, QStringLiteral("Rename1"), QStringLiteral("Rename"));
    addItem(ProjPopup, QStringLiteral("publishnow"), QStringLiteral("FTP Publish"));
    PrTree->setContextMenuPolicy(Qt::CustomContextMenu);

    EdPopup = new QMenu(this);
    EdPopup->setObjectName(QStringLiteral("EdPopup"));
    QAction *completion = addItem(EdPopup, QStringLiteral("Adviser1"), QStringLiteral("Completion"),
                                  QStringLiteral("Ctrl+Space"));
    removeAction(completion);
    re->addAction(completion);
    completion->setShortcutContext(Qt::WidgetShortcut);
    re->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(re, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { EdPopup->popup(re->mapToGlobal(at)); });
}
