#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/run_window.h"
#include "project/dos_stamp.h"
#include "support/recording_browser_view.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTest>

namespace {
// A folder of small PHP files and the window, for document journeys.
class Documents : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("Site");
        QDir().mkpath(site + "/inc");
        for (const char *name : {"a.php", "b.php", "Page.HTML", "tool.py", "inc/db.php"}) {
            QString text;
            for (int i = 1; i <= 60; ++i)
                text += QStringLiteral("%1 line %2\n").arg(QString::fromLatin1(name)).arg(i);
            WriteFileBytes(site + '/' + name, text.toUtf8());
        }
        start();
        form()->show();
    }
    QString path(const char *name) const { return site + '/' + QString::fromLatin1(name); }
    QString entryNames() const
    {
        QStringList names;
        form()->project().ListFileNames(names);
        return names.join('|');
    }

    QString site;
};

// Moves a file's modification time, as another program writing it would.
void touch(const QString &path, int secondsLater)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(secondsLater),
                              QFileDevice::FileModificationTime));
}
} // namespace

TEST_F(Documents, SwitchingRemembersLinesSavesSilentlyAndReusesEntries)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_EQ(form()->ui().re->lineText(0), "a.php line 1");
    form()->ui().re->setCaretLine(12);
    form()->ui().re->setCursorPosition(11, 0);
    form()->ui().re->insert("edited ");

    form()->documents().OpenFileAtLine(path("b.php"), true);
    // Leaving a.php saved it and stored its line.
    EXPECT_TRUE(ReadFileBytes(path("a.php")).contains("edited a.php line 12"));
    EXPECT_EQ(form()->project().Files.Get(0)->Line, 11);
    form()->ui().re->setCaretLine(30);

    // Back to a.php: the entry is reused and its line remembered.
    form()->documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_EQ(form()->ui().re->caretLine(), 12);
    EXPECT_EQ(form()->project().Files.Count(), 2);
    EXPECT_EQ(form()->project().Files.Get(1)->Line, 29);

    // A.PHP is another file here: its own entry, starting at line 1.
    WriteFileBytes(site + "/A.PHP", "upper\n");
    form()->documents().OpenFileAtLine(site + "/A.PHP", true);
    EXPECT_EQ(form()->ui().re->caretLine(), 1);
    EXPECT_EQ(entryNames(), path("a.php") + '|' + path("b.php") + '|' + site + "/A.PHP");
    EXPECT_EQ(form()->windowTitle(), "Quillstone - " + site + "/A.PHP");
}

TEST_F(Documents, CaptionFollowsProjectAndDocument)
{
    EXPECT_EQ(form()->windowTitle(), "Quillstone");
    form()->project().FileName = site + "/shop.wdx";
    form()->documents().UpdateCaption();
    EXPECT_EQ(form()->windowTitle(), "shop - Quillstone");
    form()->documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_EQ(form()->windowTitle(), "shop - Quillstone - " + path("a.php"));
    form()->item("New2")->trigger();
    EXPECT_EQ(form()->windowTitle(), "Quillstone");
    EXPECT_TRUE(form()->ui().re->wholeText().isEmpty());
    EXPECT_EQ(form()->project().OpenedFile, "");
    // New keeps the entry of the document left.
    EXPECT_EQ(form()->project().Files.Count(), 1);
    form()->documents().UpdateCaption();
    EXPECT_EQ(form()->windowTitle(), "shop - Quillstone");
}

TEST_F(Documents, CaptionMarksUnsavedChangesWithAStar)
{
    form()->project().FileName = site + "/shop.wdx";
    form()->documents().OpenFileAtLine(path("a.php"), true);
    const QString clean = "shop - Quillstone - " + path("a.php");
    CodeEditor *re = form()->ui().re;
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    re->setFocus();
    QTest::keyClick(re, Qt::Key_X);
    EXPECT_EQ(form()->windowTitle(), '*' + clean);
    // Back to the saved text by undo: no longer modified.
    QTest::keyClick(re, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form()->windowTitle(), clean);
    QTest::keyClick(re, Qt::Key_Y);
    EXPECT_EQ(form()->windowTitle(), '*' + clean);
    // A rebuild of the caption keeps the mark; a save takes it away.
    form()->documents().UpdateCaption();
    EXPECT_EQ(form()->windowTitle(), '*' + clean);
    QTest::keyClick(re, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(form()->windowTitle(), clean);
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("ya.php line 1"));
}

