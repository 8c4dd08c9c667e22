// The ".wdx" project file: writing the project into a document and reading
// it back out of a parsed one.

#include "foundation/errors.h"
#include "foundation/trace.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <optional>

namespace {
const QString RootTag = QStringLiteral("WENDLOR_Project");
} // namespace

void Project::writeTarget(const FtpSettings &target)
{
    SetAttrText(QStringLiteral("host"), target.Host);
    SetAttrText(QStringLiteral("user"), target.User);
    SetAttrText(QStringLiteral("pass"), target.storedPass());
    SetAttrText(QStringLiteral("folder"), target.Folder);
    // Written only when set, so a project that uses none of them keeps the
    // bytes that earlier versions wrote and read.
    if (!target.Protocol.isEmpty())
        SetAttrText(QStringLiteral("protocol"), target.Protocol);
    if (!target.Tls.isEmpty())
        SetAttrText(QStringLiteral("tls"), target.Tls);
    if (target.PasswordInKeyring)
        SetAttrBool(QStringLiteral("keyring"), true);
    if (!target.Name.isEmpty())
        SetAttrText(QStringLiteral("name"), target.Name);
    if (target.MirrorDeletions)
        SetAttrBool(QStringLiteral("mirrordeletions"), true);
    if (target.FileMode >= 0)
        SetAttrText(QStringLiteral("filemode"), FtpSettings::modeText(target.FileMode));
    if (target.FolderMode >= 0)
        SetAttrText(QStringLiteral("foldermode"), FtpSettings::modeText(target.FolderMode));
    if (target.KeepTimes)
        SetAttrBool(QStringLiteral("keeptimes"), true);
}

FtpSettings Project::readTarget() const
{
    FtpSettings settings;
    settings.Name = AttrText(QStringLiteral("name"));
    settings.Host = AttrText(QStringLiteral("host"));
    settings.User = AttrText(QStringLiteral("user"));
    settings.Pass = AttrText(QStringLiteral("pass"));
    settings.Folder = AttrText(QStringLiteral("folder"));
    settings.Protocol = AttrText(QStringLiteral("protocol"));
    settings.Tls = AttrText(QStringLiteral("tls"));
    settings.PasswordInKeyring = AttrBool(QStringLiteral("keyring"));
    settings.MirrorDeletions = AttrBool(QStringLiteral("mirrordeletions"));
    // A mode that is no mode (a hand edit) leaves the server's own.
    settings.FileMode = std::max(-1, FtpSettings::modeOf(AttrText(QStringLiteral("filemode"))));
    settings.FolderMode = std::max(-1, FtpSettings::modeOf(AttrText(QStringLiteral("foldermode"))));
    settings.KeepTimes = AttrBool(QStringLiteral("keeptimes"));
    return settings;
}

