#include "foundation/errors.h"
#include "project/function_scan.h"
#include "project/project.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>

namespace {
// The list's sort exactly as the user-visible procedure is written: compare
// byte by byte, unsigned, exchange whole rows.
std::vector<int> literalExchangeSort(const QStringList &texts)
{
    std::vector<QByteArray> keys;
    for (const QString &t : texts)
        keys.push_back(t.toUtf8());
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    const auto greater = [](const QByteArray &a, const QByteArray &b) {
        return std::lexicographical_compare(
            b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
    };
    for (size_t i = 0; i < keys.size(); ++i)
        for (size_t j = i + 1; j < keys.size(); ++j)
            if (greater(keys[i], keys[j])) {
                std::swap(keys[i], keys[j]);
                std::swap(order[i], order[j]);
            }
    return order;
}

QStringList projectLines(const QByteArray &bytes)
{
    QStringList lines;
    AppendProjectFunctionLines(bytes, lines);
    return lines;
}

void addFile(Project &project, const QString &name)
{
    project.AddFiles({name});
}
} // namespace

TEST(FunctionRules, TheEdgeLinesOfBothRules)
{
    struct Case {
        const char *line;
        bool project;
        bool file;
    };
    const Case cases[] = {
        {"function foo()", true, true},         {"    function foo()", true, true},
        {"\t\tfunction foo() {", true, true},   {"public function foo()", false, true},
        {"static function bar()", false, true}, {"$f = function ($x)", false, true},
        {"// see function baz", false, true},   {"Function Foo()", false, false},
        {"function\tfoo()", false, false},      {"function_exists($n)", false, false},
        {"myfunction x", false, true},          {"function", false, false},
        {"function   ", false, true},           {"  function \t ", false, true},
        {"function  spaced()", true, true},
    };
    QByteArray file;
    QStringList expectedProject;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const QString line = QString::fromUtf8(c.line);
        EXPECT_EQ(IsProjectFunctionLine(line), c.project);
        EXPECT_EQ(IsFileFunctionLine(line), c.file);
        file += QByteArray(c.line) + "\r\n";
        if (c.project)
            expectedProject << line;
    }
    // The byte-level scan of a whole file agrees with the line rule, lines untrimmed.
    EXPECT_EQ(projectLines(file), expectedProject);
    QStringList expectedFile;
    for (const Case &c : cases)
        if (c.file)
            expectedFile << QString::fromUtf8(c.line);
    EXPECT_EQ(FileFunctionLines(QString::fromUtf8(file)), expectedFile);
}

TEST(FunctionRules, LineEndsEncodingsAndNulBytes)
{
    // CR LF, LF and lone CR all end lines; the last line needs no line end.
    EXPECT_EQ(projectLines("function a()\rx\r\nfunction b()\n\n function c()"),
              QStringList({"function a()", "function b()", " function c()"}));
    EXPECT_EQ(FileFunctionLines("x function a()\rfunction b()\r\nfunction c()"),
              QStringList({"x function a()", "function b()", "function c()"}));
    // A byte-order mark is not part of the first line.
    EXPECT_EQ(projectLines("\xEF\xBB\xBF"
                           "function \xC3\xA9t\xC3\xA9()\n"),
              QStringList({QString::fromUtf8("function \xC3\xA9t\xC3\xA9()")}));
    // Bytes that are not UTF-8 read as Latin-1, as the editor shows them.
    EXPECT_EQ(projectLines("function caf\xE9()\n"),
              QStringList({QString::fromLatin1("function caf\xE9()")}));
    // A NUL is an ordinary character: a code below 33, so trimmed like a blank.
    const char nul[] = "\0function x()\n\x89PNG function y()";
    EXPECT_EQ(projectLines(QByteArray(nul, sizeof nul - 1)),
              QStringList({QString::fromLatin1("\0function x()", 13)}));
    EXPECT_TRUE(projectLines("").isEmpty());
}

TEST(FunctionScan, WalksEveryEntryInOrderAndPassesOverAnUnreadableOne)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.php"), tool = dir.filePath("tool.py"),
                  b = dir.filePath("B.PHP");
    WriteFileBytes(a, "<?php\nfunction one() {}\n  function two($x)\n");
    WriteFileBytes(tool, "function helper(): # any extension counts\n");
    WriteFileBytes(b, "function one() {}\r\n");
    Project project;
    project.FunctionLines << "stale";
    project.FunctionFiles << "stale";
    for (const QString &name : {a, tool, b})
        addFile(project, name);
    project.ScanFunctions();
    EXPECT_EQ(project.FunctionLines,
              QStringList({"function one() {}", "  function two($x)",
                           "function helper(): # any extension counts", "function one() {}"}));
    EXPECT_EQ(project.FunctionFiles, QStringList({a, a, tool, b}));

    // A missing file in the middle is passed over, named, and the scan goes on.
    const QString gone = dir.filePath("gone.php");
    project.Files.Delete(2);
    addFile(project, gone);
    addFile(project, b);
    project.ScanFunctions();
    ASSERT_EQ(project.ScanSkipped.size(), 1);
    EXPECT_TRUE(project.ScanSkipped[0].contains(gone)) << project.ScanSkipped[0].toStdString();
    EXPECT_EQ(project.FunctionFiles.mid(0, 3), QStringList({a, a, tool}));
    EXPECT_EQ(project.FunctionFiles.last(), b);

    // A folder named as a file is refused too, not read as empty.
    project.Files.Clear();
    addFile(project, dir.path());
    project.ScanFunctions();
    EXPECT_TRUE(project.FunctionLines.isEmpty());
    EXPECT_EQ(project.ScanSkipped.size(), 1);
}

