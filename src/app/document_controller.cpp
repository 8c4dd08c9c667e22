// The document commands: documents in tabs, the active one in the editor,
// every opened file joining the project's file list with the line it was
// last left at.
#include "app/document_controller.h"

#include "app/document.h"
#include "app/document_recovery.h"
#include "app/document_tabs.h"
#include "components/recent_files.h"
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
#include "project/project.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalBlocker>

#include <algorithm>

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
const QString SaveQuestionTitle = QStringLiteral("Unsaved changes");
// Files opened lately, beside the recent projects of File > Reopen.
constexpr int RecentDocumentCount = 10;
} // namespace

const BoolSetting &DocumentController::SaveOnLeave()
{
    static const BoolSetting setting(QStringLiteral("SaveOnLeave"), QStringLiteral("1"));
    return setting;
}

DocumentController::DocumentController(Project &project, CodeEditor *editor, DocumentTabs *tabs,
                                       BrowserFrame *preview, QWidget *window, QAction *recentItem)
    : m_project(project), m_editor(editor), m_tabs(tabs), m_preview(preview), m_window(window)
{
    m_editor->setEncodingQuestion(
        [this](const QString &characters) { return askConvertToUtf8(documentName(), characters); });
    m_documents.push_back(std::make_unique<Document>(m_nextId++, m_editor->adoptShownDocument()));
    m_active = m_documents.front().get();
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->addTab(QString());
    }
    refreshTab(*m_active);
    m_recovery = std::make_unique<DocumentRecovery>(
        *m_editor,
        [this] {
            return DocumentRecovery::Shown{m_active->id(), m_project.OpenedFile};
        },
        this);

    m_recent = new RecentFiles(this, RecentFiles::defaultKeyRoot(),
                               QStringLiteral("RecentDocuments"), RecentDocumentCount);
    m_recent->SetMenuItem(recentItem);
    m_recent->OnOpenFile = [this](QObject *sender, const QString &name) {
        RunGuarded([this, sender, name] { RecentFilesOpenFile(sender, name); });
    };

    connect(tabs, &QTabBar::currentChanged, this, [this](int index) {
        RunGuarded([this, index] {
            if (index < 0 || index >= int(m_documents.size()))
                return;
            Document &chosen = *m_documents[size_t(index)];
            // A cancelled switch puts the tab of the document kept back.
            bool switched = false;
            try {
                followOpenedFile();
                switched = activate(chosen, true);
            } catch (...) {
                const QSignalBlocker quiet(m_tabs);
                m_tabs->setCurrentIndex(indexOf(m_active));
                throw;
            }
            if (!switched) {
                const QSignalBlocker quiet(m_tabs);
                m_tabs->setCurrentIndex(indexOf(m_active));
            }
            m_editor->takeFocus();
        });
    });
    connect(tabs, &QTabBar::tabMoved, this, [this](int from, int to) {
        auto moved = std::move(m_documents[size_t(from)]);
        m_documents.erase(m_documents.begin() + from);
        m_documents.insert(m_documents.begin() + to, std::move(moved));
        rememberTabs();
    });
    connect(tabs, &DocumentTabs::closeRequested, this,
            [this](int index) { RunGuarded([this, index] { CloseTab(index); }); });
    connect(tabs, &DocumentTabs::menuRequested, this,
            [this](int index, const QPoint &at) { showTabMenu(index, at); });
    connect(m_editor, &CodeEditor::modifiedChanged, this, [this] { refreshTab(*m_active); });
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
        if (left.path.isEmpty() || !IsRegularFile(left.path)) {
            // A tab of its own, unnamed: nothing open gives way to it but
            // an untouched unnamed document.
            const bool untouched = m_active->path.isEmpty() && !m_active->isModified() &&
                                   m_editor->documentLength() == 0;
            if (!untouched) {
                Document &fresh = newDocument();
                if (!activate(fresh, true)) {
                    drop(fresh);
                    return;
                }
            }
        } else {
            OpenFileAtLine(left.path, true);
            if (m_project.OpenedFile != left.path)
                return;
        }
        // One step: Undo shows the file as it is on disk.
        m_editor->replaceBytes(0, m_editor->documentLength(), left.text);
        m_recovery->update();
        QFile::remove(left.file);
        // Each copy gets a tab of its own: the next one is offered too.
    }
}

QString DocumentController::documentName() const
{
    return m_project.OpenedFile.isEmpty() ? QStringLiteral("Untitled")
                                          : QFileInfo(m_project.OpenedFile).fileName();
}

