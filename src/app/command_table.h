#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <span>

class MainWindow;
class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QWidget;
struct QMetaObject;

// One row of the main window's menus, in display order: a menu, a popup menu,
// a separator, a command with its handler, or an alias showing a command of an
// earlier row (by its name) in one more menu. Names, captions and shortcuts are
// the program's own; the test driver and the tests find items by name.
struct CommandRow {
    enum class Kind { Menu, Popup, Separator, Command, Alias };
    enum Flag {
        Hidden = 1,          // exists for its shortcut or its handler only
        Checkable = 2,       // toggles its own check mark when chosen
        Checked = 4,         // checked at start
        TreeShortcut = 8,    // its shortcut works only in the project tree
        EditorShortcut = 16, // its shortcut works only in the editor
    };
    using Handler = void (MainWindow::*)(QObject *Sender);

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
// adds it to its menu, gives it its shortcut (scoped to `tree` or `editor`
// where the row says so) and binds its handler through the guard.
BuiltCommands BuildCommands(MainWindow &window, QMenuBar *bar, QWidget *tree, QWidget *editor);
