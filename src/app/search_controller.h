#pragma once

#include "project/find_in_files.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class BackgroundSearch;
class CodeEditor;
class FindInFilesDialog;
class FindReplaceBar;
class MessagesController;
class MessagesGrid;
class Project;
class QWidget;

// The Search menu and Edit > Indent Code: finding text in the document and in
// the project's files, moving to a line, and re-indenting by braces. Owns the
// texts last searched for, which the prompts offer again, the Find in Files
// options (remembered in the settings) and a running Find in Files.
class SearchController final : public QObject {
    Q_OBJECT

public:
    // Hits go to `messages`, whose rows `grid` shows; the Find in Files
    // dialog is made on first use as a child of `dialogParent`.
    SearchController(Project &project, CodeEditor *editor, FindReplaceBar *findBar,
                     MessagesGrid *grid, MessagesController &messages, QWidget *dialogParent);
    ~SearchController() override;

    // Find and Search Again in the document (no wrap).
    void Find1Click(QObject *Sender);
    void Searchagain1Click(QObject *Sender);
    void GotoLine1Click(QObject *Sender);
    // The Find and Replace bar under the editor, with its replace row.
    void Replace1Click(QObject *Sender);
    // Find in Files over the project's files as saved, hits into the messages.
    // A search that takes long goes on in the background, its hits shown as
    // they come, until it ends or is cancelled.
    void Findinfiles1Click(QObject *Sender);
    // Ends a running Find in Files, keeping its hits; false when none runs.
    bool CancelSearch();
    bool IsSearching() const { return m_search != nullptr; }
    // Brace-counting re-indent of every line in one change, one undo step.
    void IndentCode1Click(QObject *Sender);

private:
    FindInFilesDialog &findInFilesDialog();
    // Moves what the search found to the panel; ends it when it is over.
    void takeFound();
    enum class Stage { Searching, Done, Cancelled };
    void showCount(Stage stage);

    Project &m_project;
    CodeEditor *m_editor;
    FindReplaceBar *m_findBar;
    MessagesGrid *m_grid;
    MessagesController &m_messages;
    QWidget *m_dialogParent;
    QString m_findText;
    QString m_findInFilesText;
    FileSearchOptions m_findOptions;
    FindInFilesDialog *m_dialog = nullptr;
    std::unique_ptr<BackgroundSearch> m_search;
    QTimer m_poll;
    qsizetype m_matches = 0;
    qsizetype m_files = 0;
    QStringList m_skippedRows; // rows for unreadable files, shown at the end
    int m_binaryFiles = 0;
    int m_lastFile = -1;
};
