#include "app/debugger_controller.h"

#include "app/server_controller.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/browser_view.h"
#include "forms/debug_panels.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/user_dialogs.h"
#include "net/local_php_server.h"
#include "project/project.h"
#include "project/project_paths.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

namespace {

// Marker numbers in the editor, clear of the ones QScintilla uses itself.
constexpr int BreakMarker = 20;
constexpr int ConditionMarker = 21;
constexpr int CurrentMarker = 22;
constexpr int CurrentLineMarker = 23;
constexpr int MarkerMargin = 2;
// Children asked for per page when a variable is opened.
constexpr int PageSize = 100;
constexpr int MoreRole = DebugPanels::LoadedRole + 1;

// How a value reads in the panel's one line.
QString shownValue(const DbgpProperty &p)
{
    if (p.type == QLatin1String("array"))
        return QStringLiteral("array(%1)").arg(p.childCount);
    if (p.type == QLatin1String("object"))
        return p.className;
    if (p.type == QLatin1String("uninitialized"))
        return QStringLiteral("(not set)");
    if (p.type == QLatin1String("null"))
        return QStringLiteral("null");
    QString value = p.value;
    if (p.type == QLatin1String("string")) {
        const bool cut = p.size > value.size();
        value = u'"' + value + u'"' + (cut ? QStringLiteral("...") : QString());
    }
    return value.size() > 1000 ? value.left(1000) + QStringLiteral("...") : value;
}

} // namespace

DebuggerController::DebuggerController(Project &project, CodeEditor &editor, DebugPanels &panels,
                                       LocalPhpServer &server, BrowserFrame &preview,
                                       QObject *parent)
    : QObject(parent), m_project(project), m_editor(editor), m_panels(panels), m_server(server),
      m_preview(preview), m_listener({std::chrono::milliseconds(10000), 64 * 1024 * 1024})
{
    m_editor.markerDefine(QsciScintilla::Circle, BreakMarker);
    m_editor.setMarkerBackgroundColor(QColor(200, 30, 30), BreakMarker);
    m_editor.setMarkerForegroundColor(QColor(120, 0, 0), BreakMarker);
    m_editor.markerDefine(QsciScintilla::Circle, ConditionMarker);
    m_editor.setMarkerBackgroundColor(QColor(230, 140, 20), ConditionMarker);
    m_editor.markerDefine(QsciScintilla::RightArrow, CurrentMarker);
    m_editor.setMarkerBackgroundColor(QColor(240, 200, 0), CurrentMarker);
    m_editor.markerDefine(QsciScintilla::Background, CurrentLineMarker);
    m_editor.setMarkerBackgroundColor(QColor(255, 240, 150), CurrentLineMarker);
    m_editor.setMarkerMarginWidth(14);
    m_editor.setMarginSensitivity(MarkerMargin, true);
    m_editor.setMarginMarkerMask(MarkerMargin, (1 << BreakMarker) | (1 << ConditionMarker) |
                                                   (1 << CurrentMarker));
    connect(&m_editor, &QsciScintilla::marginClicked, this,
            [this](int margin, int line, Qt::KeyboardModifiers) {
                if (margin == MarkerMargin)
                    RunGuarded([this, line] { toggleBreakpoint(line + 1); });
            });
    // Markers move with the text; the project keeps their lines. A switch of
    // document is seen once the window has named the new file.
    const auto queue = [this] {
        if (std::exchange(m_syncQueued, true))
            return;
        QTimer::singleShot(0, this, [this] {
            m_syncQueued = false;
            afterEditorChange();
        });
    };
    connect(&m_editor, &CodeEditor::documentChanged, this, queue);
    // Resting the mouse on a variable while stopped shows its value.
    m_editor.SendScintilla(QsciScintillaBase::SCI_SETMOUSEDWELLTIME, 500);
    connect(&m_editor, &QsciScintillaBase::SCN_DWELLSTART, this,
            [this](int position, int x, int y) {
                RunGuarded([this, position, x, y] { showHoverValue(position, QPoint(x, y)); });
            });
    connect(&m_editor, &CodeEditor::statusChanged, this, queue);

    connect(&m_listener, &DbgpListener::logLine, &m_panels, &DebugPanels::log);
    connect(&m_listener, &DbgpListener::sessionStarted, this,
            [this](DbgpSession *s) { RunGuarded([this, s] { onSession(s); }); });
    connect(&m_listener, &DbgpListener::sessionEnded, this, [this](const QString &reason) {
        RunGuarded([this, reason] { onSessionEnded(reason); });
    });
    connect(m_panels.Variables, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { RunGuarded([this, item] { loadChildren(item); }); });
    connect(m_panels.Watches, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { RunGuarded([this, item] { loadChildren(item); }); });
    connect(m_panels.CallStack, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        RunGuarded([this, item] { showFrame(m_panels.CallStack->indexOfTopLevelItem(item)); });
    });
    connect(m_panels.EvaluateEdit, &QLineEdit::returnPressed, this, [this] {
        RunGuarded([this] {
            const QString expression = m_panels.EvaluateEdit->text().trimmed();
            if (expression.isEmpty())
                return;
            auto *item = new QTreeWidgetItem(m_panels.Watches, {expression});
            item->setData(0, DebugPanels::FullNameRole, expression);
            m_panels.EvaluateEdit->clear();
            refreshWatches();
        });
    });
    m_panels.hide();
}

