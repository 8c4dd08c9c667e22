// The user's work is never lost and the program can always be left: the real
// window with scripted dialogs and real key events, grouped by promise.
#include "app/document_recovery.h"
#include "app/project_instance.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/compare_dialog.h"
#include "forms/find_in_files_dialog.h"
#include "forms/project_files_dialog.h"
#include "forms/project_functions_dialog.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {
class Safety : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("Site");
        QDir().mkpath(site);
        for (const char *name : {"a.php", "b.php", "B.php", "c.php"}) {
            QString text;
            for (int i = 1; i <= 20; ++i)
                text += QStringLiteral("%1 line %2\n").arg(QString::fromLatin1(name)).arg(i);
            WriteFileBytes(site + '/' + name, text.toUtf8());
        }
        start();
        form()->show();
        form()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    }
    QString path(const char *name) const { return site + '/' + QString::fromLatin1(name); }
    CodeEditor *editor() const { return form()->ui().re; }
    QString entryNames() const
    {
        QStringList names;
        form()->project().ListFileNames(names);
        return names.join('|');
    }
    // A project file in `folder` listing `files` (relative) and naming `opened`.
    static QString writeProject(const QString &folder, const QStringList &files,
                                const QString &opened)
    {
        QByteArray xml = "<WENDLOR_Project>\r\n";
        for (const QString &file : files)
            xml += "   <file path=\"" + file.toUtf8() + "\" line=\"0\" publish=\"True\"/>\r\n";
        xml += "   <opened path=\"" + opened.toUtf8() + "\"/>\r\n</WENDLOR_Project>\r\n";
        const QString project = folder + "/shop.wdx";
        WriteFileBytes(project, xml);
        return project;
    }
    QStringList treeTexts() const
    {
        QStringList texts;
        for (QTreeWidgetItemIterator it(form()->ui().PrTree); *it; ++it)
            texts << (*it)->text(0);
        return texts;
    }
    QString lastChoice() const
    {
        return dialogs.choices.empty() ? QString() : dialogs.choices.back();
    }

    QString site;
};

const QString SaveQuestion = QStringLiteral("|&Save/&Discard/Cancel");
constexpr int Save = 0, Discard = 1;
constexpr int Overwrite = 0, Reload = 1;
constexpr int Stay = 0;

// Rewrites a file as another program would, `msLater` after its present time.
void rewriteLater(const QString &file, const QByteArray &bytes, int msLater)
{
    const QDateTime before = QFileInfo(file).lastModified();
    WriteFileBytes(file, bytes);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(before.addMSecs(msLater), QFileDevice::FileModificationTime));
}
} // namespace

// ---- No silent drop --------------------------------------------------------

TEST_F(Safety, CloseNewAndNewProjectAskOnlyAboutModifiedText)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    editor()->insert("typed ");
    form()->item("Close1")->trigger(); // unanswered: Cancel
    EXPECT_EQ(lastChoice(), "Unsaved changes|Save changes to a.php?" + SaveQuestion);
    EXPECT_TRUE(editor()->wholeText().startsWith("typed a.php line 1"));
    EXPECT_EQ(form()->project().OpenedFile, path("a.php"));
    EXPECT_EQ(form()->project().Files.Count(), 1);

    dialogs.choiceAnswers.push_back(Save);
    form()->item("Close1")->trigger();
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("typed a.php line 1"));
    EXPECT_EQ(form()->project().Files.Count(), 0);
    EXPECT_TRUE(editor()->wholeText().isEmpty());

    // Nothing typed: New asks nothing; typed, it asks nothing either, since
    // the text stays open in its own tab.
    form()->item("New2")->trigger();
    EXPECT_EQ(dialogs.choices.size(), 2u);
    editor()->insert("scratch");
    form()->item("New2")->trigger();
    EXPECT_EQ(dialogs.choices.size(), 2u);
    EXPECT_TRUE(editor()->wholeText().isEmpty());
    // New > Project replaces every document: the unsaved one is asked about.
    dialogs.choiceAnswers.push_back(Discard);
    form()->item("New1")->trigger();
    EXPECT_EQ(lastChoice(), "Unsaved changes|Save changes to Untitled?" + SaveQuestion);
    EXPECT_EQ(dialogs.choices.size(), 3u);
    EXPECT_TRUE(editor()->wholeText().isEmpty());

    // Save on an unnamed document asks for a name; cancelling it keeps the text.
    editor()->insert("kept");
    dialogs.choiceAnswers.push_back(Save);
    form()->item("Close1")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back(), "save|PHP files|*.php|Any file|*.*");
    EXPECT_EQ(editor()->wholeText(), "kept");
}

