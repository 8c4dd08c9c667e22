// Passwords in a real desktop keyring: gnome-keyring's secret service on a
// private session bus, driven through KeychainPasswordStore in a child process
// per case (a process keeps its first bus connection for life).

#include "net/keychain_password_store.h"
#include "support/private_keyring.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

namespace {
struct ProbeRun {
    QStringList lines; // one per step the probe reached
    int exitCode = -1;
    QString errors;
};

ProbeRun runProbe(const QProcessEnvironment &env, const QStringList &steps, int waitMs = 0)
{
    QProcess probe;
    probe.setProcessEnvironment(env);
    QStringList arguments;
    if (waitMs > 0)
        arguments << QStringLiteral("--wait") << QString::number(waitMs);
    probe.start(QStringLiteral(QS_KEYCHAIN_PROBE), arguments + steps);
    ProbeRun run;
    if (!probe.waitForStarted(10000) || !probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished(5000);
        run.errors = QStringLiteral("the probe did not finish");
        return run;
    }
    run.exitCode = probe.exitCode();
    run.errors = QString::fromUtf8(probe.readAllStandardError());
    for (const QByteArray &line : probe.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            run.lines << QString::fromUtf8(line);
    }
    return run;
}

QString hex(const QString &password)
{
    return QString::fromLatin1(password.toUtf8().toHex());
}

QString value(const QString &password)
{
    return QStringLiteral("value ") + hex(password);
}

// The message of a probe's failed step, without its time.
QString errorOf(const ProbeRun &run)
{
    if (run.lines.isEmpty() || !run.lines.last().startsWith(QLatin1String("error ")))
        return {};
    return run.lines.last().section(u' ', 2);
}

std::unique_ptr<PrivateKeyring> startKeyring(PrivateKeyring::Kind kind)
{
    try {
        return std::make_unique<PrivateKeyring>(kind);
    } catch (const std::exception &error) {
        ADD_FAILURE() << "the private keyring did not start: " << error.what();
        return nullptr;
    }
}
} // namespace

TEST(PublishPasswordKey, NamesProtocolUserAndHostSoNoTwoAccountsShareAKey)
{
    using S = KeychainPasswordStore;
    EXPECT_EQ(S::PublishPasswordKey("ftp", "anna", "ftp.example.org"),
              "ftp://anna@ftp.example.org");
    EXPECT_EQ(S::PublishPasswordKey("sftp", "anna", "example.org:2222"),
              "sftp://anna@example.org%3A2222");
    // Plain FTP, FTPS and an unset protocol are one account; SFTP is another.
    EXPECT_EQ(S::PublishPasswordKey("", "anna", "h"), "ftp://anna@h");
    EXPECT_EQ(S::PublishPasswordKey("SFTP", "anna", "h"), "sftp://anna@h");
    // Host names ignore letter case, user names do not.
    EXPECT_EQ(S::PublishPasswordKey("ftp", "Anna", "FTP.Example.ORG"),
              "ftp://Anna@ftp.example.org");
    EXPECT_NE(S::PublishPasswordKey("ftp", "Anna", "h"), S::PublishPasswordKey("ftp", "anna", "h"));
    // A user holding '@' cannot pass for another user on another host.
    EXPECT_NE(S::PublishPasswordKey("ftp", "a@b", "c"), S::PublishPasswordKey("ftp", "a", "b@c"));
    EXPECT_EQ(S::PublishPasswordKey("ftp", "a@b:c/d%e", "h"), "ftp://a%40b%3Ac%2Fd%25e@h");
    EXPECT_EQ(S::PublishPasswordKey("ftp", QString::fromUtf8("jürgen"), "h"),
              QString::fromUtf8("ftp://jürgen@h"));
}

TEST(KeychainPasswordStore, WritesReadsOverwritesAndForgetsInARealKeyring)
{
    auto keyring = startKeyring(PrivateKeyring::Kind::WithKeyring);
    ASSERT_TRUE(keyring);
    const QString ftp = QStringLiteral("ftp://anna@example.org");
    const QString sftp = QStringLiteral("sftp://anna@example.org");
    ProbeRun run = runProbe(keyring->environment(),
                            {"read", ftp, "write", ftp, hex("first"), "write", sftp, hex("other"),
                             "read", ftp, "write", ftp, hex("second"), "read", ftp, "read", sftp});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines, (QStringList{"none", "ok", "ok", value("first"), "ok", value("second"),
                                      value("other")}));

    // Kept beyond the process that wrote it; removing one key leaves the other.
    run = runProbe(keyring->environment(),
                   {"read", ftp, "remove", ftp, "read", ftp, "remove", ftp, "read", sftp});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines, (QStringList{value("second"), "ok", "none", "ok", value("other")}));
}