DebuggerController::~DebuggerController()
{
    m_listener.disconnect(this);
}

// --- starting and ending -------------------------------------------------

bool DebuggerController::xdebugAvailable(QString &problem)
{
    if (m_xdebugChecked)
        return true;
    QProcess php;
    php.start(m_php, {QStringLiteral("-n"), QStringLiteral("-d"),
                      QStringLiteral("zend_extension=xdebug.so"), QStringLiteral("-r"),
                      QStringLiteral("echo phpversion('xdebug');")});
    const bool ran = php.waitForStarted(5000) && php.waitForFinished(5000);
    if (!ran)
        php.kill();
    const QString version = QString::fromLatin1(php.readAllStandardOutput()).trimmed();
    if (ran && !version.isEmpty() && version.at(0).isDigit()) {
        m_xdebugChecked = true;
        return true;
    }
    problem = QStringLiteral("Debugging needs Xdebug for PHP, which is not installed. Install "
                             "the package php-xdebug (sudo apt install php-xdebug) and press "
                             "F5 again; nothing in PHP's configuration has to change.");
    return false;
}

void DebuggerController::Debug1Click(QObject *)
{
    if (m_stopped)
        go(QStringLiteral("run"));
    else
        startDebugging();
}

void DebuggerController::startDebugging()
{
    QString problem;
    if (!xdebugAvailable(problem)) {
        Dialogs().showMessage(problem);
        return;
    }
    if (!m_ownServer || !m_listener.isListening()) {
        m_listener.close();
        if (!m_listener.listen(0, &problem)) {
            Dialogs().showMessage(problem);
            return;
        }
    }
    m_ownServer = true;
    m_paths = {};
    emit listeningChanged(false);
    // Xdebug for our own server alone, calling back on the listener's port.
    m_server.setExtraArguments(
        {QStringLiteral("-d"), QStringLiteral("zend_extension=xdebug.so"), QStringLiteral("-d"),
         QStringLiteral("xdebug.mode=debug,develop"), QStringLiteral("-d"),
         QStringLiteral("xdebug.start_with_request=yes"), QStringLiteral("-d"),
         QStringLiteral("xdebug.client_host=127.0.0.1"), QStringLiteral("-d"),
         QStringLiteral("xdebug.client_port=%1").arg(m_listener.port())});
    m_panels.log(QStringLiteral("Debugging %1 (listening on port %2)")
                     .arg(m_project.RunAddress)
                     .arg(m_listener.port()));
    m_panels.show();
    // PHP's server comes up while the browser engine is made for the first
    // time, rather than after it; the preview's gate below waits for the rest.
    if (!m_project.FileName.isEmpty())
        m_server.prepareWithoutWaiting(m_project.RunAddress, ProjectFolderOf(m_project.FileName),
                                       ServerController::StartPhpServer().ReadBool());
    m_preview.prepareEngine();
    // The preview asks for the page; its gate (re)starts the server first.
    m_preview.setUrlText(m_project.RunAddress);
    m_preview.navigate(m_project.RunAddress);
}

