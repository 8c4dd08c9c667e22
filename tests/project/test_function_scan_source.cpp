// Find in files' reading of project files: lines, numbers and the
// locale-aware case rule, checked against the rule applied line by line.
#include "foundation/errors.h"
#include "foundation/switches.h"
#include "project/source_text.h"
#include "project/text_search.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {
using Hit = LineHit;

std::vector<Hit> find(const QByteArray &bytes, const QString &text)
{
    return FindMatchingLines(bytes, LineNeedle(text));
}

// The rule written out the slow way: decode, split, lower both, compare.
std::vector<Hit> reference(const QByteArray &bytes, const QString &text)
{
    const SourceEncoding encoding = DetectSourceEncoding(bytes);
    QString all =
        DecodeSource(bytes.constData() + encoding.start, bytes.size() - encoding.start, encoding);
    all.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QStringList lines = all.split(u'\n');
    const QString lowered = LocaleLower(text);
    std::vector<Hit> hits;
    for (int j = 0; j < lines.size(); ++j)
        if (!lowered.isEmpty() && LocaleLower(lines.at(j)).contains(lowered))
            hits.push_back({j + 1, lines.at(j)});
    return hits;
}

void PrintTo(const Hit &hit, std::ostream *os)
{
    *os << hit.line << ":" << hit.text.toStdString();
}
} // namespace

TEST(FindInText, OneRowPerLineWithItsNumberWhateverTheLineEnds)
{
    const QByteArray text = "Echo $a; echo $b; ECHO $c;\r\nnothing\rx echo\n\nlast Echo";
    EXPECT_EQ(
        find(text, "eCHo"),
        std::vector<Hit>({{1, "Echo $a; echo $b; ECHO $c;"}, {3, "x echo"}, {5, "last Echo"}}));
    EXPECT_TRUE(find(text, "").empty());
    EXPECT_TRUE(find(text, "echo\nnothing").empty());
    EXPECT_TRUE(find("", "x").empty());
    // A NUL is an ordinary character of the line.
    const char nul[] = "x\0echo\0\nno";
    EXPECT_EQ(find(QByteArray(nul, sizeof nul - 1), "echo"),
              std::vector<Hit>({{1, QString::fromLatin1("x\0echo\0", 7)}}));
}

TEST(FindInText, CapitalsAndNonAsciiLettersFollowTheLocaleRule)
{
    // UTF-8 and Latin-1 files, a byte-order mark, and letters whose small
    // form is ASCII (the Kelvin sign lowers to "k").
    const QByteArray utf8 = "\xEF\xBB\xBF"
                            "\xC3\x84PFEL\n"
                            "\xE2\x84\xAA"
                            "elvin scale\n"
                            "plain kelvin\n";
    EXPECT_EQ(find(utf8, QString::fromUtf8("\xC3\xA4pfel")),
              std::vector<Hit>({{1, QString::fromUtf8("\xC3\x84PFEL")}}));
    EXPECT_EQ(find(utf8, "KELVIN"), reference(utf8, "KELVIN"));
    EXPECT_EQ(find(utf8, "KELVIN").size(),
              LocaleLower(QString::fromUtf8("\xE2\x84\xAA")) == "k" ? 2u : 1u);
    const QByteArray latin1 = "caf\xC9 au lait\nCAFE\n";
    EXPECT_EQ(find(latin1, QString::fromUtf8("CAF\xC3\xA9")),
              std::vector<Hit>({{1, QString::fromLatin1("caf\xC9 au lait")}}));
}

TEST(FindInText, AgreesWithTheLineByLineRuleOnRandomText)
{
    const char *pieces[] = {"a",  "B",  "ab",   "AB",       " ",        "\t",
                            "\r", "\n", "\r\n", "\xC3\x84", "\xC3\xA4", "\xE2\x84\xAA",
                            "k",  "K",  "\xE9", "\xC9",     "x",        "function "};
    const QString needles[] = {"ab",
                               "AB",
                               "k",
                               "a b",
                               QString::fromUtf8("\xC3\xA4"),
                               QString::fromUtf8("\xC3\xA4"
                                                 "ab"),
                               "function",
                               "x\tx",
                               "kk"};
    QRandomGenerator random(7);
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes;
        const int count = int(random.bounded(60));
        for (int p = 0; p < count; ++p)
            bytes += pieces[random.bounded(int(std::size(pieces)))];
        for (const QString &needle : needles) {
            SCOPED_TRACE(bytes.toHex().toStdString() + " / " + needle.toStdString());
            ASSERT_EQ(find(bytes, needle), reference(bytes, needle));
        }
    }
}

TEST(ReadSourceFile, RefusesWhatIsNoReadableFileByName)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.php");
    try {
        ReadSourceFile(missing);
        FAIL();
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().contains(missing));
    }
    EXPECT_THROW(ReadSourceFile(dir.path()), AppError);
    // A regular file that no user, root included, can read from its start:
    // the process's own memory, where nothing is mapped at address 0.
    const QString unreadable = dir.filePath("unreadable.php");
    ASSERT_TRUE(QFile::link("/proc/self/mem", unreadable));
    try {
        ReadSourceFile(unreadable);
        FAIL();
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith("Cannot read")) << qPrintable(e.message());
        EXPECT_TRUE(e.message().contains(unreadable));
    }
}

TEST(TrimControls, RemovesCodesUpTo32AtBothEnds)
{
    EXPECT_EQ(TrimControls(QString::fromUtf8(" \t\x01x y\x1f\r ")), "x y");
    EXPECT_EQ(TrimControls(" \t "), "");
    EXPECT_EQ(TrimControls(QString::fromUtf8("\xC2\xA0x")), QString::fromUtf8("\xC2\xA0x"));
}
