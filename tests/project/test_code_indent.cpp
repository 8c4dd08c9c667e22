#include "project/code_indent.h"
#include "project/source_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

TEST(CodeIndent, TheBraceCountingExamples)
{
    EXPECT_EQ(IndentLines({"  if ($a) {", "\t echo $a;", "      }"}),
              QStringList({"if ($a) {", "    echo $a;", "}"}));
    EXPECT_EQ(IndentLines({"   }"}), QStringList({"}"}));
    EXPECT_EQ(IndentLines({"  ", "\t", ""}), QStringList({"", "", ""}));
    // Two braces opened on one line indent by one unit only.
    EXPECT_EQ(IndentLines({"function f() { if ($x) {", "a;", "}}", "b;"}),
              QStringList({"function f() { if ($x) {", "    a;", "}}", "b;"}));
    // else between blocks: written one level out, the lines after one in.
    EXPECT_EQ(IndentLines({"if (a) {", "x;", "} else {", "y;", "}"}),
              QStringList({"if (a) {", "    x;", "} else {", "    y;", "}"}));
    // An empty body on one line at the top level indents what follows.
    EXPECT_EQ(IndentLines({"function f() {}", "x;"}), QStringList({"function f() {}", "    x;"}));
    // More closing than opening never goes below no indentation.
    EXPECT_EQ(IndentLines({"}", "}", "x;", "{", "y;"}),
              QStringList({"}", "}", "x;", "{", "    y;"}));
    // Braces in strings count like any other; trailing blanks go.
    EXPECT_EQ(IndentLines({"echo '{';  ", "z;\t"}), QStringList({"echo '{';", "    z;"}));
    EXPECT_TRUE(IndentLines({}).isEmpty());
}

TEST(CodeIndent, RunningTwiceEqualsRunningOnceOnRealFiles)
{
    const QDir site(QStringLiteral(QS_FIXTURES "/php/site"));
    const QStringList names = site.entryList({"*.php"}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadSourceFile(site.filePath(name));
        const SourceEncoding encoding = DetectSourceEncoding(bytes);
        QString text = DecodeSource(bytes.constData() + encoding.start,
                                    bytes.size() - encoding.start, encoding);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QStringList once = IndentLines(text.split(u'\n'));
        EXPECT_EQ(IndentLines(once), once);
        for (const QString &line : once) {
            EXPECT_FALSE(line.endsWith(u' '));
            EXPECT_FALSE(line.startsWith(u'\t'));
        }
    }
}
