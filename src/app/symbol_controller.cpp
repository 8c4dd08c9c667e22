#include "app/symbol_controller.h"

#include "app/goto_symbol_popup.h"
#include "editor/code_editor.h"
#include "foundation/handler_guard.h"
#include "project/parallel_read.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSet>

#include <algorithm>
#include <atomic>

namespace {
// Typing pauses this long before the document's declarations are read again.
constexpr int TypingPauseMs = 300;
constexpr size_t MaxPlaces = 100;
// More new files than this are read on worker threads; fewer at once.
constexpr qsizetype MaxFilesReadAtOnce = 64;
// A held build starts this long after it is released.
constexpr int ReleaseDelayMs = 1000;
// A document larger than this is read for declarations on a worker: its
// parse would hold the window for a noticeable time.
constexpr qsizetype ParseOnWorkerBytes = 1024 * 1024;

QString samePath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

struct SymbolController::Job {
    QStringList paths;
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::unique_ptr<SymbolIndex> result;
    std::vector<FileStamp> stamps; // taken before the files are read
};

struct SymbolController::DocumentParse {
    QString path;
    quint64 changeCount = 0; // the document's, when its text was copied
    QByteArray text;
    PhpFileSymbols result;
    std::atomic<bool> finished{false};
};

struct SymbolController::DiskScan {
    QStringList paths;
    std::vector<FileStamp> known;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::vector<qsizetype> changed; // indexes into paths
};

SymbolController::SymbolController(CodeEditor *editor, QLabel *status, QObject *parent)
    : QObject(parent), m_editor(editor), m_status(status), m_index(std::make_unique<SymbolIndex>())
{
    m_poll.setInterval(200);
    connect(&m_poll, &QTimer::timeout, this, [this] { RunGuarded([this] { pollBuild(); }); });
    m_typing.setSingleShot(true);
    m_typing.setInterval(TypingPauseMs);
    connect(&m_typing, &QTimer::timeout, this,
            [this] { RunGuarded([this] { updateDocument(); }); });
    connect(m_editor, &CodeEditor::documentChanged, this, [this] {
        m_documentDirty = true;
        m_typing.start();
    });
    m_editor->viewport()->installEventFilter(this);
    m_release.setSingleShot(true);
    m_release.setInterval(ReleaseDelayMs);
    connect(&m_release, &QTimer::timeout, this, [this] {
        if (!m_held && m_buildDue)
            RunGuarded([this] { startBuild(m_files); });
    });
    m_parsePoll.setInterval(50);
    connect(&m_parsePoll, &QTimer::timeout, this,
            [this] { RunGuarded([this] { pollDocumentParse(); }); });
    m_scanPoll.setInterval(50);
    connect(&m_scanPoll, &QTimer::timeout, this,
            [this] { RunGuarded([this] { pollDiskScan(); }); });
    // Coming back from another program, as the open document is checked.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive)
                    RunGuarded([this] { checkFilesOnDisk(); });
            });
}

bool SymbolController::eventFilter(QObject *watched, QEvent *event)
{
    // Ctrl+click: Go to Definition of the name clicked.
    if (watched == m_editor->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            (mouse->modifiers() & Qt::KeyboardModifierMask) == Qt::ControlModifier) {
            const QPoint at = mouse->position().toPoint();
            const long pos =
                m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMPOINTCLOSE, at.x(), at.y());
            if (pos >= 0) {
                m_editor->SendScintilla(QsciScintilla::SCI_GOTOPOS, pos);
                RunGuarded([this] { GotoDefinition(); });
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

SymbolController::~SymbolController()
{
    if (m_job)
        m_job->cancel = true;
    if (m_scan)
        m_scan->cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_scanThread.joinable())
        m_scanThread.join();
    if (m_parseThread.joinable())
        m_parseThread.join();
}

bool SymbolController::isPhpPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("php") || suffix == QLatin1String("phtml") ||
           suffix == QLatin1String("inc") || suffix == QLatin1String("php5") ||
           suffix == QLatin1String("php4") || suffix == QLatin1String("php3");
}

