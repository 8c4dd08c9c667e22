// The DBGp client against real Xdebug (PHP's built-in server with Xdebug
// loaded for it alone) and against a stand-in engine that misbehaves.

#include "net/dbgp_client.h"
#include "support/php_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace std::chrono_literals;

// A debugged site: a loop calling into another file, an object, a big array
// and a warning.
const char *const IndexPhp = "<?php\n"
                             "require __DIR__ . '/lib.php';\n"
                             "$total = 0;\n"
                             "for ($i = 0; $i < 3; $i++) {\n"
                             "    $total += add($i, 2);\n"
                             "}\n"
                             "$big = range(1, 100000);\n"
                             "$obj = new Box(5);\n"
                             "echo $undefinedThing;\n"
                             "echo \"total $total\\n\";\n";
const char *const LibPhp = "<?php\n"
                           "function add($a, $b)\n"
                           "{\n"
                           "    $sum = $a + $b;\n"
                           "    return $sum;\n"
                           "}\n"
                           "class Box\n"
                           "{\n"
                           "    public $size;\n"
                           "    private $secret = 'hidden';\n"
                           "    public function __construct($size) { $this->size = $size; }\n"
                           "}\n";

QString uriOf(const QString &path)
{
    return DbgpPathMap{}.toUri(path);
}

// One reply, waited for with the event loop running.
template <typename T>
struct Awaited {
    std::optional<T> value;
    bool wait()
    {
        return QTest::qWaitFor([this] { return value.has_value(); }, 10000);
    }
};

class XdebugSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isValid());
        WriteFileBytes(site.filePath("index.php"), IndexPhp);
        WriteFileBytes(site.filePath("lib.php"), LibPhp);
        ASSERT_TRUE(listener.listen(0));
        httpPort = FreeLoopbackPort();
        php.setProgram(QStringLiteral("php"));
        php.setArguments({"-n", "-d", "zend_extension=xdebug.so", "-d", "xdebug.mode=debug,develop",
                          "-d", "xdebug.start_with_request=yes", "-d",
                          "xdebug.client_host=127.0.0.1", "-d",
                          QStringLiteral("xdebug.client_port=%1").arg(listener.port()), "-S",
                          QStringLiteral("127.0.0.1:%1").arg(httpPort), "-t", site.path()});
        php.setProcessChannelMode(QProcess::MergedChannels);
        php.start();
        ASSERT_TRUE(php.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([this] { return LoopbackPortAccepts(httpPort); }, 5000));
        QObject::connect(&listener, &DbgpListener::sessionStarted,
                         [this](DbgpSession *s) { session = s; });
        // The page is asked for without waiting: it runs while we debug it.
        page.connectToHost(QStringLiteral("127.0.0.1"), quint16(httpPort));
        page.write("GET /index.php HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(QTest::qWaitFor([this] { return session != nullptr; }, 10000));
    }
    void TearDown() override
    {
        listener.close();
        php.terminate();
        php.waitForFinished(3000);
    }

    DbgpReply command(const QString &name, const QStringList &args = {},
                      const QByteArray &data = {})
    {
        Awaited<DbgpReply> reply;
        session->send(name, args, data, [&](const DbgpReply &r) { reply.value = r; });
        EXPECT_TRUE(reply.wait()) << name.toStdString();
        return reply.value.value_or(DbgpReply{});
    }
    DbgpStatus go(const QString &how)
    {
        Awaited<DbgpStatus> status;
        auto c = QObject::connect(session, &DbgpSession::statusChanged,
                                  [&](const DbgpStatus &s) { status.value = s; });
        session->continueWith(how);
        EXPECT_TRUE(status.wait()) << how.toStdString();
        QObject::disconnect(c);
        return status.value.value_or(DbgpStatus{});
    }
    QList<DbgpProperty> context(int depth)
    {
        Awaited<QList<DbgpProperty>> result;
        session->contextGet(depth, 0, [&](QList<DbgpProperty> p) { result.value = p; });
        EXPECT_TRUE(result.wait());
        return result.value.value_or(QList<DbgpProperty>{});
    }
    static QString valueOf(const QList<DbgpProperty> &list, const QString &name)
    {
        for (const DbgpProperty &p : list) {
            if (p.name == name)
                return p.value;
        }
        return QStringLiteral("<missing>");
    }

    QTemporaryDir site;
    DbgpListener listener;
    QProcess php;
    QTcpSocket page;
    int httpPort = 0;
    DbgpSession *session = nullptr;
};

} // namespace