bool DocumentController::AskToSaveChanges()
{
    if (!m_editor->isDocumentModified())
        return true;
    const int answer = Dialogs().askChoice(
        SaveQuestionTitle, QStringLiteral("Save changes to %1?").arg(documentName()),
        {QStringLiteral("&Save"), QStringLiteral("&Discard"), QStringLiteral("Cancel")});
    if (answer == 0)
        return saveCurrent(true) && !m_project.OpenedFile.isEmpty();
    if (answer == 1)
        m_recovery->discard(); // the user's word: nothing to offer back
    return answer == 1;
}

bool DocumentController::leaveCurrent()
{
    followOpenedFile();
    // Nothing is lost by leaving: the document stays open in its tab.
    if (!fileExists(m_project.OpenedFile))
        return true;
    if (SaveOnLeave().ReadBool() && !saveCurrent(false))
        return false;
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0) {
        const int line = m_editor->caretLine() - 1;
        m_project.Files.Get(index)->Line = line;
        TraceLog(m_project.OpenedFile + u':' + QString::number(line));
    }
    return true;
}

void DocumentController::followOpenedFile()
{
    // The project tree renames files and clears the opened file itself.
    if (m_active->path != m_project.OpenedFile) {
        m_active->path = m_project.OpenedFile;
        refreshTab(*m_active);
        rememberTabs();
    }
}

Document *DocumentController::find(const QString &path) const
{
    if (path.isEmpty())
        return nullptr;
    for (const auto &document : m_documents) {
        if (document->path == path)
            return document.get();
    }
    return nullptr;
}

int DocumentController::indexOf(const Document *document) const
{
    for (size_t i = 0; i < m_documents.size(); ++i) {
        if (m_documents[i].get() == document)
            return int(i);
    }
    return -1;
}

Document &DocumentController::newDocument()
{
    m_documents.push_back(std::make_unique<Document>(m_nextId++, m_editor->createDocument()));
    Document &document = *m_documents.back();
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->addTab(QString());
    }
    refreshTab(document);
    return document;
}

bool DocumentController::activate(Document &document, bool leave)
{
    if (&document == m_active)
        return true;
    if (leave && !leaveCurrent())
        return false;
    followOpenedFile();
    // Unsaved text left in a tab is copied aside now: while it is not shown
    // the timer copies only the shown one.
    m_recovery->update();
    // Set first: the editor's signals on the switch already speak of it.
    m_active = &document;
    m_project.SetOpenedFile(document.path);
    m_editor->showDocument(document.text());
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->setCurrentIndex(indexOf(&document));
    }
    UpdateCaption();
    rememberTabs();
    return true;
}

void DocumentController::refreshTab(const Document &document)
{
    const int index = indexOf(&document);
    if (index < 0)
        return;
    const QString name = document.displayName();
    // A file name may hold '&'; it is no access key here.
    QString text = QString(name).replace(u'&', QStringLiteral("&&"));
    if (document.isModified())
        text += u'*';
    m_tabs->setTabText(index, text);
    m_tabs->setTabToolTip(index, document.path.isEmpty() ? QStringLiteral("Untitled (not saved)")
                                                         : document.path);
}

void DocumentController::rememberTabs()
{
    QStringList tabs;
    for (const auto &document : m_documents) {
        if (!document->path.isEmpty())
            tabs << document->path;
    }
    m_project.OpenTabs = tabs;
}

void DocumentController::drop(Document &document)
{
    if (m_documents.size() == 1) {
        m_recovery->forget(document.id());
        // The last one stays, empty and unnamed, as Close leaves the editor.
        m_editor->clearAll();
        document.path.clear();
        m_project.SetOpenedFile(QString());
        refreshTab(document);
        UpdateCaption();
        rememberTabs();
        return;
    }
    const int index = indexOf(&document);
    if (&document == m_active) {
        const int next = index + 1 < int(m_documents.size()) ? index + 1 : index - 1;
        activate(*m_documents[size_t(next)], false);
    }
    // Only once it is no longer shown: switching away copies the shown text.
    m_recovery->forget(document.id());
    {
        const QSignalBlocker quiet(m_tabs);
        m_tabs->removeTab(index);
    }
    m_documents.erase(m_documents.begin() + index);
    rememberTabs();
}

