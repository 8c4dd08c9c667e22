// `php -l` in the background against real PHP.

#include "net/php_lint.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>

namespace {

class Lint : public ::testing::Test {
protected:
    QString write(const char *name, const QByteArray &text)
    {
        const QString path = dir.filePath(QLatin1String(name));
        WriteFileBytes(path, text);
        return path;
    }
    // Waits for the next report; fails the test when none comes.
    PhpLintResult next(QSignalSpy &spy, int count)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.size() >= count; }, 20000));
        return spy.size() >= count ? spy.at(count - 1).at(0).value<PhpLintResult>()
                                   : PhpLintResult{};
    }

    QTemporaryDir dir;
    PhpLint lint;
};

} // namespace

TEST_F(Lint, AParseErrorComesBackWithItsLineAndACleanFileClean)
{
    QSignalSpy spy(&lint, &PhpLint::checked);
    const QString broken = write("broken page.php", "<?php\n$a = 1\necho $a;\n");
    ASSERT_TRUE(lint.check(broken));
    // The check runs in the background: the call returns before PHP is done.
    EXPECT_EQ(lint.running(), 1);
    PhpLintResult result = next(spy, 1);
    EXPECT_EQ(result.file, broken);
    EXPECT_FALSE(result.clean);
    EXPECT_EQ(result.line, 3);
    EXPECT_EQ(result.message, "Parse error: syntax error, unexpected token \"echo\"");

    WriteFileBytes(broken, "<?php\n$a = 1;\necho $a;\n");
    ASSERT_TRUE(lint.check(broken));
    result = next(spy, 2);
    EXPECT_TRUE(result.clean);
    EXPECT_EQ(lint.running(), 0);
}

TEST_F(Lint, ANewerCheckOfTheSameFileReplacesTheRunningOne)
{
    QSignalSpy spy(&lint, &PhpLint::checked);
    const QString path = write("page.php", "<?php\nfunction (\n");
    ASSERT_TRUE(lint.check(path));
    WriteFileBytes(path, "<?php echo 'fixed';\n");
    ASSERT_TRUE(lint.check(path));
    EXPECT_EQ(lint.running(), 1);
    EXPECT_TRUE(next(spy, 1).clean);
    // The first check's stale result never arrives.
    QTest::qWait(300);
    EXPECT_EQ(spy.size(), 1);
}

#ifdef SCHED_IDLE
// A check first runs only where a processor would idle; one that got no turn
// there (this stand-in for php never ends so) runs again at a low priority.
TEST_F(Lint, ACheckWithoutAnIdleTurnRunsAgainAtALowPriority)
{
    const QString policies = dir.filePath("policies");
    const QString php = write("php", "#!/bin/sh\n"
                                     "policy=$(cut -d' ' -f41 /proc/$$/stat)\n"
                                     "echo \"$policy $(cat)\" >> '" +
                                         policies.toUtf8() +
                                         "'\n"
                                         "[ \"$policy\" = 5 ] && exec sleep 30\n"
                                         "exit 0\n");
    ASSERT_TRUE(QFile::setPermissions(php, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    PhpLint slow(nullptr, php);
    slow.setIdleTurnMs(300);
    QSignalSpy spy(&slow, &PhpLint::checked);
    ASSERT_TRUE(slow.checkText("doc", "<?php echo 1;"));
    EXPECT_TRUE(next(spy, 1).clean);
    // SCHED_IDLE, then the usual class; the text went to both.
    EXPECT_EQ(ReadFileBytes(policies), "5 <?php echo 1;\n0 <?php echo 1;\n");
    EXPECT_EQ(slow.running(), 0);
}
#endif

TEST(PhpLintOutput, ErrorLinesAreReadWhateverTheFileIsCalled)
{
    // A file name that holds the words PHP puts around it.
    const QString odd = "/srv/in x on line 9.php";
    PhpLintResult r =
        ParsePhpLintOutput(odd,
                           "PHP Parse error:  syntax error, unexpected end of file in " + odd +
                               " on line 12\n"
                               "Errors parsing " +
                               odd + "\n",
                           255);
    EXPECT_FALSE(r.clean);
    EXPECT_EQ(r.line, 12);
    EXPECT_EQ(r.message, "Parse error: syntax error, unexpected end of file");

    r = ParsePhpLintOutput("/a.php",
                           "\nFatal error: Cannot redeclare f() (previously declared in /a.php:2) "
                           "in /a.php on line 3\n",
                           255);
    EXPECT_EQ(r.line, 3);
    EXPECT_EQ(r.message, "Fatal error: Cannot redeclare f() (previously declared in /a.php:2)");

    r = ParsePhpLintOutput("/a.php", "No syntax errors detected in /a.php\n", 0);
    EXPECT_TRUE(r.clean);
    // A failure without an error line still is one, without a line to go to.
    r = ParsePhpLintOutput("/a.php", "Could not open input file: /a.php\n", 1);
    EXPECT_FALSE(r.clean);
    EXPECT_EQ(r.line, 0);
    EXPECT_EQ(r.message, "Could not open input file: /a.php");
}

TEST_F(Lint, UnsavedTextIsCheckedThroughStandardInputUnderItsKey)
{
    QSignalSpy spy(&lint, &PhpLint::checked);
    ASSERT_TRUE(lint.checkText("doc", "<?php\nfunction a() {\n  $x = 1;\n"));
    PhpLintResult result = next(spy, 1);
    EXPECT_EQ(result.file, "doc");
    EXPECT_FALSE(result.clean);
    EXPECT_EQ(result.line, 4);
    // PHP's name for its input is no part of the message.
    EXPECT_EQ(result.message, "Parse error: Unclosed '{' on line 2");

    // Text larger than a pipe's buffer goes through whole.
    QByteArray big = "<?php\n";
    while (big.size() < 1024 * 1024)
        big += "$a = 'some text to fill the pipe';\n";
    ASSERT_TRUE(lint.checkText("doc", big + "$b = ;\n"));
    result = next(spy, 2);
    EXPECT_FALSE(result.clean);
    EXPECT_EQ(result.line, big.count('\n') + 1);
    ASSERT_TRUE(lint.checkText("doc", big));
    EXPECT_TRUE(next(spy, 3).clean);
}

TEST(PhpLintMissing, NoPhpStartsNothing)
{
    PhpLint lint(nullptr, QStringLiteral("no-such-php-here"));
    EXPECT_FALSE(lint.available());
    EXPECT_FALSE(lint.checkText("doc", "<?php"));
    EXPECT_FALSE(lint.check("/tmp/x.php"));
    EXPECT_EQ(lint.running(), 0);
}
