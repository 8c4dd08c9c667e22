#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

// What the open dialog last chose. Open... without a sender opens these files
// again (that is how the recent-files menu opens its entries), and every
// dialog that picks project files starts in the folder of the last choice.
// The documents own the one instance; other commands read and feed it
// through it, never through fields of their own.
class OpenDialogMemory {
public:
    const QStringList &files() const { return m_files; }
    // The folder of the last choice, or `fallback` before any.
    QString folderOr(const QString &fallback) const
    {
        return m_folder.isEmpty() ? fallback : m_folder;
    }
    // A choice made in a dialog: its files, and the folder it was made in.
    void remember(const QStringList &chosen)
    {
        if (chosen.isEmpty())
            return;
        m_files = chosen;
        m_folder = QFileInfo(chosen.constLast()).absolutePath();
    }
    // Files named elsewhere (the recent-files menu); the folder stays.
    void setFiles(const QStringList &files) { m_files = files; }

private:
    QStringList m_files;
    QString m_folder;
};
