#pragma once

class BrowserFrame;
class CodeEditor;
class CompletionPopup;
class DocumentTabs;
class FindReplaceBar;
class MessagesGrid;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTableWidget;
class QTimer;
class QTreeWidget;
class QWidget;
class RecentFiles;

// The main window's controls, named after their components as the window
// description has them (each also carries that object name). build() makes
// them all, laid out and in their start-up visibility; the window owns them
// through Qt's parent chain. Controllers and tests see them through a const
// view: they may use the controls but never replace one.
struct MainWindowUi {
    void build(QMainWindow *window);

    CodeEditor *re = nullptr;
    CodeEditor *temp_re = nullptr;
    CompletionPopup *completion = nullptr;
    QSplitter *centre = nullptr;
    // The editor over its Find and Replace bar, the upper part of `centre`.
    QWidget *editorPane = nullptr;
    // The open documents' tabs, above the editor.
    DocumentTabs *documentTabs = nullptr;
    FindReplaceBar *findBar = nullptr;
    MessagesGrid *messages = nullptr;
    QWidget *messagessplitter = nullptr;
    QTreeWidget *PrTree = nullptr;
    // The tree under its filter box; shown and hidden as one.
    QWidget *PrPanel = nullptr;
    QLineEdit *PrFilter = nullptr;
    QWidget *PrSplitter = nullptr;
    QTableWidget *CodeGrid = nullptr;
    QWidget *CodeSplitter = nullptr;
    BrowserFrame *WebPanel = nullptr;
    QWidget *WebPanelSplit = nullptr;
    QWidget *ftppanel = nullptr;
    QProgressBar *ftpprogress = nullptr;
    QPlainTextEdit *ftplog = nullptr;
    QLabel *StatusPanel0 = nullptr;
    QLabel *StatusPanel1 = nullptr;
    // The editor's panels at the right end: column, encoding, line ends,
    // insert or overwrite.
    QLabel *StatusColumn = nullptr;
    QLabel *StatusEncoding = nullptr;
    QLabel *StatusLineEnds = nullptr;
    QLabel *StatusOverwrite = nullptr;
    QTimer *StatusRefr = nullptr;
    QTimer *CodeExplorerRefresh = nullptr;
    QMenu *ProjPopup = nullptr;
    QMenu *EdPopup = nullptr;
    RecentFiles *recentFiles = nullptr;
};
