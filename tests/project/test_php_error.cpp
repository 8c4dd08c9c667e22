// Error-line capture against pages that PHP 8.2's built-in server really
// returned (display_errors=1, html_errors=1; recorded under
// fixtures/php/pages from the scripts in fixtures/php/site), and against
// hand-made pages whose error lines are broken.

#include "project/php_error.h"
#include "project/project.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QString recordedPage(const char *name)
{
    return QString::fromUtf8(
        ReadFileBytes(QStringLiteral(QS_FIXTURES "/php/pages/") + QLatin1String(name)));
}

const QString Site = QStringLiteral("/tmp/quillstone-site/");

struct Expected {
    const char *page;
    QString file;
    QString line;
    QString message;
};

} // namespace

TEST(PhpErrorCapture, RealPhpPagesGiveFileLineAndMessage)
{
    const Expected cases[] = {
        {"warning.html", Site + "warning.php", "4", R"( Undefined array key "missing")"},
        {"parse_error.html", Site + "parse_error.php", "3",
         R"( syntax error, unexpected token "echo", expecting "," or ";")"},
        // The stack trace of an uncaught exception stays out of the row, and
        // PHP's HTML escaping of the message is undone.
        {"exception.html", Site + "exception.php", "4",
         " Uncaught RuntimeException: Something <broke> & \"failed\" in " + Site +
             "exception.php:4"},
        // The fatal error wins over the warning printed before it.
        {"warning_then_error.html", Site + "warning_then_error.php", "4",
         " Uncaught Error: Call to undefined function undefined_function() in " + Site +
             "warning_then_error.php:4"},
        {"two_warnings.html", Site + "two_warnings.php", "2", " Undefined variable $first"},
    };
    for (const Expected &expected : cases) {
        SCOPED_TRACE(expected.page);
        const PhpErrorCapture capture = CapturePhpError(recordedPage(expected.page));
        EXPECT_TRUE(capture.found);
        EXPECT_EQ(capture.file, expected.file);
        EXPECT_EQ(capture.line, expected.line);
        EXPECT_EQ(capture.message, expected.message);
        EXPECT_EQ(capture.lineNumber(), expected.line.toInt());
        EXPECT_EQ(capture.messageRow(),
                  expected.file + '(' + expected.line + "):" + expected.message);
    }
}

TEST(PhpErrorCapture, XdebugTablesAndPlainTextLandOnTheSameFileAndLine)
{
    // The same scripts through Xdebug's development mode (its error tables)
    // and with html_errors off (PHP's plain-text lines): the row names the
    // file and line PHP's HTML form names. Xdebug leaves the ":line" off an
    // uncaught exception's message.
    struct Case {
        const char *script;
        const char *line;
        const char *xdebugMessage; // nullptr: as in the plain-text form
        const char *textMessage;
    };
    const Case cases[] = {
        {"warning", "4", nullptr, R"( Undefined array key "missing")"},
        {"parse_error", "3", nullptr,
         R"( syntax error, unexpected token "echo", expecting "," or ";")"},
        {"exception", "4", R"( Uncaught RuntimeException: Something <broke> & "failed")",
         R"( Uncaught RuntimeException: Something <broke> & "failed" in /tmp/quillstone-site/exception.php:4)"},
        {"warning_then_error", "4",
         " Uncaught Error: Call to undefined function undefined_function()",
         " Uncaught Error: Call to undefined function undefined_function() in "
         "/tmp/quillstone-site/warning_then_error.php:4"},
        {"two_warnings", "2", nullptr, " Undefined variable $first"},
    };
    for (const Case &c : cases) {
        const QString file = Site + c.script + ".php";
        const PhpErrorCapture html =
            CapturePhpError(recordedPage((std::string(c.script) + ".html").c_str()));
        for (const bool xdebug : {true, false}) {
            const std::string page = xdebug ? std::string("xdebug/") + c.script + ".html"
                                            : std::string("text/") + c.script + ".txt";
            SCOPED_TRACE(page);
            const PhpErrorCapture capture = CapturePhpError(recordedPage(page.c_str()));
            EXPECT_TRUE(capture.found);
            EXPECT_EQ(capture.file, file);
            EXPECT_EQ(capture.file, html.file);
            EXPECT_EQ(capture.line, QString::fromLatin1(c.line));
            EXPECT_EQ(capture.lineNumber(), html.lineNumber());
            EXPECT_EQ(
                capture.message,
                QString::fromUtf8(xdebug && c.xdebugMessage ? c.xdebugMessage : c.textMessage));
        }
    }
    // Notices and deprecations stay out in every format.
    EXPECT_FALSE(CapturePhpError(recordedPage("xdebug/notice.html")).found);
    EXPECT_FALSE(CapturePhpError(recordedPage("text/notice.txt")).found);
}

