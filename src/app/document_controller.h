#pragma once

#include "app/open_dialog_memory.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class BoolSetting;
class BrowserFrame;
class CodeEditor;
class Document;
class DocumentRecovery;
class DocumentTabs;
class Project;
class QAction;
class QWidget;
class RecentFiles;

// The open documents, one tab each, the active one shown in the editor; every
// opened file joins the project's file list with the line it was last left
// at. The project's opened file is always the active document's, so every
// command on "the current document" acts on the active tab. Owns the
// documents, the recent-documents list, what the open dialog last chose and
// the guard against asking twice about a file changed by another program.
class DocumentController final : public QObject {
    Q_OBJECT

public:
    // `window` carries the caption and parents the dialogs and the tab menu;
    // `recentItem` is the menu item the recent documents fill; the user's
    // saves reload `preview` while it is shown.
    DocumentController(Project &project, CodeEditor *editor, DocumentTabs *tabs,
                       BrowserFrame *preview, QWidget *window, QAction *recentItem);
    ~DocumentController() override;

    // At start: offers back, one at a time, the unsaved text a program that
    // crashed or was killed left behind (its path and age), to restore,
    // discard or keep for the next start.
    void OfferRecovery();
    DocumentRecovery &recovery() const { return *m_recovery; }

    // The one way to make a file the current document: switches to its tab,
    // or opens it in a new one (in the active tab when that holds an
    // untouched unnamed document).
    void OpenFileAtLine(const QString &path, bool rememberCurrent);
    void UpdateCaption();
    // Puts "*" before the caption while the text has unsaved changes.
    void ShowModified(bool modified);
    void New2Click(QObject *Sender);
    void Open1Click(QObject *Sender);
    void Close1Click(QObject *Sender);
    void SaveFileClick(QObject *Sender);
    void Saveas2Click(QObject *Sender);
    void RecentFilesOpenFile(QObject *Sender, const QString &FileName);
    // Asks once per change whether to reload a document changed by another program.
    void CheckExternalModification();

    // Before the editor's text is replaced: asks "Save changes to NAME?"
    // (Save, Discard, Cancel) when the text was modified since it was loaded
    // or saved. True when the caller may go on; false when the user cancelled.
    bool AskToSaveChanges();
    // Before the window closes: named documents are saved when modified
    // (unless leaving without saving is chosen in the options); the rest
    // with unsaved text are listed in one question. A failed save says why
    // and offers to quit without saving. False when the user chose to stay.
    bool SettleForExit();
    // Before another project replaces the documents: asks once about every
    // document with unsaved text. False when the user cancelled.
    bool SettleAll();
    // The loaded project's documents replace the open ones (settled
    // before): its remembered tabs that are its own entries and exist, then
    // `active` (none: an unnamed document).
    void OpenProjectDocuments(const QString &active);
    // A file of an open document was renamed on disk.
    void FileRenamed(const QString &oldPath, const QString &newPath);

    // Ctrl+Tab / Ctrl+PgDn and Ctrl+Shift+Tab / Ctrl+PgUp: the next or the
    // previous tab, round the ends.
    void NextTab1Click(QObject *Sender);
    void PreviousTab1Click(QObject *Sender);
    // The tab's menu.
    bool CloseTab(int index);
    // Ctrl+W: closes the active tab, asking first about unsaved text; the
    // file stays in the project.
    void CloseTab1Click(QObject *Sender);
    void CloseOtherTabs(int index);
    void CloseAllTabs();
    void CopyTabPath(int index);

    // Tools > Options: a named document left for another is saved without
    // asking (on by default); off, unsaved documents stay open in their tabs.
    static const BoolSetting &SaveOnLeave();

    // The open documents in tab order, and the active one.
    const std::vector<std::unique_ptr<Document>> &openDocuments() const { return m_documents; }
    Document &activeDocument() const { return *m_active; }
    RecentFiles &recentDocuments() const { return *m_recent; }

    // What the open dialog last chose, for Open... without a sender and for
    // the dialogs that start where it left off.
    OpenDialogMemory &openDialog() { return m_openDialog; }

signals:
    // The user saved a document under `path` (the program's own saves do not count).
    void savedByUser(const QString &path);
    // The tab's Reveal in Tree: the project tree shows `path`'s node.
    void revealInTree(const QString &path);
    // The editor shows `path` now (empty: an unnamed document).
    void documentShown(const QString &path);
    // Open chose a project file: the project, not a document, is to open.
    void openProjectRequested(const QString &path);
    // The Save command saved the document while the preview is shown: the
    // preview shows the saved page.
    void savedForPreview();

private:
    Document *find(const QString &path) const;
    int indexOf(const Document *document) const;
    Document &newDocument();
    // Shows `document` in the editor; `leave` settles the one left first
    // (leaveCurrent). False when that was cancelled.
    bool activate(Document &document, bool leave);
    // Closes without asking; the last document becomes an empty unnamed one.
    void drop(Document &document);
    bool closeDocument(Document &document, bool dropEntry);
    // Asks once about `documents` (Save All, Discard All, Cancel); one alone
    // gets the single question. False when the user cancelled.
    bool askAboutUnsaved(const std::vector<Document *> &documents);
    void refreshTab(const Document &document);
    void showTabMenu(int index, const QPoint &at);
    // The project remembers the open tabs.
    void rememberTabs();
    // The active document follows a change of the project's opened file
    // made outside this controller.
    void followOpenedFile();

    // Saves the document; `interactive` is the user's Save. A silent save
    // writes only a modified document. Before writing over a file another
    // program changed since we loaded or saved it, asks to overwrite, reload
    // or cancel. False when nothing may follow (cancelled).
    bool saveCurrent(bool interactive);
    bool saveAs();
    // Before switching away: a named document whose file exists is saved
    // silently, any other asks. False when the user cancelled.
    bool leaveCurrent();
    QString documentName() const;
    // The file changed on disk while the editor holds unsaved edits: asks
    // Reload / Compare / Keep mine, keeping by default. True to reload.
    bool askReloadOverEdits(const QString &path);
    // Takes the file in again as one undoable step.
    void reload(const QString &path);

    Project &m_project;
    CodeEditor *m_editor;
    DocumentTabs *m_tabs;
    BrowserFrame *m_preview;
    QWidget *m_window;
    OpenDialogMemory m_openDialog;
    bool m_checkingModification = false;
    std::vector<std::unique_ptr<Document>> m_documents;
    Document *m_active = nullptr;
    int m_nextId = 1;
    // Gone before the documents it copies.
    std::unique_ptr<DocumentRecovery> m_recovery;
    RecentFiles *m_recent = nullptr;
};
