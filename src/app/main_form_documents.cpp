// The document commands: one document at a time in the editor, every opened
// file joining the project's file list with the line it was last left at.
#include "app/main_form.h"

#include "editor/code_editor.h"
#include "forms/frame_browser.h"
#include "foundation/reg_string.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"

#include <QFileInfo>

namespace {
bool fileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// ".htm"/".html" colour as HTML; ".py" keeps what the editor has; the rest is PHP.
void applyColouringRule(CodeEditor *editor, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot >= 0 ? name.mid(dot).toLower() : QString();
    if (ext == QLatin1String(".htm") || ext == QLatin1String(".html"))
        editor->setColouring(CodeEditor::Colouring::Html);
    else if (ext != QLatin1String(".py"))
        editor->setColouring(CodeEditor::Colouring::Php);
}

const QString DocumentFilter = QStringLiteral("PHP files|*.php|Any file|*.*");
const QString AnyFileFilter = QStringLiteral("Any file|*.*");
} // namespace

void TMainForm::OpenFileAtLine(const QString &path, bool rememberCurrent)
{
    const bool exists = fileExists(path);
    if (!exists)
        Dialogs().showMessage(QStringLiteral("file doesn't exist:") + path);

    if (rememberCurrent && fileExists(Project.OpenedFile)) {
        SaveFileClick(nullptr);
        const int index = Project.IndexOf(Project.OpenedFile);
        if (index >= 0) {
            const int line = re->caretLine() - 1;
            Project.Files.Get(index)->Line = line;
            TraceLog(Project.OpenedFile + u':' + QString::number(line));
        }
    }

    if (exists) {
        re->loadFromFile(path);
    } else {
        // A missing file starts empty under its name; the text of the
        // document left behind must not be saved into it.
        re->clearAll();
    }

    const int index = Project.IndexOf(path);
    if (index < 0) {
        // File names keep their letter case: on this system it tells files apart.
        Project.Files.AddNew();
        Project.Files.Last()->Name = path;
    } else {
        const int line = Project.Files.Get(index)->Line;
        re->clearAll();
        try {
            if (exists)
                re->loadFromFile(path);
        } catch (...) {
            // The first load succeeded a moment ago; a second failure leaves it empty.
        }
        TraceLog(QStringLiteral("index:") + QString::number(index));
        TraceLog(QStringLiteral("goto line: ") + QString::number(line));
        re->setCaretLine(line + 1);
    }

    Project.SetOpenedFile(path);
    applyColouringRule(re, path);
    UpdateCaption();
}

void TMainForm::UpdateCaption()
{
    const QString project =
        Project.FileName.isEmpty() ? QString() : QFileInfo(Project.FileName).completeBaseName();
    QString caption = ApplicationTitle();
    if (!project.isEmpty())
        caption = project + QStringLiteral(" - ") + caption;
    if (!Project.OpenedFile.isEmpty())
        caption += QStringLiteral(" - ") + Project.OpenedFile;
    setWindowTitle(caption);
}

void TMainForm::New2Click(QObject *)
{
    re->clearAll();
    Project.SetOpenedFile(QString());
    setWindowTitle(ApplicationTitle());
}

void TMainForm::Open1Click(QObject *Sender)
{
    if (Sender) {
        const QStringList chosen = Dialogs().openFiles(QStringLiteral("Open"), odFolder, AnyFileFilter, true);
        if (chosen.isEmpty())
            return;
        odFiles = chosen;
        odFolder = QFileInfo(chosen.constLast()).absolutePath();
    }
    const QStringList names = odFiles;
    for (const QString &name : names) {
        if (QFileInfo(name).suffix().compare(QLatin1String("wdx"), Qt::CaseInsensitive) == 0 &&
            name.contains(u'.'))
            OpenProject(name);
        else
            OpenFileAtLine(name, true);
    }
}

void TMainForm::RecentFilesOpenFile(QObject *, const QString &FileName)
{
    odFiles = QStringList{FileName};
    Open1Click(nullptr);
}

void TMainForm::Close1Click(QObject *)
{
    const int index = Project.IndexOf(Project.OpenedFile);
    if (index >= 0)
        Project.Files.Delete(index);
    Project.SetOpenedFile(QString());
    UpdateCaption();
    re->clearAll();
}

void TMainForm::SaveFileClick(QObject *Sender)
{
    TRACE_POINT("SaveClick");
    if (!Sender)
        TRACE_POINT("Sender is null");
    if (!Project.OpenedFile.isEmpty()) {
        re->saveToFile(Project.OpenedFile);
        TraceLog(QStringLiteral("Save file"));
        Project.RefreshStamp();
        if (Sender)
            LintSavedFile(Project.OpenedFile);
        if (Sender && WebPanel->isVisible()) {
            TRACE_POINT("WebPanel Navigate");
            ReloadPreviewAfterSave();
        }
    } else if (Sender) {
        Saveas2Click(nullptr);
    }
}

void TMainForm::Saveas2Click(QObject *)
{
    const QString chosen = Dialogs().saveFile(QStringLiteral("Save as"), Project.OpenedFile,
                                              DocumentFilter, QStringLiteral("php"));
    if (chosen.isEmpty())
        return;
    re->saveToFile(chosen);
    const int index = Project.IndexOf(Project.OpenedFile);
    if (index >= 0)
        Project.Files.Delete(index);
    Project.Files.AddNew();
    Project.Files.Last()->Name = chosen;
    Project.SetOpenedFile(chosen);
    UpdateCaption();
    LintSavedFile(chosen);
}

void TMainForm::CheckExternalModification()
{
    const QString path = Project.OpenedFile;
    if (m_checkingModification || !fileExists(path) || !Project.OpenedChangedOnDisk())
        return;
    // The question box itself may bring activations; ask once.
    m_checkingModification = true;
    try {
        if (Dialogs().askYesNo(QStringLiteral("Warning"),
                               QStringLiteral("File ") + path +
                                   QStringLiteral(" was modified externally. Reload?")))
            OpenFileAtLine(path, false);
        Project.RefreshStamp();
    } catch (...) {
        m_checkingModification = false;
        Project.RefreshStamp();
        throw;
    }
    m_checkingModification = false;
}