TEST_F(XdebugSession, BreakpointsSteppingFramesVariablesAndEvaluate)
{
    const QString lib = uriOf(site.filePath("lib.php"));
    const QString index = uriOf(site.filePath("index.php"));
    EXPECT_EQ(session->initFileUri(), index);
    command("feature_set", {"-n", "resolved_breakpoints", "-v", "1"});
    command("feature_set", {"-n", "notify_ok", "-v", "1"});
    command("feature_set", {"-n", "max_children", "-v", "100"});

    // Asked on the brace, placed on the first statement.
    QSignalSpy resolved(session, &DbgpSession::breakpointResolved);
    DbgpReply set = command("breakpoint_set", {"-t", "line", "-f", lib, "-n", "3"});
    ASSERT_TRUE(set.ok());
    DbgpStatus status = go("run");
    EXPECT_EQ(status.status, "break");
    EXPECT_EQ(status.fileUri, lib);
    EXPECT_EQ(status.line, 4);
    ASSERT_EQ(resolved.size(), 1);
    EXPECT_EQ(resolved.at(0).at(0).toString(), set.node.attr("id"));
    EXPECT_EQ(resolved.at(0).at(2).toInt(), 4);

    // Two frames, each with its own variables.
    Awaited<QList<DbgpStackFrame>> stack;
    session->stackGet([&](QList<DbgpStackFrame> f) { stack.value = f; });
    ASSERT_TRUE(stack.wait());
    ASSERT_EQ(stack.value->size(), 2);
    EXPECT_EQ(stack.value->at(0).where, "add");
    EXPECT_EQ(stack.value->at(1).fileUri, index);
    EXPECT_EQ(stack.value->at(1).line, 5);
    EXPECT_EQ(valueOf(context(0), "$a"), "0");
    EXPECT_EQ(valueOf(context(1), "$total"), "0");

    // Out to the caller and into the other file again.
    command("breakpoint_remove", {"-d", set.node.attr("id")});
    status = go("step_out");
    EXPECT_EQ(status.fileUri, index);
    status = go("step_into");
    status = go("step_into");
    EXPECT_EQ(status.fileUri, lib);
    EXPECT_EQ(valueOf(context(0), "$a"), "1");

    // A conditional breakpoint stops only where its expression holds.
    command("breakpoint_set", {"-t", "conditional", "-f", lib, "-n", "5"}, "$a == 2");
    status = go("run");
    EXPECT_EQ(status.line, 5);
    EXPECT_EQ(valueOf(context(0), "$a"), "2");
    EXPECT_EQ(valueOf(context(0), "$sum"), "4");

    // Break on the warning where it happens.
    command("breakpoint_set", {"-t", "exception", "-x", "Warning"});
    status = go("run");
    EXPECT_EQ(status.exception, "Warning");
    EXPECT_EQ(status.fileUri, index);
    EXPECT_EQ(status.line, 9);
    EXPECT_EQ(status.message, "Undefined variable $undefinedThing");

    // The big array pages its children; an object shows its members.
    Awaited<std::pair<DbgpProperty, QString>> big;
    session->propertyGet("$big", 0, 1, [&](DbgpProperty p, QString e) { big.value = {p, e}; });
    ASSERT_TRUE(big.wait());
    EXPECT_EQ(big.value->second, QString());
    EXPECT_EQ(big.value->first.childCount, 100000);
    ASSERT_EQ(big.value->first.children.size(), 100);
    EXPECT_EQ(big.value->first.children.first().name, "100");
    EXPECT_EQ(big.value->first.children.first().value, "101");
    Awaited<std::pair<DbgpProperty, QString>> obj;
    session->propertyGet("$obj", 0, 0, [&](DbgpProperty p, QString e) { obj.value = {p, e}; });
    ASSERT_TRUE(obj.wait());
    EXPECT_EQ(obj.value->first.className, "Box");
    ASSERT_EQ(obj.value->first.children.size(), 2);
    EXPECT_EQ(obj.value->first.children.at(1).value, "hidden"); // base64 on the wire
    EXPECT_EQ(obj.value->first.children.at(1).fullName, "$obj->secret");

    Awaited<std::pair<DbgpProperty, QString>> eval;
    session->evaluate("$total * 2 . ' pages'", [&](DbgpProperty p, QString e) {
        eval.value = {p, e};
    });
    ASSERT_TRUE(eval.wait());
    EXPECT_EQ(eval.value->first.value, "18 pages");
    Awaited<std::pair<DbgpProperty, QString>> bad;
    session->propertyGet("$nothing", 0, 0, [&](DbgpProperty p, QString e) { bad.value = {p, e}; });
    ASSERT_TRUE(bad.wait());
    EXPECT_FALSE(bad.value->second.isEmpty());

    // Stop: the session ends cleanly and the page is answered.
    QSignalSpy ended(session, &DbgpSession::ended);
    session->stop();
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(ended.at(0).at(0).toString(), QString());
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return page.state() != QTcpSocket::ConnectedState; }, 5000));
}

