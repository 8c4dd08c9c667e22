#pragma once

#include "app/controller.h"

#include <QString>

// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces. Owns the
// texts last searched for, which the prompts offer again.
class SearchController final : public Controller {
    Q_OBJECT

public:
    using Controller::Controller;

    // Find and Search Again in the document (no wrap).
    void Find1Click(QObject *Sender);
    void Searchagain1Click(QObject *Sender);
    void GotoLine1Click(QObject *Sender);
    // Find in Files over the project's files as saved, hits into the messages.
    void Findinfiles1Click(QObject *Sender);
    // Brace-counting re-indent outside the undo history.
    void IndentCode1Click(QObject *Sender);

private:
    QString m_findText;
    QString m_findInFilesText;
};
