// Files through a real editor: bytes kept exactly, errors that lose nothing.
#include "editor/code_editor.h"
#include "foundation/errors.h"
#include "support/test_support.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Types text the way a keyboard does, for characters QTest::keyClicks cannot send.
void type(QWidget *widget, const QString &text)
{
    QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, text, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, text, Qt::NoModifier);
}

class EditorFiles : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Opens the bytes and saves them unchanged under another name.
    QByteArray roundTrip(const QByteArray &bytes)
    {
        WriteFileBytes(path("in.txt"), bytes);
        m_editor.loadFromFile(path("in.txt"));
        m_editor.saveToFile(path("out.txt"));
        return ReadFileBytes(path("out.txt"));
    }

    QTemporaryDir m_dir;
    CodeEditor m_editor;
};

TEST_F(EditorFiles, UnchangedFilesSaveTheirExactBytes)
{
    const QByteArray cases[] = {
        QByteArray("<?php\necho 'caf\xC3\xA9 \xE2\x82\xAC';\n"),            // UTF-8
        QByteArray("\xEF\xBB\xBF<?php\r\necho 'gr\xC3\xBC\xC3\x9F';\r\n"), // UTF-8 with BOM
        QByteArray("<?php\r\n// caf\xE9 \xA9 \x80\x9F\xFF\r\n"),              // Latin-1
        QByteArray("one\r\ntwo\r\nthree\r\n"),                               // CR LF
        QByteArray("one\ntwo\nthree"),                                       // LF, no final break
        QByteArray("one\r\ntwo\nthree\rfour\n\r\n"),                         // mixed
        QByteArray("\xEF\xBB\xBF"),                                           // only a BOM
        QByteArray(),                                                        // empty
        QByteArray("head\0\0tail\r\n\0", 14),                                // NUL bytes
        QByteArray("\xEF\xBB\xBF\xE9t\xE9\n", 7),                           // BOM, then Latin-1
    };
    for (const QByteArray &bytes : cases)
        EXPECT_EQ(roundTrip(bytes), bytes) << bytes.toHex().constData();
}

TEST_F(EditorFiles, EncodingIsDetectedAndShownAsText)
{
    roundTrip("caf\xE9\n");
    EXPECT_TRUE(m_editor.isLatin1());
    EXPECT_EQ(m_editor.lineText(0), QString::fromUtf8("caf\xC3\xA9"));

    roundTrip("\xEF\xBB\xBF" "caf\xC3\xA9\n");
    EXPECT_FALSE(m_editor.isLatin1());
    EXPECT_TRUE(m_editor.hasByteOrderMark());
    EXPECT_EQ(m_editor.lineText(0), QString::fromUtf8("caf\xC3\xA9")); // BOM not in the text
}