TEST_F(Safety, SwitchingAwayFromAnUnnamedOrDeletedDocumentKeepsItsText)
{
    editor()->insert("draft");
    form()->documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_TRUE(dialogs.choices.empty());
    EXPECT_EQ(form()->project().OpenedFile, path("a.php"));
    // The draft waits in its tab.
    form()->documents().PreviousTab1Click(nullptr);
    EXPECT_EQ(editor()->wholeText(), "draft");
    EXPECT_EQ(form()->project().OpenedFile, "");

    // A file deleted behind our back: its text stays open under its name,
    // and the silent save of leaving does not bring the file back unasked.
    form()->documents().OpenFileAtLine(path("b.php"), true);
    editor()->insert("rescued ");
    QFile::remove(path("b.php"));
    form()->documents().OpenFileAtLine(path("c.php"), true);
    EXPECT_TRUE(dialogs.choices.empty());
    EXPECT_FALSE(QFile::exists(path("b.php")));
    form()->documents().OpenFileAtLine(path("b.php"), true);
    EXPECT_TRUE(editor()->wholeText().startsWith("rescued b.php line 1"));
    // Leaving the program saves it where it was, and asks about the draft.
    dialogs.choiceAnswers.push_back(Discard);
    form()->close();
    EXPECT_EQ(lastChoice(), "Unsaved changes|Save changes to Untitled?" + SaveQuestion);
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(ReadFileBytes(path("b.php")).startsWith("rescued b.php line 1"));
}

TEST_F(Safety, OpeningAProjectAsksBeforeTheDocumentGivesWay)
{
    const QString project = writeProject(site, {"c.php"}, path("c.php"));
    form()->documents().OpenFileAtLine(path("a.php"), true);
    editor()->insert("mine ");
    dialogs.openAnswers.push_back({project});
    form()->item("Open2")->trigger(); // Cancel
    EXPECT_EQ(form()->project().FileName, "");
    EXPECT_TRUE(editor()->wholeText().startsWith("mine a.php"));

    // Reopen from the recent list asks the same way.
    dialogs.choiceAnswers.push_back(Discard);
    form()->documents().RecentFilesOpenFile(nullptr, project);
    EXPECT_EQ(dialogs.choices.size(), 2u);
    EXPECT_EQ(form()->project().FileName, project);
    EXPECT_EQ(form()->project().OpenedFile, path("c.php"));
    EXPECT_FALSE(ReadFileBytes(path("a.php")).contains("mine"));
}

// ---- No stale overwrite ----------------------------------------------------

TEST_F(Safety, SilentSavesLeaveAnUnmodifiedDocumentsFileAlone)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    rewriteLater(path("a.php"), "theirs\n", 300);
    form()->documents().OpenFileAtLine(path("b.php"), true); // switching saves silently
    form()->handle(QStringLiteral("SaveFileClick"));         // as Run and Publish do
    EXPECT_EQ(ReadFileBytes(path("a.php")), "theirs\n");
    EXPECT_TRUE(dialogs.choices.empty());
}