void DebuggerController::ListenDebugger1Click(QObject *)
{
    if (m_listener.isListening() && !m_ownServer) {
        StopDebug1Click(nullptr);
        return;
    }
    StopDebug1Click(nullptr);
    QString problem;
    if (!m_listener.listen(m_project.Debug.Port, &problem)) {
        Dialogs().showMessage(problem);
        return;
    }
    m_ownServer = false;
    m_paths = {};
    for (const DebugSettings::Mapping &m : m_project.Debug.Mappings)
        m_paths.mappings.append({m.server, m.local});
    m_panels.log(
        QStringLiteral("Listening for a debugger engine on port %1").arg(m_project.Debug.Port));
    m_panels.show();
    emit listeningChanged(true);
}

void DebuggerController::StopDebug1Click(QObject *)
{
    if (m_session)
        m_session->stop();
    m_listener.close();
    clearStopped();
    if (m_ownServer) {
        // The next Run or preview restarts the server without Xdebug.
        m_server.setExtraArguments({});
        m_ownServer = false;
    }
    emit listeningChanged(false);
}

void DebuggerController::ProjectLoaded()
{
    StopDebug1Click(nullptr);
    m_shownFile.clear();
    afterEditorChange();
    preloadIfDebuggingIsLikely();
}

void DebuggerController::preloadIfDebuggingIsLikely()
{
    if (m_project.Debug.Breakpoints.isEmpty())
        return;
    // With breakpoints set, F5 is likely soon, and its first page would wait
    // for the browser's libraries. They load in the background once start-up
    // is over, so that they do not hold up the window's own loading.
    QTimer::singleShot(std::chrono::seconds(1), this, [] { PreloadBrowserEngine(); });
}

void DebuggerController::onSession(DbgpSession *session)
{
    m_session = session;
    m_engineIds.clear();
    m_panels.log(QStringLiteral("Session started: %1").arg(session->initFileUri()));
    connect(session, &DbgpSession::statusChanged, this,
            [this](const DbgpStatus &status) { RunGuarded([this, status] { onStatus(status); }); });
    connect(session, &DbgpSession::breakpointResolved, this,
            [this](const QString &id, const QString &uri, int line) {
                const QString local = m_paths.toLocal(uri);
                for (int i = 0; i < m_project.Debug.Breakpoints.size(); ++i) {
                    const QString key = breakpointKey(i);
                    if (m_engineIds.value(key) != id)
                        continue;
                    m_engineIds.remove(key);
                    m_project.Debug.Breakpoints[i].file = local;
                    m_project.Debug.Breakpoints[i].line = line;
                    m_engineIds.insert(breakpointKey(i), id);
                    placeMarkers();
                }
            });
    const auto feature = [session](const char *name, const QString &value) {
        session->send(
            QStringLiteral("feature_set"),
            {QStringLiteral("-n"), QString::fromLatin1(name), QStringLiteral("-v"), value});
    };
    feature("resolved_breakpoints", QStringLiteral("1"));
    feature("notify_ok", QStringLiteral("1"));
    feature("max_children", QString::number(PageSize));
    m_maxDepth = -1;
    feature("max_data", QString::number(64 * 1024));
    // Stop where a warning, an error or an exception happens.
    for (const char *kind : {"Warning", "Fatal error", "Exception", "Error"})
        session->send(QStringLiteral("breakpoint_set"),
                      {QStringLiteral("-t"), QStringLiteral("exception"), QStringLiteral("-x"),
                       u'"' + QString::fromLatin1(kind) + u'"'});
    syncEngineBreakpoints();
    session->continueWith(QStringLiteral("run"));
}

