#include "app_fixture.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/database_admin_window.h"
#include "forms/project_files_dialog.h"
#include "forms/run_window.h"
#include "support/php_server.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {
class Workspace : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("site");
        QDir().mkpath(site + "/inc");
        for (const char *name : {"a.php", "b.php", "inc/db.php"})
            WriteFileBytes(site + '/' + name, QByteArray(name) + " 1\n2\n3\n4\n5\n6\n7\n8\n");
        WriteFileBytes(site + "/shop.wdx",
                       "<WENDLOR_Project>\r\n"
                       "   <file path=\"a.php\" line=\"0\" publish=\"True\"/>\r\n"
                       "   <file path=\"b.php\" line=\"4\" publish=\"True\"/>\r\n"
                       "   <file path=\"inc\\db.php\" line=\"0\" publish=\"False\"/>\r\n"
                       "   <file path=\"gone.php\" line=\"0\" publish=\"False\"/>\r\n"
                       "   <address address=\"http://127.0.0.1:8000/index.php\"/>\r\n"
                       "</WENDLOR_Project>\r\n");
        start();
        form()->show();
    }
    RecordingBrowserView *preview() const
    {
        return ScopedRecordingBrowsers::of(form()->ui().WebPanel->browserView());
    }
    QStringList nodes() const
    {
        QStringList texts;
        for (QTreeWidgetItemIterator it(form()->ui().PrTree); *it; ++it)
            texts << (*it)->text(0);
        return texts;
    }
    // The node of the entry at `index`, wherever its folder put it.
    QTreeWidgetItem *node(int index) const
    {
        for (QTreeWidgetItemIterator it(form()->ui().PrTree); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toInt() == index)
                return *it;
        return nullptr;
    }

    QString site;
};
} // namespace

TEST_F(Workspace, LoadingAProjectFillsTheTreeRecentListAndPreviewAddress)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    // Folders first, then files, each by name.
    EXPECT_EQ(nodes(), (QStringList{"shop.wdx", "inc", "db.php", "a.php", "b.php", "gone.php"}));
    EXPECT_EQ(form()->project().OpenedFile, site + "/a.php");
    EXPECT_EQ(form()->ui().WebPanel->urlText(), "http://127.0.0.1:8000/index.php");
    EXPECT_EQ(form()->ui().recentFiles->files().value(0), site + "/shop.wdx");
    EXPECT_EQ(form()->windowTitle(), "shop - Quillstone - " + site + "/a.php");
    // Without a selection of the user's, the document's node is the one selected.
    EXPECT_EQ(form()->projectTree().SelectedNode(), 0);
}

TEST_F(Workspace, SelectingFileNodesOpensThemAndEnterGoesToTheEditor)
{
    // Focus goes only to a window that is active.
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->projectTree().OpenProject(site + "/shop.wdx");
    form()->item("pmitem")->setChecked(true);
    form()->handle(QStringLiteral("pmitemClick"));
    form()->ui().PrTree->setFocus();
    form()->ui().PrTree->setCurrentItem(node(1));
    EXPECT_EQ(form()->project().OpenedFile, site + "/b.php");
    EXPECT_EQ(form()->ui().re->caretLine(), 5);
    form()->ui().PrTree->setCurrentItem(form()->ui().PrTree->topLevelItem(0));
    EXPECT_EQ(form()->project().OpenedFile, site + "/b.php"); // the project node opens nothing
    form()->ui().PrTree->setCurrentItem(node(2));
    QTest::keyClick(form()->ui().PrTree, Qt::Key_Return);
    EXPECT_EQ(form()->project().OpenedFile, site + "/inc/db.php");
    EXPECT_EQ(QApplication::focusWidget(), form()->ui().re);
}

