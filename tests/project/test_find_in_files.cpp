// Find in files over many files on several threads: the rows must be exactly
// those of the rule applied line by line, in file and line order, whatever
// the threads do; files that look binary are left out and counted; the first
// unreadable file ends the search after the rows before it.
#include "foundation/errors.h"
#include "foundation/switches.h"
#include "project/find_in_files.h"
#include "project/function_scan.h"
#include "project/project.h"
#include "project/source_text.h"
#include "project/text_search.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <string>
#include <sys/stat.h>

namespace {
// The rule as the user reads it: each file decoded whole, split into lines,
// every line lowered and compared. Files that look binary give nothing.
std::vector<FoundLine> reference(const QStringList &files, const QString &text)
{
    const QString lowered = LocaleLower(text);
    std::vector<FoundLine> rows;
    if (lowered.isEmpty() || lowered.contains(u'\n') || lowered.contains(u'\r'))
        return rows;
    for (int index = 0; index < files.size(); ++index) {
        const QByteArray bytes = ReadFileBytes(files.at(index));
        if (bytes.left(BinaryProbeBytes).contains('\0'))
            continue;
        const SourceEncoding encoding = DetectSourceEncoding(bytes);
        QString all = DecodeSource(bytes.constData() + encoding.start,
                                   bytes.size() - encoding.start, encoding);
        all.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        const QStringList lines = all.split(u'\n');
        for (int j = 0; j < lines.size(); ++j) {
            if (LocaleLower(lines.at(j)).contains(lowered))
                rows.push_back({index, j + 1, TrimControls(lines.at(j))});
        }
    }
    return rows;
}

// Rows as "file:line:text", readable when a comparison fails.
std::vector<std::string> rowTexts(const std::vector<FoundLine> &rows)
{
    std::vector<std::string> texts;
    for (const FoundLine &row : rows)
        texts.push_back(
            QStringLiteral("%1:%2:%3").arg(row.file).arg(row.line).arg(row.text).toStdString());
    return texts;
}

class FindInFilesTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    QTemporaryDir dir;
};

// Pieces of text that exercise the plan: ASCII in both cases, UTF-8 and
// Latin-1 letters, letters that lower into ASCII (Kelvin sign, capital I with
// dot), a capital sigma that lowers by context, line ends of all kinds.
const char *const Pieces[] = {
    "cookie",
    "COOKIE",
    "Cook",
    "ie",
    "x",
    " ",
    "\t",
    "\r",
    "\n",
    "\r\n",
    "\xE2\x84\xAA", // Kelvin sign: lowers to "k"
    "\xC4\xB0",     // capital I with dot: lowers to "i" and a combining dot
    "\xC3\x84",
    "\xC3\xA4", // A and a with diaeresis
    "\xD0\x92\xD0\xA0\xD0\x95\xD0\x9C\xD0\xAF",
    "\xD0\xB2\xD1\x80\xD0\xB5\xD0\xBC\xD1\x8F",
    "\xCE\x9F\xCE\xA3", // capital omicron, sigma: "ος" at a word's end
    "\x01",
    "function ",
};
// Bytes that are no UTF-8: a file holding one reads as Latin-1.
const char *const Latin1Pieces[] = {"\xC9", "\xE9", "\xC4"};
const char *const Needles[] = {
    "cookie",
    "COOK",
    "k",
    "ki",
    "i",
    "e x",
    "x\tx",
    "\xC3\xA4",
    "\xC3\xA4"
    "cook",
    "\xD0\xB2\xD1\x80\xD0\xB5\xD0\xBC\xD1\x8F", // "время"
    "\xCE\xBF\xCF\x82",                         // "ος" with a final sigma
    "\xCE\xBF\xCF\x83",                         // "οσ"
    "\xC3\xA9",
    "i\xCC\x87", // é; i and a combining dot
};
} // namespace

TEST_F(FindInFilesTest, RowsAreThoseOfTheLineByLineRuleOnGeneratedFiles)
{
    QRandomGenerator random(20240612);
    QStringList files;
    for (int f = 0; f < 60; ++f) {
        QByteArray bytes;
        if (f % 7 == 3)
            bytes += "\xEF\xBB\xBF"; // a byte-order mark
        const int pieces = int(random.bounded(400));
        for (int p = 0; p < pieces; ++p) {
            if (f % 4 == 1 && random.bounded(8) == 0)
                bytes += Latin1Pieces[random.bounded(int(std::size(Latin1Pieces)))];
            else
                bytes += Pieces[random.bounded(int(std::size(Pieces)))];
        }
        files << write(QStringLiteral("f%1.php").arg(f), bytes);
    }
    for (const char *needle : Needles) {
        const QString text = QString::fromUtf8(needle);
        SCOPED_TRACE(text.toStdString());
        const std::vector<std::string> expected = rowTexts(reference(files, text));
        for (int workers : {1, 3}) {
            const FindInFilesResult result = FindInFiles(files, text, workers);
            EXPECT_EQ(rowTexts(result.lines), expected) << workers << " workers";
            EXPECT_TRUE(result.skipped.empty());
            EXPECT_EQ(result.binaryFiles, 0);
        }
    }
}