void DebuggerController::onSessionEnded(const QString &reason)
{
    clearStopped();
    m_session = nullptr;
    m_engineIds.clear();
    m_panels.log(reason.isEmpty() ? QStringLiteral("Session ended.")
                                  : QStringLiteral("Session ended: %1").arg(reason));
}

void DebuggerController::go(const QString &how)
{
    if (!m_session || !m_stopped)
        return;
    clearStopped();
    m_session->continueWith(how);
}

void DebuggerController::StepOver1Click(QObject *)
{
    go(QStringLiteral("step_over"));
}

void DebuggerController::StepInto1Click(QObject *)
{
    go(QStringLiteral("step_into"));
}

void DebuggerController::StepOut1Click(QObject *)
{
    go(QStringLiteral("step_out"));
}

void DebuggerController::RunToCursor1Click(QObject *)
{
    if (!m_session || !m_stopped || m_project.OpenedFile.isEmpty())
        return;
    m_session->send(QStringLiteral("breakpoint_set"),
                    {QStringLiteral("-t"), QStringLiteral("line"), QStringLiteral("-r"),
                     QStringLiteral("1"), QStringLiteral("-f"), m_paths.toUri(m_project.OpenedFile),
                     QStringLiteral("-n"), QString::number(m_editor.caretLine())});
    go(QStringLiteral("run"));
}

// --- stopped ---------------------------------------------------------------

void DebuggerController::onStatus(const DbgpStatus &status)
{
    if (status.status != QLatin1String("break")) {
        clearStopped();
        return;
    }
    m_stopped = true;
    m_stoppedFile = m_paths.toLocal(status.fileUri);
    m_stoppedLine = status.line;
    if (!status.exception.isEmpty())
        m_panels.log(QStringLiteral("Stopped on %1: %2 (%3:%4)")
                         .arg(status.exception, status.message, m_stoppedFile)
                         .arg(status.line));
    // Breakpoints changed while the script ran reach the engine now.
    syncEngineBreakpoints();
    showFrame(0);
    refreshWatches();
}

void DebuggerController::showFrame(int depth)
{
    if (!m_session || !m_stopped || depth < 0)
        return;
    m_depth = depth;
    const auto show = [this](const QString &file, int line) {
        m_currentFile = file;
        m_currentLine = line;
        emit showFileAtLine(file, line);
        afterEditorChange();
        placeCurrentLine();
    };
    if (depth == 0) {
        show(m_stoppedFile, m_stoppedLine);
        m_session->stackGet([this](QList<DbgpStackFrame> frames) {
            m_frames = frames;
            m_panels.CallStack->clear();
            for (const DbgpStackFrame &f : frames) {
                const QString file = m_paths.toLocal(f.fileUri);
                new QTreeWidgetItem(
                    m_panels.CallStack,
                    {f.where, QStringLiteral("%1:%2").arg(QFileInfo(file).fileName()).arg(f.line)});
            }
            if (m_panels.CallStack->topLevelItemCount() > 0)
                m_panels.CallStack->setCurrentItem(m_panels.CallStack->topLevelItem(0));
        });
    } else if (depth < m_frames.size()) {
        show(m_paths.toLocal(m_frames.at(depth).fileUri), m_frames.at(depth).line);
    }
    ++m_generation; // rows of the frame shown before go
    maxDepth(0);
    m_session->contextGet(
        depth, 0, [this, depth, gen = m_generation](QList<DbgpProperty> properties) {
            if (gen != m_generation || depth != m_depth)
                return;
            m_panels.Variables->clear();
            for (const DbgpProperty &p : properties)
                fillProperty(new QTreeWidgetItem(m_panels.Variables), p);
            // Superglobals load when opened.
            auto *globals =
                new QTreeWidgetItem(m_panels.Variables, {QStringLiteral("Superglobals")});
            globals->setData(0, DebugPanels::FullNameRole, QString());
            globals->setData(0, MoreRole, -1);
            new QTreeWidgetItem(globals, {QStringLiteral("...")});
        });
}