TEST_F(Workspace, PopupOffersWhatFitsTheSelectedNode)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    form()->ui().PrTree->setCurrentItem(form()->ui().PrTree->topLevelItem(0));
    form()->projectTree().ProjPopupPopup(nullptr);
    EXPECT_TRUE(form()->item("PManProjectAdd")->isVisible());
    EXPECT_FALSE(form()->item("removefromproj")->isVisible());
    EXPECT_FALSE(form()->item("Rename1")->isVisible());

    form()->ui().PrTree->setCurrentItem(node(2));
    form()->projectTree().ProjPopupPopup(nullptr);
    EXPECT_FALSE(form()->item("PManProjectAdd")->isVisible());
    EXPECT_TRUE(form()->item("dontpublish")->isVisible());
    EXPECT_TRUE(form()->item("dontpublish")->isChecked()); // inc/db.php is locked

    form()->handle(QStringLiteral("dontpublishClick"));
    EXPECT_TRUE(form()->project().Files.Get(2)->Publish);
    EXPECT_FALSE(form()->item("dontpublish")->isChecked());
    // The rebuild keeps the selection by text.
    EXPECT_EQ(form()->projectTree().SelectedNode(), 2);
}

TEST_F(Workspace, RemoveSelectsTheFollowingNodeAndRenameMovesTheFile)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    form()->ui().PrTree->setCurrentItem(node(1));
    form()->handle(QStringLiteral("removefromprojClick"));
    EXPECT_EQ(nodes(), (QStringList{"shop.wdx", "inc", "db.php", "a.php", "gone.php"}));
    EXPECT_EQ(form()->projectTree().SelectedNode(), 2); // gone.php followed b.php
    EXPECT_TRUE(QFileInfo::exists(site + "/b.php"));

    form()->ui().PrTree->setCurrentItem(node(2));
    form()->handle(QStringLiteral("removefromprojClick"));
    EXPECT_EQ(form()->projectTree().SelectedNode(),
              ProjectTreeController::NoNode); // the last node had no follower

    form()->ui().PrTree->setCurrentItem(node(1));
    dialogs.promptAnswers.push_back(QString("Data.php"));
    form()->handle(QStringLiteral("Rename1Click"));
    EXPECT_EQ(dialogs.prompts.back(), "Rename|New name");
    EXPECT_TRUE(QFileInfo::exists(site + "/inc/Data.php"));
    EXPECT_FALSE(QFileInfo::exists(site + "/inc/db.php"));
    EXPECT_EQ(form()->project().Files.Get(1)->Name, site + "/inc/Data.php");

    // A rename onto an existing file is refused and changes nothing.
    dialogs.promptAnswers.push_back(QString("../a.php"));
    form()->ui().PrTree->setCurrentItem(node(1));
    form()->item("Rename1")->trigger();
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(form()->project().Files.Get(1)->Name, site + "/inc/Data.php");
}

TEST_F(Workspace, SaveProjectAsWritesAndReadsBack)
{
    form()->documents().OpenFileAtLine(site + "/a.php", true);
    form()->item("SaveProject")->trigger(); // never saved: asks for a name
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0], "save|Wendlor Project |*.wdx");
    dialogs.saveAnswers.push_back(site + "/new.wdx");
    form()->item("Saveas3")->trigger();
    EXPECT_EQ(form()->project().FileName, site + "/new.wdx");
    EXPECT_TRUE(ReadFileBytes(site + "/new.wdx").contains("<file path=\"a.php\""));
    EXPECT_EQ(form()->ui().recentFiles->files().value(0), site + "/new.wdx");

    // New Project: empty and unnamed, run address kept.
    form()->project().RunAddress = "http://127.0.0.1:9000";
    form()->item("New1")->trigger();
    EXPECT_EQ(nodes(), QStringList{""});
    EXPECT_TRUE(form()->ui().re->wholeText().isEmpty());
    EXPECT_EQ(form()->project().RunAddress, "http://127.0.0.1:9000");
}

