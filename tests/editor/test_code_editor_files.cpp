// Files through a real editor: bytes kept exactly, errors that lose nothing.
#include "editor/code_editor.h"
#include "foundation/errors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

// Types text the way a keyboard does, one character a key, for characters
// QTest::keyClicks cannot send.
void type(QWidget *widget, const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, character, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, character, Qt::NoModifier);
        i += length - 1;
    }
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
        QByteArray("<?php\necho 'caf\xC3\xA9 \xE2\x82\xAC';\n"),           // UTF-8
        QByteArray("\xEF\xBB\xBF<?php\r\necho 'gr\xC3\xBC\xC3\x9F';\r\n"), // UTF-8 with BOM
        QByteArray("<?php\r\n// caf\xE9 \xA9 \x80\x9F\xFF\r\n"),           // Latin-1
        QByteArray("one\r\ntwo\r\nthree\r\n"),                             // CR LF
        QByteArray("one\ntwo\nthree"),                                     // LF, no final break
        QByteArray("one\r\ntwo\nthree\rfour\n\r\n"),                       // mixed
        QByteArray("\xEF\xBB\xBF"),                                        // only a BOM
        QByteArray(),                                                      // empty
        QByteArray("head\0\0tail\r\n\0", 14),                              // NUL bytes
        QByteArray("\xEF\xBB\xBF\xE9t\xE9\n", 7),                          // BOM, then Latin-1
    };
    for (const QByteArray &bytes : cases)
        EXPECT_EQ(roundTrip(bytes), bytes) << bytes.toHex().constData();
}

TEST_F(EditorFiles, EncodingIsDetectedAndShownAsText)
{
    roundTrip("caf\xE9\n");
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
    EXPECT_EQ(m_editor.lineText(0), QString::fromUtf8("caf\xC3\xA9"));

    roundTrip("\xEF\xBB\xBF"
              "caf\xC3\xA9\n");
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Utf8WithBom);
    EXPECT_EQ(m_editor.encodingName(), "UTF-8 BOM");
    EXPECT_EQ(m_editor.lineText(0), QString::fromUtf8("caf\xC3\xA9")); // BOM not in the text
}

TEST_F(EditorFiles, RandomBinaryFileOpensAndRoundTrips)
{
    QByteArray bytes(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    EXPECT_EQ(roundTrip(bytes), bytes);
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
}

TEST_F(EditorFiles, Windows1252IsShownAsItsCharactersAndSavedBackByteForByte)
{
    // Euro sign, typographic quotes, e-acute, and the five bytes the code page leaves undefined.
    const QByteArray bytes("\x80 \x93quoted\x94 caf\xE9 \x81\x8D\x8F\x90\x9D\r\n");
    EXPECT_EQ(roundTrip(bytes), bytes);
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
    EXPECT_EQ(m_editor.encodingName(), "Windows-1252");
    EXPECT_EQ(m_editor.lineText(0),
              QString::fromUtf8("\xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D caf\xC3\xA9 ") +
                  QString(QChar(0x81)) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D));

    // Characters the code page holds are typed and saved as its bytes.
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xE2\x82\xAC\xC3\xBC\xE2\x80\x94"));
    m_editor.saveToFile(path("out.txt"));
    EXPECT_EQ(ReadFileBytes(path("out.txt")), bytes + "\x80\xFC\x97");
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
}

TEST_F(EditorFiles, UnstorableCharacterAsksAndWithoutConsentTheSaveRefuses)
{
    const QByteArray bytes("caf\xE9\n");
    WriteFileBytes(path("old.txt"), bytes);
    m_editor.loadFromFile(path("old.txt"));
    std::vector<QString> asked;
    m_editor.setEncodingQuestion([&](const QString &characters) {
        asked.push_back(characters);
        return false;
    });
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xE2\x86\x92")); // an arrow: no byte for it
    QCoreApplication::processEvents();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked.front(), QString::fromUtf8("\xE2\x86\x92"));
    type(&m_editor, QString::fromUtf8("\xE2\x98\x83")); // declined once: typing goes on in peace
    QCoreApplication::processEvents();
    EXPECT_EQ(asked.size(), 1u);

    // Saving asks again; declined, nothing is written or converted.
    try {
        m_editor.saveToFile(path("old.txt"));
        FAIL() << "the save wrote text its encoding cannot hold";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(path("old.txt"))) << error.what();
        EXPECT_TRUE(error.message().contains(QString::fromUtf8("\xE2\x98\x83"))) << error.what();
        EXPECT_TRUE(error.message().contains("UTF-8")) << error.what();
    }
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(ReadFileBytes(path("old.txt")), bytes);
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Windows1252);
    EXPECT_TRUE(m_editor.isDocumentModified());
    EXPECT_EQ(m_editor.wholeText(), QString::fromUtf8("caf\xC3\xA9\n\xE2\x86\x92\xE2\x98\x83"));

    // Without any question to ask, the save refuses as well.
    m_editor.setEncodingQuestion({});
    EXPECT_THROW(m_editor.saveToFile(path("old.txt")), AppError);
    EXPECT_EQ(ReadFileBytes(path("old.txt")), bytes);
}