TEST_F(Safety, AChangeJustAfterOurSaveIsSeenAndNeverOverwrittenUnasked)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    editor()->insert("ours ");
    form()->item("Save1")->trigger();
    // Our save as if made just after the start of a two-second step...
    {
        QFile f(path("a.php"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 step = QDateTime::currentSecsSinceEpoch() / 2 * 2;
        ASSERT_TRUE(f.setFileTime(QDateTime::fromMSecsSinceEpoch(step * 1000 + 100),
                                  QFileDevice::FileModificationTime));
    }
    editor()->refreshDiskStamp();
    form()->project().RefreshStamp();
    // ...and another program's write 0.3 s later, inside the same step.
    rewriteLater(path("a.php"), "theirs\n", 300);
    form()->AppEventsActivate();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0],
              "Warning|File " + path("a.php") + " was modified externally. Reload?");

    // Kept our text, then the other program writes again before our save.
    editor()->insert("more ");
    rewriteLater(path("a.php"), "theirs again\n", 300);
    form()->documents().OpenFileAtLine(path("b.php"), true); // unanswered: Cancel
    EXPECT_TRUE(lastChoice().startsWith("Changed on disk|" + path("a.php") +
                                        " was changed by another program"));
    EXPECT_TRUE(lastChoice().endsWith("|&Overwrite/&Reload/Cancel"));
    EXPECT_EQ(form()->project().OpenedFile, path("a.php"));
    EXPECT_EQ(ReadFileBytes(path("a.php")), "theirs again\n");

    dialogs.choiceAnswers.push_back(Reload);
    form()->documents().OpenFileAtLine(path("b.php"), true);
    EXPECT_EQ(ReadFileBytes(path("a.php")), "theirs again\n");
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));

    // Overwrite is the user's word: then our text goes to disk.
    editor()->insert("b wins ");
    rewriteLater(path("b.php"), "other b\n", 300);
    dialogs.choiceAnswers.push_back(Overwrite);
    form()->item("Save1")->trigger();
    EXPECT_TRUE(ReadFileBytes(path("b.php")).startsWith("b wins b.php line 1"));
}

// ---- Always closable -------------------------------------------------------

TEST_F(Safety, AProjectOnlyReadIsNotWrittenAndAVanishedOneLetsTheUserGo)
{
    const QString project = writeProject(site, {"a.php", "b.php"}, path("a.php"));
    form()->projectTree().OpenProject(project);
    // Something the save could not write over, as a read-only file would be.
    QFile::remove(project);
    QDir().mkpath(project);
    QTest::keyClick(editor(), Qt::Key_X, Qt::AltModifier); // the first Alt+X
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(dialogs.choices.empty());
    EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(Safety, AChangedProjectThatCannotBeSavedOffersToQuitWithoutIt)
{
    const QString project = writeProject(site, {"a.php", "b.php"}, path("a.php"));
    form()->projectTree().OpenProject(project);
    form()->documents().OpenFileAtLine(path("b.php"),
                                       true); // the project changed: a line and the opened file
    QDir(site).removeRecursively();           // the whole folder is gone
    dialogs.choiceAnswers.push_back(Stay);
    form()->close();
    EXPECT_TRUE(form()->isVisible());
    EXPECT_TRUE(
        lastChoice().startsWith("Cannot save|The project " + project + " could not be saved:"));
    EXPECT_TRUE(lastChoice().endsWith("|&Stay/&Quit without saving"));
    form()->close(); // unanswered: the project's lines and settings are not worth a stay
    EXPECT_FALSE(form()->isVisible());
}

TEST_F(Safety, AProjectOnlyLookedAtKeepsItsBytesWhateverTheProgramChoseToShow)
{
    // No remembered document: the program shows the first PHP file itself.
    const QString project = writeProject(site, {"notes.txt", "b.php", "c.php"}, "");
    WriteFileBytes(path("notes.txt"), "notes\n");
    const QByteArray before = ReadFileBytes(project);
    form()->projectTree().OpenProject(project);
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(dialogs.choices.empty()) << qPrintable(lastChoice());
    EXPECT_EQ(ReadFileBytes(project), before);
}

TEST_F(Safety, ExitAsksAboutAnUnnamedDocumentOnly)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    editor()->insert("saved at exit ");
    form()->item("New2")->trigger(); // Cancel: a.php stays
    form()->handle(QStringLiteral("SaveFileClick"));
    dialogs.choices.clear();
    form()->item("New2")->trigger();
    EXPECT_TRUE(dialogs.choices.empty()); // saved, nothing to ask
    editor()->insert("unnamed");
    form()->close(); // Cancel
    EXPECT_TRUE(form()->isVisible());
    EXPECT_EQ(lastChoice(), "Unsaved changes|Save changes to Untitled?" + SaveQuestion);
    dialogs.choiceAnswers.push_back(Discard);
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("saved at exit a.php"));
}