TEST_F(Workspace, ClosingSavesTheProjectAndTheDocument)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    // A document the user opened is a change the project remembers (the
    // one the program opened by itself is not: see the safety tests).
    form()->documents().OpenFileAtLine(site + "/b.php", true);
    form()->ui().re->setCaretLine(3);
    form()->ui().re->insert("closing ");
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(ReadFileBytes(site + "/b.php").contains("closing"));
    const QByteArray saved = ReadFileBytes(site + "/shop.wdx");
    EXPECT_TRUE(saved.contains("<opened path=\"" + (site + "/b.php").toUtf8() + "\"/>"))
        << saved.constData();
}

TEST_F(Workspace, AFailingSaveAtExitKeepsTheWindowOpen)
{
    form()->documents().OpenFileAtLine(site + "/a.php", true);
    form()->ui().re->insert("precious ");
    QFile::remove(site + "/a.php");
    QDir().mkpath(site + "/a.php"); // the save cannot replace a folder
    form()->close();
    EXPECT_TRUE(form()->isVisible()); // unanswered: the harmless answer, stay
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_TRUE(dialogs.choices[0].contains("a.php could not be saved:"))
        << qPrintable(dialogs.choices[0]);
    EXPECT_TRUE(dialogs.choices[0].endsWith("|&Quit without saving/&Stay"));
    // Quitting without saving is the user's choice and always possible.
    dialogs.choiceAnswers.push_back(0);
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(QFileInfo(site + "/a.php").isDir());
    QDir(site + "/a.php").removeRecursively();
}

TEST_F(Workspace, FilesDialogSelectsTheCurrentDocumentAndOpensTheChoice)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    form()->documents().OpenFileAtLine(site + "/b.php", true);
    QStringList rows;
    int current = -1;
    dialogs.onModal = [&](QWidget *w) {
        auto *files = static_cast<ProjectFilesDialog *>(w);
        for (int i = 0; i < files->grid->rowCount(); ++i)
            rows << files->grid->item(i, 0)->text();
        current = files->grid->currentRow();
        files->Edit1->setText("inc");
        return int(QDialog::Accepted);
    };
    form()->item("Files1")->trigger();
    EXPECT_EQ(rows, (QStringList{"a.php", "b.php", "inc/db.php", "gone.php"}));
    EXPECT_EQ(current, 1);
    EXPECT_EQ(form()->project().OpenedFile, site + "/inc/db.php");
}

TEST_F(Workspace, PreviewFollowsTheRunAddressAndReloadsOnTheSecondSave)
{
    // A server answers at the address, so the preview goes there.
    PhpServer server(site);
    const QString page = server.url("a.php");
    form()->documents().OpenFileAtLine(site + "/a.php", true);
    form()->ui().WebPanel->setUrlText(page);
    EXPECT_EQ(form()->project().RunAddress, page);
    form()->item("Save1")->trigger();
    EXPECT_EQ(preview()->navigations, QStringList{page});
    EXPECT_EQ(preview()->reloads, 0);
    form()->item("Save1")->trigger();
    EXPECT_EQ(preview()->navigations.size(), 2);
    EXPECT_EQ(preview()->reloads, 1);
    EXPECT_EQ(windows().runWindow->browser()->urlText(), page);
    // The program's own saves do not touch the preview.
    form()->handle(QStringLiteral("SaveFileClick"));
    EXPECT_EQ(preview()->navigations.size(), 2);

    // A link followed in the preview becomes the run address, rewritten.
    preview()->fireBeforeNavigate(page + "?x=1");
    EXPECT_EQ(form()->project().RunAddress, page + "/?x=1");
}

TEST_F(Workspace, WebPreviewToggleAndCtrlL)
{
    form()->item("WebPanel1")->trigger();
    EXPECT_FALSE(form()->ui().WebPanel->isVisible());
    EXPECT_FALSE(form()->ui().WebPanelSplit->isVisible());
    form()->handle(QStringLiteral("WebPanelURL1Click"));
    EXPECT_NE(QApplication::focusWidget(), form()->ui().WebPanel->URL);
    form()->item("WebPanel1")->trigger();
    EXPECT_TRUE(form()->ui().WebPanel->isVisible());
    EXPECT_TRUE(form()->ui().WebPanelSplit->isVisible());
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->handle(QStringLiteral("WebPanelURL1Click"));
    EXPECT_EQ(QApplication::focusWidget(), form()->ui().WebPanel->URL);
}