TEST(FunctionSort, EqualTextsEndInTheExchangeOrder)
{
    // (B, 1), (B, 2), (A, 3) sorts to (A, 3), (B, 2), (B, 1).
    EXPECT_EQ(SortRows({"B", "B", "A"}), std::vector<int>({2, 1, 0}));
    // Code-point order: capitals before small letters, indented lines first,
    // a prefix before its extensions, accented letters after plain ones, and
    // characters beyond U+FFFF after U+FFxx (not UTF-16 order).
    const QStringList texts = {"function b",
                               "function a",
                               "  function z",
                               "Function",
                               "function",
                               QString::fromUtf8("function \xC3\xA9"),
                               QString::fromUtf8("\xF0\x9F\x98\x80"),
                               QString::fromUtf8("\xEF\xBD\x81")};
    const std::vector<int> order = SortRows(texts);
    QStringList sorted;
    for (int k : order)
        sorted << texts.at(k);
    EXPECT_EQ(sorted, QStringList({"  function z", "Function", "function", "function a",
                                   "function b", QString::fromUtf8("function \xC3\xA9"),
                                   QString::fromUtf8("\xEF\xBD\x81"),
                                   QString::fromUtf8("\xF0\x9F\x98\x80")}));
    EXPECT_TRUE(SortRows({}).empty());
    EXPECT_EQ(SortRows({"x"}), std::vector<int>({0}));
}

TEST(FunctionSort, MatchesTheLiteralExchangeOnManyDuplicates)
{
    QRandomGenerator random(20240611);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        // Few distinct texts among thousands of rows, so ties dominate.
        const int rows = 1500 + int(random.bounded(1500));
        const int distinct = 1 + int(random.bounded(round < 6 ? 12 : 400));
        QStringList texts;
        for (int r = 0; r < rows; ++r)
            texts << QStringLiteral("function f%1()").arg(random.bounded(distinct));
        if (round % 3 == 1) {
            // Falling runs make the long chains the plain exchange takes over.
            std::sort(texts.begin(), texts.end(), std::greater<QString>());
        } else if (round % 3 == 2) {
            std::sort(texts.begin(), texts.end());
            std::swap(texts[0], texts[texts.size() - 1]);
        }
        EXPECT_EQ(SortRows(texts), literalExchangeSort(texts));
    }
}

TEST(FunctionSort, MatchesTheLiteralExchangeOnEveryShortSequence)
{
    // Every sequence of up to 8 rows over 3 texts: each way ties can meet.
    const QStringList alphabet = {"function a", "function b", "function c"};
    for (int length = 1; length <= 8; ++length) {
        int sequences = 1;
        for (int k = 0; k < length; ++k)
            sequences *= int(alphabet.size());
        for (int code = 0; code < sequences; ++code) {
            QStringList texts;
            for (int rest = code, k = 0; k < length; ++k, rest /= int(alphabet.size()))
                texts << alphabet.at(rest % alphabet.size());
            ASSERT_EQ(SortRows(texts), literalExchangeSort(texts))
                << texts.join(u'|').toStdString();
        }
    }
}

TEST(FunctionSort, MatchesTheLiteralExchangeOnCopiedProjects)
{
    // A project that holds the same files several times over lists every
    // declaration once per copy: the shape that used to take the slow path.
    QRandomGenerator random(7);
    struct Shape {
        int lines;
        int distinct;
        int copies;
    };
    for (const Shape shape :
         {Shape{300, 250, 7}, Shape{500, 40, 3}, Shape{200, 200, 12}, Shape{400, 5, 2}}) {
        SCOPED_TRACE(shape.copies);
        QStringList one;
        for (int r = 0; r < shape.lines; ++r)
            one << QStringLiteral("function f%1()").arg(random.bounded(shape.distinct));
        QStringList texts;
        for (int c = 0; c < shape.copies; ++c)
            texts << one;
        EXPECT_EQ(SortRows(texts), literalExchangeSort(texts));
        // Falling and rising runs interleaved with their copies.
        QStringList zigzag;
        for (int r = 0; r < texts.size(); ++r)
            zigzag << QStringLiteral("function z%1").arg(r % 2 ? r % 97 : 1000 - r % 89);
        EXPECT_EQ(SortRows(zigzag), literalExchangeSort(zigzag));
    }
}