bool DocumentController::closeDocument(Document &document, bool dropEntry)
{
    followOpenedFile();
    if (document.isModified()) {
        // Asked about where it can be seen.
        if (!activate(document, false) || !AskToSaveChanges())
            return false;
    }
    int index = -1;
    if (dropEntry) {
        index = m_project.IndexOf(document.path);
        if (index >= 0)
            m_project.Files.Delete(index);
    }
    drop(document);
    // The entries after the closed one moved up: a tree left as it was would
    // open the wrong file from their nodes.
    if (index >= 0)
        m_project.OnProjectUpdate.raise();
    return true;
}

bool DocumentController::askAboutUnsaved(const std::vector<Document *> &documents)
{
    if (documents.empty())
        return true;
    if (documents.size() == 1) {
        activate(*documents.front(), false);
        return AskToSaveChanges();
    }
    QStringList names;
    for (const Document *document : documents)
        names << (document->path.isEmpty() ? document->displayName() : document->path);
    const int answer = Dialogs().askChoice(
        SaveQuestionTitle,
        QStringLiteral("%1 documents have unsaved changes:\n\n%2\n\nSave them all, discard the "
                       "changes, or cancel?")
            .arg(documents.size())
            .arg(names.join(u'\n')),
        {QStringLiteral("&Save All"), QStringLiteral("&Discard All"), QStringLiteral("Cancel")});
    if (answer == 2 || answer < 0)
        return false;
    for (Document *document : documents) {
        activate(*document, false);
        if (answer == 0) {
            if (!saveCurrent(true) || m_project.OpenedFile.isEmpty())
                return false;
        } else {
            m_recovery->discard();
        }
    }
    return true;
}

bool DocumentController::SettleAll()
{
    followOpenedFile();
    std::vector<Document *> unsaved;
    for (const auto &document : m_documents) {
        if (document->isModified())
            unsaved.push_back(document.get());
    }
    Document *back = m_active;
    const bool settled = askAboutUnsaved(unsaved);
    activate(*back, false);
    return settled;
}

bool DocumentController::SettleForExit()
{
    followOpenedFile();
    Document *back = m_active;
    std::vector<Document *> unsaved;
    for (const auto &owned : m_documents) {
        Document &document = *owned;
        if (!document.isModified())
            continue;
        if (document.path.isEmpty() || !SaveOnLeave().ReadBool()) {
            unsaved.push_back(&document);
            continue;
        }
        try {
            activate(document, false);
            if (!saveCurrent(false))
                return false;
        } catch (...) {
            const QString reason = exceptionMessage(std::current_exception());
            const int answer = Dialogs().askChoice(
                QStringLiteral("Cannot save"),
                QStringLiteral("%1 could not be saved:\n%2\n\nQuit without saving it, or stay?")
                    .arg(documentName(), reason),
                {QStringLiteral("&Quit without saving"), QStringLiteral("&Stay")});
            if (answer != 0)
                return false;
        }
    }
    try {
        if (!askAboutUnsaved(unsaved))
            return false;
    } catch (...) {
        const QString reason = exceptionMessage(std::current_exception());
        const int answer = Dialogs().askChoice(
            QStringLiteral("Cannot save"),
            QStringLiteral("%1 could not be saved:\n%2\n\nQuit without saving it, or stay?")
                .arg(documentName(), reason),
            {QStringLiteral("&Quit without saving"), QStringLiteral("&Stay")});
        return answer == 0;
    }
    activate(*back, false);
    return true;
}

void DocumentController::OpenProjectDocuments(const QString &active)
{
    const QStringList tabs = m_project.OpenTabs;
    // Settled before: nothing here asks.
    while (m_documents.size() > 1)
        drop(*m_documents.back());
    drop(*m_active);
    for (const QString &path : tabs) {
        // Only the project's own files that are still there, as for the
        // opened file: a copied project must not edit the original's.
        if (m_project.IndexOf(path) >= 0 && fileExists(path))
            OpenFileAtLine(path, false);
    }
    if (!active.isEmpty())
        OpenFileAtLine(active, false); // its tab, or a new one at the end
    else
        activate(*m_documents.front(), false);
    rememberTabs();
}