TEST_F(EditorFiles, RandomBinaryFileOpensAndRoundTrips)
{
    QByteArray bytes(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    EXPECT_EQ(roundTrip(bytes), bytes);
    EXPECT_TRUE(m_editor.isLatin1());
}

TEST_F(EditorFiles, CharacterLatin1CannotHoldSavesAsUtf8)
{
    WriteFileBytes(path("old.txt"), "caf\xE9\n");
    m_editor.loadFromFile(path("old.txt"));
    ASSERT_TRUE(m_editor.isLatin1());
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xE2\x82\xAC"));
    m_editor.saveToFile(path("old.txt"));
    EXPECT_EQ(ReadFileBytes(path("old.txt")), QByteArray("caf\xC3\xA9\n\xE2\x82\xAC"));
    EXPECT_FALSE(m_editor.isLatin1());

    // A Latin-1 character typed in stays Latin-1.
    WriteFileBytes(path("keep.txt"), "caf\xE9\n");
    m_editor.loadFromFile(path("keep.txt"));
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xC3\xBC"));
    m_editor.saveToFile(path("keep.txt"));
    EXPECT_EQ(ReadFileBytes(path("keep.txt")), QByteArray("caf\xE9\n\xFC"));
}

TEST_F(EditorFiles, SaveKeepsThePermissionsOfTheFile)
{
    WriteFileBytes(path("mode.php"), "<?php\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path("mode.php")).constData(), 0640), 0);
    m_editor.loadFromFile(path("mode.php"));
    m_editor.setWholeText("<?php echo 1;\n");
    m_editor.saveToFile(path("mode.php"));
    EXPECT_EQ(ReadFileBytes(path("mode.php")), QByteArray("<?php echo 1;\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path("mode.php")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(EditorFiles, FailedSaveRaisesAndTouchesNothing)
{
    WriteFileBytes(path("plain"), "not a folder");
    m_editor.setWholeText("text");
    try {
        m_editor.saveToFile(path("plain/out.php"));
        FAIL() << "saving below a regular file succeeded";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(path("plain/out.php"))) << error.what();
    }
    EXPECT_EQ(ReadFileBytes(path("plain")), QByteArray("not a folder"));
    EXPECT_EQ(m_editor.wholeText(), "text");
    EXPECT_TRUE(m_editor.isDocumentModified());
}

TEST_F(EditorFiles, UnloadableFilesRaiseAndKeepTheDocument)
{
    m_editor.setWholeText("keep me");
    auto expectError = [&](const QString &file, const QString &needle) {
        try {
            m_editor.loadFromFile(file);
            ADD_FAILURE() << "loading " << qPrintable(file) << " succeeded";
        } catch (const AppError &error) {
            EXPECT_TRUE(error.message().contains(file)) << error.what();
            EXPECT_TRUE(error.message().contains(needle, Qt::CaseInsensitive)) << error.what();
        }
        EXPECT_EQ(m_editor.wholeText(), "keep me");
    };
    expectError(path("missing.php"), "not found");
    expectError(m_dir.path(), "not a regular file");

    // A sparse file just over the limit costs no disk space.
    QFile huge(path("huge.bin"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(CodeEditor::MaxFileBytes + 1));
    huge.close();
    expectError(path("huge.bin"), "too large");
}

TEST_F(EditorFiles, LoadResetsUndoCaretAndModifiedState)
{
    m_editor.setWholeText("first\nsecond\n");
    m_editor.setCaretLine(2);
    WriteFileBytes(path("a.php"), "<?php\n\techo 1;\n");
    m_editor.loadFromFile(path("a.php"));
    EXPECT_FALSE(m_editor.isUndoAvailable());
    EXPECT_FALSE(m_editor.isRedoAvailable());
    EXPECT_FALSE(m_editor.isDocumentModified());
    EXPECT_EQ(m_editor.caretLine(), 1);
    EXPECT_EQ(m_editor.caretColumn(), 1);
    EXPECT_EQ(m_editor.firstVisibleLine(), 0);
    EXPECT_EQ(m_editor.lineCount(), 3);
    EXPECT_EQ(m_editor.lineText(1), "\techo 1;");
}

TEST_F(EditorFiles, LargeDocumentDropsColouringUntilTheNextFile)
{
    m_editor.setColouring(CodeEditor::Colouring::Php);
    ASSERT_NE(m_editor.lexer(), nullptr);
    QByteArray big("<?php echo 'x';\n");
    big = big.repeated(int(CodeEditor::LargeDocumentBytes / big.size()) + 1);
    WriteFileBytes(path("big.php"), big);
    m_editor.loadFromFile(path("big.php"));
    EXPECT_TRUE(m_editor.isLargeDocument());
    EXPECT_EQ(m_editor.lexer(), nullptr);
    EXPECT_EQ(m_editor.colouring(), CodeEditor::Colouring::Php);

    WriteFileBytes(path("small.php"), "<?php echo 1;\n");
    m_editor.loadFromFile(path("small.php"));
    EXPECT_FALSE(m_editor.isLargeDocument());
    EXPECT_NE(m_editor.lexer(), nullptr);
}

} // namespace
