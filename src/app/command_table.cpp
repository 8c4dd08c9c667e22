#include "app/command_table.h"

#include "app/completion_controller.h"
#include "app/debugger_controller.h"
#include "app/document_controller.h"
#include "app/editor_view_controller.h"
#include "app/function_list_controller.h"
#include "app/main_window.h"
#include "app/messages_controller.h"
#include "app/project_tree_controller.h"
#include "app/publish_controller.h"
#include "app/run_controller.h"
#include "app/search_controller.h"
#include "app/server_controller.h"
#include "app/symbol_controller.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>

#include <algorithm>

namespace {
using Row = CommandRow;
using Kind = CommandRow::Kind;

constexpr Row menu(const char *parent, const char *name, const char *caption, int flags = 0)
{
    return {Kind::Menu, parent, name, caption, "", nullptr, "", flags};
}
constexpr Row popup(const char *name)
{
    return {Kind::Popup, "", name, "", "", nullptr, "", 0};
}
constexpr Row separator(const char *parent)
{
    return {Kind::Separator, parent, "", "", "", nullptr, "", 0};
}
constexpr Row alias(const char *parent, const char *name)
{
    return {Kind::Alias, parent, name, "", "", nullptr, "", 0};
}
constexpr Row command(const char *parent, const char *name, const char *caption,
                      const char *shortcut, Row::Handler handler, const char *handlerName,
                      int flags = 0)
{
    return {Kind::Command, parent, name, caption, shortcut, handler, handlerName, flags};
}
// Commands whose work spans two concerns or whose method takes no sender.
void GotoDefinition1Click(const CommandTargets &t, QObject *)
{
    t.symbols.GotoDefinition();
}
void NavigateBack1Click(const CommandTargets &t, QObject *)
{
    t.symbols.NavigateBack();
}
void NavigateForward1Click(const CommandTargets &t, QObject *)
{
    t.symbols.NavigateForward();
}
void GotoSymbol1Click(const CommandTargets &t, QObject *)
{
    t.symbols.GotoSymbol();
}
void FindReferences1Click(const CommandTargets &t, QObject *)
{
    t.messages.ShowFoundRows(t.symbols.FindReferences());
}
// Run fetches the page while the window waits: a debugger stop would hold it.
void Run2Click(const CommandTargets &t, QObject *Sender)
{
    t.debugger.StopDebug1Click(nullptr);
    t.run.Run2Click(Sender);
}
void RunwithoutDebuging1Click(const CommandTargets &t, QObject *Sender)
{
    t.debugger.StopDebug1Click(nullptr);
    t.run.RunwithoutDebuging1Click(Sender);
}
void RunText1Click(const CommandTargets &t, QObject *Sender)
{
    t.debugger.StopDebug1Click(nullptr);
    t.run.RunText1Click(Sender);
}

// The handler and its name from one token, so the two cannot disagree: a
// controller's (or the window's) method, or one of the functions above.
#define BY(target, name)                                                                           \
    [](const CommandTargets &t, QObject *Sender) { t.target.name(Sender); }, #name
#define HANDLER(name) &name, #name

constexpr Row Commands[] = {
    menu("", "File1", "&File"),
    menu("File1", "New3", "&New"),
    command("New3", "New2", "File", "Ctrl+N", BY(documents, New2Click)),
    command("New3", "New1", "Project", "", BY(projectTree, New1Click)),
    command("File1", "Open1", "&Open...", "Ctrl+O", BY(documents, Open1Click)),
    command("File1", "Open2", "Open &Project...", "", BY(projectTree, Open2Click)),
    command("File1", "OpenFolder1", "Open Fol&der as Project...", "",
            BY(projectTree, OpenFolder1Click)),
    menu("File1", "Reopen1", "&Reopen"),
    menu("File1", "RecentFiles1", "Recent F&iles"),
    separator("File1"),
    command("File1", "Close1", "&Close", "", BY(documents, Close1Click)),
    separator("File1"),
    command("File1", "Save1", "&Save", "Ctrl+S", BY(documents, SaveFileClick)),
    command("File1", "SaveProject", "Save Pro&ject", "", BY(projectTree, SavePrjClick)),
    command("File1", "Saveas2", "Save &as...", "Ctrl+Shift+S", BY(documents, Saveas2Click)),
    command("File1", "Saveas3", "Save Project as...", "", BY(projectTree, Saveas1Click)),
    separator("File1"),
    command("File1", "Publish3", "FTP Publish &File", "", BY(publish, Publish3Click)),
    command("File1", "Publish2", "FTP Publish Projec&t", "", BY(publish, Publish2Click)),
    command("File1", "PublishChanges1", "FTP Publish C&hanges", "",
            BY(publish, PublishChanges1Click)),
    command("File1", "PublishPreview1", "FTP Publish Pre&view...", "",
            BY(publish, PublishPreview1Click)),
    command("File1", "FTPCompare1", "FTP Co&mpare with Host...", "", BY(publish, FTPCompare1Click)),
    separator("File1"),
    command("File1", "Exit1", "E&xit", "Alt+X|Ctrl+Q", BY(window, Exit1Click)),

    // The editor's own keys: scoped to it, so a line edit keeps its clipboard keys.
    menu("", "Edit1", "&Edit"),
    command("Edit1", "Undo1", "&Undo", "Ctrl+Z", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "Redo1", "&Redo", "Ctrl+Y|Ctrl+Shift+Z", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    separator("Edit1"),
    command("Edit1", "Cut1", "Cu&t", "Ctrl+X", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "Copy1", "&Copy", "Ctrl+C", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "Paste1", "&Paste", "Ctrl+V", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "Delete1", "&Delete", "Del", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    separator("Edit1"),
    command("Edit1", "SelectAll1", "Select &All", "Ctrl+A", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    separator("Edit1"),
    command("Edit1", "ToggleComment1", "Toggle Co&mment", "Ctrl+/",
            BY(editorView, EditCommandClick), Row::EditorShortcut),
    command("Edit1", "DuplicateLine1", "Dup&licate Line", "Ctrl+D",
            BY(editorView, EditCommandClick), Row::EditorShortcut),
    command("Edit1", "MoveLineUp1", "Mo&ve Line Up", "Alt+Up", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "MoveLineDown1", "Move Line Do&wn", "Alt+Down",
            BY(editorView, EditCommandClick), Row::EditorShortcut),
    command("Edit1", "UpperCase1", "Upper Ca&se", "Ctrl+Shift+U", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    command("Edit1", "LowerCase1", "L&ower Case", "Ctrl+U", BY(editorView, EditCommandClick),
            Row::EditorShortcut),
    separator("Edit1"),
    command("Edit1", "IndentCode1", "&Indent Code", "Ctrl+I", BY(search, IndentCode1Click)),

    menu("", "Search1", "&Search"),
    command("Search1", "Find1", "&Find", "Ctrl+F", BY(search, Find1Click)),
    command("Search1", "Findinfiles1", "Find in File&s...", "Ctrl+Shift+F",
            BY(search, Findinfiles1Click)),
    command("Search1", "Searchagain1", "Search &Again", "F3", BY(search, Searchagain1Click)),
    command("Search1", "Replace1", "&Replace...", "Ctrl+H", BY(search, Replace1Click)),
    separator("Search1"),
    command("Search1", "GotoLine1", "&Goto Line...", "Ctrl+G", BY(search, GotoLine1Click)),
    separator("Search1"),
    command("Search1", "GotoDefinition1", "Go to &Definition", "F12",
            HANDLER(GotoDefinition1Click)),
    command("Search1", "FindReferences1", "Find R&eferences", "Shift+F12",
            HANDLER(FindReferences1Click)),
    command("Search1", "GotoSymbol1", "Go to S&ymbol...", "Ctrl+T", HANDLER(GotoSymbol1Click)),
    command("Search1", "NavigateBack1", "&Back", "Alt+Left", HANDLER(NavigateBack1Click)),
    command("Search1", "NavigateForward1", "For&ward", "Alt+Right", HANDLER(NavigateForward1Click)),

    menu("", "View1", "&View"),
    command("View1", "CodeExplorer", "Code &Explorer", "", BY(functions, CodeExplorerClick),
            Row::Checkable),
    command("View1", "pmitem", "&Project Manager", "", BY(projectTree, pmitemClick),
            Row::Checkable),
    command("View1", "WebPanel1", "&Web Preview", "", BY(run, WebPanel1Click),
            Row::Checkable | Row::Checked),
    command("View1", "LineNumbers1", "&Line Numbers", "", BY(editorView, LineNumbers1Click),
            Row::Checkable | Row::Checked),
    menu("View1", "Colours1", "&Colours"),
    command("Colours1", "ColoursAutomatic1", "&Automatic", "", BY(editorView, Colours1Click),
            Row::Checkable),
    command("Colours1", "ColoursLight1", "&Light", "", BY(editorView, Colours1Click),
            Row::Checkable),
    command("Colours1", "ColoursDark1", "&Dark", "", BY(editorView, Colours1Click), Row::Checkable),
    separator("View1"),
    command("View1", "Files1", "&Files...", "F4", BY(projectTree, Files1Click)),
    command("View1", "QuickOpen1", "&Quick Open...", "Ctrl+P", BY(window, QuickOpen1Click)),
    command("View1", "Allfunctionlist1", "F&unctions...", "F2",
            BY(functions, Allfunctionlist1Click)),
    command("View1", "FunctionList2", "Current File Functions...", "",
            BY(functions, FunctionList1Click), Row::Hidden),

    menu("", "Project1", "&Project"),
    command("Project1", "ProjectAdd", "&Add to Project...", "", BY(projectTree, ProjectAddClick)),
    command("Project1", "AddFolder1", "Add &Folder...", "", BY(projectTree, AddFolder1Click)),
    command("Project1", "RefreshFolder1", "&Refresh from Folder", "",
            BY(projectTree, RefreshFolder1Click)),
    separator("Project1"),
    command("Project1", "Publish1", "&Options...", "", BY(publish, Publish1Click)),

    menu("", "Run1", "&Run"),
    command("Run1", "Run2", "&Run", "Alt+R", HANDLER(Run2Click)),
    command("Run1", "RunwithoutDebuging1", "Run &Without Debugging", "Alt+Return",
            HANDLER(RunwithoutDebuging1Click)),
    // Not Alt+T: that opens the Tools menu.
    command("Run1", "RunText1", "Run in &Text Mode", "Alt+Shift+R", HANDLER(RunText1Click)),
    separator("Run1"),
    command("Run1", "ServerLog1", "Server &Log", "", BY(server, ServerLog1Click)),
    separator("Run1"),
    command("Run1", "Debug1", "&Debug", "F5", BY(debugger, Debug1Click)),
    command("Run1", "StepOver1", "Step &Over", "F10", BY(debugger, StepOver1Click)),
    command("Run1", "StepInto1", "Step &Into", "F11", BY(debugger, StepInto1Click)),
    command("Run1", "StepOut1", "Step O&ut", "Shift+F11", BY(debugger, StepOut1Click)),
    command("Run1", "RunToCursor1", "Run to &Cursor", "Ctrl+F10", BY(debugger, RunToCursor1Click)),
    command("Run1", "StopDebug1", "&Stop Debugging", "Shift+F5", BY(debugger, StopDebug1Click)),
    command("Run1", "ToggleBreakpoint1", "Toggle &Breakpoint", "F9",
            BY(debugger, ToggleBreakpoint1Click)),
    command("Run1", "BreakpointCondition1", "Breakpoint Co&ndition...", "",
            BY(debugger, BreakpointCondition1Click)),
    command("Run1", "ListenDebugger1", "Listen for Debu&gger", "",
            BY(debugger, ListenDebugger1Click), Row::Checkable),

    menu("", "Tools1", "&Tools"),
    command("Tools1", "Options1", "&Options...", "", BY(window, OptionsClick)),
    separator("Tools1"),
    command("Tools1", "Run3", "php&MyAdmin...", "Alt+D", BY(run, Run3Click)),
    command("Tools1", "cmd1", "&Console", "", BY(window, cmd1Click)),

    menu("", "Help1", "&Help"),
    command("Help1", "Help2", "&Help", "", BY(window, Help2Click)),
    command("Help1", "PHPnethelp1", "PHP &Manual", "F1", BY(completion, PHPnethelp1Click)),
    command("Help1", "PHPnetOnline1", "php.net", "", BY(completion, PHPnetOnline1Click)),
    separator("Help1"),
    command("Help1", "WebSite1", "Home Pa&ge", "", BY(window, WebSite1Click)),
    separator("Help1"),
    command("Help1", "About1", "&About...", "", BY(window, AboutClick)),

    // Never displayed: its items exist for their shortcuts only.
    menu("", "ShortCuts1", "ShortCuts", Row::Hidden),
    command("ShortCuts1", "WebPanelURL1", "WebPanel URL", "Ctrl+L", BY(run, WebPanelURL1Click)),
    command("ShortCuts1", "Code1", "Code", "Ctrl+K", BY(window, Code1Click)),
    command("ShortCuts1", "NextTab1", "Next Tab", "Ctrl+Tab|Ctrl+PgDown",
            BY(documents, NextTab1Click)),
    command("ShortCuts1", "PreviousTab1", "Previous Tab", "Ctrl+Shift+Tab|Ctrl+PgUp",
            BY(documents, PreviousTab1Click)),
    // Closes the tab only, as its menu does; File > Close also drops the entry.
    command("ShortCuts1", "CloseTab1", "Close Tab", "Ctrl+W", BY(documents, CloseTab1Click)),

    popup("ProjPopup"),
    command("ProjPopup", "PManProjectAdd", "Add to Project...", "",
            BY(projectTree, ProjectAddClick)),
    command("ProjPopup", "PManAddFolder", "Add Folder...", "", BY(projectTree, AddFolder1Click)),
    command("ProjPopup", "dontpublish", "Lock FTP Publish", "", BY(projectTree, dontpublishClick)),
    // Del removes a file only while the tree has the focus, never text in the editor.
    command("ProjPopup", "removefromproj", "Remove", "Del", BY(projectTree, removefromprojClick),
            Row::TreeShortcut),
    command("ProjPopup", "Rename1", "Rename", "", BY(projectTree, Rename1Click)),
    command("ProjPopup", "publishnow", "FTP Publish", "", BY(publish, publishnowClick)),

    // Code commands (definition, references) go between the clipboard and Completion.
    popup("EdPopup"),
    alias("EdPopup", "Undo1"),
    alias("EdPopup", "Redo1"),
    separator("EdPopup"),
    alias("EdPopup", "Cut1"),
    alias("EdPopup", "Copy1"),
    alias("EdPopup", "Paste1"),
    alias("EdPopup", "Delete1"),
    separator("EdPopup"),
    alias("EdPopup", "SelectAll1"),
    separator("EdPopup"),
    // The editor menu's code navigation; the Search menu's items carry the keys.
    command("EdPopup", "EdGotoDefinition1", "Go to Definition", "", HANDLER(GotoDefinition1Click)),
    command("EdPopup", "EdFindReferences1", "Find References", "", HANDLER(FindReferences1Click)),
    separator("EdPopup"),
    command("EdPopup", "Adviser1", "Completion", "Ctrl+Space", BY(completion, Adviser1Click),
            Row::EditorShortcut),
};
#undef HANDLER
#undef BY

constexpr bool equalNames(const char *a, const char *b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (; *a && *b; ++a, ++b) {
        if (lower(*a) != lower(*b))
            return false;
    }
    return *a == *b;
}

// Every command has a handler and a name; no two rows share a name (the
// window finds items by name, ignoring letter case); every row's menu comes
// before it; an alias names a command above it.
constexpr bool tableIsWhole()
{
    const auto count = std::size(Commands);
    for (size_t i = 0; i < count; ++i) {
        const Row &row = Commands[i];
        const bool named = row.name[0] != '\0';
        if ((row.kind == Kind::Command) != (row.handler != nullptr))
            return false;
        if (named == (row.kind == Kind::Separator))
            return false;
        if (row.kind == Kind::Alias) {
            bool target = false;
            for (size_t j = 0; j < i; ++j)
                target = target || (Commands[j].kind == Kind::Command &&
                                    equalNames(Commands[j].name, row.name));
            if (!target)
                return false;
        }
        bool menuFound = row.menu[0] == '\0' && (row.kind == Kind::Menu || row.kind == Kind::Popup);
        for (size_t j = 0; j < i; ++j) {
            if (named && row.kind != Kind::Alias && equalNames(Commands[j].name, row.name))
                return false;
            if ((Commands[j].kind == Kind::Menu || Commands[j].kind == Kind::Popup) &&
                equalNames(Commands[j].name, row.menu))
                menuFound = true;
        }
        if (!menuFound)
            return false;
    }
    return true;
}
static_assert(tableIsWhole(), "every command needs a handler, a unique name and a menu above it");

// The first key is the item's own; keys after "|" are further ones.
QList<QKeySequence> shortcutsOf(const Row &row)
{
    QList<QKeySequence> keys;
    for (const QString &key : QString::fromLatin1(row.shortcut).split(u'|', Qt::SkipEmptyParts))
        keys.append(QKeySequence(key));
    return keys;
}
} // namespace

std::span<const CommandRow> MainWindowCommands()
{
    return Commands;
}

QStringList UnboundHandlers(const QMetaObject &window)
{
    QStringList unbound;
    for (int i = window.methodOffset(); i < window.methodCount(); ++i) {
        const QMetaMethod method = window.method(i);
        if (method.methodType() != QMetaMethod::Slot)
            continue;
        const QByteArray name = method.name();
        const bool bound = std::any_of(std::begin(Commands), std::end(Commands),
                                       [&](const Row &row) { return name == row.handlerName; });
        if (!bound)
            unbound << QString::fromLatin1(name);
    }
    return unbound;
}

BuiltCommands BuildCommands(QWidget &window, QMenuBar *bar, QWidget *tree, QWidget *editor)
{
    BuiltCommands built;
    for (const Row &row : Commands) {
        const QString name = QString::fromLatin1(row.name);
        QMenu *holder = built.menus.value(QString::fromLatin1(row.menu));
        switch (row.kind) {
        case Kind::Popup: {
            auto *menu = new QMenu(&window);
            menu->setObjectName(name);
            built.menus.insert(name, menu);
            break;
        }
        case Kind::Separator:
            holder->addSeparator();
            break;
        case Kind::Alias:
            holder->addAction(built.items.value(name.toLower()));
            break;
        case Kind::Menu: {
            const QString caption = QString::fromUtf8(row.caption);
            auto *menu = new QMenu(caption, &window);
            menu->setObjectName(name + QStringLiteral("Menu"));
            // The item that opens the menu is the window's own component too.
            auto *opener = new QAction(caption, &window);
            opener->setObjectName(name);
            opener->setMenu(menu);
            opener->setVisible(!(row.flags & Row::Hidden));
            if (holder)
                holder->addAction(opener);
            else
                bar->addAction(opener);
            built.menus.insert(name, menu);
            built.items.insert(name.toLower(), opener);
            break;
        }
        case Kind::Command: {
            auto *action = new QAction(QString::fromUtf8(row.caption), &window);
            action->setObjectName(name);
            action->setShortcuts(shortcutsOf(row));
            action->setCheckable(row.flags & Row::Checkable);
            action->setChecked(row.flags & Row::Checked);
            action->setVisible(!(row.flags & Row::Hidden));
            holder->addAction(action);
            // Shortcuts work whether or not a menu is open, some only in one control.
            QWidget *scope = row.flags & Row::TreeShortcut     ? tree
                             : row.flags & Row::EditorShortcut ? editor
                                                               : &window;
            scope->addAction(action);
            if (scope != &window)
                action->setShortcutContext(Qt::WidgetShortcut);
            built.items.insert(name.toLower(), action);
            break;
        }
        }
    }
    return built;
}

void BindCommands(const QHash<QString, QAction *> &items, const CommandTargets &targets)
{
    for (const Row &row : Commands) {
        if (row.kind != Kind::Command)
            continue;
        const Row::Handler handler = row.handler;
        SetClickHandler(items.value(QString::fromLatin1(row.name).toLower()),
                        [&targets, handler](QObject *sender) { handler(targets, sender); });
    }
}

void RunCommandHandler(const CommandTargets &targets, const QString &handlerName, QObject *Sender)
{
    const auto row = std::find_if(std::begin(Commands), std::end(Commands), [&](const Row &r) {
        return r.kind == Kind::Command && handlerName == QLatin1String(r.handlerName);
    });
    if (row == std::end(Commands))
        throw AppError(QStringLiteral("No command has the handler ") + handlerName);
    row->handler(targets, Sender);
}
