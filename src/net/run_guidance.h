#pragma once

#include <QString>

// What the guidance page says about one address that nothing shows.
struct RunGuidance {
    QString address;       // the run address, as the user wrote it
    QString problem;       // why nothing serves it, when known
    QString projectFolder; // the folder a server should serve; empty without a project
    QString logPath;       // the log of the program's own PHP server
    bool ownServer = true; // the program may start PHP's server itself
};

// A short page of ours shown instead of the browser engine's error page when
// nothing answers at the run address: what went wrong, how to start a server,
// how to set the run address, and where the server log is. Every text from
// outside is escaped.
QString RunGuidancePage(const RunGuidance &guidance);
