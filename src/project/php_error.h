#pragma once

#include <QString>
#include <QStringView>

// The first PHP error or warning that a returned page reports, cut out of
// PHP's HTML error line ("<b>Warning</b>:  message in <b>file</b> on line
// <b>N</b><br />"). Errors (parse, fatal, uncaught exceptions) win over
// warnings wherever they sit in the page; notices and deprecations are not
// captured. Run turns it into one row of the messages panel and a jump.
struct PhpErrorCapture {
    bool found = false;
    QString file;    // the path as PHP printed it
    QString line;    // the line text between the bold tags
    QString message; // begins with the second blank PHP puts after the colon

    // The line text as a decimal number; 0 when it is not one.
    int lineNumber() const;
    // The messages panel row: file + "(" + line + "):" + message.
    QString messageRow() const;
};

// Looks for "error</b>:", else "Warning</b>:", and cuts file, line and
// message out of the first occurrence. Malformed or truncated lines give
// empty parts, never a read out of range. The file path is read as UTF-8
// when its bytes are UTF-8, even in a page that was not (see RepairedPath).
PhpErrorCapture CapturePhpError(QStringView page);

// A path cut out of a page that was taken as Latin-1 because some other byte
// of it was not UTF-8: PHP prints paths as the file system names them, in
// UTF-8 here, so the path's own bytes are read as UTF-8 when they are valid
// UTF-8. Paths that hold characters beyond Latin-1 (the page was UTF-8) or no
// multi-byte sequence come back unchanged.
QString RepairedPath(const QString &path);

class Project;

// The project's own name for a file PHP reports. PHP resolves symbolic links,
// so a project opened through a linked folder gets real paths back: the entry
// of `project` that is the same file wins, then the same file below the
// project folder as the project names it; otherwise `reported` unchanged.
QString ProjectPathOfReported(const QString &reported, const Project &project);

// A server folder and the project folder it stands for, for a server the
// program did not start.
struct SuggestedMapping {
    QString server; // empty: nothing to suggest (no project)
    QString local;
};

// What Run already knows about where the project sits on another server. A
// file path that server reported in an error (`reported`, as printed) gives
// it exactly: the longest tail of it that names a project file, the rest
// being the server's folder. Otherwise the run address's folder below the
// usual document root, with the page the address names taken off. Paths
// that are the project's own (its server is this machine) tell nothing.
SuggestedMapping SuggestServerMapping(const QString &reported, const QString &runAddress,
                                      const Project &project);
