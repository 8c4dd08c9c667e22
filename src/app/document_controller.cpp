// The document commands: one document at a time in the editor, every opened
// file joining the project's file list with the line it was last left at.
#include "app/document_controller.h"

#include "app/document_recovery.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/project_tree_controller.h"
#include "app/run_controller.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/compare_dialog.h"
#include "foundation/errors.h"
#include "foundation/file_read.h"
#include "foundation/handler_guard.h"
#include "foundation/line_diff.h"
#include "foundation/safe_write.h"
#include "foundation/settings.h"
#include "foundation/text_encoding.h"
#include "foundation/trace.h"
#include "foundation/user_dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

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

// Where the encoding of the document cannot hold what was typed: the file
// becomes UTF-8 only when the user agrees, never silently.
bool askConvertToUtf8(const QString &name, const QString &characters)
{
    return Dialogs().askYesNo(
        QStringLiteral("Convert to UTF-8?"),
        QStringLiteral("%1 is stored in Windows-1252, which cannot hold %2.\n\n"
                       "Convert the file to UTF-8 when it is saved? With No it keeps "
                       "Windows-1252 and cannot be saved until those characters are removed.")
            .arg(name, characters));
}

const QString DocumentFilter = QStringLiteral("PHP files|*.php|Any file|*.*");
const QString AnyFileFilter = QStringLiteral("Any file|*.*");
} // namespace

DocumentController::DocumentController(MainWindow &window, Project &project, const MainWindowUi &ui,
                                       const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    m_ui.re->setEncodingQuestion(
        [this](const QString &characters) { return askConvertToUtf8(documentName(), characters); });
    m_recovery = std::make_unique<DocumentRecovery>(
        *m_ui.re, [this] { return m_project.OpenedFile; }, this);
}

DocumentController::~DocumentController() = default;

namespace {
QString ageOf(const QDateTime &written)
{
    const qint64 seconds = std::max<qint64>(0, written.secsTo(QDateTime::currentDateTime()));
    if (seconds < 120)
        return QStringLiteral("%1 seconds").arg(seconds);
    if (seconds < 2 * 3600)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    if (seconds < 2 * 86400)
        return QStringLiteral("%1 hours").arg(seconds / 3600);
    return QStringLiteral("%1 days").arg(seconds / 86400);
}
} // namespace

void DocumentController::OfferRecovery()
{
    for (const DocumentRecovery::Left &left : DocumentRecovery::leftBehind()) {
        const int answer = Dialogs().askChoice(
            QStringLiteral("Recover unsaved text"),
            QStringLiteral("Quillstone ended without saving %1; its text was copied %2 ago "
                           "(%3).\n\nRestore that text into the editor, discard it, or keep it "
                           "for the next start?")
                .arg(left.path.isEmpty() ? QStringLiteral("an unnamed document") : left.path,
                     ageOf(left.written), QLocale().toString(left.written, QLocale::ShortFormat)),
            {QStringLiteral("&Restore"), QStringLiteral("&Discard"),
             QStringLiteral("&Keep for later")});
        if (answer == 1)
            QFile::remove(left.file);
        if (answer != 0)
            continue;
        // One document at a time: the editor holds one, and the others stay
        // for the next start rather than being saved over one another.
        if (left.path.isEmpty() || !IsRegularFile(left.path)) {
            if (!AskToSaveChanges())
                return;
            m_ui.re->clearAll();
            m_project.SetOpenedFile(QString());
            UpdateCaption();
        } else {
            OpenFileAtLine(left.path, true);
            if (m_project.OpenedFile != left.path)
                return;
        }
        // One step: Undo shows the file as it is on disk.
        m_ui.re->replaceBytes(0, m_ui.re->documentLength(), left.text);
        m_recovery->update();
        QFile::remove(left.file);
        return;
    }
}

QString DocumentController::documentName() const
{
    return m_project.OpenedFile.isEmpty() ? QStringLiteral("Untitled")
                                          : QFileInfo(m_project.OpenedFile).fileName();
}

bool DocumentController::AskToSaveChanges()
{
    if (!m_ui.re->isDocumentModified())
        return true;
    const int answer = Dialogs().askChoice(
        QStringLiteral("Unsaved changes"),
        QStringLiteral("Save changes to %1?").arg(documentName()),
        {QStringLiteral("&Save"), QStringLiteral("&Discard"), QStringLiteral("Cancel")});
    if (answer == 0)
        return saveCurrent(true) && !m_project.OpenedFile.isEmpty();
    if (answer == 1)
        m_recovery->discard(); // the user's word: nothing to offer back
    return answer == 1;
}

