#pragma once

#include "app/controller.h"

#include <QString>
#include <QStringList>

// The documents: one at a time in the editor, every opened file joining the
// project's file list with the line it was last left at. Owns what the open
// dialog last chose and the guard against asking twice about a file changed
// by another program.
class DocumentController final : public Controller {
    Q_OBJECT

public:
    using Controller::Controller;

    // The one way to make a file the current document.
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

    // The open dialog's file list and folder: Open... without a sender opens
    // these, and Add to Project starts in the folder it last used.
    QStringList odFiles;
    QString odFolder;

signals:
    // The user saved a document under `path` (the program's own saves do not count).
    void savedByUser(const QString &path);

private:
    bool m_checkingModification = false;
};