TEST_F(FindInFilesTest, RowsAreThoseOfTheLineByLineRuleOnTheCorpus)
{
    // The benchmark corpus, when it has been made (bench/make-php-corpus.sh):
    // every 25th PHP file, searched for the benchmark's words and a few more.
    const QString corpus = QStringLiteral(QS_SOURCE_DIR "/bench/corpus/php");
    QStringList all;
    for (QDirIterator it(corpus, {QStringLiteral("*.php")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        all << it.next();
    if (all.isEmpty())
        GTEST_SKIP() << "no corpus at " << corpus.toStdString();
    all.sort();
    QStringList files;
    for (qsizetype k = 0; k < all.size(); k += 25)
        files << all.at(k);
    for (const char *needle :
         {"cookie", "tempnam", "function", "\xD0\xB2\xD1\x80\xD0\xB5\xD0\xBC\xD1\x8F",
          "\xC3\xA9t\xC3\xA9", "Str"}) {
        const QString text = QString::fromUtf8(needle);
        SCOPED_TRACE(text.toStdString());
        const FindInFilesResult result = FindInFiles(files, text, 2);
        EXPECT_EQ(rowTexts(result.lines), rowTexts(reference(files, text)));
    }
}

TEST_F(FindInFilesTest, FilesLookBinaryOnlyForANulInTheFirstBlock)
{
    QByteArray early = "needle at the start\n" + QByteArray(BinaryProbeBytes, 'x');
    early[BinaryProbeBytes - 1] = '\0'; // the last byte of the block
    QByteArray late = "needle\n" + QByteArray(BinaryProbeBytes, 'x');
    late[BinaryProbeBytes] = '\0'; // the first byte past it
    const char tail[] = "\nnee\0dle\nNEEDLE after the NUL\n";
    late.append(tail, sizeof tail - 1);
    const QStringList files = {write("early.php", early), write("late.php", late),
                               write("image.png", QByteArray("\x89PNG\0needle", 11)),
                               write("empty.php", "")};
    const FindInFilesResult result = FindInFiles(files, "needle", 2);
    EXPECT_EQ(rowTexts(result.lines),
              std::vector<std::string>({"1:1:needle", "1:4:NEEDLE after the NUL"}));
    EXPECT_EQ(result.binaryFiles, 2);
    EXPECT_EQ(BinaryFilesNote(2), "2 files left out as binary");
    EXPECT_EQ(BinaryFilesNote(1), "1 file left out as binary");
}

TEST_F(FindInFilesTest, AnUnreadableFileIsSkippedAndTheSearchGoesOn)
{
    QStringList files;
    for (int f = 0; f < 40; ++f) {
        if (f == 25 || f == 31)
            files << dir.filePath(QStringLiteral("gone%1.php").arg(f));
        else if (f % 10 == 0)
            files << write(QStringLiteral("bin%1").arg(f), QByteArray("hit\0", 4));
        else
            files << write(QStringLiteral("f%1.php").arg(f), "a hit\nno\nhit again\n");
    }
    for (int workers : {1, 4}) {
        const FindInFilesResult result = FindInFiles(files, "HIT", workers);
        ASSERT_EQ(result.skipped.size(), 2u);
        EXPECT_EQ(result.skipped[0].index, 25);
        EXPECT_EQ(result.skipped[1].index, 31);
        EXPECT_TRUE(result.skipped[0].message.contains(dir.filePath("gone25.php")))
            << result.skipped[0].message.toStdString();
        // 40 files, four of them binary (0, 10, 20, 30), two gone: 34 files of two rows.
        ASSERT_EQ(result.lines.size(), 68u);
        EXPECT_EQ(result.lines.back().file, 39);
        EXPECT_EQ(result.lines.back().line, 3);
        EXPECT_EQ(result.binaryFiles, 4);
    }
}

TEST_F(FindInFilesTest, NamesThatAreNoRegularFileAreRefusedWithoutWaiting)
{
    // A pipe would block a plain read until a writer came; a link to a device
    // would never end. Both are refused at once, naming the file.
    const QString fifo = dir.filePath("pipe.php");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.php");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString &bad : {fifo, zero, dir.path()}) {
        const QStringList files = {write("a.php", "hit\n"), bad, write("b.php", "hit\n")};
        FindInFilesResult result;
        ASSERT_TRUE(FinishesWithin(5000, [&] { result = FindInFiles(files, "hit", 2); }))
            << bad.toStdString();
        ASSERT_EQ(result.skipped.size(), 1u);
        EXPECT_EQ(result.skipped[0].index, 1);
        EXPECT_TRUE(result.skipped[0].message.contains(bad) &&
                    result.skipped[0].message.contains("not a regular file"))
            << result.skipped[0].message.toStdString();
        EXPECT_EQ(result.lines.size(), 2u); // the files before and after it

        Project project;
        project.AddFiles(files);
        ASSERT_TRUE(FinishesWithin(5000, [&] { project.ScanFunctions(); }));
        ASSERT_EQ(project.ScanSkipped.size(), 1);
        EXPECT_TRUE(project.ScanSkipped[0].contains(bad));
    }
}

TEST_F(FindInFilesTest, FunctionScanOnAllCoresKeepsProjectOrderAndReadsNulFiles)
{
    Project project;
    QStringList expectedLines;
    QStringList expectedFiles;
    for (int f = 0; f < 300; ++f) {
        QByteArray bytes;
        for (int k = 0; k <= f % 4; ++k)
            bytes += QStringLiteral("function f%1_%2()\n").arg(f).arg(k).toUtf8();
        if (f % 50 == 7)
            bytes.prepend(QByteArray("\0\0stray NUL bytes\n", 18));
        const QString path = write(QStringLiteral("%1.php").arg(f), bytes);
        project.AddFiles({path});
        for (int k = 0; k <= f % 4; ++k) {
            expectedLines << QStringLiteral("function f%1_%2()").arg(f).arg(k);
            expectedFiles << path;
        }
    }
    project.ScanFunctions();
    EXPECT_EQ(project.FunctionLines, expectedLines);
    EXPECT_EQ(project.FunctionFiles, expectedFiles);
}
