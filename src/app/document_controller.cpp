// The document commands: one document at a time in the editor, every opened
// file joining the project's file list with the line it was last left at.
#include "app/document_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/run_controller.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "foundation/settings.h"
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

void DocumentController::OpenFileAtLine(const QString &path, bool rememberCurrent)
{
    const bool exists = fileExists(path);
    if (!exists)
        Dialogs().showMessage(QStringLiteral("file doesn't exist:") + path);

    if (rememberCurrent && fileExists(m_project.OpenedFile)) {
        SaveFileClick(nullptr);
        const int index = m_project.IndexOf(m_project.OpenedFile);
        if (index >= 0) {
            const int line = m_ui.re->caretLine() - 1;
            m_project.Files.Get(index)->Line = line;
            TraceLog(m_project.OpenedFile + u':' + QString::number(line));
        }
    }

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
        m_ui.re->clearAll();
        try {
            if (exists)
                m_ui.re->loadFromFile(path);
        } catch (...) {
            // The first load succeeded a moment ago; a second failure leaves it empty.
        }
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
}

void DocumentController::New2Click(QObject *)
{
    m_ui.re->clearAll();
    m_project.SetOpenedFile(QString());
    m_window.setWindowTitle(ApplicationTitle());
}

void DocumentController::Open1Click(QObject *Sender)
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
            m_window.OpenProject(name);
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
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0)
        m_project.Files.Delete(index);
    m_project.SetOpenedFile(QString());
    UpdateCaption();
    m_ui.re->clearAll();
}

void DocumentController::SaveFileClick(QObject *Sender)
{
    TRACE_POINT("SaveClick");
    if (!Sender)
        TRACE_POINT("Sender is null");
    if (!m_project.OpenedFile.isEmpty()) {
        m_ui.re->saveToFile(m_project.OpenedFile);
        TraceLog(QStringLiteral("Save file"));
        m_project.RefreshStamp();
        if (Sender)
            emit savedByUser(m_project.OpenedFile);
        if (Sender && m_ui.WebPanel->isVisible()) {
            TRACE_POINT("WebPanel Navigate");
            m_window.run().ReloadPreviewAfterSave();
        }
    } else if (Sender) {
        Saveas2Click(nullptr);
    }
}

void DocumentController::Saveas2Click(QObject *)
{
    const QString chosen = Dialogs().saveFile(QStringLiteral("Save as"), m_project.OpenedFile,
                                              DocumentFilter, QStringLiteral("php"));
    if (chosen.isEmpty())
        return;
    m_ui.re->saveToFile(chosen);
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0)
        m_project.Files.Delete(index);
    m_project.Files.AddNew();
    m_project.Files.Last()->Name = chosen;
    m_project.SetOpenedFile(chosen);
    UpdateCaption();
    emit savedByUser(chosen);
}

void DocumentController::CheckExternalModification()
{
    const QString path = m_project.OpenedFile;
    if (m_checkingModification || !fileExists(path) || !m_project.OpenedChangedOnDisk())
        return;
    // The question box itself may bring activations; ask once.
    m_checkingModification = true;
    try {
        if (Dialogs().askYesNo(QStringLiteral("Warning"),
                               QStringLiteral("File ") + path +
                                   QStringLiteral(" was modified externally. Reload?")))
            OpenFileAtLine(path, false);
        m_project.RefreshStamp();
    } catch (...) {
        m_checkingModification = false;
        m_project.RefreshStamp();
        throw;
    }
    m_checkingModification = false;
}
