#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Paths as the project file stores them. In memory paths are native ('/');
// the file keeps them relative to the project folder with '\' separators and
// "..\" for parent folders, as files written on any platform do. Folder names
// are compared with letter case here: on a case-sensitive file system two
// folders that differ only in case are different folders, and treating them
// as one would store a path to the wrong file.

// The project folder of a project file: its absolute folder with a closing '/'.
QString ProjectFolderOf(const QString &projectFile);

// Turns full paths into the stored relative form for one project folder. The
// folder is split once, so encoding a long list stays linear.
class ProjectPathEncoder {
public:
    explicit ProjectPathEncoder(const QString &projectFolder);

    // The stored form of `fullPath`. A path that is not a native absolute
    // path, or whose stored part would hold a '\' of its own, is kept whole.
    QString Encode(const QString &fullPath) const;

private:
    QStringList m_folderParts;
};

// Turns stored values back into full paths for one project folder, split once.
class ProjectPathDecoder {
public:
    explicit ProjectPathDecoder(const QString &projectFolder);
    ProjectPathDecoder(const ProjectPathDecoder &) = delete;
    ProjectPathDecoder &operator=(const ProjectPathDecoder &) = delete;

    // See DecodeProjectPath.
    QString Decode(const QString &stored) const;

private:
    QString m_folder;
    QList<QStringView> m_folderSegments; // views into m_folder
};

// The full path a stored value stands for: native absolute values as they
// stand, drive-letter and "\\server" values in their own form, anything else
// joined to `projectFolder`; "." and ".." segments are removed.
QString DecodeProjectPath(const QString &stored, const QString &projectFolder);

// Removes "." and ".." segments and repeated separators from a native
// absolute path.
QString CleanNativePath(const QString &path);