TEST_F(Workspace, PhpMyAdminWritesTheDatabaseAddressBack)
{
    QString shown;
    dialogs.onModal = [&](QWidget *w) {
        auto *frame = static_cast<DatabaseAdminWindow *>(w)->browser();
        shown = frame->urlText();
        frame->setUrlText("http://127.0.0.1/phpmyadmin/");
        return 0;
    };
    form()->item("Run3")->trigger();
    EXPECT_EQ(shown, "http://127.0.0.1/pa/");
    EXPECT_EQ(form()->project().DatabaseAddress, "http://127.0.0.1/phpmyadmin/");
    // The window does not navigate by itself.
    EXPECT_TRUE(ScopedRecordingBrowsers::of(windows().databaseAdminWindow->browser()->browserView())
                    ->navigations.isEmpty());
}

TEST_F(Workspace, RenamingTheOpenDocumentMovesItsName)
{
    form()->projectTree().OpenProject(site + "/shop.wdx"); // a.php is open
    form()->ui().re->insert("unsaved ");
    form()->ui().PrTree->setCurrentItem(node(0));
    dialogs.promptAnswers.push_back(QString("index.php"));
    form()->handle(QStringLiteral("Rename1Click"));
    EXPECT_EQ(form()->project().OpenedFile, site + "/index.php");
    form()->handle(QStringLiteral("SaveFileClick"));
    EXPECT_TRUE(ReadFileBytes(site + "/index.php").startsWith("unsaved a.php"));
    EXPECT_FALSE(QFileInfo::exists(site + "/a.php"));
}

TEST_F(Workspace, AProjectThatCannotLoadLeavesProjectAndEditorAlone)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    form()->ui().re->insert("unsaved ");
    form()->item("Open2"); // the menu exists; the dialog answers below
    dialogs.openAnswers.push_back({site + "/missing.wdx"});
    form()->item("Open2")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "XML Load: file doesn't exist" + site + "/missing.wdx");
    EXPECT_TRUE(form()->ui().re->wholeText().startsWith("unsaved a.php"));
    EXPECT_EQ(form()->project().FileName, site + "/shop.wdx");

    WriteFileBytes(site + "/wrong.wdx", "<wendlor_project/>");
    dialogs.openAnswers.push_back({site + "/wrong.wdx"});
    dialogs.choiceAnswers.push_back(1); // discard the unsaved text, then the load fails
    form()->item("Open2")->trigger();
    EXPECT_EQ(dialogs.choices.size(), 1u);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0], "XML parse - wrong format");
    EXPECT_TRUE(form()->ui().re->wholeText().startsWith("unsaved a.php"));
    EXPECT_EQ(form()->project().FileName, site + "/shop.wdx");
    EXPECT_EQ(form()->project().Files.Count(), 4);

    // Open... of a project file in capitals opens it as a project.
    QFile::copy(site + "/shop.wdx", site + "/COPY.WDX");
    dialogs.openAnswers.push_back({site + "/COPY.WDX"});
    dialogs.choiceAnswers.push_back(1);
    form()->item("Open1")->trigger();
    EXPECT_EQ(form()->project().FileName, site + "/COPY.WDX");
}

TEST_F(Workspace, AddToProjectStartsInTheProjectFolder)
{
    form()->projectTree().OpenProject(site + "/shop.wdx");
    WriteFileBytes(site + "/c.php", "c\n");
    dialogs.openAnswers.push_back({site + "/c.php", site + "/b.php"});
    form()->item("ProjectAdd")->trigger();
    EXPECT_EQ(dialogs.startFolders.back(), site);
    EXPECT_EQ(form()->project().Files.Count(), 5);
    EXPECT_EQ(form()->project().OpenedFile, site + "/b.php");
    EXPECT_EQ(nodes().size(), 7); // the tree was rebuilt
}