TEST(KeychainPasswordStore, KeepsEveryCharacterOfAPassword)
{
    auto keyring = startKeyring(PrivateKeyring::Kind::WithKeyring);
    ASSERT_TRUE(keyring);
    const QString passwords[] = {
        QStringLiteral("  blanks at both ends  "),
        QString::fromUtf8("Grüße, Ωμέγα, 密码, 🔑"),
        QStringLiteral("tab\there\nand a second line"),
        QStringLiteral("%s %n \\ \" ' $HOME `x`"),
        QString(),
    };
    QStringList steps;
    QStringList expected;
    for (const QString &password : passwords) {
        steps << "write"
              << "k" << hex(password) << "read"
              << "k";
        expected << "ok" << value(password);
    }
    const ProbeRun run = runProbe(keyring->environment(), steps);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.lines, expected);
}

TEST(KeychainPasswordStore, ALockedKeyringIsAnErrorNeverAMissingPassword)
{
    auto keyring = startKeyring(PrivateKeyring::Kind::WithKeyring);
    ASSERT_TRUE(keyring);
    ProbeRun run = runProbe(keyring->environment(), {"write", "kept", hex("pw")});
    ASSERT_EQ(run.lines, QStringList{"ok"}) << run.errors.toStdString();
    keyring->lockDefaultCollection();

    // Nothing can answer the unlock prompt on this bus: the user refused.
    run = runProbe(keyring->environment(), {"read", "kept"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(errorOf(run).contains("locked")) << run.lines.join('|').toStdString();

    run = runProbe(keyring->environment(), {"write", "new", hex("pw")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(errorOf(run).contains("locked")) << run.lines.join('|').toStdString();

    // A removal the locked keyring ignored is not reported as done.
    run = runProbe(keyring->environment(), {"remove", "kept"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(errorOf(run).contains("still kept")) << run.lines.join('|').toStdString();

    // A key it does not hold at all is still plain "none".
    run = runProbe(keyring->environment(), {"read", "never-written", "remove", "never-written"});
    EXPECT_EQ(run.lines, (QStringList{"none", "ok"})) << run.errors.toStdString();
}

TEST(KeychainPasswordStore, NoKeyringServiceIsAClearErrorForEveryCall)
{
    auto bus = startKeyring(PrivateKeyring::Kind::BusOnly);
    ASSERT_TRUE(bus);
    for (const QStringList &steps : {QStringList{"read", "k"}, QStringList{"write", "k", "7077"},
                                     QStringList{"remove", "k"}}) {
        SCOPED_TRACE(steps.first().toStdString());
        const ProbeRun run = runProbe(bus->environment(), steps);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(errorOf(run).startsWith("No desktop keyring is running"))
            << run.lines.join('|').toStdString() << run.errors.toStdString();
    }

    // No session bus at all, as under a bare root login.
    QProcessEnvironment env = bus->environment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillstone-bus");
    const ProbeRun run = runProbe(env, {"read", "k"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(errorOf(run).startsWith("No desktop keyring is running"))
        << run.lines.join('|').toStdString();
}

TEST(KeychainPasswordStore, AHungKeyringEndsInAnErrorAfterTheBoundedWait)
{
    auto keyring = startKeyring(PrivateKeyring::Kind::WithKeyring);
    ASSERT_TRUE(keyring);
    keyring->freezeKeyring(true);
    const ProbeRun run = runProbe(keyring->environment(), {"read", "k"}, 1500);
    keyring->freezeKeyring(false);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(errorOf(run).startsWith("The desktop keyring did not answer within 1.5 seconds"))
        << run.lines.join('|').toStdString() << run.errors.toStdString();

    // The keyring answers again once it wakes.
    const ProbeRun after = runProbe(keyring->environment(), {"write", "k", hex("x"), "read", "k"});
    EXPECT_EQ(after.lines, (QStringList{"ok", value("x")})) << after.errors.toStdString();
}
