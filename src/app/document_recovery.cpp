#include "app/document_recovery.h"

#include "editor/code_editor.h"
#include "foundation/safe_write.h"
#include "foundation/trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Magic = "Quillstone recovery 1\n";

// A copy belongs to a running program while its process lives.
bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

DocumentRecovery::DocumentRecovery(CodeEditor &editor, std::function<Shown()> shown,
                                   QObject *parent)
    : QObject(parent), m_editor(editor), m_shown(std::move(shown))
{
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DocumentRecovery::update);
    m_timer.start();
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    update();
            });
    // Saved or discarded: the copy has nothing left to keep.
    connect(&m_editor, &CodeEditor::modifiedChanged, this, [this](bool modified) {
        if (!modified)
            remove(m_copies[m_shown().id]);
    });
}

DocumentRecovery::~DocumentRecovery()
{
    // A clean end leaves nothing to recover: every document was saved or
    // discarded on the way out.
    if (!m_editor.isDocumentModified())
        remove(m_copies[m_shown().id]);
}

QString DocumentRecovery::folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillstone/recovery");
}

void DocumentRecovery::remove(Copy &copy)
{
    if (copy.file.isEmpty())
        return;
    QFile::remove(copy.file);
    copy.file.clear();
    copy.writtenChange = 0;
}

void DocumentRecovery::discard()
{
    Copy &copy = m_copies[m_shown().id];
    remove(copy);
    copy.discardedChange = m_editor.changeCount();
}

void DocumentRecovery::forget(int id)
{
    const auto found = m_copies.find(id);
    if (found == m_copies.end())
        return;
    remove(*found);
    m_copies.erase(found);
}

void DocumentRecovery::update()
{
    const Shown shown = m_shown();
    Copy &copy = m_copies[shown.id];
    if (!m_editor.isDocumentModified()) {
        remove(copy);
        return;
    }
    if (copy.discardedChange == m_editor.changeCount())
        return;
    copy.discardedChange.reset();
    const QString &path = shown.path;
    // One file per open document; the path's hash tells the copies of one
    // file apart across runs.
    const QString name = QStringLiteral("%1-%2-%3.txt")
                             .arg(::getpid())
                             .arg(shown.id)
                             .arg(QString::fromLatin1(
                                 QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1)
                                     .toHex()
                                     .left(16)));
    const QString file = folder() + u'/' + name;
    if (file == copy.file && m_editor.changeCount() == copy.writtenChange)
        return;
    if (file != copy.file)
        remove(copy); // renamed by Save as: the old name's copy is stale
    if (!QDir().mkpath(folder()))
        return;
    ::chmod(QFile::encodeName(folder()).constData(), 0700);
    QByteArray head = Magic;
    head += QByteArray::number(::getpid()) + '\n';
    head += path.toUtf8() + '\n';
    head += QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "\n\n";
    SafeWriteOptions options;
    options.privateFile = true;
    try {
        SafeWriteFile(
            file,
            {head, QByteArray::fromRawData(m_editor.documentBytes(), m_editor.documentLength())},
            options);
    } catch (const AppError &e) {
        // The copy is a safety net; a failure to make one is only traced.
        TraceLog(e.message());
        return;
    }
    copy.file = file;
    copy.writtenChange = m_editor.changeCount();
}

std::optional<DocumentRecovery::Left> DocumentRecovery::read(const QString &file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = in.readAll();
    if (!bytes.startsWith(Magic))
        return std::nullopt;
    const qsizetype end = bytes.indexOf("\n\n", Magic.size());
    if (end < 0)
        return std::nullopt;
    const QList<QByteArray> fields = bytes.mid(Magic.size(), end - Magic.size()).split('\n');
    if (fields.size() != 3)
        return std::nullopt;
    Left left;
    left.file = file;
    left.path = QString::fromUtf8(fields.at(1));
    left.written = QDateTime::fromMSecsSinceEpoch(fields.at(2).toLongLong());
    left.text = bytes.mid(end + 2);
    if (processRuns(fields.at(0).toLongLong()))
        return std::nullopt;
    return left;
}

QList<DocumentRecovery::Left> DocumentRecovery::leftBehind()
{
    QList<Left> found;
    const QDir dir(folder());
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files))
        if (auto left = read(dir.filePath(name)))
            found << *left;
    std::sort(found.begin(), found.end(),
              [](const Left &a, const Left &b) { return a.written > b.written; });
    return found;
}