void SymbolController::setProjectFiles(const QStringList &files)
{
    QStringList php;
    for (const QString &f : files)
        if (isPhpPath(f))
            php << samePath(f);
    php.removeDuplicates();
    php.sort();
    if (php == m_files)
        return;
    m_files = php;
    // From the event loop: a project opened at start-up never delays the window.
    QTimer::singleShot(0, this, [this] { RunGuarded([this] { syncIndex(); }); });
}

void SymbolController::syncIndex()
{
    if (m_job)
        return; // the build's end catches up
    QSet<QString> indexed;
    m_index->forEachFile([&indexed](const IndexedFile &f) { indexed.insert(f.path); });
    const QSet<QString> wanted(m_files.cbegin(), m_files.cend());
    QStringList added;
    for (const QString &f : m_files)
        if (!indexed.contains(f))
            added << f;
    if (added.size() > MaxFilesReadAtOnce) {
        startBuild(m_files);
        return;
    }
    for (const QString &f : std::as_const(indexed))
        if (!wanted.contains(f) && f != m_documentPath) {
            m_index->removeFile(f);
            m_stamps.remove(f);
        }
    // The editor's document is indexed from its text (updateDocument),
    // never read from disk a second time.
    const QString document =
        m_editor->filePath().isEmpty() ? QString() : samePath(m_editor->filePath());
    for (const QString &f : std::as_const(added)) {
        if (f == document && f != m_documentPath)
            m_documentDirty = true;
        else if (f != m_documentPath)
            readFile(f);
    }
}

void SymbolController::readFile(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        m_index->removeFile(file);
        m_stamps.remove(file);
        return;
    }
    m_stamps.insert(file, FileStamp::of(file));
    const QByteArray bytes = f.readAll();
    m_index->updateFromSource(file, std::string_view(bytes.constData(), size_t(bytes.size())));
}

void SymbolController::holdBuilds(bool hold)
{
    m_held = hold;
    if (!hold) {
        if (m_buildDue)
            m_release.start();
        return;
    }
    m_release.stop();
    if (m_job && !m_job->finished) {
        m_job->cancel = true; // its result is dropped; built again once released
        m_buildDue = true;
    }
}

void SymbolController::startBuild(const QStringList &paths)
{
    if (m_held) {
        m_buildDue = true;
        return;
    }
    m_buildDue = false;
    if (m_job)
        m_job->cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    auto job = std::make_shared<Job>();
    job->paths = paths;
    m_job = job;
    m_thread = std::thread([job] {
        job->stamps.reserve(size_t(job->paths.size()));
        for (const QString &path : std::as_const(job->paths))
            job->stamps.push_back(FileStamp::of(path));
        job->result =
            SymbolIndex::Build(job->paths, DefaultWorkerCount(), &job->done, &job->cancel);
        job->finished = true;
    });
    say(QStringLiteral("Indexing PHP symbols: 0 of %1 files").arg(paths.size()));
    m_poll.start();
}

void SymbolController::pollBuild()
{
    if (!m_job)
        return;
    if (!m_job->finished) {
        say(QStringLiteral("Indexing PHP symbols: %1 of %2 files")
                .arg(m_job->done.load())
                .arg(m_job->paths.size()));
        return;
    }
    m_poll.stop();
    if (m_thread.joinable())
        m_thread.join();
    const std::shared_ptr<Job> job = std::move(m_job);
    if (job->cancel)
        return;
    m_index = std::move(job->result);
    m_stamps.clear();
    for (qsizetype k = 0; k < job->paths.size(); ++k)
        m_stamps.insert(job->paths.at(k), job->stamps[size_t(k)]);
    // The document's own text wins over what its file held; files the
    // project gained or lost meanwhile follow.
    m_documentPath.clear();
    m_documentDirty = true;
    updateDocument();
    syncIndex();
    say(QStringLiteral("PHP symbols indexed: %1 in %2 files")
            .arg(m_index->symbolCount())
            .arg(m_index->fileCount()));
}

