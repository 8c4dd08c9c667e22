#include "support/test_support.h"

#include "foundation/switches.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

ScriptedDialogs::ScriptedDialogs()
{
    SetDialogs(this);
}
ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogs(nullptr);
}

bool ScriptedDialogs::askYesNo(const QString &title, const QString &text)
{
    questions.push_back(title + u'|' + text);
    if (yesNoAnswers.empty())
        return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::askChoice(const QString &title, const QString &text,
                               const QStringList &answers)
{
    choices.push_back(title + u'|' + text + u'|' + answers.join(u'/'));
    if (onChoice)
        onChoice();
    if (choiceAnswers.empty())
        return int(answers.size()) - 1;
    const int answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::prompt(const QString &title, const QString &label,
                                               const QString &)
{
    prompts.push_back(title + u'|' + label);
    if (promptAnswers.empty())
        return std::nullopt;
    std::optional<QString> answer;
    answer.swap(promptAnswers.front());
    promptAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::openFiles(const QString &, const QString &folder,
                                       const QString &filter, bool)
{
    fileDialogs.push_back(QStringLiteral("open|") + filter);
    startFolders.push_back(folder);
    if (openAnswers.empty())
        return {};
    QStringList answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFile(const QString &, const QString &, const QString &filter,
                                  const QString &)
{
    fileDialogs.push_back(QStringLiteral("save|") + filter);
    if (saveAnswers.empty())
        return {};
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::chooseFolder(const QString &title, const QString &folder)
{
    fileDialogs.push_back(QStringLiteral("folder|") + title);
    startFolders.push_back(folder);
    if (folderAnswers.empty())
        return {};
    QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::showModal(QWidget *window)
{
    modalWindows.push_back(window);
    return onModal ? onModal(window) : 0;
}

ScopedParameters::ScopedParameters(QStringList parametersAfterProgram)
{
    parametersAfterProgram.prepend(QCoreApplication::applicationFilePath());
    SetProgramParametersOverride(parametersAfterProgram);
}

ScopedParameters::~ScopedParameters()
{
    SetProgramParametersOverride(std::nullopt);
}

ScopedProgramTrace::ScopedProgramTrace(TraceSink *sink) : m_previous(ProgramTrace().sink())
{
    ProgramTrace().setSink(sink);
}

ScopedProgramTrace::~ScopedProgramTrace()
{
    ProgramTrace().setSink(m_previous);
}

QByteArray ReadFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return f.readAll();
}

void WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

bool FinishesWithin(int milliseconds, const std::function<void()> &work)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([work, done] {
        try {
            work();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    }).detach();
    if (finished.wait_for(std::chrono::milliseconds(milliseconds)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: the call did not finish within %d ms\n", milliseconds);
        std::fflush(stderr);
        std::_Exit(1);
    }
    finished.get(); // an exception of `work` goes on to the test
    return true;
}

struct ScopedDeadline::State {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;
};

ScopedDeadline::ScopedDeadline(int milliseconds) : m_state(std::make_shared<State>())
{
    std::thread([state = m_state, milliseconds] {
        std::unique_lock<std::mutex> lock(state->lock);
        if (!state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [&] { return state->done; })) {
            std::fprintf(stderr, "FAILED: the work did not finish within %d ms\n", milliseconds);
            std::fflush(stderr);
            std::_Exit(1);
        }
    }).detach();
}

ScopedDeadline::~ScopedDeadline()
{
    const std::lock_guard<std::mutex> lock(m_state->lock);
    m_state->done = true;
    m_state->changed.notify_all();
}

QString UnpackDebianPackage(const QString &name, const QString &folder)
{
    // Downloaded once per build folder; apt runs as _apt unless it may write here.
    const QString cache = QStringLiteral(QS_BINARY_DIR "/debs");
    QDir().mkpath(cache);
    QFile::setPermissions(cache, QFileDevice::Permissions(0x7777));
    const auto run = [](const QString &program, const QStringList &arguments,
                        const QString &where) -> QString {
        QProcess process;
        process.setWorkingDirectory(where);
        process.start(program, arguments);
        if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return program + u' ' + arguments.join(u' ') + QStringLiteral(" failed: ") +
                   QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return {};
    };
    QStringList debs = QDir(cache).entryList({name + QStringLiteral("_*.deb")}, QDir::Files);
    if (debs.isEmpty()) {
        if (QString error = run(QStringLiteral("apt-get"), {"download", "-q", name}, cache);
            !error.isEmpty())
            return error;
        debs = QDir(cache).entryList({name + QStringLiteral("_*.deb")}, QDir::Files);
        if (debs.isEmpty())
            return QStringLiteral("apt-get download %1 left no package").arg(name);
    }
    QDir().mkpath(folder);
    return run(QStringLiteral("dpkg-deb"), {"-x", cache + u'/' + debs.constLast(), folder}, cache);
}