// ---- Encodings -------------------------------------------------------------

TEST_F(Safety, Windows1252TextKeepsItsBytesAndConvertsOnlyWhenTheUserSays)
{
    // é, €, “ and ” in Windows-1252, a byte it leaves undefined, CR LF.
    const QByteArray bytes("caf\xE9 \x80 \x93q\x94 \x81\r\nend\r\n");
    WriteFileBytes(path("w.php"), bytes);
    form()->documents().OpenFileAtLine(path("w.php"), true);
    EXPECT_EQ(editor()->lineText(0).left(10), QString::fromUtf8("café € “q”"));
    form()->item("Save1")->trigger();
    EXPECT_EQ(ReadFileBytes(path("w.php")), bytes);

    // A character the code page cannot hold: asked, declined, nothing written.
    editor()->setCursorPosition(1, 3);
    editor()->insert(QString::fromUtf8("Ω"));
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(
        dialogs.questions[0].startsWith("Convert to UTF-8?|w.php is stored in Windows-1252"));
    form()->item("Save1")->trigger(); // asked again while saving: No
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(ReadFileBytes(path("w.php")), bytes);

    dialogs.yesNoAnswers.push_back(true);
    form()->item("Save1")->trigger();
    EXPECT_EQ(ReadFileBytes(path("w.php")),
              QString::fromUtf8("café € “q” \u0081\r\nendΩ\r\n").toUtf8());
}

// ---- Keys ------------------------------------------------------------------

TEST_F(Safety, EveryWindowShortcutPressedInTheEditorReachesItsCommandAndLeavesTheText)
{
    const QString text = QStringLiteral("first line\nsecond line\nthird line\n");
    // Ctrl+L, for real: the address box gets the focus, the line stays.
    editor()->setWholeText(text);
    editor()->setCursorPosition(1, 3);
    editor()->setFocus();
    QTest::keyClick(editor(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(editor()->wholeText(), text);
    ASSERT_TRUE(QApplication::focusWidget());
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "URL");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor());

    // Every other command with a window-wide shortcut: its item fires, once,
    // and the editor's text and caret are as they were.
    int checked = 0;
    // The command table's items are the window's own children.
    for (QAction *action : form()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QKeySequence shortcut = action->shortcut();
        if (shortcut.isEmpty() || action->menu() || action->shortcutContext() != Qt::WindowShortcut)
            continue;
        SCOPED_TRACE(qPrintable(action->objectName() + ' ' + shortcut.toString()));
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        int fired = 0;
        QObject::connect(action, &QAction::triggered, [&fired] { ++fired; });
        editor()->setFocus();
        editor()->setCursorPosition(1, 3);
        const QKeyCombination key = shortcut[0];
        QTest::keyClick(editor(), key.key(), key.keyboardModifiers());
        EXPECT_EQ(fired, 1);
        EXPECT_EQ(editor()->wholeText(), text);
        int line = -1, index = -1;
        editor()->getCursorPosition(&line, &index);
        EXPECT_EQ(line * 100 + index, 103);
        ++checked;
    }
    EXPECT_GE(checked, 16); // the sixteen of the menus, Ctrl+S to Ctrl+K
}

