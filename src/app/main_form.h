#pragma once

#include "project/project.h"

#include <QHash>
#include <QMainWindow>
#include <memory>

class CodeEditor;
class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTableWidget;
class MessagesGrid;
class QTimer;
class QTreeWidget;
class TRecentFiles;
class HttpClient;
class LocalPhpServer;
class PhpLint;
class TRegString;
struct PhpLintResult;
class Tframe_browser;
struct SecondaryWindows;

// The workspace: one editor, the project, the panels around the editor, the
// menus, the status line and two timers. Handlers keep the names users and
// the test driver reach them by; a handler called without a sender is the
// program's own call and never prompts.
class TMainForm final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // The windows created after this one; set once by the application.
    void setSecondaryWindows(const SecondaryWindows *windows)
    {
        m_windows = windows;
        setUpRunServer();
    }
    const SecondaryWindows *secondaryWindows() const { return m_windows; }

    // A menu item (main menu, hidden menu or popup) by its component name.
    QAction *item(const QString &name) const;

    // Window-level events.
    void FormCreate();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void AppEventsActivate();
    void UpdateStatusLine();
    bool firstActivationPending() const { return m_firstActivation; }

    // Window commands.
    void Exit1Click(QObject *Sender);
    void AboutClick(QObject *Sender);
    void OptionsClick(QObject *Sender);
    void Help2Click(QObject *Sender);
    void WebSite1Click(QObject *Sender);
    void cmd1Click(QObject *Sender);
    void Code1Click(QObject *Sender);
    void pmitemClick(QObject *Sender);

    // Documents: the one way to make a file the current document, the caption
    // and the File menu's document commands.
    void OpenFileAtLine(const QString &path, bool rememberCurrent);
    void UpdateCaption();
    void New2Click(QObject *Sender);
    void Open1Click(QObject *Sender);
    void Close1Click(QObject *Sender);
    void SaveFileClick(QObject *Sender);
    void Saveas2Click(QObject *Sender);
    void RecentFilesOpenFile(QObject *Sender, const QString &FileName);
    // Asks once per change whether to reload a document changed by another program.
    void CheckExternalModification();

    // Messages panel: rows of text, file and line; rows with a file jump.
    void ClearMessages();
    void AddMessage(const QString &text);
    // Many rows at once (find in files), as AddMessage and the cell writes
    // one after the other would leave them.
    struct MessageRow {
        QString text;
        QString file;
        QString line;
    };
    void AddMessageRows(const QList<MessageRow> &rows);
    void ShowMessages();
    void HideMessages();
    void messagesDblClick(QObject *Sender);
    void messagesKeyDown(int key, Qt::KeyboardModifiers shift);
    // Writes cell (column, row) of the messages grid.
    void SetMessageCell(int column, int row, const QString &text);
    QString MessageCell(int column, int row) const;

    // Project commands.
    void OpenProject(const QString &path);
    void SaveProjectTo(const QString &path);
    void SavePrjClick(QObject *Sender);
    void Saveas1Click(QObject *Sender);
    void New1Click(QObject *Sender);
    void Open2Click(QObject *Sender);
    void Files1Click(QObject *Sender);
    void ProjectAddClick(QObject *Sender);

    // Project tree: rebuilt on every project update, opens what is selected.
    static constexpr int NoNode = -2;
    // The selected node's integer: -1 the project node, else the entry index;
    // NoNode without a selection.
    int SelectedNode() const;
    void OnProjectUpdateExecute();
    void PrTreeDblClick(QObject *Sender);
    void PrTreeKeyDown(int key, Qt::KeyboardModifiers shift);
    void ProjPopupPopup(QObject *Sender);
    void dontpublishClick(QObject *Sender);
    void removefromprojClick(QObject *Sender);
    void Rename1Click(QObject *Sender);

    // Web preview and the page windows.
    void WebPanel1Click(QObject *Sender);
    void WebPanelURL1Click(QObject *Sender);
    void WebPanelURLChange(const QString &text);
    void ReloadPreviewAfterSave();
    void Run3Click(QObject *Sender);

    // Run commands and the HTTP client they fetch with (one for the run).
    void Run2Click(QObject *Sender);
    void RunwithoutDebuging1Click(QObject *Sender);
    void RunText1Click(QObject *Sender);
    HttpClient &Http();
    void SetHttpClient(std::unique_ptr<HttpClient> client);

    // --- own PHP server and php -l: declarations ---
    // The switch of Environment Options that lets Run start PHP's server.
    static const TRegString &StartPhpServer();
    // Before the run address is shown or fetched: refuses what is not an
    // http or https address, and starts the project's own PHP server when the
    // address is on the loopback, nothing answers there and the switch is on.
    // Shows nothing; `served` false means nothing can serve the address.
    struct RunServing {
        bool served = false;
        QString problem; // why not, when there is more to say than "nothing answers"
    };
    RunServing ServeRunAddress(const QString &address);
    // Our page in a frame that says what to do about an address nothing serves.
    void ShowRunGuidance(Tframe_browser *frame, const QString &address, const QString &problem);
    // Run > Server Log: the own server's log, read into the text window.
    void ServerLog1Click(QObject *Sender);
    LocalPhpServer &PhpServer();
    // After a save: `php -l` of a .php file in the background; a parse error
    // becomes a messages row with file and line, removed by a clean check.
    void LintSavedFile(const QString &path);
    void PhpLintChecked(const PhpLintResult &result);
    PhpLint &Lint();
    // --- end own PHP server and php -l ---

    // --- search, functions, code explorer, indenter: declarations ---
    // Search menu: Find and Search Again in the document (no wrap), Goto Line,
    // Find in Files over the project's files as saved, hits into the messages.
    void Find1Click(QObject *Sender);
    void Searchagain1Click(QObject *Sender);
    void GotoLine1Click(QObject *Sender);
    void Findinfiles1Click(QObject *Sender);
    // Edit > Indent Code: brace-counting re-indent outside the undo history.
    void IndentCode1Click(QObject *Sender);
    // Function lists: the project's (scanned from disk) and the current document's.
    void Allfunctionlist1Click(QObject *Sender);
    void FunctionList1Click(QObject *Sender);
    // Code explorer: the document's declaration lines, kept current while shown.
    void CodeExplorerClick(QObject *Sender);
    void CodeGridEnter(QObject *Sender);
    void CodeGridDblClick(QObject *Sender);
    void CodeGridKeyDown(int key, Qt::KeyboardModifiers shift);
    void CodeExplorerRefreshTimer(QObject *Sender);
    // How many times the explorer's rows were really rebuilt (unchanged text is skipped).
    int codeExplorerRebuilds() const { return m_explorerRebuilds; }
    // --- end search, functions, code explorer, indenter ---

    // --- completion and PHP manual: declarations ---
    // Completion over the local PHP manual's names, with the advice window
    // following the highlight, and the online manual lookup.
    void Adviser1Click(QObject *Sender);
    void completionShow(QObject *Sender);
    void completionChange(QObject *Sender, int index);
    void completionClose(QObject *Sender);
    void PHPnethelp1Click(QObject *Sender);
    // The "advise" switch: the advice window shown modally once.
    void ShowAdviceModal();
    // The completion pop-up attached to `re`.
    class CompletionPopup *completion() const { return m_completion; }
    // --- end completion and PHP manual ---

    // --- publishing: declarations ---
    // Project Options and the publish commands. The FTP connection is one for
    // the whole run, made at its first use; its transfers report to FTPWork.
    void Publish1Click(QObject *Sender);
    void Publish2Click(QObject *Sender);
    void Publish3Click(QObject *Sender);
    void publishnowClick(QObject *Sender);
    // Appends a transfer's byte count to the FTP log.
    void FTPWork(qint64 bytesSoFar);
    class FtpConnection &FTP();
    // Replaces the connection (tests shorten its time-out); not during a run.
    void SetFtpConnection(std::unique_ptr<class FtpConnection> connection);
    // --- end publishing ---

    // The open dialog's file list and folder: Open... without a sender opens
    // these, and Add to Project starts in the folder it last used.
    QStringList odFiles;
    QString odFolder;

    // The product's home page, opened by Help > Home Page.
    static QString homePageAddress();

    cProject Project;

    CodeEditor *re = nullptr;
    CodeEditor *temp_re = nullptr;
    MessagesGrid *messages = nullptr;
    QWidget *messagessplitter = nullptr;
    QTreeWidget *PrTree = nullptr;
    QWidget *PrSplitter = nullptr;
    QTableWidget *CodeGrid = nullptr;
    QWidget *CodeSplitter = nullptr;
    Tframe_browser *WebPanel = nullptr;
    QWidget *WebPanelSplit = nullptr;
    QWidget *ftppanel = nullptr;
    QProgressBar *ftpprogress = nullptr;
    QPlainTextEdit *ftplog = nullptr;
    QLabel *StatusPanel0 = nullptr;
    QLabel *StatusPanel1 = nullptr;
    QTimer *StatusRefr = nullptr;
    QTimer *CodeExplorerRefresh = nullptr;
    QMenu *ProjPopup = nullptr;
    TRecentFiles *RecentFiles = nullptr;
    QMenu *EdPopup = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void bindHandlers();
    void bindEditorEvents(CodeEditor *editor, bool keys);
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption,
                     const QString &shortcut = QString());
    QMenu *addMenu(QMenu *parent, const QString &name, const QString &caption);
    void FormClose();
    // The command whose shortcut is also a main menu's access key, if any.
    QAction *commandForMnemonicClash(const QKeyEvent *key) const;
    void OnLoadedExecute();
    void WorkspaceLogExecute();
    void PublishProgressExecute();

    const SecondaryWindows *m_windows = nullptr;
    QHash<QString, QAction *> m_items;
    QSplitter *m_centre = nullptr;
    bool m_firstActivation = true;
    bool m_closing = false;
    bool m_checkingModification = false;
    QString m_previousPreviewAddress;
    QString m_previousRunAddress;
    std::unique_ptr<HttpClient> m_http;

    // --- own PHP server and php -l: state ---
    // The preview's and the Run window's gates and failure pages.
    void setUpRunServer();
    std::unique_ptr<LocalPhpServer> m_phpServer;
    PhpLint *m_lint = nullptr;
    QHash<QString, QString> m_lintRows; // file -> text of its php -l row
    // --- end own PHP server and php -l state ---

    // --- search, functions, code explorer, indenter: state ---
    void bindNavigation();
    void rebuildCodeGrid();
    void selectFirstOccurrence(const QString &text);
    QString m_findText;
    QString m_findInFilesText;
    bool m_explorerStale = true;
    int m_explorerRebuilds = 0;
    // --- end search, functions, code explorer, indenter state ---

    // --- completion and PHP manual: state ---
    void setUpCompletion();
    class CompletionPopup *m_completion = nullptr;
    // Receives the pop-up's reports; it goes with the members, so a list
    // closing while the window itself is torn down reaches no handler.
    std::unique_ptr<QObject> m_completionReceiver;
    // The entries are read once per run, at the first request, even when
    // that read fails.
    bool m_completionLoaded = false;
    QString m_lastLookup;
    // --- end completion and PHP manual state ---

    // --- publishing: state ---
    void setUpPublishing();
    // Shows the FTP panel around one run of the publish engine.
    void runPublish(int index);
    // The current document's entry in the file list, or -1.
    int openedFileEntry() const;
    // shared_ptr: destroyed where the connection's type is not known.
    std::shared_ptr<class FtpConnection> m_ftp;
    // The last Project Options showing ended without OK.
    bool m_publishOptionsCancelled = false;
    // --- end publishing state ---
    const QEvent *m_lastKey = nullptr;
};