void Project::WriteXML(XmlOutDocument &document, const QString &filename)
{
    if (!ComparingOnly) {
        OnBeforeSave.raise();
        TRACE_POINT(filename);
    }
    XmlOutElement *root = document.AddChild(RootTag);
    const ProjectPathEncoder encoder(ProjectFolderOf(filename));

    for (int i = 0; i < Files.Count(); ++i) {
        const ProjectEntry *entry = Files.Get(i);
        OutNode = root->AddChild(QStringLiteral("file"));
        const QString fname = encoder.Encode(entry->Name);
        if (!ComparingOnly)
            TRACE_POINT(fname);
        SetAttrText(QStringLiteral("path"), fname);
        SetAttrInt(QStringLiteral("line"), entry->Line);
        SetAttrBool(QStringLiteral("publish"), entry->Publish);
    }

    // The first target is the `ftp` element with the `exclude` elements
    // after it, as always; further targets are `target` elements holding
    // their own, which readers that do not know them skip.
    const QList<FtpSettings> targets = PublishTargets();
    OutNode = root->AddChild(QStringLiteral("ftp"));
    writeTarget(targets.first());
    for (const QString &pattern : targets.first().Exclude) {
        OutNode = root->AddChild(QStringLiteral("exclude"));
        SetAttrText(QStringLiteral("pattern"), pattern);
    }
    for (qsizetype i = 1; i < targets.size(); ++i) {
        XmlOutElement *target = root->AddChild(QStringLiteral("target"));
        OutNode = target;
        writeTarget(targets.at(i));
        for (const QString &pattern : targets.at(i).Exclude) {
            OutNode = target->AddChild(QStringLiteral("exclude"));
            SetAttrText(QStringLiteral("pattern"), pattern);
        }
    }
    if (ChosenTarget() != 0) {
        OutNode = root->AddChild(QStringLiteral("publishto"));
        SetAttrInt(QStringLiteral("target"), ChosenTarget());
    }

    OutNode = root->AddChild(QStringLiteral("address"));
    SetAttrText(QStringLiteral("address"), RunAddress);

    OutNode = root->AddChild(QStringLiteral("DatabaseAddress"));
    SetAttrText(QStringLiteral("address"), DatabaseAddress);

    OutNode = root->AddChild(QStringLiteral("opened"));
    SetAttrText(QStringLiteral("path"), OpenedFile);
    // One tab is the opened file alone: such a project keeps the bytes that
    // earlier versions wrote, and their readers skip the element.
    if (OpenTabs.size() > 1) {
        for (const QString &tab : OpenTabs) {
            OutNode = root->AddChild(QStringLiteral("tab"));
            SetAttrText(QStringLiteral("path"), encoder.Encode(tab));
        }
    }

    // Debugging elements only when there is something to keep, so other
    // projects keep the bytes earlier versions wrote; readers that do not
    // know them skip them.
    for (const DebugSettings::Breakpoint &bp : Debug.Breakpoints) {
        OutNode = root->AddChild(QStringLiteral("breakpoint"));
        SetAttrText(QStringLiteral("path"), encoder.Encode(bp.file));
        SetAttrInt(QStringLiteral("line"), bp.line);
        if (!bp.condition.isEmpty())
            SetAttrText(QStringLiteral("condition"), bp.condition);
    }
    if (Debug.Port != DebugSettings::DefaultPort) {
        OutNode = root->AddChild(QStringLiteral("debug"));
        SetAttrInt(QStringLiteral("port"), Debug.Port);
    }
    for (const DebugSettings::Mapping &m : Debug.Mappings) {
        OutNode = root->AddChild(QStringLiteral("pathmap"));
        SetAttrText(QStringLiteral("server"), m.server);
        SetAttrText(QStringLiteral("local"), encoder.Encode(m.local));
    }

    if (WatchFolder) {
        OutNode = root->AddChild(QStringLiteral("folder"));
        SetAttrBool(QStringLiteral("watch"), true);
    }

    // Logged before the file is written, so it shows even if the write fails.
    if (!ComparingOnly)
        Log(QStringLiteral("Project saved"));
}

std::unique_ptr<ProjectContent> Project::ReadContent(const QDomDocument &document,
                                                     const QString &fileName)
{
    auto content = std::make_unique<ProjectContent>();
    Project reader;
    reader.readContent(document, fileName, *content);
    return content;
}

void Project::LoadContent(ProjectContent &content, const FileStamp &identity,
                          const QString &fileName, bool storedLater)
{
    takeContent(content, fileName);
    TakeLoaded(identity, fileName, storedLater);
    OnProjectUpdate.raise();
}

void Project::ReadXML(const QDomDocument &document, const QString &fileName)
{
    // Everything is read into fresh objects first; the project itself changes
    // only once the whole file has been read.
    ProjectContent content;
    readContent(document, fileName, content);
    takeContent(content, fileName);
}