void SymbolController::waitForIndex()
{
    QCoreApplication::sendPostedEvents(this); // a build about to start
    updateDocument();                         // the document's last text too
    while (m_job || m_scan || m_parse) {
        if (m_parse) {
            if (m_parseThread.joinable())
                m_parseThread.join();
            pollDocumentParse();
            if (!m_parse && m_documentDirty)
                updateDocument();
        }
        if (m_scan) {
            if (m_scanThread.joinable())
                m_scanThread.join();
            pollDiskScan();
        }
        if (m_thread.joinable())
            m_thread.join();
        pollBuild();
    }
}

void SymbolController::checkFilesOnDisk()
{
    // A build reads every file anyway; a look just taken is recent enough.
    constexpr qint64 MinScanIntervalMs = 2000;
    if (m_job || m_scan || m_stamps.isEmpty() ||
        (m_lastScan.isValid() && m_lastScan.elapsed() < MinScanIntervalMs))
        return;
    m_lastScan.start();
    auto scan = std::make_shared<DiskScan>();
    scan->paths = m_stamps.keys();
    scan->known.reserve(size_t(scan->paths.size()));
    for (const QString &path : std::as_const(scan->paths))
        scan->known.push_back(m_stamps.value(path));
    m_scan = scan;
    m_scanThread = std::thread([scan] {
        for (qsizetype k = 0; k < scan->paths.size() && !scan->cancel; ++k)
            if (!(FileStamp::of(scan->paths.at(k)) == scan->known[size_t(k)]))
                scan->changed.push_back(k);
        scan->finished = true;
    });
    m_scanPoll.start();
}

void SymbolController::pollDiskScan()
{
    if (!m_scan || !m_scan->finished)
        return;
    m_scanPoll.stop();
    if (m_scanThread.joinable())
        m_scanThread.join();
    const std::shared_ptr<DiskScan> scan = std::move(m_scan);
    if (scan->changed.empty() || m_job)
        return;
    if (qsizetype(scan->changed.size()) > MaxFilesReadAtOnce) {
        startBuild(m_files);
        return;
    }
    const QSet<QString> wanted(m_files.cbegin(), m_files.cend());
    for (qsizetype k : scan->changed) {
        const QString &file = scan->paths.at(k);
        // The document's own text wins over its file; a file the project
        // no longer has stays out.
        if (file == m_documentPath || !wanted.contains(file))
            continue;
        if (QFileInfo::exists(file)) {
            readFile(file);
        } else {
            m_index->removeFile(file);
            m_stamps.remove(file);
        }
    }
}

void SymbolController::fileSaved(const QString &path)
{
    if (!isPhpPath(path))
        return;
    const QString file = samePath(path);
    if (file == m_documentPath && !m_documentDirty)
        return; // the index holds the text just saved
    readFile(file);
}

void SymbolController::updateDocument()
{
    m_typing.stop();
    const QString path = m_editor->filePath();
    if (path.isEmpty() || !isPhpPath(path)) {
        m_documentDirty = false;
        return;
    }
    const QString file = samePath(path);
    if (!m_documentDirty && file == m_documentPath)
        return;
    if (m_editor->documentLength() > ParseOnWorkerBytes) {
        startDocumentParse(file);
        return;
    }
    m_index->updateFromSource(
        file, std::string_view(m_editor->documentBytes(), size_t(m_editor->documentLength())));
    m_documentPath = file;
    m_documentDirty = false;
}

void SymbolController::startDocumentParse(const QString &file)
{
    if (m_parse)
        return; // stays dirty: read again once the running one is in
    if (m_parseThread.joinable())
        m_parseThread.join();
    auto parse = std::make_shared<DocumentParse>();
    parse->path = file;
    parse->changeCount = m_editor->changeCount();
    parse->text = QByteArray(m_editor->documentBytes(), m_editor->documentLength());
    m_parse = parse;
    m_documentPath = file;
    m_documentDirty = false;
    m_parseThread = std::thread([parse] {
        parse->result = ExtractPhpSymbols(
            std::string_view(parse->text.constData(), size_t(parse->text.size())));
        parse->text = QByteArray();
        parse->finished = true;
    });
    m_parsePoll.start();
}