TEST_F(EditorFiles, ConsentConvertsTheWholeFileToUtf8)
{
    WriteFileBytes(path("old.txt"), "\x93"
                                    "caf\xE9\x94\n");
    m_editor.loadFromFile(path("old.txt"));
    int asked = 0;
    m_editor.setEncodingQuestion([&](const QString &) { return ++asked > 0; });
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xE2\x86\x92"));
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Utf8);
    m_editor.saveToFile(path("old.txt"));
    EXPECT_EQ(ReadFileBytes(path("old.txt")), QByteArray("\xE2\x80\x9C"
                                                         "caf\xC3\xA9\xE2\x80\x9D\n\xE2\x86\x92"));

    // Consent given only when saving converts as well.
    WriteFileBytes(path("late.txt"), "caf\xE9");
    m_editor.setEncodingQuestion({});
    m_editor.loadFromFile(path("late.txt"));
    m_editor.SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    type(&m_editor, QString::fromUtf8("\xE2\x86\x92"));
    m_editor.setEncodingQuestion([](const QString &) { return true; });
    m_editor.saveToFile(path("late.txt"));
    EXPECT_EQ(ReadFileBytes(path("late.txt")), QByteArray("caf\xC3\xA9\xE2\x86\x92"));
    // A document that holds such text cannot be switched back.
    EXPECT_THROW(m_editor.setEncoding(DocumentEncoding::Windows1252), AppError);
}

TEST_F(EditorFiles, ChangesByOtherProgramsAreSeenEvenRightAfterOurSave)
{
    WriteFileBytes(path("page.php"), "<?php echo 1;\n");
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None); // no file yet
    m_editor.loadFromFile(path("page.php"));
    EXPECT_EQ(m_editor.filePath(), path("page.php"));
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None);

    // Same size, 0.3 s after our own save.
    m_editor.saveToFile(path("page.php"));
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None);
    QThread::msleep(300);
    WriteFileBytes(path("page.php"), "<?php echo 2;\n");
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::Modified);
    // Keeping our text: only a later change counts.
    m_editor.refreshDiskStamp();
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None);

    // Replaced by another file of the same size and time: its identity tells.
    m_editor.loadFromFile(path("page.php"));
    WriteFileBytes(path("other.php"), "<?php echo 3;\n");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path("page.php")).constData(), &info), 0);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path("other.php")).constData(), times, 0), 0);
    ASSERT_EQ(::rename(QFile::encodeName(path("other.php")).constData(),
                       QFile::encodeName(path("page.php")).constData()),
              0);
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::Modified);

    QFile::remove(path("page.php"));
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::Missing);
    m_editor.clearAll();
    EXPECT_EQ(m_editor.filePath(), QString());
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None);
}