namespace {

QByteArray packet(const QByteArray &xml)
{
    return QByteArray::number(xml.size()) + '\0' + xml + '\0';
}

const QByteArray Init = packet(R"(<?xml version="1.0" encoding="iso-8859-1"?>
<init xmlns="urn:debugger_protocol_v1" fileuri="file:///srv/index.php" language="PHP"/>)");

} // namespace

TEST(DbgpStandIn, MisbehavingEnginesEndTheSessionWithAReason)
{
    // What the engine sends after connecting, whether the client then asks
    // for something, and the words that say why the session ended.
    const struct {
        const char *name;
        QByteArray sent;
        bool ask;
        const char *reason;
    } cases[] = {
        {"garbage", "hello, this is no debugger engine\n", false, "not DBGp"},
        {"no length", QByteArray("\0<init/>\0", 9), false, "not DBGp"},
        {"not xml", packet("<init fileuri='x'><oops></init>"), false, "not XML"},
        {"wrong length", QByteArray("3\0<init/>\0", 10), false, "length is wrong"},
        {"huge length", QByteArray("99999999999\0", 12), false, "more than"},
        {"truncated", QByteArray("500\0<init fileuri='x'", 21), false, "middle of a packet"},
        {"response first", packet("<response transaction_id='1'/>"), false, "greeting"},
        {"silent after init", Init, true, "stopped answering"},
        {"silent", "", false, "no greeting"},
        {"deep nesting",
         packet("<init>" + QByteArray("<a>").repeated(200) + QByteArray("</a>").repeated(200) +
                "</init>"),
         false, "not XML"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DbgpListener listener({300ms, 1024 * 1024});
        ASSERT_TRUE(listener.listen(0));
        QStringList log;
        QObject::connect(&listener, &DbgpListener::logLine,
                         [&](const QString &line) { log << line; });
        std::optional<QString> reason;
        QObject::connect(&listener, &DbgpListener::sessionEnded,
                         [&](const QString &r) { reason = r; });
        QObject::connect(&listener, &DbgpListener::sessionStarted, [&](DbgpSession *s) {
            if (c.ask)
                s->send("stack_get");
        });
        QTcpSocket engine;
        engine.connectToHost(QStringLiteral("127.0.0.1"), quint16(listener.port()));
        ASSERT_TRUE(engine.waitForConnected(2000));
        engine.write(c.sent);
        if (QByteArray(c.name) == "truncated") {
            engine.flush();
            QTest::qWait(50);
            engine.disconnectFromHost();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return reason.has_value(); }, 3000));
        EXPECT_TRUE(reason->contains(QLatin1String(c.reason))) << reason->toStdString();
        EXPECT_TRUE(log.contains(*reason));
        // The listener takes the next engine.
        EXPECT_TRUE(listener.isListening());
        EXPECT_EQ(listener.session(), nullptr);
    }
}

