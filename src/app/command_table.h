#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <span>

class CompletionController;
class DebuggerController;
class DocumentController;
class EditorViewController;
class FunctionListController;
class MainWindow;
class MessagesController;
class ProjectTreeController;
class PublishController;
class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QWidget;
class RunController;
class SearchController;
class ServerController;
class SymbolController;
struct QMetaObject;

// What the commands work on: the window for its own few commands, and one
// controller per concern for the rest.
struct CommandTargets {
    MainWindow &window;
    DocumentController &documents;
    MessagesController &messages;
    ProjectTreeController &projectTree;
    SearchController &search;
    FunctionListController &functions;
    CompletionController &completion;
    RunController &run;
    PublishController &publish;
    EditorViewController &editorView;
    ServerController &server;
    SymbolController &symbols;
    DebuggerController &debugger;
};

// One row of the main window's menus, in display order: a menu, a popup menu,
// a separator, a command with its handler, or an alias showing a command of an
// earlier row (by its name) in one more menu. Names, captions and shortcuts are
// the program's own; the test driver and the tests find items by name and
// handlers by their handler name. A command binds straight to the method that
// does its work.
struct CommandRow {
    enum class Kind { Menu, Popup, Separator, Command, Alias };
    enum Flag {
        Hidden = 1,          // exists for its shortcut or its handler only
        Checkable = 2,       // toggles its own check mark when chosen
        Checked = 4,         // checked at start
        TreeShortcut = 8,    // its shortcut works only in the project tree
        EditorShortcut = 16, // its shortcut works only in the editor
    };
    using Handler = void (*)(const CommandTargets &targets, QObject *Sender);

    Kind kind;
    const char *menu; // the holding menu's name; "" for the menu bar
    const char *name; // object name; "" for a separator
    const char *caption;
    const char *shortcut; // Qt's portable text, further keys after "|"; "" for none
    Handler handler;      // commands only
    const char *handlerName;
    int flags;
};

// The main window's whole menu: main menu, the hidden shortcut menu and the
// two popups. Every command row has a handler, checked when the table compiles.
std::span<const CommandRow> MainWindowCommands();

// The window's handler slots that no row binds; empty when the table is whole.
QStringList UnboundHandlers(const QMetaObject &window);

// What building the table gives the window: every menu and item by its
// lower-cased name, and the menus by name.
struct BuiltCommands {
    QHash<QString, QAction *> items;
    QHash<QString, QMenu *> menus;
};

// One loop over the table: creates each menu and item on `window`, names it,
// adds it to its menu and gives it its shortcut (scoped to `tree` or `editor`
// where the row says so).
BuiltCommands BuildCommands(QWidget &window, QMenuBar *bar, QWidget *tree, QWidget *editor);

// Binds each command item of `items` to its handler through the guard, once
// the targets exist; they must outlive the items.
void BindCommands(const QHash<QString, QAction *> &items, const CommandTargets &targets);

// Runs the handler of this handler name as its item would, unguarded, so a
// caller sees what it throws; throws when no row has that handler.
void RunCommandHandler(const CommandTargets &targets, const QString &handlerName, QObject *Sender);