TEST_F(EditorFiles, ModifiedFollowsTheSavePointThroughUndoAndSave)
{
    WriteFileBytes(path("a.php"), "abc\n");
    m_editor.loadFromFile(path("a.php"));
    std::vector<bool> signalled;
    QObject::connect(&m_editor, &CodeEditor::modifiedChanged,
                     [&](bool modified) { signalled.push_back(modified); });
    EXPECT_FALSE(m_editor.isDocumentModified());
    type(&m_editor, "x");
    type(&m_editor, "y");
    EXPECT_TRUE(m_editor.isDocumentModified());
    m_editor.undo();
    EXPECT_FALSE(m_editor.isDocumentModified());
    m_editor.redo();
    m_editor.saveToFile(path("a.php"));
    EXPECT_FALSE(m_editor.isDocumentModified());
    m_editor.replaceLine(0, "changed outside undo");
    EXPECT_TRUE(m_editor.isDocumentModified());
    m_editor.loadFromFile(path("a.php"));
    EXPECT_EQ(signalled, (std::vector<bool>{true, false, true, false, true, false}));
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

// Text written by iconv in each wide encoding (with the mark it writes, or
// ours before a mark-less form), opened, typed into and saved.
TEST_F(EditorFiles, WideEncodingsAreEditedAsTextAndWrittenBackWithTheirMark)
{
    struct Wide {
        const char *iconvName;
        QByteArray mark; // put before iconv's output when it writes none
        DocumentEncoding encoding;
        const char *shown;
    };
    const Wide cases[] = {
        {"UTF-16LE", QByteArray("\xFF\xFE", 2), DocumentEncoding::Utf16Le, "UTF-16LE BOM"},
        {"UTF-16BE", QByteArray("\xFE\xFF", 2), DocumentEncoding::Utf16Be, "UTF-16BE BOM"},
        {"UTF-32LE", QByteArray("\xFF\xFE\0\0", 4), DocumentEncoding::Utf32Le, "UTF-32LE BOM"},
        {"UTF-32BE", QByteArray("\0\0\xFE\xFF", 4), DocumentEncoding::Utf32Be, "UTF-32BE BOM"},
    };
    const QString text = QString::fromUtf8("<?php\r\necho 'caf\xC3\xA9 \xF0\x9F\x98\x80';\r\n");
    auto iconv = [](const char *to, const QString &utf8) {
        QProcess process;
        process.start("iconv", {"-f", "UTF-8", "-t", to});
        process.write(utf8.toUtf8());
        process.closeWriteChannel();
        process.waitForFinished();
        return process.readAllStandardOutput();
    };
    for (const Wide &wide : cases) {
        SCOPED_TRACE(wide.iconvName);
        const QByteArray bytes = wide.mark + iconv(wide.iconvName, text);
        ASSERT_GT(bytes.size(), text.size());
        EXPECT_EQ(roundTrip(bytes), bytes);
        EXPECT_EQ(m_editor.encoding(), wide.encoding);
        EXPECT_EQ(m_editor.encodingName(), wide.shown);
        EXPECT_EQ(m_editor.lineText(1), QString::fromUtf8("echo 'caf\xC3\xA9 \xF0\x9F\x98\x80';"));
        m_editor.setCursorPosition(0, 0);
        type(&m_editor, "Z\xC3\xA9");
        m_editor.saveToFile(path("out.txt"));
        EXPECT_EQ(ReadFileBytes(path("out.txt")),
                  wide.mark + iconv(wide.iconvName, QString::fromUtf8("Z\xC3\xA9") + text));
    }
    // A mark followed by what is no text of that encoding (an odd length, a
    // lone surrogate) keeps its bytes as before, as does text with NULs and no mark.
    for (const QByteArray &bytes :
         {QByteArray("\xFF\xFEZ\0A", 5), QByteArray("\xFF\xFE\x00\xD8!\0", 6),
          QByteArray("a\0b\0\r\0\n\0", 8)}) {
        EXPECT_EQ(roundTrip(bytes), bytes) << bytes.toHex().constData();
        EXPECT_FALSE(document_encoding::isWide(m_editor.encoding()));
    }
}

TEST_F(EditorFiles, ReloadIsOneStepThatUndoBringsBack)
{
    WriteFileBytes(path("a.php"), "one\ntwo\nthree\n");
    m_editor.loadFromFile(path("a.php"));
    m_editor.setCaretLine(3);
    type(&m_editor, "mine ");
    WriteFileBytes(path("a.php"), QByteArray("\xFF\xFE"
                                             "t\0h\0e\0i\0r\0s\0\n\0",
                                             16));
    m_editor.reloadFromFile(path("a.php"));
    EXPECT_EQ(m_editor.wholeText(), "theirs\n");
    EXPECT_EQ(m_editor.encoding(), DocumentEncoding::Utf16Le);
    EXPECT_FALSE(m_editor.isDocumentModified());
    EXPECT_EQ(m_editor.diskChange(), CodeEditor::DiskChange::None);
    m_editor.undo();
    EXPECT_EQ(m_editor.wholeText(), "one\ntwo\nmine three\n");
    EXPECT_TRUE(m_editor.isDocumentModified());
}

} // namespace
