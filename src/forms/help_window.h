#pragma once

#include <QDialog>

class QPushButton;
class QTextEdit;

// The help window. Its text comes from "help.rtf", read once, the first time
// the window is about to show; until then the box holds its one placeholder
// line.
// Object name `AppHelpForm`.
class HelpWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    HelpWindow();

    // Loads folder/help.rtf while the box holds at most one line. Throws
    // AppError when the file is missing, unreadable or not RTF; the box then
    // keeps what it had.
    void loadHelpIfNeeded(const QString &folder);

    QTextEdit *RichEdit1;
    QPushButton *OkButton;
    QPushButton *CancelButton;
};