TEST(PhpErrorCapture, PlainTextNeedsTheWholeShape)
{
    // Ordinary page text that happens to read like a caption is not an error;
    // the shape across lines is only an uncaught exception's.
    const struct {
        const char16_t *page;
        const char16_t *row; // nullptr: nothing captured
    } cases[] = {
        {u"Warning: your basket is empty\n", nullptr},
        {u"\nWarning: a in /x.php on line 7 and more\n", nullptr},
        {u"\nWarning: a\nb in /x.php on line 7\n", nullptr},
        {u"\nFatal error: a\nb in /x.php on line 7\n", nullptr},
        {u"<p>Warning: w in /w.php on line 2</p>\n", nullptr},
        {u"\nWarning: w in /w.php on line 2\n\nFatal error: e in /e.php on line 3",
         u"/e.php(3): e"},
        {u"\nWarning: w in /w.php on line 2\r\n", u"/w.php(2): w"},
        {u"\nFatal error: Uncaught E: m in /e.php:5\nStack trace:\n#0 {main}\n"
         u"  thrown in /e.php on line 5\n",
         u"/e.php(5): Uncaught E: m in /e.php:5"},
        // Xdebug's table of a notice, then a warning's table.
        {u"<table class='xdebug-error xe-notice'><tr><th><span>( ! )</span> Notice: n in /n.php "
         u"on line <i>1</i></th></tr></table><table class='xdebug-error xe-warning'><tr><th>"
         u"<span>( ! )</span> Warning: a &amp; b in /w.php on line <i>9</i></th></tr></table>",
         u"/w.php(9): a & b"},
        // A table cut short is found without parts.
        {u"<table class='xdebug-error xe-fatal-error'><tr><th><span>( ! )</span> Fatal error: x",
         u"():"},
    };
    for (const auto &c : cases) {
        const PhpErrorCapture capture = CapturePhpError(QStringView(c.page));
        SCOPED_TRACE(QString::fromUtf16(c.page).toStdString());
        EXPECT_EQ(capture.found, c.row != nullptr);
        if (c.row) {
            EXPECT_EQ(capture.messageRow(), QString::fromUtf16(c.row));
        }
    }
}

TEST(PhpErrorCapture, NoticesDeprecationsAndCleanPagesAreNotCaptured)
{
    const QString notice = recordedPage("notice.html");
    ASSERT_TRUE(notice.contains("<b>Notice</b>:"));
    ASSERT_TRUE(notice.contains("<b>Deprecated</b>:"));
    EXPECT_FALSE(CapturePhpError(notice).found);
    EXPECT_FALSE(CapturePhpError(QString()).found);
    EXPECT_FALSE(CapturePhpError(u"<html><body>fine</body></html>").found);
    // The markers are matched with letter case.
    EXPECT_FALSE(CapturePhpError(u"<b>warning</b>:  x in <b>f</b> on line <b>1</b><br />").found);
    EXPECT_FALSE(CapturePhpError(u"<b>Error</B>:  x in <b>f</b> on line <b>1</b><br />").found);
}