// ---- Letter case, the tree and focus -----------------------------------------

TEST_F(Safety, LetterCaseTellsFilesApartAndCloseRebuildsTheTree)
{
    form()->project().FileName = writeProject(site, {}, "");
    for (const char *name : {"B.php", "b.php", "c.php"})
        form()->documents().OpenFileAtLine(path(name), true);
    EXPECT_EQ(entryNames(), path("B.php") + '|' + path("b.php") + '|' + path("c.php"));
    form()->OnProjectUpdateExecute();
    EXPECT_EQ(treeTexts(), (QStringList{"shop.wdx", "B.php", "b.php", "c.php"}));

    // Lines are remembered per exact name.
    form()->documents().OpenFileAtLine(path("B.php"), true);
    editor()->setCaretLine(7);
    form()->documents().OpenFileAtLine(path("b.php"), true);
    EXPECT_EQ(editor()->caretLine(), 1);
    form()->documents().OpenFileAtLine(path("B.php"), true);
    EXPECT_EQ(editor()->caretLine(), 7);

    form()->documents().OpenFileAtLine(path("b.php"), true);
    form()->item("Close1")->trigger();
    EXPECT_EQ(entryNames(), path("B.php") + '|' + path("c.php"));
    EXPECT_EQ(treeTexts(), (QStringList{"shop.wdx", "B.php", "c.php"}));
    // Each node opens its own file.
    QTreeWidgetItem *c = form()->ui().PrTree->topLevelItem(0)->child(1);
    form()->ui().PrTree->setCurrentItem(c);
    EXPECT_EQ(form()->project().OpenedFile, path("c.php"));
}

TEST_F(Safety, AProjectOpensOnlyItsOwnFiles)
{
    // A copy of the site whose project still names the original's document.
    const QString copy = dir.filePath("Copy");
    QDir().mkpath(copy);
    for (const char *name : {"notes.txt", "b.php"})
        WriteFileBytes(copy + '/' + name, "copy\n");
    const QString copied = writeProject(copy, {"notes.txt", "b.php"}, path("a.php"));
    form()->projectTree().OpenProject(copied);
    EXPECT_EQ(form()->project().OpenedFile, copy + "/b.php"); // its first PHP entry
    EXPECT_EQ(editor()->wholeText(), "copy\n");

    // The stored document is an entry but gone, and no PHP file is left:
    // nothing opens, and no empty document takes the missing name.
    QFile::remove(copy + "/b.php");
    const QString bare = writeProject(copy, {"notes.txt", "b.php"}, copy + "/b.php");
    form()->projectTree().OpenProject(bare);
    EXPECT_EQ(form()->project().OpenedFile, "");
    EXPECT_TRUE(editor()->wholeText().isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(form()->windowTitle(), "shop - Quillstone");
}

TEST_F(Safety, AFileOpenedWithTheMouseTakesTheKeys)
{
    const QString project = writeProject(site, {"a.php", "b.php", "c.php"}, path("a.php"));
    form()->projectTree().OpenProject(project);
    form()->item("pmitem")->setChecked(true);
    form()->handle(QStringLiteral("pmitemClick"));
    QTreeWidget *tree = form()->ui().PrTree;
    QTreeWidgetItem *b = tree->topLevelItem(0)->child(1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(b).center());
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));
    EXPECT_EQ(QApplication::focusWidget(), editor());

    // The arrow keys keep walking the tree, opening as they go.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(form()->project().OpenedFile, path("c.php"));
    EXPECT_EQ(QApplication::focusWidget(), tree);

    // The files dialog hands the keys to the editor as well.
    dialogs.onModal = [](QWidget *window) {
        auto *files = static_cast<ProjectFilesDialog *>(window);
        files->grid->setCurrentCell(0, 0);
        return int(QDialog::Accepted);
    };
    form()->item("Files1")->trigger();
    EXPECT_EQ(form()->project().OpenedFile, path("a.php"));
    EXPECT_EQ(QApplication::focusWidget(), editor());
}

