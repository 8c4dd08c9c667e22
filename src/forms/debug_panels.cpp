#include "forms/debug_panels.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QTreeWidget *makeTree(const QString &name, const QStringList &columns, QWidget *parent)
{
    auto *tree = new QTreeWidget(parent);
    tree->setObjectName(name);
    tree->setHeaderLabels(columns);
    tree->setUniformRowHeights(true); // a page of a big array stays cheap to show
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(0, 180);
    return tree;
}
} // namespace

DebugPanels::DebugPanels(QWidget *parent) : QDockWidget(QStringLiteral("Debug"), parent)
{
    setObjectName(QStringLiteral("DebugPanel"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    CallStack = makeTree(QStringLiteral("CallStack"),
                         {QStringLiteral("Function"), QStringLiteral("File")}, splitter);
    CallStack->setRootIsDecorated(false);
    Variables = makeTree(QStringLiteral("Variables"),
                         {QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Type")},
                         splitter);

    auto *tabs = new QTabWidget(splitter);
    auto *watchPage = new QWidget(tabs);
    auto *watchLayout = new QVBoxLayout(watchPage);
    watchLayout->setContentsMargins(0, 0, 0, 0);
    EvaluateEdit = new QLineEdit(watchPage);
    EvaluateEdit->setObjectName(QStringLiteral("EvaluateEdit"));
    EvaluateEdit->setPlaceholderText(QStringLiteral("Expression to watch, Enter adds it"));
    Watches = makeTree(
        QStringLiteral("Watches"),
        {QStringLiteral("Expression"), QStringLiteral("Value"), QStringLiteral("Type")}, watchPage);
    watchLayout->addWidget(EvaluateEdit);
    watchLayout->addWidget(Watches);
    DebugLog = new QPlainTextEdit(tabs);
    DebugLog->setObjectName(QStringLiteral("DebugLog"));
    DebugLog->setReadOnly(true);
    DebugLog->setMaximumBlockCount(3000);
    tabs->addTab(watchPage, QStringLiteral("Watch"));
    tabs->addTab(DebugLog, QStringLiteral("Log"));
    splitter->setSizes({250, 400, 300});
    setWidget(splitter);
}

void DebugPanels::log(const QString &line)
{
    DebugLog->appendPlainText(line);
}