void DebuggerController::fillProperty(QTreeWidgetItem *item, const DbgpProperty &p)
{
    item->setText(0, p.name.isEmpty() ? item->text(0) : p.name);
    item->setText(1, shownValue(p));
    item->setText(2, p.className.isEmpty() ? p.type : p.className);
    item->setToolTip(1, p.value.left(4000));
    if (!p.fullName.isEmpty())
        item->setData(0, DebugPanels::FullNameRole, p.fullName);
    qDeleteAll(item->takeChildren());
    item->setData(0, DebugPanels::LoadedRole, false);
    item->setData(0, DebugPanels::NextPageRole, 0);
    if (p.hasChildren && p.childCount > 0)
        new QTreeWidgetItem(item, {QStringLiteral("...")}); // opened on demand
}

void DebuggerController::loadChildren(QTreeWidgetItem *item)
{
    if (!m_session || !m_stopped || item->data(0, DebugPanels::LoadedRole).toBool())
        return;
    item->setData(0, DebugPanels::LoadedRole, true);
    // The superglobals are a context of their own.
    if (item->data(0, MoreRole).toInt() == -1) {
        maxDepth(0);
        m_session->contextGet(
            m_depth, 1, [this, gen = m_generation, row = item](QList<DbgpProperty> properties) {
                if (gen != m_generation)
                    return;
                qDeleteAll(row->takeChildren());
                for (const DbgpProperty &p : properties)
                    fillProperty(new QTreeWidgetItem(row), p);
            });
        return;
    }
    // A "more" row loads the next page into its parent.
    const bool more = item->data(0, MoreRole).toBool();
    QTreeWidgetItem *target = more ? item->parent() : item;
    const QString fullName = target->data(0, DebugPanels::FullNameRole).toString();
    const int page = item->data(0, DebugPanels::NextPageRole).toInt();
    maxDepth(1); // the variable and one page of its children
    m_session->propertyGet(
        fullName, m_depth, page,
        [this, gen = m_generation, target, item, more, page](DbgpProperty p, QString error) {
            // Rows of a stop that has passed are gone by now.
            if (gen != m_generation)
                return;
            if (more)
                delete item;
            else
                qDeleteAll(target->takeChildren());
            if (!error.isEmpty()) {
                new QTreeWidgetItem(target, {QStringLiteral("(%1)").arg(error)});
                return;
            }
            for (const DbgpProperty &child : std::as_const(p.children))
                fillProperty(new QTreeWidgetItem(target), child);
            const int shown = (page + 1) * qMax(1, p.pageSize);
            if (p.pageSize > 0 && shown < p.childCount) {
                auto *next =
                    new QTreeWidgetItem(target, {QStringLiteral("... %1 of %2 shown; open for more")
                                                     .arg(shown)
                                                     .arg(p.childCount)});
                next->setData(0, MoreRole, true);
                next->setData(0, DebugPanels::NextPageRole, page + 1);
                new QTreeWidgetItem(next, {QStringLiteral("...")});
            }
        });
}

void DebuggerController::showHoverValue(int position, const QPoint &at)
{
    if (!m_session || !m_stopped || position < 0)
        return;
    int line = 0;
    int index = 0;
    m_editor.lineIndexFromPosition(position, &line, &index);
    const QString text = m_editor.text(line);
    const auto word = [&](qsizetype i) {
        return i >= 0 && i < text.size() && (text[i].isLetterOrNumber() || text[i] == u'_');
    };
    // The variable under the mouse, from its "$" to the end of its name.
    qsizetype start = qMin<qsizetype>(index, text.size() - 1);
    if (start >= 0 && text[start] == u'$')
        ++start;
    while (word(start - 1))
        --start;
    qsizetype end = start;
    while (word(end))
        ++end;
    if (start < 1 || end == start || text[start - 1] != u'$')
        return;
    const QString name = text.mid(start - 1, end - start + 1);
    maxDepth(0);
    m_session->propertyGet(
        name, m_depth, 0, [this, name, at, gen = m_generation](DbgpProperty p, QString error) {
            if (gen != m_generation || !error.isEmpty())
                return;
            QToolTip::showText(m_editor.mapToGlobal(at),
                               name + QStringLiteral(" = ") + shownValue(p), &m_editor);
        });
}