TEST_F(Safety, AProjectGivingWayToAnotherKeepsItsSettings)
{
    // A saved project is written as at exit: the exclusions typed a moment
    // ago are in its file after another project was opened.
    const QString first = writeProject(site, {"a.php"}, path("a.php"));
    form()->projectTree().OpenProject(first);
    form()->project().Ftp.Exclude = QStringList{".env"};
    const QString other = dir.filePath("Other");
    QDir().mkpath(other);
    WriteFileBytes(other + "/x.php", "<?php\n");
    const QString second = writeProject(other, {"x.php"}, other + "/x.php");
    form()->projectTree().OpenProject(second);
    EXPECT_EQ(form()->project().FileName, second);
    EXPECT_TRUE(ReadFileBytes(first).contains("<exclude pattern=\".env\"/>"));

    // One that cannot be written asks; staying keeps it open, unchanged.
    form()->project().Ftp.Host = "typed.example";
    QDir(other).removeRecursively();
    form()->projectTree().OpenProject(first);
    EXPECT_EQ(form()->project().FileName, second); // unanswered: Stay
    EXPECT_EQ(form()->project().Ftp.Host, "typed.example");
    EXPECT_TRUE(lastChoice().startsWith("Cannot save|The project " + second))
        << qPrintable(lastChoice());
    dialogs.choiceAnswers.push_back(0); // go on without saving
    form()->projectTree().OpenProject(first);
    EXPECT_EQ(form()->project().FileName, first);
}

TEST_F(Safety, AProjectOpenElsewhereGivesWayOnlyWhileThatWindowIsThere)
{
    const QString project = writeProject(site, {"a.php"}, path("a.php"));
    auto other = std::make_unique<ProjectInstance>();
    other->hold(project);
    dialogs.choiceAnswers = {1, 1}; // Bring it to the front, twice
    form()->projectTree().OpenProject(project);
    ASSERT_TRUE(lastChoice().startsWith("Project already open|")) << qPrintable(lastChoice());
    EXPECT_NE(form()->project().FileName, project);

    // The other window closes while the question is up: this one opens it.
    dialogs.onChoice = [&] { other.reset(); };
    form()->projectTree().OpenProject(project);
    EXPECT_EQ(dialogs.choices.size(), 2u);
    EXPECT_EQ(form()->project().FileName, project);
}

TEST_F(Safety, ANeverSavedProjectWithPublishingSettingsAsksBeforeItGoes)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    // Only files opened lately: no question.
    form()->item("New1")->trigger();
    EXPECT_TRUE(dialogs.choices.empty()) << qPrintable(lastChoice());

    form()->project().Ftp.Host = "typed.example";
    form()->item("New1")->trigger();
    EXPECT_TRUE(lastChoice().startsWith("Save Project|The project was never saved."))
        << qPrintable(lastChoice());
    EXPECT_EQ(form()->project().Ftp.Host, "typed.example"); // unanswered: Cancel

    dialogs.choiceAnswers.push_back(0); // Save..., then the save dialog is cancelled
    form()->item("New1")->trigger();
    EXPECT_EQ(form()->project().Ftp.Host, "typed.example");

    dialogs.choiceAnswers.push_back(0); // Save... under a name
    dialogs.saveAnswers.push_back(site + "/kept.wdx");
    form()->item("New1")->trigger();
    EXPECT_TRUE(ReadFileBytes(site + "/kept.wdx").contains("host=\"typed.example\""));
    EXPECT_TRUE(form()->project().Ftp.Host.isEmpty());

    form()->project().Ftp.Host = "again.example";
    dialogs.choiceAnswers.push_back(1); // Discard
    form()->item("New1")->trigger();
    EXPECT_TRUE(form()->project().Ftp.Host.isEmpty());
}