TEST(DbgpStandIn, AHugeValueArrivesWholeAndRepliesMatchTheirTransactions)
{
    DbgpListener listener;
    ASSERT_TRUE(listener.listen(0));
    DbgpSession *session = nullptr;
    QObject::connect(&listener, &DbgpListener::sessionStarted,
                     [&](DbgpSession *s) { session = s; });
    QTcpSocket engine;
    engine.connectToHost(QStringLiteral("127.0.0.1"), quint16(listener.port()));
    ASSERT_TRUE(engine.waitForConnected(2000));
    engine.write(Init);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session != nullptr; }, 3000));

    std::optional<std::pair<DbgpProperty, QString>> first, second;
    session->propertyGet("$huge", 0, 0, [&](DbgpProperty p, QString e) { first = {p, e}; });
    session->evaluate("1+1", [&](DbgpProperty p, QString e) { second = {p, e}; });
    QByteArray commands;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (engine.bytesAvailable())
                commands += engine.readAll();
            return commands.count('\0') == 2;
        },
        3000));
    EXPECT_TRUE(commands.startsWith("property_get -i 1 -d 0 -p 0 -n \"$huge\"\0"));
    EXPECT_TRUE(commands.contains("eval -i 2 -- MSsx\0"));

    // Answered out of order: each reaches its own caller. The huge value is
    // 20 MB of text, sent in pieces.
    const QByteArray huge(20 * 1024 * 1024, 'q');
    engine.write(packet("<response command='eval' transaction_id='2'><property type='int'>2"
                        "</property></response>"));
    const QByteArray big = packet("<response command='property_get' transaction_id='1'>"
                                  "<property name='$huge' type='string' encoding='base64' "
                                  "size='20971520'><![CDATA[" +
                                  huge.toBase64() + "]]></property></response>");
    for (qsizetype at = 0; at < big.size(); at += 1024 * 1024) {
        engine.write(big.mid(at, 1024 * 1024));
        QTest::qWait(1);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return first && second; }, 10000));
    EXPECT_EQ(second->first.value, "2");
    EXPECT_EQ(first->first.value.size(), huge.size());
    EXPECT_EQ(first->first.size, huge.size());
    EXPECT_TRUE(session->isOpen());

    // The engine goes away while a command waits: ended with a reason.
    QSignalSpy ended(session, &DbgpSession::ended);
    session->send("stack_get");
    engine.abort();
    ASSERT_TRUE(ended.wait(3000));
    EXPECT_EQ(ended.at(0).at(0).toString(), "The debugger engine went away.");
}

TEST(DbgpPathMap, MapsServerFoldersToProjectFoldersBothWays)
{
    DbgpPathMap map{{{"/var/www/html", "/home/me/site"}, {"/opt/lib/", "/home/me/lib"}}};
    const struct {
        const char *uri;
        const char *local;
    } cases[] = {
        {"file:///var/www/html/index.php", "/home/me/site/index.php"},
        {"file:///var/www/html/inc/a%20b.php", "/home/me/site/inc/a b.php"},
        {"file:///opt/lib/x.php", "/home/me/lib/x.php"},
        {"file:///var/www/htmlx/y.php", "/var/www/htmlx/y.php"}, // not below the folder
        {"file:///tmp/t.php", "/tmp/t.php"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(map.toLocal(c.uri), c.local) << c.uri;
        EXPECT_EQ(map.toUri(c.local), c.uri) << c.local;
    }
}

TEST(DbgpStandIn, ASecondEngineWaitsForTheActiveSession)
{
    DbgpListener listener;
    ASSERT_TRUE(listener.listen(0));
    QList<DbgpSession *> started;
    QObject::connect(&listener, &DbgpListener::sessionStarted,
                     [&](DbgpSession *s) { started << s; });
    QTcpSocket first, second;
    for (QTcpSocket *engine : {&first, &second}) {
        engine->connectToHost(QStringLiteral("127.0.0.1"), quint16(listener.port()));
        ASSERT_TRUE(engine->waitForConnected(2000));
        engine->write(Init);
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return listener.waiting() == 1 && started.size() == 1; }, 3000));
    first.abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.size() == 2; }, 3000));
    EXPECT_EQ(listener.session(), started.at(1));
}