void DebuggerController::maxDepth(int depth)
{
    // Variables list without their members; an opened one gets one page.
    if (!m_session || depth == m_maxDepth)
        return;
    m_maxDepth = depth;
    m_session->send(QStringLiteral("feature_set"),
                    {QStringLiteral("-n"), QStringLiteral("max_depth"), QStringLiteral("-v"),
                     QString::number(depth)});
}

void DebuggerController::refreshWatches()
{
    if (!m_session || !m_stopped)
        return;
    for (int i = 0; i < m_panels.Watches->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_panels.Watches->topLevelItem(i);
        const QString expression = item->text(0);
        m_session->evaluate(expression, [this, item, expression,
                                         gen = m_generation](DbgpProperty p, QString error) {
            if (gen != m_generation || m_panels.Watches->indexOfTopLevelItem(item) < 0)
                return;
            if (!error.isEmpty()) {
                item->setText(1, QStringLiteral("(%1)").arg(error));
                return;
            }
            p.name = expression;
            p.fullName = expression;
            fillProperty(item, p);
        });
    }
}

void DebuggerController::clearStopped()
{
    ++m_generation;
    m_stopped = false;
    m_frames.clear();
    m_depth = 0;
    m_currentFile.clear();
    placeCurrentLine();
    m_panels.CallStack->clear();
    m_panels.Variables->clear();
}

// --- breakpoints -----------------------------------------------------------

QString DebuggerController::breakpointKey(int index) const
{
    const DebugSettings::Breakpoint &bp = m_project.Debug.Breakpoints.at(index);
    return bp.file + u'\n' + QString::number(bp.line) + u'\n' + bp.condition;
}

void DebuggerController::afterEditorChange()
{
    if (m_project.OpenedFile != m_shownFile) {
        m_shownFile = m_project.OpenedFile;
        placeMarkers();
        return;
    }
    readMarkerLines();
}

void DebuggerController::readMarkerLines()
{
    bool moved = false;
    for (int i = 0; i < m_handles.size() && i < m_project.Debug.Breakpoints.size(); ++i) {
        if (m_handles.at(i) < 0)
            continue;
        const int line = m_editor.markerLine(m_handles.at(i));
        if (line >= 0 && line + 1 != m_project.Debug.Breakpoints.at(i).line) {
            m_project.Debug.Breakpoints[i].line = line + 1;
            moved = true;
        }
    }
    // Two markers that an edit joined on one line are one breakpoint.
    if (moved) {
        QList<DebugSettings::Breakpoint> unique;
        for (const DebugSettings::Breakpoint &bp : std::as_const(m_project.Debug.Breakpoints)) {
            const bool twin = std::any_of(unique.begin(), unique.end(), [&](const auto &u) {
                return u.file == bp.file && u.line == bp.line;
            });
            if (!twin)
                unique.append(bp);
        }
        if (unique.size() != m_project.Debug.Breakpoints.size()) {
            m_project.Debug.Breakpoints = unique;
            placeMarkers();
        }
    }
}

void DebuggerController::placeCurrentLine()
{
    m_editor.markerDeleteAll(CurrentMarker);
    m_editor.markerDeleteAll(CurrentLineMarker);
    if (m_stopped && !m_currentFile.isEmpty() && m_currentFile == m_shownFile) {
        m_editor.markerAdd(m_currentLine - 1, CurrentMarker);
        m_editor.markerAdd(m_currentLine - 1, CurrentLineMarker);
    }
}