void SymbolController::pollDocumentParse()
{
    if (!m_parse || !m_parse->finished)
        return;
    m_parsePoll.stop();
    if (m_parseThread.joinable())
        m_parseThread.join();
    const std::shared_ptr<DocumentParse> parse = std::move(m_parse);
    const QString path = m_editor->filePath();
    const bool current = !path.isEmpty() && samePath(path) == parse->path &&
                         m_editor->changeCount() == parse->changeCount;
    if (current) {
        m_index->setFile(parse->path, std::move(parse->result));
        emit documentIndexed(parse->path);
    } else if (parse->path == m_documentPath) {
        m_documentDirty = true; // the text moved on: read again
    }
    if (m_documentDirty && !m_typing.isActive())
        updateDocument();
}

const SymbolIndex &SymbolController::index()
{
    updateDocument();
    return *m_index;
}

SymbolController::Place SymbolController::currentPlace() const
{
    const long pos = m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
    const long line = m_editor->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, pos);
    const long start = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
    return {m_editor->filePath(), int(line) + 1, int(pos - start)};
}

void SymbolController::remember()
{
    const Place here = currentPlace();
    if (here.path.isEmpty())
        return;
    m_back.push_back(here);
    if (m_back.size() > MaxPlaces)
        m_back.erase(m_back.begin());
    m_forward.clear();
}

bool SymbolController::showPlace(const Place &place, const QString &name)
{
    if (samePath(m_editor->filePath()) != samePath(place.path)) {
        emit openFileRequested(place.path);
        if (samePath(m_editor->filePath()) != samePath(place.path))
            return false;
    }
    const long lines = m_editor->SendScintilla(QsciScintilla::SCI_GETLINECOUNT);
    const long line = std::clamp<long>(place.line - 1, 0, lines - 1);
    const long start = m_editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
    const long end = m_editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, line);
    long pos = std::min<long>(start + place.column, end);
    if (!name.isEmpty()) {
        // The file's bytes may differ from the editor's (another encoding):
        // the name itself places the caret.
        const QByteArray text = m_editor->lineText(int(line)).toUtf8();
        const QByteArray want = name.toUtf8();
        qsizetype at = text.indexOf(want, std::max<qsizetype>(0, place.column - 8));
        if (at < 0)
            at = text.indexOf(want);
        if (at >= 0)
            pos = start + at;
    }
    m_editor->SendScintilla(QsciScintilla::SCI_GOTOPOS, pos);
    m_editor->SendScintilla(QsciScintilla::SCI_SCROLLCARET);
    m_editor->takeFocus();
    emit m_editor->statusChanged();
    return true;
}

void SymbolController::jumpTo(const PhpTarget &target)
{
    remember();
    const QString name = QString::fromStdString(target.name.substr(
        target.name.rfind('\\') == std::string::npos ? 0 : target.name.rfind('\\') + 1));
    if (!showPlace({target.path, target.line, target.column}, name)) {
        m_back.pop_back();
        return;
    }
    const QString container =
        target.container.empty() ? QString() : QString::fromStdString(target.container) + "::";
    say(QStringLiteral("%1%2  (%3:%4)")
            .arg(container, QString::fromStdString(target.signature),
                 QFileInfo(target.path).fileName())
            .arg(target.line));
}

void SymbolController::GotoDefinition()
{
    updateDocument();
    const QString path = m_editor->filePath();
    const std::string_view source(m_editor->documentBytes(), size_t(m_editor->documentLength()));
    const size_t offset = size_t(m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    const PhpCodeContext context(*m_index, samePath(path), source);
    const PhpCodeContext::Lookup found = context.definition(offset);
    if (found.targets.empty()) {
        if (found.what.empty())
            say(QStringLiteral("Go to Definition: no name at the caret"));
        else
            say(QStringLiteral("Go to Definition: %1 not found%2")
                    .arg(QString::fromStdString(found.what),
                         m_job ? QStringLiteral(" (the index is still being built)") : QString()));
        return;
    }
    if (found.targets.size() == 1) {
        jumpTo(found.targets.front());
        return;
    }
    // Several declarations: a short list at the caret.
    if (m_choices)
        m_choices->deleteLater();
    m_choices = new QMenu(m_editor);
    m_choices->setObjectName(QStringLiteral("DefinitionChoices"));
    for (const PhpTarget &t : found.targets) {
        const QString container =
            t.container.empty() ? QString() : QString::fromStdString(t.container) + "::";
        QAction *action = m_choices->addAction(
            QStringLiteral("%1%2  —  %3:%4")
                .arg(container, QString::fromStdString(t.signature),
                     QDir(QFileInfo(path).absolutePath()).relativeFilePath(t.path))
                .arg(t.line));
        connect(action, &QAction::triggered, this,
                [this, t] { RunGuarded([this, t] { jumpTo(t); }); });
    }
    const long pos = m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
    const int x = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, pos));
    const int y = int(m_editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0, pos));
    const int lineHeight = int(m_editor->SendScintilla(QsciScintilla::SCI_TEXTHEIGHT, 0));
    say(QStringLiteral("Go to Definition: %1 declarations of %2")
            .arg(found.targets.size())
            .arg(QString::fromStdString(found.what)));
    m_choices->popup(m_editor->viewport()->mapToGlobal(QPoint(x, y + lineHeight)));
}

