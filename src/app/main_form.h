#pragma once

#include "project/project.h"

#include <QHash>
#include <QMainWindow>

class CodeEditor;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QTableWidget;
class QTimer;
class QTreeWidget;
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
    void setSecondaryWindows(const SecondaryWindows *windows) { m_windows = windows; }
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

    // Silent saves used when closing.
    void SavePrjClick(QObject *Sender);
    void SaveFileClick(QObject *Sender);

    // The product's home page, opened by Help > Home Page.
    static QString homePageAddress();

    cProject Project;

    CodeEditor *re = nullptr;
    CodeEditor *temp_re = nullptr;
    QTableWidget *messages = nullptr;
    QWidget *messagessplitter = nullptr;
    QTreeWidget *PrTree = nullptr;
    QWidget *PrSplitter = nullptr;
    QTableWidget *CodeGrid = nullptr;
    QWidget *CodeSplitter = nullptr;
    QWidget *WebPanel = nullptr;
    QWidget *WebPanelSplit = nullptr;
    QWidget *ftppanel = nullptr;
    QProgressBar *ftpprogress = nullptr;
    QPlainTextEdit *ftplog = nullptr;
    QLabel *StatusPanel0 = nullptr;
    QLabel *StatusPanel1 = nullptr;
    QTimer *StatusRefr = nullptr;
    QTimer *CodeExplorerRefresh = nullptr;
    QMenu *ProjPopup = nullptr;
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
    void OnLoadedExecute();
    void WorkspaceLogExecute();
    void PublishProgressExecute();

    const SecondaryWindows *m_windows = nullptr;
    QHash<QString, QAction *> m_items;
    QSplitter *m_centre = nullptr;
    bool m_firstActivation = true;
    bool m_closing = false;
    const QEvent *m_lastKey = nullptr;
};
