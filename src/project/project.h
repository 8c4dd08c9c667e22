#pragma once

#include "foundation/notification.h"
#include "foundation/owning_list.h"
#include "foundation/xml_storage.h"
#include "project/dos_stamp.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// FTP settings of a project and the progress of the publish running now.
struct FtpSettings {
    // Values of Protocol and Tls as the project file keeps them; an absent
    // attribute reads as empty, which means plain FTP.
    static constexpr const char *Sftp = "sftp";
    static constexpr const char *TlsRequired = "required";
    static constexpr const char *TlsWhenOffered = "when offered";
    static constexpr const char *TlsOff = "off";

    QString Host;
    QString User;
    QString Pass;     // plain text, as the project file keeps it
    QString Folder;   // remote folder that receives the project
    int Progress = 0; // percent, 0..100; never saved
    QString Protocol; // empty or "ftp": FTP; "sftp": SFTP
    QString Tls;      // FTP only: "required", "when offered", "off" or empty (off)
    // The user keeps the password in the desktop keyring.
    bool PasswordInKeyring = false;
    // Never saved: the keyring is known to hold Pass now. Only then does the
    // project file leave the password out, so a keyring that failed never
    // costs the user a password.
    bool KeyringHoldsPassword = false;

    // The password as the project file keeps it.
    QString storedPass() const
    {
        return PasswordInKeyring && KeyringHoldsPassword ? QString() : Pass;
    }
    // Gitignore-style patterns of files never uploaded, in the user's order.
    QStringList Exclude;
    QString Name; // the target's name ("staging", "production"); may be empty
    // Publish Changes deletes from the host the files it published there
    // that the project no longer has.
    bool MirrorDeletions = false;
    // Permissions given to each file sent and each folder made (0644,
    // 0755 ...); -1 leaves them as the server makes them.
    int FileMode = -1;
    int FolderMode = -1;
    // Each file sent gets the local file's modification time on the host,
    // where the server supports it.
    bool KeepTimes = false;
    // "0644" for a mode, empty for -1; and back: -1 for empty text, -2 for
    // text that is no mode.
    static QString modeText(int mode)
    {
        return mode < 0 ? QString() : QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'));
    }
    static int modeOf(const QString &text)
    {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return -1;
        bool ok = false;
        const int mode = trimmed.toInt(&ok, 8);
        return ok && mode >= 0 && mode <= 07777 ? mode : -2;
    }

    bool isSftp() const { return Protocol.compare(QLatin1String(Sftp), Qt::CaseInsensitive) == 0; }
    // Same as the project file keeps it (the run's progress and what the
    // keyring holds now do not count).
    bool operator==(const FtpSettings &other) const
    {
        return Name == other.Name && Host == other.Host && User == other.User &&
               storedPass() == other.storedPass() && Folder == other.Folder &&
               Protocol == other.Protocol && Tls == other.Tls &&
               PasswordInKeyring == other.PasswordInKeyring && Exclude == other.Exclude &&
               MirrorDeletions == other.MirrorDeletions && FileMode == other.FileMode &&
               FolderMode == other.FolderMode && KeepTimes == other.KeepTimes;
    }
    // The name a list shows: the name, or else the host, or else `fallback`.
    QString displayName(const QString &fallback) const
    {
        if (!Name.trimmed().isEmpty())
            return Name;
        return Host.trimmed().isEmpty() ? fallback : Host.trimmed();
    }
};

// One entry of the project's file list.
// Step debugging: the breakpoints (file, 1-based line, optional condition),
// the port "Listen for Debugger" waits on, and server-to-project folder
// mappings for a server the program did not start.
struct DebugSettings {
    static constexpr int DefaultPort = 9003;
    struct Breakpoint {
        QString file;
        int line = 0;
        QString condition; // a PHP expression; empty: always
        bool operator==(const Breakpoint &) const = default;
    };
    struct Mapping {
        QString server;
        QString local;
        bool operator==(const Mapping &) const = default;
    };
    QList<Breakpoint> Breakpoints;
    int Port = DefaultPort;
    QList<Mapping> Mappings;
};

class ProjectEntry {
public:
    QString Name;        // full native path
    qint32 Line = 0;     // 0-based caret line where the file was last left
    bool Publish = true; // false when the file is locked from publishing
};

// A project file's content as read and checked, not yet taken in: made on
// any thread by Project::ReadContent, taken in by Project::LoadContent.
struct ProjectContent {
    OwningList<ProjectEntry> files;
    QString opened;
    QStringList tabs;
    std::optional<QString> runAddress;
    std::optional<QString> databaseAddress;
    std::optional<FtpSettings> ftp;
    QStringList exclude;
    QList<FtpSettings> moreTargets;
    int chosenTarget = 0;
    DebugSettings debug;
    bool watchFolder = false;
};

