#pragma once

#include <QString>
#include <QStringList>

// The desktop's services: opening an address in the default browser and
// starting a terminal in a folder. Tests install a recording stand-in.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual bool openUrl(const QString &address) = 0;
    // Starts the desktop's terminal with `folder` as its working folder
    // (the current folder when empty). Never goes through a shell string.
    virtual bool startTerminal(const QString &folder) = 0;
};

// The terminals tried in order: $TERMINAL, the Debian alternative, then common ones.
QStringList TerminalCandidates();

Desktop &ProgramDesktop();
void SetProgramDesktop(Desktop *desktop); // not owned; nullptr restores the real one

// The program's name towards the desktop: the window icon, the desktop file
// "quillstone" and the window class that its StartupWMClass names. Before the
// first window exists.
void ApplyDesktopIdentity();