TEST_F(Documents, ColouringFollowsTheExtension)
{
    form()->documents().OpenFileAtLine(path("Page.HTML"), true);
    EXPECT_EQ(form()->ui().re->colouring(), CodeEditor::Colouring::Html);
    form()->documents().OpenFileAtLine(path("tool.py"), true);
    EXPECT_EQ(form()->ui().re->colouring(), CodeEditor::Colouring::Html);
    form()->documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_EQ(form()->ui().re->colouring(), CodeEditor::Colouring::Php);
}

TEST_F(Documents, OpenSeveralFilesLeavesTheLastCurrent)
{
    dialogs.openAnswers.push_back({path("a.php"), path("b.php"), path("inc/db.php")});
    form()->item("Open1")->trigger();
    EXPECT_EQ(form()->project().OpenedFile, path("inc/db.php"));
    EXPECT_EQ(form()->project().Files.Count(), 3);
    EXPECT_EQ(dialogs.fileDialogs.back(), "open|Any file|*.*");
    // Cancelling changes nothing.
    form()->item("Open1")->trigger();
    EXPECT_EQ(form()->project().OpenedFile, path("inc/db.php"));
}

TEST_F(Documents, MissingFileIsReportedAndStartsEmptyUnderItsName)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    const QByteArray before = ReadFileBytes(path("a.php"));
    form()->documents().OpenFileAtLine(path("new.php"), true);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "file doesn't exist:" + path("new.php"));
    // The text of a.php does not travel into the new name.
    EXPECT_TRUE(form()->ui().re->wholeText().isEmpty());
    EXPECT_EQ(form()->project().OpenedFile, path("new.php"));
    form()->ui().re->setWholeText("<?php echo 1;\n");
    form()->item("Save1")->trigger();
    EXPECT_EQ(ReadFileBytes(path("new.php")), "<?php echo 1;\n");
    EXPECT_EQ(ReadFileBytes(path("a.php")), before);
}

TEST_F(Documents, SaveOfAnUnnamedDocumentAsksOnlyFromTheMenu)
{
    form()->ui().re->setWholeText("fresh\n");
    form()->handle(QStringLiteral("SaveFileClick"));
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    dialogs.saveAnswers.push_back(path("Fresh.php"));
    form()->item("Save1")->trigger();
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0], "save|PHP files|*.php|Any file|*.*");
    EXPECT_EQ(ReadFileBytes(path("Fresh.php")), "fresh\n");
    // Save as keeps the letter case typed.
    EXPECT_EQ(entryNames(), path("Fresh.php"));
    EXPECT_EQ(form()->windowTitle(), "Quillstone - " + path("Fresh.php"));
}

TEST_F(Documents, SaveAsOntoAnotherEntryLeavesTwoEntries)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    form()->documents().OpenFileAtLine(path("b.php"), true);
    dialogs.saveAnswers.push_back(path("a.php"));
    form()->item("Saveas2")->trigger();
    EXPECT_EQ(entryNames(), path("a.php") + '|' + path("a.php"));
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("b.php line 1"));
}

TEST_F(Documents, CloseDropsTheEntryAndTheText)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    form()->item("Close1")->trigger();
    EXPECT_TRUE(dialogs.choices.empty()); // nothing typed, nothing asked
    EXPECT_EQ(form()->project().Files.Count(), 0);
    EXPECT_EQ(form()->project().OpenedFile, "");
    EXPECT_TRUE(form()->ui().re->wholeText().isEmpty());
}

TEST_F(Documents, FailingSaveIsReportedAndLeavesTheFile)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    const QByteArray before = ReadFileBytes(path("a.php"));
    form()->ui().re->insert("lost? ");
    // A folder in the way of the save's temporary file's rename target.
    QFile::remove(path("a.php"));
    QDir().mkpath(path("a.php"));
    form()->item("Save1")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    QDir(path("a.php")).removeRecursively();
    WriteFileBytes(path("a.php"), before);
    EXPECT_EQ(ReadFileBytes(path("a.php")), before);
}