void SymbolController::NavigateBack()
{
    if (m_back.empty()) {
        say(QStringLiteral("No earlier place"));
        return;
    }
    const Place here = currentPlace();
    const Place there = m_back.back();
    m_back.pop_back();
    if (showPlace(there))
        m_forward.push_back(here);
    else
        m_back.push_back(there);
}

void SymbolController::NavigateForward()
{
    if (m_forward.empty()) {
        say(QStringLiteral("No later place"));
        return;
    }
    const Place here = currentPlace();
    const Place there = m_forward.back();
    m_forward.pop_back();
    if (showPlace(there))
        m_back.push_back(here);
    else
        m_forward.push_back(there);
}

void SymbolController::GotoSymbol()
{
    updateDocument();
    std::vector<GotoSymbolPopup::Entry> entries;
    auto places = std::make_shared<std::vector<PhpTarget>>();
    const QString base = QFileInfo(m_editor->filePath()).absolutePath();
    m_index->forEachFile([&](const IndexedFile &file) {
        const auto &symbols = file.symbols.symbols;
        for (int k = 0; k < int(symbols.size()); ++k) {
            const PhpSymbol &s = symbols[size_t(k)];
            if (s.kind == PhpSymbolKind::Namespace)
                continue;
            const PhpTarget t = MakeTarget({&file, k});
            std::string text;
            if (!t.container.empty()) {
                const size_t cut = t.container.rfind('\\');
                text = t.container.substr(cut == std::string::npos ? 0 : cut + 1) +
                       "::" + (s.kind == PhpSymbolKind::Property ? "$" : "") + s.name;
            } else {
                text = s.name;
            }
            const std::string detail =
                std::string(PhpSymbolKindName(s.kind)) + "  " +
                (base.isEmpty() ? file.path : QDir(base).relativeFilePath(file.path))
                    .toStdString() +
                ":" + std::to_string(s.line);
            entries.push_back({std::move(text), detail, int(places->size())});
            places->push_back(t);
        }
    });
    if (!m_symbolPopup) {
        m_symbolPopup = new GotoSymbolPopup(m_editor);
    }
    m_symbolPopup->disconnect(this);
    connect(m_symbolPopup, &GotoSymbolPopup::chosen, this, [this, places](int payload) {
        if (payload >= 0 && payload < int(places->size()))
            RunGuarded([this, places, payload] { jumpTo((*places)[size_t(payload)]); });
    });
    m_symbolPopup->setEntries(std::move(entries));
    m_symbolPopup->popUp(m_editor);
    if (places->empty())
        say(m_job ? QStringLiteral("Go to Symbol: the index is still being built")
                  : QStringLiteral("Go to Symbol: no PHP symbols in the project"));
}

namespace {
bool containsNoCase(std::string_view text, const std::string &lowerWord)
{
    const auto it =
        std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a + 32) : a) == b; });
    return it != text.end();
}

QString lineOf(std::string_view text, std::uint32_t line, size_t &from, std::uint32_t &at)
{
    for (; at < line && from < text.size(); ++at) {
        const size_t nl = text.find('\n', from);
        from = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    const size_t end = std::min(text.find('\n', from), text.size());
    return QString::fromUtf8(text.substr(from, end - from)).trimmed();
}
} // namespace