void DocumentController::FileRenamed(const QString &oldPath, const QString &newPath)
{
    if (Document *document = find(oldPath)) {
        document->path = newPath;
        refreshTab(*document);
        rememberTabs();
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
    followOpenedFile();
    const bool exists = fileExists(path);
    if (!exists)
        Dialogs().showMessage(QStringLiteral("file doesn't exist:") + path);

    // Open already: its tab, with its own text, caret and history.
    if (Document *open = find(path)) {
        activate(*open, rememberCurrent);
        return;
    }

    if (rememberCurrent && !leaveCurrent())
        return;

    // An untouched unnamed document gives way; anything else keeps its tab.
    Document *previous = m_active;
    const bool reuse =
        m_active->path.isEmpty() && !m_active->isModified() && m_editor->documentLength() == 0;
    Document &target = reuse ? *m_active : newDocument();
    activate(target, false);
    try {
        if (exists) {
            m_editor->loadFromFile(path);
        } else {
            // A missing file starts empty under its name.
            m_editor->clearAll();
        }
    } catch (const CodeEditor::LoadCancelled &) {
        // The user stopped it: as before, without a word.
        if (!reuse) {
            activate(*previous, false);
            drop(target);
        }
        return;
    } catch (...) {
        // Unreadable: the tab made for it goes, the document left returns.
        if (!reuse) {
            activate(*previous, false);
            drop(target);
        }
        throw;
    }
    target.path = path;

    const int index = m_project.IndexOf(path);
    if (index < 0) {
        m_project.AddFiles({path});
    } else {
        const int line = m_project.Files.Get(index)->Line;
        TraceLog(QStringLiteral("index:") + QString::number(index));
        TraceLog(QStringLiteral("goto line: ") + QString::number(line));
        m_editor->setCaretLine(line + 1);
    }

    m_project.SetOpenedFile(path);
    applyColouringRule(m_editor, path);
    refreshTab(target);
    rememberTabs();
    UpdateCaption();
    if (exists)
        m_recent->NotifyOpen(path);
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
    m_window->setWindowTitle(caption);
    ShowModified(m_editor->isDocumentModified());
    emit documentShown(m_project.OpenedFile);
}

void DocumentController::ShowModified(bool modified)
{
    // Only the mark changes: after New the caption stays the title alone.
    QString caption = m_window->windowTitle();
    if (caption.startsWith(u'*'))
        caption.remove(0, 1);
    m_window->setWindowTitle(modified ? u'*' + caption : caption);
}

void DocumentController::New2Click(QObject *)
{
    Document &previous = *m_active;
    Document &document = newDocument();
    if (!activate(document, true)) {
        drop(document);
        activate(previous, false);
        return;
    }
    m_window->setWindowTitle(ApplicationTitle());
}

void DocumentController::NextTab1Click(QObject *)
{
    const int count = int(m_documents.size());
    if (count > 1)
        activate(*m_documents[size_t((indexOf(m_active) + 1) % count)], true);
}

void DocumentController::PreviousTab1Click(QObject *)
{
    const int count = int(m_documents.size());
    if (count > 1)
        activate(*m_documents[size_t((indexOf(m_active) + count - 1) % count)], true);
}

bool DocumentController::CloseTab(int index)
{
    if (index < 0 || index >= int(m_documents.size()))
        return false;
    return closeDocument(*m_documents[size_t(index)], false);
}

void DocumentController::CloseTab1Click(QObject *)
{
    CloseTab(indexOf(m_active));
}

void DocumentController::CloseOtherTabs(int index)
{
    if (index < 0 || index >= int(m_documents.size()))
        return;
    Document *kept = m_documents[size_t(index)].get();
    for (size_t i = m_documents.size(); i-- > 0;) {
        if (i < m_documents.size() && m_documents[i].get() != kept &&
            !closeDocument(*m_documents[i], false))
            return; // cancelled: the rest stay open
    }
    activate(*kept, false);
}

void DocumentController::CloseAllTabs()
{
    for (size_t i = m_documents.size(); i-- > 0;) {
        if (i < m_documents.size() && !closeDocument(*m_documents[i], false))
            return;
    }
}

void DocumentController::CopyTabPath(int index)
{
    if (index < 0 || index >= int(m_documents.size()))
        return;
    const QString &path = m_documents[size_t(index)]->path;
    if (!path.isEmpty())
        QApplication::clipboard()->setText(path);
}

void DocumentController::showTabMenu(int index, const QPoint &at)
{
    if (index < 0 || index >= int(m_documents.size()))
        return;
    const bool named = !m_documents[size_t(index)]->path.isEmpty();
    QMenu menu(m_window);
    menu.setObjectName(QStringLiteral("TabPopup"));
    const auto add = [&](const char *name, const QString &caption, bool enabled,
                         std::function<void()> run) {
        QAction *action = menu.addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [run] { RunGuarded(run); });
    };
    const int count = int(m_documents.size());
    add("TabClose1", QStringLiteral("&Close"), true, [this, index] { CloseTab(index); });
    add("TabCloseOthers1", QStringLiteral("Close &Others"), count > 1,
        [this, index] { CloseOtherTabs(index); });
    add("TabCloseAll1", QStringLiteral("Close &All"), true, [this] { CloseAllTabs(); });
    menu.addSeparator();
    add("TabCopyPath1", QStringLiteral("Copy &Path"), named, [this, index] { CopyTabPath(index); });
    add("TabReveal1", QStringLiteral("&Reveal in Tree"), named, [this, index] {
        if (index < int(m_documents.size()))
            emit revealInTree(m_documents[size_t(index)]->path);
    });
    menu.exec(at);
}