void Project::readContent(const QDomDocument &document, const QString &fileName,
                          ProjectContent &content)
{
    const QDomElement root = document.documentElement();
    if (root.tagName() != RootTag)
        throw AppError(QStringLiteral("XML parse - wrong format"));

    OwningList<ProjectEntry> &files = content.files;
    QString &opened = content.opened;
    QStringList &tabs = content.tabs;
    std::optional<QString> &runAddress = content.runAddress;
    std::optional<QString> &databaseAddress = content.databaseAddress;
    std::optional<FtpSettings> &ftp = content.ftp;
    QStringList &exclude = content.exclude;
    QList<FtpSettings> &moreTargets = content.moreTargets;
    int &chosenTarget = content.chosenTarget;
    DebugSettings &debug = content.debug;
    bool &watchFolder = content.watchFolder;
    const ProjectPathDecoder decoder(ProjectFolderOf(fileName));

    const QDomElement previousNode = Node;
    try {
        for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling()) {
            if (!child.isElement())
                continue;
            Node = child.toElement();
            const QString name = Node.tagName();
            if (name == QLatin1String("file")) {
                files.AddNew();
                ProjectEntry *entry = files.Last();
                entry->Name = decoder.Decode(AttrText(QStringLiteral("path")));
                bool ok = false;
                const int line = AttrText(QStringLiteral("line")).toInt(&ok);
                entry->Line = ok ? line : 0;
                entry->Publish = AttrBool(QStringLiteral("publish"));
            } else if (name == QLatin1String("address")) {
                runAddress = AttrText(QStringLiteral("address"));
            } else if (name == QLatin1String("ftp")) {
                ftp = readTarget();
            } else if (name == QLatin1String("target")) {
                FtpSettings target = readTarget();
                const QDomElement element = Node;
                for (QDomElement pattern = element.firstChildElement(QStringLiteral("exclude"));
                     !pattern.isNull();
                     pattern = pattern.nextSiblingElement(QStringLiteral("exclude"))) {
                    Node = pattern;
                    const QString text = AttrText(QStringLiteral("pattern"));
                    if (!text.isEmpty())
                        target.Exclude << text;
                }
                Node = element;
                moreTargets.append(target);
            } else if (name == QLatin1String("publishto")) {
                bool ok = false;
                const int index = AttrText(QStringLiteral("target")).toInt(&ok);
                chosenTarget = ok ? index : 0;
            } else if (name == QLatin1String("exclude")) {
                const QString pattern = AttrText(QStringLiteral("pattern"));
                if (!pattern.isEmpty())
                    exclude << pattern;
            } else if (name == QLatin1String("DatabaseAddress")) {
                databaseAddress = AttrText(QStringLiteral("address"));
            } else if (name == QLatin1String("opened")) {
                opened = AttrText(QStringLiteral("path"));
            } else if (name == QLatin1String("tab")) {
                const QString path = AttrText(QStringLiteral("path"));
                if (!path.isEmpty())
                    tabs << decoder.Decode(path);
            } else if (name == QLatin1String("breakpoint")) {
                bool ok = false;
                const int line = AttrText(QStringLiteral("line")).toInt(&ok);
                const QString path = AttrText(QStringLiteral("path"));
                // A breakpoint without a file or a line is no breakpoint.
                if (ok && line > 0 && !path.isEmpty())
                    debug.Breakpoints.append(
                        {decoder.Decode(path), line, AttrText(QStringLiteral("condition"))});
            } else if (name == QLatin1String("debug")) {
                bool ok = false;
                const int port = AttrText(QStringLiteral("port")).toInt(&ok);
                if (ok && port > 0 && port < 65536)
                    debug.Port = port;
            } else if (name == QLatin1String("folder")) {
                watchFolder = AttrBool(QStringLiteral("watch"));
            } else if (name == QLatin1String("pathmap")) {
                const QString server = AttrText(QStringLiteral("server"));
                const QString local = AttrText(QStringLiteral("local"));
                if (!server.isEmpty() && !local.isEmpty())
                    debug.Mappings.append({server, decoder.Decode(local)});
            }
        }
    } catch (const AppError &e) {
        Node = previousNode;
        throw AppError(QStringLiteral("XML parse - %1 in \"%2\"").arg(e.message(), fileName));
    }
    Node = previousNode;
}

void Project::takeContent(ProjectContent &content, const QString &fileName)
{
    FtpSettings first = content.ftp ? *content.ftp : Ftp;
    first.Exclude = content.exclude;
    QList<FtpSettings> targets{first};
    targets << content.moreTargets;
    // A chosen target that is not there (a hand-edited file) is the first.
    const int chosen = content.chosenTarget;
    SetPublishTargets(targets, chosen >= 0 && chosen < targets.size() ? chosen : 0);
    Files.Swap(content.files);
    Debug = content.debug;
    WatchFolder = content.watchFolder;
    if (content.runAddress)
        RunAddress = *content.runAddress;
    if (content.databaseAddress)
        DatabaseAddress = *content.databaseAddress;
    FileName = fileName;
    OpenTabs = content.tabs;
    SetOpenedFile(content.opened);
    OnLoaded.raise();
    Log(QStringLiteral("Loaded"));
}