QList<MessagesController::MessageRow> SymbolController::FindReferences()
{
    updateDocument();
    const QString document = samePath(m_editor->filePath());
    const std::string_view source(m_editor->documentBytes(), size_t(m_editor->documentLength()));
    const size_t offset = size_t(m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    const PhpCodeContext::Lookup found =
        PhpCodeContext(*m_index, document, source).declarationAt(offset);
    if (found.targets.empty()) {
        say(found.what.empty()
                ? QStringLiteral("Find References: no name at the caret")
                : QStringLiteral("Find References: %1 not found%2")
                      .arg(QString::fromStdString(found.what),
                           m_job ? QStringLiteral(" (the index is still being built)")
                                 : QString()));
        return {};
    }
    const std::string &name = found.targets.front().name;
    const size_t cut = name.rfind('\\');
    const std::string word = ToLowerAscii(name.substr(cut == std::string::npos ? 0 : cut + 1));

    struct Hit {
        PhpCodeContext::Use use;
        QString text;
    };
    QStringList paths;
    m_index->forEachFile([&paths](const IndexedFile &f) { paths << f.path; });
    paths.sort();
    std::vector<std::vector<Hit>> hits(size_t(paths.size()));
    const auto scan = [&](qsizetype k, std::string_view text) {
        std::vector<Hit> &out = hits[size_t(k)];
        out.clear();
        if (!containsNoCase(text, word))
            return;
        size_t from = 0;
        std::uint32_t at = 1;
        for (const PhpCodeContext::Use &use :
             PhpCodeContext(*m_index, paths.at(k), text).usesOf(found.targets))
            out.push_back({use, lineOf(text, use.line, from, at)});
    };
    // The document's own text; the other files from the disk, on all cores.
    // A file that cannot be read is said and skipped.
    QStringList others;
    std::vector<qsizetype> otherIndex;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        if (paths.at(k) == document) {
            scan(k, source);
        } else {
            others << paths.at(k);
            otherIndex.push_back(k);
        }
    }
    QStringList unreadable;
    for (qsizetype first = 0; first < others.size();) {
        const QStringList part = others.mid(first);
        const std::optional<FileReadFailure> failure = ReadFilesInParallel(
            part,
            [&](qsizetype index, const char *data, qsizetype size, int) {
                scan(otherIndex[size_t(first + index)], std::string_view(data, size_t(size)));
            },
            DefaultWorkerCount());
        if (!failure)
            break;
        unreadable << failure->message;
        hits[size_t(otherIndex[size_t(first + failure->index)])].clear();
        first += failure->index + 1;
    }

    QList<MessagesController::MessageRow> sure, possible;
    int files = 0;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        bool counted = false;
        for (const Hit &h : hits[size_t(k)]) {
            (h.use.possible ? possible : sure)
                .append({h.text, paths.at(k), QString::number(h.use.line)});
            if (!h.use.possible && !counted) {
                ++files;
                counted = true;
            }
        }
    }
    const PhpTarget &target = found.targets.front();
    const QString what =
        (target.container.empty() ||
                 !(target.kind == PhpSymbolKind::Method || target.kind == PhpSymbolKind::Property ||
                   target.kind == PhpSymbolKind::ClassConstant ||
                   target.kind == PhpSymbolKind::EnumCase)
             ? QString()
             : QString::fromStdString(target.container) + "::") +
        QString::fromStdString(target.kind == PhpSymbolKind::Property ? "$" + target.name
                                                                      : target.name);
    const QString summary =
        QStringLiteral("References to %1: %2 in %3 files").arg(what).arg(sure.size()).arg(files);
    QList<MessagesController::MessageRow> rows;
    rows.append({summary, QString(), QString()});
    rows += sure;
    if (!possible.isEmpty()) {
        rows.append({QStringLiteral("Possible references (the class of the expression is not "
                                    "known): %1")
                         .arg(possible.size()),
                     QString(), QString()});
        rows += possible;
    }
    for (const QString &message : std::as_const(unreadable))
        rows.append({message, QString(), QString()});
    say(summary +
        (possible.isEmpty() ? QString() : QStringLiteral(", %1 possible").arg(possible.size())));
    return rows;
}

