#include "net/php_lint.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// A syntax check of a large file stays well under this; a php that hangs is ended.
constexpr int CheckTimeoutMs = 60'000;
constexpr rlim_t CheckCpuSeconds = 60;
} // namespace

PhpLintResult ParsePhpLintOutput(const QString &file, const QString &output, int exitCode)
{
    PhpLintResult result;
    result.file = file;
    // "PHP Parse error:  MESSAGE in FILE on line N" (to stderr) or the same
    // without "PHP " (to stdout); the file name itself may hold " on line ",
    // so the last one ends the message.
    static const QRegularExpression errorLine(
        QStringLiteral("^(?:PHP )?((?:Parse|Fatal|Compile) error|[A-Z][a-z]+ error):\\s+(.*)"
                       " on line (\\d+)\\s*$"));
    const QStringList lines = output.split(u'\n');
    for (const QString &raw : lines) {
        const QRegularExpressionMatch match = errorLine.match(raw.trimmed());
        if (!match.hasMatch())
            continue;
        QString message = match.captured(2);
        const QString inFile = QStringLiteral(" in ") + file;
        if (message.endsWith(inFile))
            message.chop(inFile.size());
        else if (const qsizetype at = message.lastIndexOf(QLatin1String(" in ")); at > 0)
            message.truncate(at);
        result.clean = false;
        result.line = match.captured(3).toInt();
        result.message = match.captured(1) + QStringLiteral(": ") + message.trimmed();
        return result;
    }
    if (exitCode != 0) {
        result.clean = false;
        const QString said = output.trimmed().section(u'\n', 0, 0);
        result.message = said.isEmpty() ? QStringLiteral("php -l failed") : said;
    }
    return result;
}

PhpLint::PhpLint(QObject *parent, QString program) : QObject(parent), m_program(std::move(program))
{
    qRegisterMetaType<PhpLintResult>();
}

PhpLint::~PhpLint()
{
    // Running checks and replaced ones not yet reaped alike.
    const QList<QProcess *> processes = findChildren<QProcess *>(Qt::FindDirectChildrenOnly);
    for (QProcess *process : processes) {
        process->disconnect();
        process->kill();
        process->waitForFinished(1000);
        delete process;
    }
}

bool PhpLint::available() const
{
    return !QStandardPaths::findExecutable(m_program).isEmpty();
}

bool PhpLint::check(const QString &path)
{
    return start(path, {QStringLiteral("-l"), path}, nullptr);
}

bool PhpLint::checkText(const QString &key, const QByteArray &text)
{
    return start(key, {QStringLiteral("-l")}, &text);
}

bool PhpLint::start(const QString &key, const QStringList &arguments, const QByteArray *input,
                    bool idle)
{
    const QString php = QStandardPaths::findExecutable(m_program);
    if (php.isEmpty())
        return false;
    if (QProcess *stale = m_running.take(key)) {
        stale->disconnect(this);
        stale->kill();
        // Reaped when it ends; its result is never read.
        connect(stale, &QProcess::finished, stale, &QObject::deleteLater);
        connect(stale, &QProcess::errorOccurred, stale, &QObject::deleteLater);
    }
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    if (!input)
        process->setStandardInputFile(QProcess::nullDevice());
    // Error lines on standard output, as plain text, and only once.
    process->setArguments(QStringList{QStringLiteral("-d"), QStringLiteral("display_errors=1"),
                                      QStringLiteral("-d"), QStringLiteral("html_errors=0"),
                                      QStringLiteral("-d"), QStringLiteral("log_errors=0")} +
                          arguments);
    process->setProgram(php);
    // The check ends with the program, even one killed outright, and never
    // takes more than its share of processor time.
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent, idle] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
        const rlimit cpu{CheckCpuSeconds, CheckCpuSeconds + 5};
        ::setrlimit(RLIMIT_CPU, &cpu);
        // Behind what the user waits for (a publish, a run, a search); where
        // that is refused the check runs at the usual priority.
        [[maybe_unused]] const int niceness = ::nice(10);
#ifdef SCHED_IDLE
        // First only on a processor that would otherwise idle: even at a
        // low priority the check took its share from a publish.
        if (idle) {
            const sched_param none{};
            [[maybe_unused]] const int scheduled = ::sched_setscheduler(0, SCHED_IDLE, &none);
        }
#endif
    });
    const bool fromInput = input != nullptr;
    connect(process, &QProcess::finished, this,
            [this, process, key, fromInput] { finish(process, key, fromInput); });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, key](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return; // a crash or a kill still ends in finished
                if (m_running.value(key) == process)
                    m_running.remove(key);
                process->deleteLater();
            });
    m_running.insert(key, process);
    process->start();
    if (input) {
        // Written from the event loop as PHP reads; the caller goes on at once.
        process->write(*input);
        process->closeWriteChannel();
    }
    QTimer::singleShot(CheckTimeoutMs, process, [process] { process->kill(); });
    if (idle) {
        // A machine kept busy gives the idle check no turn: it starts again
        // at the low priority, which gets one.
        const QByteArray text = input ? *input : QByteArray();
        QTimer::singleShot(m_idleTurnMs, process, [this, process, key, arguments, text, fromInput] {
            if (m_running.value(key) == process)
                start(key, arguments, fromInput ? &text : nullptr, false);
        });
    }
    return true;
}

void PhpLint::finish(QProcess *process, const QString &path, bool fromInput)
{
    if (m_running.value(path) != process)
        return;
    m_running.remove(path);
    process->deleteLater();
    if (process->exitStatus() != QProcess::NormalExit)
        return; // killed or crashed: nothing is known about the file
    const QString output = QString::fromUtf8(process->readAll());
    if (!fromInput) {
        emit checked(ParsePhpLintOutput(path, output, process->exitCode()));
        return;
    }
    // PHP calls its standard input by this name.
    PhpLintResult result =
        ParsePhpLintOutput(QStringLiteral("Standard input code"), output, process->exitCode());
    result.file = path;
    emit checked(result);
}
