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
// empty parts, never a read out of range.
PhpErrorCapture CapturePhpError(QStringView page);