SymbolController::Offer SymbolController::completionAtCaret(const QString &tokenEnds)
{
    updateDocument();
    Offer offer;
    const std::string_view source(m_editor->documentBytes(), size_t(m_editor->documentLength()));
    const size_t caret = size_t(m_editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    const PhpCodeContext context(*m_index, samePath(m_editor->filePath()), source);
    const PhpCodeContext::Completion c = context.completionAt(caret);
    // The popup's word: back from the caret to a blank or an end-of-token character.
    size_t start = caret;
    while (start > 0) {
        const auto ch = static_cast<unsigned char>(source[start - 1]);
        if (ch <= 0x20 || ch == 0x7f || ch == '\n' || (ch < 0x80 && tokenEnds.contains(QChar(ch))))
            break;
        --start;
    }
    const size_t typedPrefix = std::min(c.prefix.size(), caret - start);
    const QString lead = QString::fromUtf8(source.substr(start, caret - start - typedPrefix));
    const auto add = [&offer, &lead](const std::string &name, const std::string &detail) {
        offer.entries << lead + QString::fromStdString(name);
        offer.details << QString::fromStdString(detail);
    };
    if (c.kind == PhpCodeContext::Completion::Member ||
        c.kind == PhpCodeContext::Completion::Static) {
        offer.members = true;
        if (c.className.empty()) {
            offer.known = false;
            offer.message = QStringLiteral("Completion: the class of the expression is not known");
            return offer;
        }
        const bool isStatic = c.kind == PhpCodeContext::Completion::Static;
        for (const SymbolRef &ref : m_index->allMembers(c.className)) {
            const PhpSymbol &s = ref.symbol();
            // Private members only inside their own class's code.
            if ((s.flags & PhpFlag::Private) &&
                ToLowerAscii(SymbolIndex::containerName(ref)) != ToLowerAscii(c.currentClass))
                continue;
            const bool staticMember = (s.flags & PhpFlag::Static) ||
                                      s.kind == PhpSymbolKind::ClassConstant ||
                                      s.kind == PhpSymbolKind::EnumCase;
            if (isStatic && c.staticOnly && !staticMember)
                continue;
            if (!isStatic &&
                (s.kind == PhpSymbolKind::ClassConstant || s.kind == PhpSymbolKind::EnumCase))
                continue;
            const std::string name =
                s.kind == PhpSymbolKind::Property && isStatic ? "$" + s.name : s.name;
            add(name, SymbolIndex::containerName(ref) + "::" + s.signature);
        }
        if (offer.entries.isEmpty())
            offer.message = QStringLiteral("Completion: %1 has no members to offer")
                                .arg(QString::fromStdString(c.className));
        return offer;
    }
    if (c.kind == PhpCodeContext::Completion::None)
        return offer;
    const bool classesOnly = c.kind == PhpCodeContext::Completion::NewClass;
    if (c.qualified) {
        // The names inside the namespace written: declarations, and the
        // namespaces below it as the next part of the name.
        offer.qualified = true;
        if (c.namespaceName.empty() && !classesOnly)
            offer.manualLead = lead;
        for (const SymbolIndex::NameOffer &n : m_index->namesWithin(c.namespaceName, classesOnly))
            add(n.name, n.symbol ? n.symbol->signature
                                 : "namespace " + c.namespaceName +
                                       (c.namespaceName.empty() ? "" : "\\") +
                                       n.name.substr(0, n.name.size() - 1));
        if (offer.entries.isEmpty())
            offer.message = QStringLiteral("Completion: nothing known in namespace \\%1")
                                .arg(QString::fromStdString(c.namespaceName));
        return offer;
    }
    // Names: classes, and for a plain name also functions and constants.
    for (const SymbolIndex::NameOffer &n : m_index->shortNames(classesOnly))
        add(n.name, n.symbol->signature);
    offer.classes = classesOnly;
    if (classesOnly && offer.entries.isEmpty())
        offer.message = QStringLiteral("Completion: no classes known in the project");
    return offer;
}

void SymbolController::say(const QString &text)
{
    m_status->setText(text);
}