// ---- Reloads that keep edits -------------------------------------------------

TEST_F(Safety, AChangeOnDiskOverUnsavedEditsKeepsThemUnlessTheUserSaysAndUndoBringsThemBack)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    editor()->insert("mine ");
    rewriteLater(path("a.php"), "theirs\n", 300);
    form()->AppEventsActivate(); // unanswered: Keep mine
    const QString asked = "Changed on disk|" + path("a.php") +
                          " was changed by another program, and the editor holds edits";
    EXPECT_TRUE(lastChoice().startsWith(asked)) << qPrintable(lastChoice());
    EXPECT_TRUE(lastChoice().endsWith("|&Reload (discarding your edits)/&Compare/&Keep mine"));
    EXPECT_TRUE(editor()->wholeText().startsWith("mine a.php line 1"));
    EXPECT_EQ(ReadFileBytes(path("a.php")), "theirs\n");
    form()->AppEventsActivate(); // the same change is not asked about twice
    EXPECT_EQ(dialogs.choices.size(), 1u);

    // Compare shows both sides, then reloads on the user's word.
    rewriteLater(path("a.php"), "theirs again\n", 600);
    QString shown;
    dialogs.choiceAnswers.push_back(1);
    dialogs.onModal = [&shown](QWidget *window) {
        EXPECT_EQ(window->objectName(), "form_compare");
        shown = static_cast<CompareDialog *>(window)->differences->toPlainText();
        return CompareDialog::Reload;
    };
    form()->AppEventsActivate();
    EXPECT_TRUE(shown.startsWith("@@ -1 +1 @@\n-mine a.php line 1\n-a.php line 2\n"))
        << qPrintable(shown);
    EXPECT_TRUE(shown.contains("\n+theirs again\n")) << qPrintable(shown);
    EXPECT_EQ(editor()->wholeText(), "theirs again\n");
    EXPECT_FALSE(editor()->isDocumentModified());
    editor()->undo();
    EXPECT_TRUE(editor()->wholeText().startsWith("mine a.php line 1"));

    // Without edits the plain question stays, and its reload is undoable too.
    form()->handle(QStringLiteral("SaveFileClick"));
    rewriteLater(path("a.php"), "third\n", 300);
    dialogs.yesNoAnswers.push_back(true);
    form()->AppEventsActivate();
    EXPECT_EQ(editor()->wholeText(), "third\n");
    editor()->undo();
    EXPECT_TRUE(editor()->wholeText().startsWith("mine a.php line 1"));
}

// ---- Only regular files ----------------------------------------------------------

