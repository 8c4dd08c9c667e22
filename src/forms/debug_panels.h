#pragma once

#include <QDockWidget>

class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;

// The debugger's panels in one dock (object name `DebugPanel`): the call
// stack (`CallStack`), the variables of the chosen frame as a tree that loads
// children when opened (`Variables`), watch expressions with the line that
// adds one (`Watches`, `EvaluateEdit`) and the session's log (`DebugLog`).
// It only shows; the debugger controller fills it.
class DebugPanels final : public QDockWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DebugPanels)

public:
    explicit DebugPanels(QWidget *parent = nullptr);

    // Item data roles of the variables and watches trees.
    enum Role {
        FullNameRole = Qt::UserRole, // what property_get takes
        NextPageRole,                // the page a "more" row or an unopened node loads
        LoadedRole,                  // children have been asked for
    };

    // A log line, kept to the last few thousand.
    void log(const QString &line);

    QTreeWidget *CallStack;
    QTreeWidget *Variables;
    QTreeWidget *Watches;
    QLineEdit *EvaluateEdit;
    QPlainTextEdit *DebugLog;
};
