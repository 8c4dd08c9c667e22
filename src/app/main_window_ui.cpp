#include "app/main_window_ui.h"

#include "app/document_tabs.h"
#include "app/messages_grid.h"
#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "editor/desktop_fonts.h"
#include "editor/find_replace_bar.h"
#include "forms/browser_frame.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
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

void MainWindowUi::build(QMainWindow *window)
{
    // Centre: the editor over the messages grid; the hidden reading editor.
    centre = new QSplitter(Qt::Vertical);
    centre->setObjectName(QStringLiteral("centre"));
    centre->setChildrenCollapsible(false);
    editorPane = new QWidget(centre);
    editorPane->setObjectName(QStringLiteral("editorPane"));
    auto *paneLayout = new QVBoxLayout(editorPane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    re = new CodeEditor(editorPane);
    re->setObjectName(QStringLiteral("re"));
    findBar = new FindReplaceBar(re, editorPane);
    findBar->hide();
    documentTabs = new DocumentTabs(editorPane);
    paneLayout->addWidget(documentTabs);
    paneLayout->addWidget(re, 1);
    paneLayout->addWidget(findBar);
    re->applyDocumentSettings();
    re->setColouring(CodeEditor::Colouring::Php);
    messages = new MessagesGrid(centre);
    messages->setObjectName(QStringLiteral("messages"));
    messages->setFont(CodeFont(10));
    centre->addWidget(editorPane);
    centre->addWidget(messages);
    centre->setHandleWidth(3);
    messagessplitter = centre->handle(1);
    messagessplitter->setObjectName(QStringLiteral("messagessplitter"));
    messages->setMinimumHeight(40);
    centre->setSizes({400, 81});
    messages->hide();

    temp_re = new CodeEditor(window);
    temp_re->setObjectName(QStringLiteral("temp_re"));
    temp_re->applyDocumentSettings();
    temp_re->setColouring(CodeEditor::Colouring::Php);
    temp_re->hide();

    // Left code explorer, centre, right project tree.
    auto *middle = new QSplitter(Qt::Horizontal);
    middle->setObjectName(QStringLiteral("middle"));
    middle->setHandleWidth(6);
    CodeGrid = makeGrid(middle, QStringLiteral("CodeGrid"), 2);
    PrPanel = new QWidget(middle);
    PrPanel->setObjectName(QStringLiteral("PrPanel"));
    auto *treeLayout = new QVBoxLayout(PrPanel);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(2);
    PrFilter = new QLineEdit(PrPanel);
    PrFilter->setObjectName(QStringLiteral("PrFilter"));
    PrFilter->setPlaceholderText(QStringLiteral("Filter files"));
    PrFilter->setClearButtonEnabled(true);
    PrTree = new QTreeWidget(PrPanel);
    PrTree->setObjectName(QStringLiteral("PrTree"));
    PrTree->setHeaderHidden(true);
    PrTree->setIndentation(19);
    PrTree->setUniformRowHeights(true);
    treeLayout->addWidget(PrFilter);
    treeLayout->addWidget(PrTree, 1);
    middle->addWidget(CodeGrid);
    middle->addWidget(centre);
    middle->addWidget(PrPanel);
    middle->setStretchFactor(1, 1);
    middle->setSizes({209, 600, 200});
    CodeSplitter = middle->handle(1);
    CodeSplitter->setObjectName(QStringLiteral("CodeSplitter"));
    PrSplitter = middle->handle(2);
    PrSplitter->setObjectName(QStringLiteral("PrSplitter"));
    CodeGrid->hide();
    PrPanel->hide();

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
    window->setCentralWidget(central);

    // Status bar: the editor's panels together at the left (line, column,
    // encoding, line ends, insert or overwrite), the log line after them.
    window->statusBar()->setObjectName(QStringLiteral("Status"));
    const auto editorPanel = [window](const char *name, const char *widest) {
        auto *panel = new QLabel;
        panel->setObjectName(QString::fromLatin1(name));
        panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(QLatin1String(widest)) + 8);
        window->statusBar()->addWidget(panel);
        return panel;
    };
    StatusPanel0 = editorPanel("StatusPanel0", "ln 99999");
    StatusColumn = editorPanel("StatusColumn", "col 999");
    StatusEncoding = editorPanel("StatusEncoding", "Windows-1252");
    StatusLineEnds = editorPanel("StatusLineEnds", "CRLF");
    StatusOverwrite = editorPanel("StatusOverwrite", "OVR");
    StatusPanel1 = new QLabel;
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setMinimumWidth(100);
    window->statusBar()->addWidget(StatusPanel1, 1);

    StatusRefr = new QTimer(window);
    StatusRefr->setObjectName(QStringLiteral("StatusRefr"));
    StatusRefr->setInterval(1000);
    CodeExplorerRefresh = new QTimer(window);
    CodeExplorerRefresh->setObjectName(QStringLiteral("CodeExplorerRefresh"));
    CodeExplorerRefresh->setInterval(1000);

    completion = new CompletionPopup(re);
    re->setFocus();
}