bool DocumentController::leaveCurrent()
{
    if (!fileExists(m_project.OpenedFile))
        return AskToSaveChanges();
    if (!saveCurrent(false))
        return false;
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0) {
        const int line = m_ui.re->caretLine() - 1;
        m_project.Files.Get(index)->Line = line;
        TraceLog(m_project.OpenedFile + u':' + QString::number(line));
    }
    return true;
}

bool DocumentController::SettleForExit()
{
    try {
        if (m_project.OpenedFile.isEmpty())
            return AskToSaveChanges();
        return saveCurrent(false);
    } catch (...) {
        const QString reason = exceptionMessage(std::current_exception());
        const int answer = Dialogs().askChoice(
            QStringLiteral("Cannot save"),
            QStringLiteral("%1 could not be saved:\n%2\n\nQuit without saving it, or stay?")
                .arg(documentName(), reason),
            {QStringLiteral("&Quit without saving"), QStringLiteral("&Stay")});
        return answer == 0;
    }
}

void DocumentController::OpenFileAtLine(const QString &path, bool rememberCurrent)
{
    // A pipe or a device is never taken for a missing file: an empty
    // document bound to it would replace it with a regular file on saving.
    const QString kind = FileKindName(path);
    if (!kind.isEmpty() && !IsRegularFile(path)) {
        Dialogs().showMessage(
            QStringLiteral("%1 is %2; only regular files can be opened.").arg(path, kind));
        return;
    }
    const bool exists = fileExists(path);
    if (!exists)
        Dialogs().showMessage(QStringLiteral("file doesn't exist:") + path);

    if (rememberCurrent && !leaveCurrent())
        return;

    if (exists) {
        m_ui.re->loadFromFile(path);
    } else {
        // A missing file starts empty under its name; the text of the
        // document left behind must not be saved into it.
        m_ui.re->clearAll();
    }

    const int index = m_project.IndexOf(path);
    if (index < 0) {
        // File names keep their letter case: on this system it tells files apart.
        m_project.Files.AddNew();
        m_project.Files.Last()->Name = path;
    } else {
        const int line = m_project.Files.Get(index)->Line;
        TraceLog(QStringLiteral("index:") + QString::number(index));
        TraceLog(QStringLiteral("goto line: ") + QString::number(line));
        m_ui.re->setCaretLine(line + 1);
    }

    m_project.SetOpenedFile(path);
    applyColouringRule(m_ui.re, path);
    UpdateCaption();
}

void DocumentController::UpdateCaption()
{
    const QString project =
        m_project.FileName.isEmpty() ? QString() : QFileInfo(m_project.FileName).completeBaseName();
    QString caption = ApplicationTitle();
    if (!project.isEmpty())
        caption = project + QStringLiteral(" - ") + caption;
    if (!m_project.OpenedFile.isEmpty())
        caption += QStringLiteral(" - ") + m_project.OpenedFile;
    m_window.setWindowTitle(caption);
    ShowModified(m_ui.re->isDocumentModified());
}

void DocumentController::ShowModified(bool modified)
{
    // Only the mark changes: after New the caption stays the title alone.
    QString caption = m_window.windowTitle();
    if (caption.startsWith(u'*'))
        caption.remove(0, 1);
    m_window.setWindowTitle(modified ? u'*' + caption : caption);
}

void DocumentController::New2Click(QObject *)
{
    if (!AskToSaveChanges())
        return;
    m_ui.re->clearAll();
    m_project.SetOpenedFile(QString());
    m_window.setWindowTitle(ApplicationTitle());
}

void DocumentController::Open1Click(QObject *Sender)
{
    if (Sender) {
        const QStringList chosen =
            Dialogs().openFiles(QStringLiteral("Open"), odFolder, AnyFileFilter, true);
        if (chosen.isEmpty())
            return;
        odFiles = chosen;
        odFolder = QFileInfo(chosen.constLast()).absolutePath();
    }
    const QStringList names = odFiles;
    for (const QString &name : names) {
        if (QFileInfo(name).suffix().compare(QLatin1String("wdx"), Qt::CaseInsensitive) == 0 &&
            name.contains(u'.'))
            m_window.projectTree().OpenProject(name);
        else
            OpenFileAtLine(name, true);
    }
}

void DocumentController::RecentFilesOpenFile(QObject *, const QString &FileName)
{
    odFiles = QStringList{FileName};
    Open1Click(nullptr);
}

void DocumentController::Close1Click(QObject *)
{
    if (!AskToSaveChanges())
        return;
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0)
        m_project.Files.Delete(index);
    m_project.SetOpenedFile(QString());
    UpdateCaption();
    m_ui.re->clearAll();
    // The entries after the closed one moved up: a tree left as it was would
    // open the wrong file from their nodes.
    if (index >= 0)
        m_project.OnProjectUpdate.raise();
}

