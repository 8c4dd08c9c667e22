#pragma once

#include "app/controller.h"
#include "app/open_dialog_memory.h"

#include <QString>
#include <QStringList>

#include <memory>

class DocumentRecovery;

// The documents: one at a time in the editor, every opened file joining the
// project's file list with the line it was last left at. Owns what the open
// dialog last chose and the guard against asking twice about a file changed
// by another program.
class DocumentController final : public Controller {
    Q_OBJECT

public:
    DocumentController(MainWindow &window, Project &project, const MainWindowUi &ui,
                       const SecondaryWindows &windows);
    ~DocumentController() override;

    // At start: offers back, one at a time, the unsaved text a program that
    // crashed or was killed left behind (its path and age), to restore,
    // discard or keep for the next start.
    void OfferRecovery();
    DocumentRecovery &recovery() const { return *m_recovery; }

    // The one way to make a file the current document.
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
    // Before the window closes: a named document is saved when modified, an
    // unnamed one asks; a failed save says why and offers to quit without
    // saving. False when the user chose to stay.
    bool SettleForExit();

    // What the open dialog last chose, for Open... without a sender and for
    // the dialogs that start where it left off.
    OpenDialogMemory &openDialog() { return m_openDialog; }

signals:
    // The user saved a document under `path` (the program's own saves do not count).
    void savedByUser(const QString &path);
    // The editor shows `path` now (empty: an unnamed document).
    void documentShown(const QString &path);

private:
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

    OpenDialogMemory m_openDialog;
    bool m_checkingModification = false;
    std::unique_ptr<DocumentRecovery> m_recovery;
};