TEST_F(Documents, ExternalChangeIsOfferedOncePerChange)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    form()->ui().re->setCaretLine(5);
    form()->documents().OpenFileAtLine(path("b.php"), true);
    form()->documents().OpenFileAtLine(path("a.php"), true); // back at line 5
    WriteFileBytes(path("a.php"), "changed elsewhere\nsecond\nthird\nfourth\nfifth\nsixth\n");
    touch(path("a.php"), 10);

    dialogs.yesNoAnswers.push_back(false);
    form()->AppEventsActivate();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0],
              "Warning|File " + path("a.php") + " was modified externally. Reload?");
    EXPECT_TRUE(form()->ui().re->lineText(0).startsWith("a.php line 1"));
    form()->AppEventsActivate();
    EXPECT_EQ(dialogs.questions.size(), 1u); // not asked twice for one change

    touch(path("a.php"), 20);
    dialogs.yesNoAnswers.push_back(true);
    form()->AppEventsActivate();
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(form()->ui().re->lineText(0), "changed elsewhere");
    EXPECT_EQ(form()->ui().re->caretLine(), 5); // the remembered line

    // A vanished file is not tested.
    QFile::remove(path("a.php"));
    form()->AppEventsActivate();
    EXPECT_EQ(dialogs.questions.size(), 2u);
}

TEST_F(Documents, FirstParameterOpensADocumentOrAProject)
{
    start({path("inc/db.php")});
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().OpenedFile, path("inc/db.php"));

    // Only the exact lower-case extension marks a project here.
    WriteFileBytes(path("shop.WDX"), "<WENDLOR_Project/>");
    start({path("shop.WDX")});
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().OpenedFile, path("shop.WDX"));
    EXPECT_EQ(form()->project().FileName, "");

    WriteFileBytes(path("shop.wdx"), "<WENDLOR_Project>\r\n   <file path=\"b.php\" line=\"3\" "
                                     "publish=\"True\"/>\r\n</WENDLOR_Project>\r\n");
    start({path("shop.wdx")});
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().FileName, path("shop.wdx"));
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));
    EXPECT_EQ(form()->ui().re->caretLine(), 4);
}

TEST_F(Documents, MessagesRowsJumpThroughTheirFileColumns)
{
    form()->messagePanel().ClearMessages();
    EXPECT_EQ(form()->ui().messages->rowCount(), 1);
    EXPECT_EQ(form()->ui().messages->columnWidth(0), 2000);
    form()->messagePanel().AddMessage("");
    form()->messagePanel().AddMessage("run error(3): boom");
    EXPECT_EQ(form()->ui().messages->rowCount(), 1); // row 0 was empty, so reused
    form()->messagePanel().AddMessage("inc/db.php line 40");
    form()->messagePanel().SetMessageCell(1, 1, path("inc/db.php"));
    form()->messagePanel().SetMessageCell(2, 1, "40");
    EXPECT_EQ(form()->ui().messages->rowCount(), 2);

    form()->messagePanel().ShowMessages();
    form()->ui().messages->setCurrentCell(0, 0);
    form()->messagePanel().messagesDblClick(nullptr);
    EXPECT_EQ(form()->project().OpenedFile, ""); // the run row points nowhere

    form()->ui().messages->setCurrentCell(1, 0);
    form()->ui().messages->setFocus();
    QTest::keyClick(form()->ui().messages, Qt::Key_Return);
    EXPECT_EQ(form()->project().OpenedFile, path("inc/db.php"));
    EXPECT_EQ(form()->ui().re->caretLine(), 40);
    EXPECT_EQ(form()->ui().re->selectedText(), "inc/db.php line 40");
}

TEST_F(Documents, ManyRowsAtOnceFollowTheRowByRowRule)
{
    const QList<MessagesController::MessageRow> rows = {
        {"", "", ""}, {"first", "/f", "1"}, {"second", "/g", "2"}, {"third", "", ""}};
    form()->messagePanel().ClearMessages();
    form()->messagePanel().AddMessageRows(rows);
    QStringList bulk;
    for (int r = 0; r < form()->ui().messages->rowCount(); ++r)
        bulk << form()->messagePanel().MessageCell(0, r) + '|' +
                    form()->messagePanel().MessageCell(1, r) + '|' +
                    form()->messagePanel().MessageCell(2, r);

    form()->messagePanel().ClearMessages();
    for (const auto &row : rows) {
        form()->messagePanel().AddMessage(row.text);
        const int last = form()->ui().messages->rowCount() - 1;
        form()->messagePanel().SetMessageCell(1, last, row.file);
        form()->messagePanel().SetMessageCell(2, last, row.line);
    }
    QStringList single;
    for (int r = 0; r < form()->ui().messages->rowCount(); ++r)
        single << form()->messagePanel().MessageCell(0, r) + '|' +
                      form()->messagePanel().MessageCell(1, r) + '|' +
                      form()->messagePanel().MessageCell(2, r);
    EXPECT_EQ(bulk, single);
    EXPECT_EQ(bulk, (QStringList{"first|/f|1", "second|/g|2", "third||"}));
}