void DocumentController::Open1Click(QObject *Sender)
{
    if (Sender) {
        const QStringList chosen = Dialogs().openFiles(
            QStringLiteral("Open"), m_openDialog.folderOr(QString()), AnyFileFilter, true);
        if (chosen.isEmpty())
            return;
        m_openDialog.remember(chosen);
    }
    const QStringList names = m_openDialog.files();
    for (const QString &name : names) {
        if (QFileInfo(name).suffix().compare(QLatin1String("wdx"), Qt::CaseInsensitive) == 0 &&
            name.contains(u'.'))
            emit openProjectRequested(name);
        else
            OpenFileAtLine(name, true);
    }
}

void DocumentController::RecentFilesOpenFile(QObject *, const QString &FileName)
{
    m_openDialog.setFiles({FileName});
    Open1Click(nullptr);
}

void DocumentController::Close1Click(QObject *)
{
    closeDocument(*m_active, true);
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
    if (m_preview->isVisible()) {
        TRACE_POINT("WebPanel Navigate");
        emit savedForPreview();
    }
}

bool DocumentController::saveCurrent(bool interactive)
{
    const QString path = m_project.OpenedFile;
    if (path.isEmpty())
        return interactive ? saveAs() : true;
    if (!interactive && !m_editor->isDocumentModified())
        return true;
    if (m_editor->filePath() == path &&
        m_editor->diskChange() == CodeEditor::DiskChange::Modified) {
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
    m_editor->saveToFile(path);
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
    followOpenedFile();
    Document *other = find(chosen);
    if (other == m_active)
        other = nullptr;
    if (other && other->isModified())
        throw AppError(QStringLiteral("%1 is open in another tab with unsaved changes; save or "
                                      "close that tab first.")
                           .arg(chosen));
    m_editor->saveToFile(chosen);
    // The other tab's text is now out of date on disk: it goes.
    if (other)
        drop(*other);
    const int index = m_project.IndexOf(m_project.OpenedFile);
    if (index >= 0)
        m_project.Files.Delete(index);
    // The tree's nodes carry entry indices: a deletion alone must rebuild it too.
    if (m_project.AddFiles({chosen}) == 0 && index >= 0)
        m_project.OnProjectUpdate.raise();
    m_project.SetOpenedFile(chosen);
    m_active->path = chosen;
    refreshTab(*m_active);
    rememberTabs();
    UpdateCaption();
    m_recent->NotifyOpen(chosen);
    emit savedByUser(chosen);
    return true;
}

void DocumentController::CheckExternalModification()
{
    // Full-resolution time, size and identity against what we loaded or
    // saved: the project's two-second stamp would miss a quick rewrite.
    const QString path = m_project.OpenedFile;
    if (m_checkingModification || !fileExists(path) || m_editor->filePath() != path ||
        m_editor->diskChange() != CodeEditor::DiskChange::Modified)
        return;
    // The question box itself may bring activations; ask once.
    m_checkingModification = true;
    try {
        if (m_editor->isDocumentModified()
                ? askReloadOverEdits(path)
                : Dialogs().askYesNo(QStringLiteral("Warning"),
                                     QStringLiteral("File ") + path +
                                         QStringLiteral(" was modified externally. Reload?")))
            reload(path);
        else
            m_editor->refreshDiskStamp();
        m_project.RefreshStamp();
    } catch (...) {
        m_checkingModification = false;
        m_editor->refreshDiskStamp();
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
        path, UnifiedLineDiff(m_editor->wholeText().split(lineEnd), theirs.split(lineEnd)),
        m_window);
    return Dialogs().showModal(&compare) == CompareDialog::Reload;
}

void DocumentController::reload(const QString &path)
{
    m_editor->reloadFromFile(path);
    m_project.RefreshStamp();
    UpdateCaption();
}