void DocumentController::SaveFileClick(QObject *Sender)
{
    TRACE_POINT("SaveClick");
    if (!Sender)
        TRACE_POINT("Sender is null");
    const bool named = !m_project.OpenedFile.isEmpty();
    if (!saveCurrent(Sender != nullptr) || !named || !Sender)
        return;
    emit savedByUser(m_project.OpenedFile);
    if (m_ui.WebPanel->isVisible()) {
        TRACE_POINT("WebPanel Navigate");
        m_window.run().ReloadPreviewAfterSave();
    }
}

bool DocumentController::saveCurrent(bool interactive)
{
    const QString path = m_project.OpenedFile;
    if (path.isEmpty())
        return interactive ? saveAs() : true;
    if (!interactive && !m_ui.re->isDocumentModified())
        return true;
    if (m_ui.re->filePath() == path && m_ui.re->diskChange() == CodeEditor::DiskChange::Modified) {
        const int answer = Dialogs().askChoice(
            QStringLiteral("Changed on disk"),
            QStringLiteral("%1 was changed by another program since it was loaded or saved.\n\n"
                           "Overwrite it with the editor's text, reload it from disk (losing the "
                           "editor's changes), or cancel?")
                .arg(path),
            {QStringLiteral("&Overwrite"), QStringLiteral("&Reload"), QStringLiteral("Cancel")});
        if (answer == 1) {
            reload(path);
            return true;
        }
        if (answer != 0)
            return false;
    }
    m_ui.re->saveToFile(path);
    TraceLog(QStringLiteral("Save file"));
    m_project.RefreshStamp();
    return true;
}

void DocumentController::Saveas2Click(QObject *)
{
    saveAs();
}

bool DocumentController::saveAs()
{
    const QString chosen = Dialogs().saveFile(QStringLiteral("Save as"), m_project.OpenedFile,
                                              DocumentFilter, QStringLiteral("php"));
    if (chosen.isEmpty())
        return false;
    m_ui.re->saveToFile(chosen);
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0)
        m_project.Files.Delete(index);
    m_project.Files.AddNew();
    m_project.Files.Last()->Name = chosen;
    m_project.SetOpenedFile(chosen);
    UpdateCaption();
    emit savedByUser(chosen);
    return true;
}

void DocumentController::CheckExternalModification()
{
    // Full-resolution time, size and identity against what we loaded or
    // saved: the project's two-second stamp would miss a quick rewrite.
    const QString path = m_project.OpenedFile;
    if (m_checkingModification || !fileExists(path) || m_ui.re->filePath() != path ||
        m_ui.re->diskChange() != CodeEditor::DiskChange::Modified)
        return;
    // The question box itself may bring activations; ask once.
    m_checkingModification = true;
    try {
        if (m_ui.re->isDocumentModified()
                ? askReloadOverEdits(path)
                : Dialogs().askYesNo(QStringLiteral("Warning"),
                                     QStringLiteral("File ") + path +
                                         QStringLiteral(" was modified externally. Reload?")))
            reload(path);
        else
            m_ui.re->refreshDiskStamp();
        m_project.RefreshStamp();
    } catch (...) {
        m_checkingModification = false;
        m_ui.re->refreshDiskStamp();
        m_project.RefreshStamp();
        throw;
    }
    m_checkingModification = false;
}

bool DocumentController::askReloadOverEdits(const QString &path)
{
    const QStringList answers{QStringLiteral("&Reload (discarding your edits)"),
                              QStringLiteral("&Compare"), QStringLiteral("&Keep mine")};
    const int answer = Dialogs().askChoice(
        QStringLiteral("Changed on disk"),
        QStringLiteral("%1 was changed by another program, and the editor holds edits that "
                       "are not saved.\n\nReload it (discarding your edits), compare the two, "
                       "or keep the editor's text?")
            .arg(path),
        answers);
    if (answer == 0)
        return true;
    if (answer != 1)
        return false;
    const QByteArray disk =
        ReadWholeFile(path, CodeEditor::MaxFileBytes, QStringLiteral("compare"));
    QString theirs = QString::fromUtf8(disk);
    if (auto wide = document_encoding::decodeWide(disk.constData(), disk.size()))
        theirs = QString::fromUtf8(wide->utf8);
    else if (!text_encoding::isValidUtf8(disk.constData(), disk.size()))
        theirs =
            QString::fromUtf8(document_encoding::windows1252ToUtf8(disk.constData(), disk.size()));
    if (theirs.startsWith(QChar(0xFEFF)))
        theirs.remove(0, 1);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    CompareDialog compare(
        path, UnifiedLineDiff(m_ui.re->wholeText().split(lineEnd), theirs.split(lineEnd)),
        &m_window);
    return Dialogs().showModal(&compare) == CompareDialog::Reload;
}

void DocumentController::reload(const QString &path)
{
    m_ui.re->reloadFromFile(path);
    m_project.RefreshStamp();
    UpdateCaption();
}