// The program's working set: the files the user opened, the document open in
// the editor with its time stamp, the run and database addresses, the FTP
// settings and the function index. One lives as long as the main window; it
// tells the window about changes through single-receiver notifications and
// stores itself in a ".wdx" project file.
class Project final : public XmlStorage {
public:
    static constexpr const char *DefaultRunAddress = "http://127.0.0.1";
    static constexpr const char *DefaultDatabaseAddress = "http://127.0.0.1/pa/";

    Project();

    // Loads the project file, then raises OnProjectUpdate (also after the
    // missing-file message). A failed load changes nothing.
    void LoadFromFile(const QString &fileName) override;
    // Reads the content of a parsed project file without taking it in;
    // raises what ReadXML raises. Touches no object: safe on any thread.
    static std::unique_ptr<ProjectContent> ReadContent(const QDomDocument &document,
                                                       const QString &fileName);
    // Takes in `content` (emptied), read from `fileName` as `identity` found
    // it, then raises OnProjectUpdate, as LoadFromFile does.
    void LoadContent(ProjectContent &content, const FileStamp &identity, const QString &fileName,
                     bool storedLater = false);
    void WriteXML(XmlOutDocument &document, const QString &filename) override;
    void ReadXML(const QDomDocument &document, const QString &fileName) override;

    // Index of the first entry named exactly `name`; -1 if none. Letter case
    // counts: on this system it tells files apart.
    int IndexOf(const QString &name) const;
    // Sets the opened-file name as given and takes its time stamp.
    void SetOpenedFile(const QString &name);
    // Takes OpenedStamp from the file's last modification; zero without a file.
    void RefreshStamp();
    // True when the opened file's time differs from OpenedStamp. A file whose
    // time cannot be read counts as unchanged.
    bool OpenedChangedOnDisk() const;
    // Takes in what another program changed in the project file since we
    // read or wrote it (`base`, what we read or wrote; `theirs`, the file
    // now): entries added or removed there, and lines, locks and settings
    // changed there and not here; the opened document stays this window's.
    // Returns what both sides changed
    // differently, by name; those keep our value.
    QStringList MergeFrom(const Project &base, const Project &theirs);
    // Appends an entry for each path not in the list yet (nor earlier in
    // `paths`), in the given order; letter case tells files apart. Raises
    // OnProjectUpdate once when any was added. Returns how many were added;
    // they are the last entries.
    int AddFiles(const QStringList &paths);
    // Appends every entry's name, in list order.
    void ListFileNames(QStringList &list) const;
    // Empties the project for a new one; the addresses stay.
    void Clear();
    // Deletes the entry at `index` (a negative index does nothing) and raises
    // OnProjectUpdate.
    void RemoveFile(int index);
    // Hands a log line to the receiver of OnWorkspaceLog; lost when unbound.
    void Log(const QString &text);
    // Every publish target in the project file's order, the chosen one as
    // Ftp holds it now; at least one. The first is the file's `ftp` element.
    QList<FtpSettings> PublishTargets() const;
    int ChosenTarget() const { return m_targets.isEmpty() ? 0 : m_chosenTarget; }
    // Replaces the targets and makes `chosen` the one Ftp holds (and every
    // publish uses); Ftp's progress stays. An empty list or an index out of
    // range throws AppError and changes nothing.
    void SetPublishTargets(const QList<FtpSettings> &targets, int chosen);
    // Makes target `chosen` the one Ftp holds.
    void ChooseTarget(int chosen) { SetPublishTargets(PublishTargets(), chosen); }
    // Function index from the files on disk (function_scan.h); files that
    // cannot be read are passed over and named in ScanSkipped.
    void ScanFunctions();

    QString OpenedFile;
    // The named documents open in tabs, in tab order (the active one is
    // OpenedFile); stored as `tab` elements when more than one is open.
    QStringList OpenTabs;
    Notification OnLoaded;
    Notification OnBeforeSave;
    Notification OnWorkspaceLog;
    Notification OnPublishProgress;
    QString LogText;
    DosStamp OpenedStamp = 0;
    QString RunAddress;
    QString DatabaseAddress;
    OwningList<ProjectEntry> Files;
    Notification OnProjectUpdate;
    FtpSettings Ftp;
    DebugSettings Debug;
    // Made from its folder: it takes in files that appear there by itself.
    bool WatchFolder = false;
    QStringList FunctionLines;
    QStringList FunctionFiles;
    // Why the last ScanFunctions passed over files it could not read, one per file.
    QStringList ScanSkipped;

protected:
    // An FTP password makes the project file private to its owner.
    bool HoldsSecrets() const override;

private:
    // One target's attributes, as the `ftp` and `target` elements hold them.
    void writeTarget(const FtpSettings &target);
    FtpSettings readTarget() const;
    // ReadXML's halves: what the file says, then the project taking it in.
    void readContent(const QDomDocument &document, const QString &fileName,
                     ProjectContent &content);
    void takeContent(ProjectContent &content, const QString &fileName);

    // The targets of a project with more than one, in file order; the
    // chosen one's place is filled from Ftp when they are asked for. Empty
    // while Ftp is the only target.
    QList<FtpSettings> m_targets;
    int m_chosenTarget = 0;
};