TEST(PhpErrorCapture, FollowsTheCutRulesOnHandMadeLines)
{
    // The example of a warning on a Windows path.
    PhpErrorCapture c = CapturePhpError(u"<br />\n<b>Warning</b>:  Division by zero in "
                                        u"<b>C:\\www\\a.php</b> on line <b>3</b><br />\n");
    EXPECT_EQ(c.messageRow(), QStringLiteral("C:\\www\\a.php(3): Division by zero"));
    EXPECT_EQ(c.lineNumber(), 3);

    // Only one character after the marker is skipped, for both markers.
    c = CapturePhpError(u"<b>Fatal error</b>:Xthe message in <b>f.php</b> on line <b>9</b><br />");
    EXPECT_EQ(c.message, QStringLiteral("the message"));
    c = CapturePhpError(u"<b>Warning</b>:   three in <b>f.php</b> on line <b>9</b><br />");
    EXPECT_EQ(c.message, QStringLiteral("  three"));

    // Any bold caption ending in "error" is an error line, and it wins even
    // when a warning comes first.
    c = CapturePhpError(
        u"<b>Warning</b>:  w in <b>w.php</b> on line <b>1</b><br />"
        u"<b>Recoverable fatal error</b>:  e in <b>e.php</b> on line <b>2</b><br />");
    EXPECT_EQ(c.messageRow(), QStringLiteral("e.php(2): e"));

    // The cuts stop at the first "<br />": a later line cannot lend its parts.
    c = CapturePhpError(u"<b>Warning</b>:  w<br /> in <b>late.php</b> on line <b>5</b><br />");
    EXPECT_TRUE(c.found);
    EXPECT_EQ(c.file, QString());
    EXPECT_EQ(c.line, QString());
    EXPECT_EQ(c.message, QStringLiteral(" w"));
}

TEST(PhpErrorCapture, BrokenLinesGiveEmptyPartsNotGarbage)
{
    // No "<br />" after the marker: found, but nothing to cut.
    for (const char16_t *page : {u"<b>Warning</b>:", u"<b>Warning</b>: ", u"<b>Parse error</b>:  x",
                                 u"<b>Warning</b>:  m in <b>f.php</b> on line <b>4</b>"}) {
        const PhpErrorCapture c = CapturePhpError(page);
        EXPECT_TRUE(c.found);
        EXPECT_EQ(c.messageRow(), QStringLiteral("():"));
        EXPECT_EQ(c.lineNumber(), 0);
    }

    // No file part: no file name is made up from the message.
    PhpErrorCapture c = CapturePhpError(u"<b>Warning</b>:  lost the rest on line <b>12</b><br />");
    EXPECT_EQ(c.file, QString());
    EXPECT_EQ(c.line, QStringLiteral("12"));
    EXPECT_EQ(c.message, QStringLiteral(" lost the rest on line <b>12</b>"));

    // No line number, or one that is cut short.
    c = CapturePhpError(u"<b>Warning</b>:  m in <b>f.php</b><br />");
    EXPECT_EQ(c.messageRow(), QStringLiteral("f.php(): m"));
    c = CapturePhpError(u"<b>Warning</b>:  m in <b>f.php</b> on line <b>7<br />");
    EXPECT_EQ(c.line, QString());
    EXPECT_EQ(c.lineNumber(), 0);
    c = CapturePhpError(u"<b>Warning</b>:  m in <b>f.php<br />");
    EXPECT_EQ(c.file, QString());
    EXPECT_EQ(c.message, QStringLiteral(" m"));
}

TEST(PhpErrorCapture, LineNumberIsDecimalOrZero)
{
    PhpErrorCapture c;
    for (const char *text : {"", "abc", "12x", "-3", " 4", "+4", "99999999999", "1.5"}) {
        c.line = QString::fromLatin1(text);
        EXPECT_EQ(c.lineNumber(), 0) << text;
    }
    c.line = QStringLiteral("0042");
    EXPECT_EQ(c.lineNumber(), 42);
    c.line = QStringLiteral("2147483647");
    EXPECT_EQ(c.lineNumber(), 2147483647);
}

TEST(PhpErrorCapture, MessageEntitiesAreDecodedOnceAndFileNamesKeptAsPrinted)
{
    // PHP escapes the message but prints the path as it is.
    const PhpErrorCapture c =
        CapturePhpError(u"<b>Warning</b>:  a &amp;lt; b &#039;q&#39; &#x41; &bogus; & end in "
                        u"<b>/srv/a&amp;b.php</b> on line <b>1</b><br />");
    EXPECT_EQ(c.message, QStringLiteral(" a &lt; b 'q' A &bogus; & end"));
    EXPECT_EQ(c.file, QStringLiteral("/srv/a&amp;b.php"));
}