TEST_F(Safety, PipesAndDevicesAreNeverOpenedNorReplacedAndSearchesGoPastThem)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.php")).constData(), 0644), 0);
    QFile::link(path("pipe.php"), path("link.php"));
    form()->documents().OpenFileAtLine(path("a.php"), true);
    for (const char *name : {"pipe.php", "link.php"}) {
        form()->documents().OpenFileAtLine(path(name), true);
        EXPECT_EQ(dialogs.messages.back(),
                  path(name) + " is a named pipe (FIFO); only regular files can be opened.");
    }
    EXPECT_EQ(form()->project().OpenedFile, path("a.php"));
    EXPECT_EQ(entryNames(), path("a.php"));

    // Listed anyway (by hand, or deleted since): each gets a row and the rest is searched.
    form()->project().Files.Clear();
    form()->project().AddFiles({path("pipe.php"), path("gone.php"), path("c.php")});
    WriteFileBytes(path("c.php"), "<?php\nfunction after_them() {}\n");
    dialogs.onModal = [](QWidget *w) {
        static_cast<FindInFilesDialog *>(w)->setText("after_them");
        return int(QDialog::Accepted);
    };
    form()->item("Findinfiles1")->trigger();
    QStringList rows;
    for (int row = 0; row < form()->ui().messages->rowCount(); ++row)
        rows << form()->messagePanel().MessageCell(0, row);
    EXPECT_EQ(rows, (QStringList{"function after_them() {}",
                                 "Skipped: \"" + path("pipe.php") +
                                     "\" is a named pipe (FIFO), not a regular file.",
                                 "Skipped: File not found: \"" + path("gone.php") + "\""}));
    EXPECT_TRUE(dialogs.errors.empty());

    QStringList listed;
    dialogs.onModal = [&](QWidget *) {
        auto *list = windows().projectFunctionsDialog;
        for (int row = 0; row < list->filterRowCount(); ++row)
            listed << list->filterCell(0, row);
        return int(QDialog::Rejected);
    };
    form()->handle(QStringLiteral("Allfunctionlist1Click"));
    ASSERT_EQ(listed.size(), 3);
    EXPECT_TRUE(listed.contains("function after_them() {}"));
    EXPECT_EQ(listed.filter("Skipped: ").size(), 2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path("pipe.php")).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// ---- Crash recovery ----------------------------------------------------------------

TEST_F(Safety, UnsavedTextIsCopiedAsideUntilSavedAndACopyLeftByADeadProgramIsOffered)
{
    form()->documents().OpenFileAtLine(path("a.php"), true);
    const QByteArray original = ReadFileBytes(path("a.php"));
    editor()->insert("typed ");
    DocumentRecovery &recovery = form()->documents().recovery();
    recovery.update();
    const QString folder = DocumentRecovery::folder();
    QStringList copies = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    const QString copy = folder + '/' + copies[0];
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(copy).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(ReadFileBytes(copy).contains("\n" + path("a.php").toUtf8() + "\n"));
    EXPECT_TRUE(ReadFileBytes(copy).endsWith("\n\ntyped " + original));
    EXPECT_FALSE(DocumentRecovery::read(copy)); // ours: this program still runs
    form()->item("Save1")->trigger();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());

    // A copy whose program is gone (a process that ended), written a while ago.
    QProcess ended;
    ended.start("true");
    ASSERT_TRUE(ended.waitForFinished());
    const qint64 dead = ended.processId() ? ended.processId() : 999999;
    const qint64 written = QDateTime::currentMSecsSinceEpoch() - 5 * 60 * 1000;
    WriteFileBytes(folder + "/left.txt", "Quillstone recovery 1\n" + QByteArray::number(dead) +
                                             '\n' + path("b.php").toUtf8() + '\n' +
                                             QByteArray::number(written) + "\n\nrescued\n");
    form()->documents().OfferRecovery(); // unanswered: Keep for later
    EXPECT_TRUE(lastChoice().startsWith("Recover unsaved text|Quillstone ended without saving " +
                                        path("b.php") + "; its text was copied 5 minutes ago"))
        << qPrintable(lastChoice());
    EXPECT_TRUE(lastChoice().endsWith("|&Restore/&Discard/&Keep for later"));
    EXPECT_TRUE(QFile::exists(folder + "/left.txt"));

    dialogs.choiceAnswers.push_back(0); // Restore
    form()->documents().OfferRecovery();
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));
    EXPECT_EQ(editor()->wholeText(), "rescued\n");
    EXPECT_TRUE(editor()->isDocumentModified());
    EXPECT_FALSE(QFile::exists(folder + "/left.txt"));
    editor()->undo(); // the file as it is on disk
    EXPECT_TRUE(editor()->wholeText().startsWith("b.php line 1"));

    // Text the user discards on the way out is not offered back either.
    form()->item("New2")->trigger(); // back at the save point: nothing to ask
    editor()->insert("unnamed draft");
    recovery.update();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
    dialogs.choiceAnswers.push_back(Discard);
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    recovery.update();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}
