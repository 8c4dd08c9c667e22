#include "net/run_guidance.h"

#include "net/local_php_server.h"

#include <QStringList>

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"));
}

QString code(const QString &text)
{
    return QStringLiteral("<code>") + escaped(text) + QStringLiteral("</code>");
}

// A folder as a shell reads it: in single quotes when it needs any.
QString shellWord(const QString &text)
{
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+~");
    for (const QChar c : text) {
        if (!plain.contains(c)) {
            QString quoted = text;
            quoted.replace(u'\'', QStringLiteral("'\\''"));
            return u'\'' + quoted + u'\'';
        }
    }
    return text;
}

} // namespace

QString RunGuidancePage(const RunGuidance &guidance)
{
    const LoopbackAddress loopback = LoopbackHttpAddress(guidance.address);
    const QString hostAndPort =
        loopback.valid ? loopback.hostAndPort() : QStringLiteral("127.0.0.1:8000");
    QString folder = guidance.projectFolder.isEmpty() ? QStringLiteral("PROJECT-FOLDER")
                                                      : guidance.projectFolder;
    if (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    const QString command = QStringLiteral("php -S %1 -t %2 -d display_errors=1 -d html_errors=1")
                                .arg(hostAndPort, shellWord(folder));

    QStringList page;
    page << QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                           "<title>Nothing to show</title><style>"
                           "body{font-family:sans-serif;margin:2em;max-width:48em;color:#222}"
                           "code{background:#f1f1f1;padding:0 .2em}"
                           "p.problem{border-left:4px solid #c33;padding-left:.8em}"
                           "</style></head><body>");
    if (guidance.address.trimmed().isEmpty())
        page << QStringLiteral("<h2>No run address is set</h2>");
    else
        page << QStringLiteral("<h2>Nothing answers at ") + escaped(guidance.address) +
                    QStringLiteral("</h2>");
    if (!guidance.problem.isEmpty())
        page << QStringLiteral("<p class=\"problem\" id=\"problem\">") + escaped(guidance.problem) +
                    QStringLiteral("</p>");
    page << QStringLiteral("<p>Run and the preview show the project's pages through a web "
                           "server with PHP.</p><ol>");

    QString start = QStringLiteral("<li><b>Start a server.</b> ");
    if (guidance.ownServer)
        start += QStringLiteral("Quillstone starts PHP's built-in server for the project's "
                                "folder by itself when the run address is on this computer "
                                "(127.0.0.1, localhost or [::1]) and nothing answers there; it "
                                "needs PHP's command-line program (on Debian: %1). Or start "
                                "one yourself:")
                     .arg(code(QStringLiteral("apt install php-cli")));
    else
        start += QStringLiteral("Quillstone's own PHP server is switched off in Tools &gt; "
                                "Options. Switch it on, or start a server yourself:");
    start += QStringLiteral("<br>") + code(command) + QStringLiteral("</li>");
    page << start;

    page << QStringLiteral("<li><b>Set the run address</b> to the page to run, for example ") +
                code(QStringLiteral("http://") + hostAndPort + QStringLiteral("/index.php")) +
                QStringLiteral(": type it in the preview's address box and press Enter. The "
                               "project file keeps it.</li>");
    page << QStringLiteral("<li><b>The server log.</b> Quillstone's own server writes the "
                           "requests and PHP's messages to ") +
                code(guidance.logPath) +
                QStringLiteral("; Run &gt; Server Log shows it.</li></ol>");
    page << QStringLiteral("<p>Then press F5 to try again.</p></body></html>");
    return page.join(u'\n');
}