void DebuggerController::placeMarkers()
{
    placeCurrentLine();
    m_editor.markerDeleteAll(BreakMarker);
    m_editor.markerDeleteAll(ConditionMarker);
    m_handles.fill(-1, m_project.Debug.Breakpoints.size());
    if (m_shownFile.isEmpty())
        return;
    for (int i = 0; i < m_project.Debug.Breakpoints.size(); ++i) {
        const DebugSettings::Breakpoint &bp = m_project.Debug.Breakpoints.at(i);
        if (bp.file == m_shownFile)
            m_handles[i] = m_editor.markerAdd(
                bp.line - 1, bp.condition.isEmpty() ? BreakMarker : ConditionMarker);
    }
}

void DebuggerController::toggleBreakpoint(int line)
{
    if (m_project.OpenedFile.isEmpty()) {
        Dialogs().showMessage(QStringLiteral("Save the file first: breakpoints belong to files."));
        return;
    }
    afterEditorChange();
    QList<DebugSettings::Breakpoint> &list = m_project.Debug.Breakpoints;
    const auto at = std::find_if(list.begin(), list.end(), [&](const auto &bp) {
        return bp.file == m_shownFile && bp.line == line;
    });
    if (at != list.end())
        list.erase(at);
    else
        list.append({m_shownFile, line, {}});
    placeMarkers();
    preloadIfDebuggingIsLikely();
    if (m_stopped)
        syncEngineBreakpoints();
}

void DebuggerController::ToggleBreakpoint1Click(QObject *)
{
    toggleBreakpoint(m_editor.caretLine());
}

void DebuggerController::BreakpointCondition1Click(QObject *)
{
    if (m_project.OpenedFile.isEmpty())
        return;
    afterEditorChange();
    const int line = m_editor.caretLine();
    QList<DebugSettings::Breakpoint> &list = m_project.Debug.Breakpoints;
    auto at = std::find_if(list.begin(), list.end(), [&](const auto &bp) {
        return bp.file == m_shownFile && bp.line == line;
    });
    const std::optional<QString> condition =
        Dialogs().prompt(QStringLiteral("Breakpoint Condition"),
                         QStringLiteral("Stop on line %1 only when this PHP expression is true "
                                        "(empty: always):")
                             .arg(line),
                         at == list.end() ? QString() : at->condition);
    if (!condition)
        return;
    if (at == list.end())
        list.append({m_shownFile, line, condition->trimmed()});
    else
        at->condition = condition->trimmed();
    placeMarkers();
    if (m_stopped)
        syncEngineBreakpoints();
}

void DebuggerController::syncEngineBreakpoints()
{
    if (!m_session)
        return;
    QSet<QString> wanted;
    for (int i = 0; i < m_project.Debug.Breakpoints.size(); ++i)
        wanted.insert(breakpointKey(i));
    for (auto it = m_engineIds.begin(); it != m_engineIds.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        if (!it.value().isEmpty())
            m_session->send(QStringLiteral("breakpoint_remove"),
                            {QStringLiteral("-d"), it.value()});
        it = m_engineIds.erase(it);
    }
    for (int i = 0; i < m_project.Debug.Breakpoints.size(); ++i) {
        const QString key = breakpointKey(i);
        if (m_engineIds.contains(key))
            continue;
        m_engineIds.insert(key, QString());
        const DebugSettings::Breakpoint &bp = m_project.Debug.Breakpoints.at(i);
        const bool conditional = !bp.condition.isEmpty();
        m_session->send(
            QStringLiteral("breakpoint_set"),
            {QStringLiteral("-t"),
             conditional ? QStringLiteral("conditional") : QStringLiteral("line"),
             QStringLiteral("-f"), m_paths.toUri(bp.file), QStringLiteral("-n"),
             QString::number(bp.line)},
            conditional ? bp.condition.toUtf8() : QByteArray(),
            [this, key](const DbgpReply &reply) {
                if (!m_engineIds.contains(key))
                    return;
                if (reply.ok())
                    m_engineIds[key] = reply.node.attr(QStringLiteral("id"));
                else
                    m_panels.log(QStringLiteral("Breakpoint refused: %1").arg(reply.errorMessage));
            });
    }
}