TEST(PhpErrorCapture, EveryTruncationOfARealPageIsSafe)
{
    // A page cut anywhere (a dropped connection) gives either the whole
    // capture or empty parts, never parts read past the end.
    const QString page = recordedPage("exception.html");
    const PhpErrorCapture whole = CapturePhpError(page);
    ASSERT_TRUE(whole.found);
    for (qsizetype length = 0; length <= page.size(); ++length) {
        const PhpErrorCapture c = CapturePhpError(QStringView(page).first(length));
        if (!c.found)
            continue;
        if (c.line.isEmpty()) {
            EXPECT_TRUE(c.file.isEmpty() && c.message.isEmpty()) << length;
        } else {
            EXPECT_EQ(c.messageRow(), whole.messageRow()) << length;
        }
    }
}

TEST(PhpErrorCapture, PagesDenseWithColonsFindTheSameMarker)
{
    // Markers at the very start, and markers after long runs of colons, where
    // the search changes its way of scanning.
    EXPECT_EQ(CapturePhpError(u"error</b>:  e in <b>e.php</b> on line <b>1</b><br />").messageRow(),
              QStringLiteral("e.php(1): e"));
    const QString colons(50'000, u':');
    const QString warning =
        QStringLiteral("<b>Warning</b>:  w in <b>w.php</b> on line <b>2</b><br />");
    const QString error =
        QStringLiteral("<b>Parse error</b>:  p in <b>p.php</b> on line <b>3</b><br />");
    EXPECT_EQ(CapturePhpError(colons + warning + colons + error + colons).messageRow(),
              QStringLiteral("p.php(3): p"));
    EXPECT_EQ(CapturePhpError(warning + colons + error).messageRow(),
              QStringLiteral("p.php(3): p"));
    EXPECT_EQ(CapturePhpError(colons + warning + colons).messageRow(),
              QStringLiteral("w.php(2): w"));
    EXPECT_FALSE(CapturePhpError(colons + QStringLiteral("</b>:") + colons).found);
}

TEST(PhpErrorCapture, LongMessagesFullOfAmpersandsStayLinear)
{
    // A huge one-line message of bare '&': each is kept as it is.
    const QString noise(2'000'000, u'&');
    const PhpErrorCapture c =
        CapturePhpError(QStringLiteral("<b>Warning</b>: ") + noise +
                        QStringLiteral("&amp; in <b>f</b> on line <b>1</b><br />"));
    EXPECT_EQ(c.message, noise + u'&');
}

TEST(PhpErrorCapture, FilePathsAreUtf8WhenTheirBytesAre)
{
    // A page taken as Latin-1 (one byte of it was not UTF-8): the path's
    // bytes are UTF-8 and read as such; the message keeps the page's reading.
    const QByteArray bytes =
        "caf\xE9<br />\n<b>Warning</b>:  caf\xE9 in <b>/srv/\xC3\xA9t\xC3\xA9/cr\xC3\xA8me.php"
        "</b> on line <b>4</b><br />";
    const PhpErrorCapture c = CapturePhpError(QString::fromLatin1(bytes));
    EXPECT_EQ(c.file, QStringLiteral(u"/srv/\u00e9t\u00e9/cr\u00e8me.php"));
    EXPECT_EQ(c.message, QStringLiteral(u" caf\u00e9"));

    // Left alone: pure ASCII, a UTF-8 page (characters beyond Latin-1), and
    // Latin-1 text that is no valid UTF-8.
    EXPECT_EQ(RepairedPath("/srv/a.php"), "/srv/a.php");
    EXPECT_EQ(RepairedPath(QStringLiteral(u"/srv/\u20ac/\u00e9.php")),
              QStringLiteral(u"/srv/\u20ac/\u00e9.php"));
    EXPECT_EQ(RepairedPath(QStringLiteral(u"/srv/caf\u00e9.php")),
              QStringLiteral(u"/srv/caf\u00e9.php"));
    EXPECT_EQ(RepairedPath(QString::fromLatin1("/srv/\xC3\xA9\xFF.php")),
              QString::fromLatin1("/srv/\xC3\xA9\xFF.php"));
}

TEST(PhpErrorCapture, ReportedRealPathsMapToTheProjectsOwnEntries)
{
    // The project lives in a folder reached through a link; PHP reports the
    // real folder.
    QTemporaryDir root;
    const QString real = root.filePath("real");
    const QString link = root.filePath("link");
    ASSERT_TRUE(QDir().mkpath(real + "/inc"));
    ASSERT_TRUE(QFile::link(real, link));
    for (const char *name : {"index.php", "inc/db.php", "new.php"})
        WriteFileBytes(real + '/' + name, "<?php\n");
    WriteFileBytes(root.filePath("elsewhere.php"), "<?php\n");
    ASSERT_TRUE(QFile::link(root.filePath("elsewhere.php"), real + "/alias.php"));

    Project project;
    project.FileName = link + "/site.wdx";
    project.AddFiles({link + "/index.php", link + "/inc/db.php", root.filePath("elsewhere.php")});
    // An entry, by its real path.
    EXPECT_EQ(ProjectPathOfReported(real + "/inc/db.php", project), link + "/inc/db.php");
    // Not yet an entry: still named through the project folder.
    EXPECT_EQ(ProjectPathOfReported(real + "/new.php", project), link + "/new.php");
    // An entry whose file a link in the folder points at.
    EXPECT_EQ(ProjectPathOfReported(real + "/alias.php", project), root.filePath("elsewhere.php"));
    // Entries as they stand, files outside and missing files are unchanged.
    EXPECT_EQ(ProjectPathOfReported(link + "/index.php", project), link + "/index.php");
    EXPECT_EQ(ProjectPathOfReported("/nowhere/x.php", project), "/nowhere/x.php");
    EXPECT_EQ(ProjectPathOfReported("", project), "");
}

TEST(PhpErrorCapture, ServerMappingIsSuggestedFromWhatRunSaw)
{
    QTemporaryDir root;
    const QString site = root.filePath("site");
    ASSERT_TRUE(QDir().mkpath(site + "/inc"));
    ASSERT_TRUE(QDir().mkpath(site + "/public/admin"));
    for (const char *name : {"inc/db.php", "public/admin/index.php", "notes.php"})
        WriteFileBytes(site + '/' + name, "<?php\n");
    Project project;
    project.FileName = site + "/site.wdx";
    project.AddFiles({site + "/public/admin/index.php"});

    const struct {
        QString reported, address, server, local;
    } cases[] = {
        // A captured path: its tail is a project file, its head the server's folder.
        {"/srv/app/inc/db.php", "", "/srv/app", site},
        {"/var/www/shop/public/admin/index.php", "", "/var/www/shop", site},
        // Only the file name in common: the entry's own folder.
        {"/var/www/html/admin/index.php", "", "/var/www/html", site + "/public"},
        // The project's own paths tell nothing: the run address speaks.
        {site + "/inc/db.php", "http://localhost/shop/notes.php", "/var/www/html/shop", site},
        // Nothing of the project: the run address's page comes off.
        {"/srv/other/x.php", "http://localhost/shop/admin/index.php", "/var/www/html/shop",
         site + "/public"},
        {"", "http://localhost/a%20b/", "/var/www/html/a b", site},
        {"", "http://localhost/shop/missing.php", "/var/www/html/shop", site},
        {"", "http://localhost:8000", "/var/www/html", site},
        {"", "not an address", "/var/www/html", site},
    };
    for (const auto &c : cases) {
        const SuggestedMapping got = SuggestServerMapping(c.reported, c.address, project);
        EXPECT_EQ(got.server, c.server) << c.reported.toStdString() << c.address.toStdString();
        EXPECT_EQ(got.local, c.local) << c.reported.toStdString() << c.address.toStdString();
    }
    EXPECT_TRUE(SuggestServerMapping("/srv/app/inc/db.php", "", Project()).server.isEmpty());
}
