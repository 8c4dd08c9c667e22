#include "app/desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {
class SystemDesktop final : public Desktop {
public:
    bool openUrl(const QString &address) override
    {
        return QDesktopServices::openUrl(QUrl(address));
    }

    bool startTerminal(const QString &folder) override
    {
        const QString workDir = folder.isEmpty() ? QDir::currentPath() : folder;
        for (const QString &candidate : TerminalCandidates()) {
            const QString program = QStandardPaths::findExecutable(candidate);
            if (!program.isEmpty() && QProcess::startDetached(program, {}, workDir))
                return true;
        }
        return false;
    }
};

Desktop *&installed()
{
    static Desktop *desktop = nullptr;
    return desktop;
}
} // namespace

QStringList TerminalCandidates()
{
    QStringList list;
    const QString fromEnv = qEnvironmentVariable("TERMINAL");
    if (!fromEnv.isEmpty())
        list << fromEnv;
    list << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
         << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
         << QStringLiteral("mate-terminal") << QStringLiteral("lxterminal")
         << QStringLiteral("xterm");
    return list;
}

Desktop &ProgramDesktop()
{
    static SystemDesktop system;
    return installed() ? *installed() : system;
}

void SetProgramDesktop(Desktop *desktop)
{
    installed() = desktop;
}

void ApplyDesktopIdentity()
{
    // The resource lives in a static library: nothing else would pull it in.
    Q_INIT_RESOURCE(quillstone);
    // The window class is the application name; it must match the desktop file.
    QCoreApplication::setApplicationName(QStringLiteral("quillstone"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillstone"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillstone.svg")));
}
