#include "app_fixture.h"

#include "app/test_driver.h"
#include "editor/code_editor.h"
#include "forms/frame_browser.h"
#include "foundation/reg_string.h"
#include "foundation/settings_store.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {
struct MenuRow {
    const char *menu;     // name of the menu that holds the item
    const char *name;     // component name, empty for a separator
    const char *caption;
    const char *shortcut;
};

// The main menu in display order, hidden menu and popups included.
const MenuRow MenuTable[] = {
    {"File1", "New3", "&New", ""},
    {"File1", "Open1", "&Open...", ""},
    {"File1", "Open2", "Open P&roject...", ""},
    {"File1", "Reopen1", "&Reopen", ""},
    {"File1", "", "", ""},
    {"File1", "Close1", "&Close", ""},
    {"File1", "", "", ""},
    {"File1", "Save1", "&Save", "Ctrl+S"},
    {"File1", "SaveProject", "Save Project", ""},
    {"File1", "Saveas2", "Save as...", ""},
    {"File1", "Saveas3", "Save Project as...", ""},
    {"File1", "", "", ""},
    {"File1", "Publish3", "FTP Publish File", ""},
    {"File1", "Publish2", "FTP Publish Project", ""},
    {"File1", "", "", ""},
    {"File1", "Exit1", "Exit", "Alt+X"},
    {"New3", "New2", "File", ""},
    {"New3", "New1", "Project", ""},
    {"Edit1", "IndentCode1", "&Indent Code", "Ctrl+I"},
    {"Search1", "Find1", "&Find", "Ctrl+F"},
    {"Search1", "Findinfiles1", "Find in File&s...", "Ctrl+Shift+F"},
    {"Search1", "Searchagain1", "Search &Again", "F3"},
    {"Search1", "", "", ""},
    {"Search1", "GotoLine1", "Goto Line...", "Ctrl+G"},
    {"View1", "CodeExplorer", "Code Explorer", ""},
    {"View1", "pmitem", "Project Manager", ""},
    {"View1", "WebPanel1", "Web Preview", ""},
    {"View1", "", "", ""},
    {"View1", "Files1", "Files...", "F4"},
    {"View1", "Allfunctionlist1", "Functions...", "F2"},
    {"View1", "FunctionList2", "Current File Functions...", ""},
    {"Project1", "ProjectAdd", "Add to Project...", ""},
    {"Project1", "", "", ""},
    {"Project1", "Publish1", "Options...", ""},
    {"Run1", "Run2", "&Run", "Alt+R"},
    {"Run1", "RunwithoutDebuging1", "Run Without Debugging", "Alt+Return"},
    {"Run1", "RunText1", "Run in Text Mode", "Alt+T"},
    {"Run1", "", "", ""},
    {"Run1", "ServerLog1", "Server &Log", ""},
    {"Tools1", "Options1", "Options...", ""},
    {"Tools1", "", "", ""},
    {"Tools1", "Run3", "phpMyAdmin...", "Alt+D"},
    {"Tools1", "cmd1", "Console", ""},
    {"Help1", "Help2", "Help", ""},
    {"Help1", "PHPnethelp1", "php.net", "F1"},
    {"Help1", "", "", ""},
    {"Help1", "WebSite1", "Home Page", ""},
    {"Help1", "", "", ""},
    {"Help1", "About1", "About...", ""},
    {"ShortCuts1", "WebPanelURL1", "WebPanel URL", "Ctrl+L"},
    {"ShortCuts1", "Code1", "Code", "Ctrl+K"},
};

QString describe(QAction *a)
{
    if (a->isSeparator())
        return QStringLiteral("-");
    return a->objectName() + u'|' + a->text() + u'|' + a->shortcut().toString();
}
} // namespace

TEST_F(AppTest, WindowsAreCreatedOnceInTheFixedOrderWithTheirCaptions)
{
    start();
    const QStringList expected = {
        "TMainForm|Quillstone",
        "Tform_run|Run",
        "Tform_files|Project Files",
        "Tform_function_list|Function List",
        "Tform_all_functions|Project Functions",
        "Tform_help|php.net",
        "Tform_run_text|form_run_text",
        "Tform_publish|Project Options",
        "Tform_advise|form_advise",
        "TOptionsForm|Environment Options",
        "TAboutForm|About",
        "TFormTrace|Trace Log (Debug Info)",
        "TAppHelpForm|Dialog",
        "Tform_run2|PHPMyAdmin",
    };
    QStringList actual;
    for (QWidget *w : windowSet().creationOrder()) {
        actual << QString::fromLatin1(w->metaObject()->className()) + u'|' + w->windowTitle();
        EXPECT_EQ(w->parent(), nullptr) << qPrintable(actual.last());
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(AppTest, MenusFollowTheTableInDisplayOrder)
{
    start();
    const QStringList bar = [&] {
        QStringList names;
        for (QAction *a : form()->menuBar()->actions())
            names << a->objectName() + u'|' + a->text() + (a->isVisible() ? "" : "|hidden");
        return names;
    }();
    EXPECT_EQ(bar, (QStringList{"File1|&File", "Edit1|&Edit", "Search1|&Search", "View1|&View",
                                "Project1|&Project", "Run1|&Run", "Tools1|Tools", "Help1|&Help",
                                "ShortCuts1|ShortCuts|hidden"}));

    QMap<QString, QStringList> expected;
    for (const MenuRow &row : MenuTable) {
        const QString name = QString::fromLatin1(row.name);
        expected[row.menu] << (name.isEmpty() ? QStringLiteral("-")
                                              : name + u'|' + row.caption + u'|' +
                                                    QKeySequence(row.shortcut).toString());
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QAction *opener = form()->item(it.key());
        ASSERT_TRUE(opener && opener->menu()) << qPrintable(it.key());
        QStringList actual;
        for (QAction *a : opener->menu()->actions())
            actual << describe(a);
        EXPECT_EQ(actual, it.value()) << qPrintable(it.key());
    }

    EXPECT_FALSE(form()->item("CodeExplorer")->isVisible());
    EXPECT_FALSE(form()->item("FunctionList2")->isVisible());
    EXPECT_TRUE(form()->item("WebPanel1")->isChecked());
    EXPECT_TRUE(form()->item("pmitem")->isCheckable());
    EXPECT_FALSE(form()->item("pmitem")->isChecked());

    QStringList popup;
    for (QAction *a : form()->ProjPopup->actions())
        popup << describe(a);
    EXPECT_EQ(popup, (QStringList{"PManProjectAdd|Add to Project...|", "dontpublish|Lock FTP Publish|",
                                  "removefromproj|Remove|Del", "Rename1|Rename|",
                                  "publishnow|FTP Publish|"}));
    ASSERT_EQ(form()->EdPopup->actions().size(), 1);
    EXPECT_EQ(describe(form()->EdPopup->actions().at(0)), "Adviser1|Completion|Ctrl+Space");
}

TEST_F(AppTest, StartsWithTheDocumentedPanelsVisible)
{
    start();
    form()->show();
    EXPECT_TRUE(form()->re->isVisible());
    EXPECT_FALSE(form()->temp_re->isVisible());
    EXPECT_FALSE(form()->messages->isVisible());
    EXPECT_FALSE(form()->CodeGrid->isVisible());
    EXPECT_FALSE(form()->ftppanel->isVisible());
    EXPECT_TRUE(form()->WebPanel->isVisible());
    EXPECT_EQ(form()->StatusPanel0->text(), "ln 1");
    EXPECT_EQ(form()->StatusPanel1->text(), "");
    EXPECT_TRUE(form()->StatusRefr->isActive());
    EXPECT_TRUE(form()->CodeExplorerRefresh->isActive());
    EXPECT_EQ(form()->StatusRefr->interval(), 1000);
}

TEST_F(AppTest, EscapeShowsAndHidesTheMessagesPanel)
{
    start();
    form()->show();
    QTest::keyClick(form()->re, Qt::Key_Escape);
    EXPECT_TRUE(form()->messages->isVisible());
    EXPECT_TRUE(form()->messagessplitter->isVisible());
    QTest::keyClick(form()->messages, Qt::Key_Escape);
    EXPECT_FALSE(form()->messages->isVisible());
    EXPECT_TRUE(form()->isVisible());
    // Other keys pass on to the editor unchanged.
    QTest::keyClicks(form()->re, "ab");
    EXPECT_EQ(form()->re->wholeText(), "ab");
}

TEST_F(AppTest, EscapeWithIdeClosesTheProgram)
{
    start({"IDE"});
    form()->show();
    QTest::keyClick(form()->re, Qt::Key_Escape);
    EXPECT_FALSE(form()->isVisible());
}

TEST_F(AppTest, StatusLineFollowsTheCaret)
{
    start();
    form()->show();
    form()->re->setWholeText("one\ntwo\nthree\n");
    form()->re->setCaretLine(3);
    form()->UpdateStatusLine();
    EXPECT_EQ(form()->StatusPanel0->text(), "ln 3");
    // A caret move by key updates the line at once, not only at the next tick.
    form()->StatusRefr->stop();
    QTest::keyClick(form()->re, Qt::Key_Up);
    EXPECT_EQ(form()->StatusPanel0->text(), "ln 2");
    QTest::keyClick(form()->re, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(form()->StatusPanel0->text(), "ln 4");
}

TEST_F(AppTest, FirstActivationActsOnceOnTheSwitches)
{
    start({"address", "http://127.0.0.1:8123/shop"});
    form()->show();
    form()->AppEventsActivate();
    EXPECT_FALSE(form()->firstActivationPending());
    EXPECT_EQ(form()->Project.RunAddress, "http://127.0.0.1:8123/shop");
    EXPECT_TRUE(form()->item("pmitem")->isChecked());
    EXPECT_TRUE(form()->PrTree->isVisible());
    // Later activations leave the run address alone.
    form()->Project.RunAddress = "http://127.0.0.1/other";
    form()->AppEventsActivate();
    EXPECT_EQ(form()->Project.RunAddress, "http://127.0.0.1/other");
}

TEST_F(AppTest, AddressAsLastParameterGivesAnEmptyRunAddress)
{
    start({"address"});
    form()->AppEventsActivate();
    EXPECT_EQ(form()->Project.RunAddress, "");
}

TEST_F(AppTest, TestCommandsRunInOrderWithExactKeywords)
{
    struct Case {
        QStringList parameters;
        bool closes;
        QStringList messages;
    };
    const QString missing = QStringLiteral("Testing: file1 on click not defined.src/app/test_driver.cpp:");
    const std::vector<Case> cases = {
        {{"click", "Exit1"}, true, {}},
        {{"click", "EXIT1"}, true, {}},
        {{"CLICK", "Exit1"}, false, {}},
        {{"click", "click", "Exit1"}, true, {}},
        {{"click", "File1"}, false, {missing}},
        {{"click", "nosuchitem", "timer", "StatusRefr"}, false, {}},
        {{"Exit1", "click"}, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.parameters.join(' ')));
        dialogs.messages.clear();
        start(c.parameters);
        form()->show();
        form()->AppEventsActivate();
        EXPECT_EQ(form()->isVisible(), !c.closes);
        ASSERT_EQ(dialogs.messages.size(), static_cast<size_t>(c.messages.size()));
        for (int i = 0; i < c.messages.size(); ++i) {
            EXPECT_TRUE(dialogs.messages[i].startsWith(c.messages[i])) << qPrintable(dialogs.messages[i]);
            // The location is this program's own source line, a number.
            bool isNumber = false;
            dialogs.messages[i].mid(c.messages[i].size()).toInt(&isNumber);
            EXPECT_TRUE(isNumber) << qPrintable(dialogs.messages[i]);
        }
    }
}

TEST_F(AppTest, TimerCommandStartsTheNamedTimer)
{
    start({"timer", "codeexplorerrefresh"});
    form()->CodeExplorerRefresh->stop();
    form()->StatusRefr->stop();
    form()->AppEventsActivate();
    EXPECT_TRUE(form()->CodeExplorerRefresh->isActive());
    EXPECT_FALSE(form()->StatusRefr->isActive());
}

TEST_F(AppTest, ClickCallsHiddenItemsDirectlyWithoutToggling)
{
    start();
    form()->show();
    ClickByName(form(), "PMITEM");
    // The handler runs as a click would, but the check mark does not move.
    EXPECT_FALSE(form()->item("pmitem")->isChecked());
    EXPECT_FALSE(form()->PrTree->isVisible());
    form()->item("pmitem")->trigger();
    EXPECT_TRUE(form()->item("pmitem")->isChecked());
    EXPECT_TRUE(form()->PrTree->isVisible());
}

TEST_F(AppTest, OptionsStoreTheCheckboxOnlyOnOk)
{
    start();
    const QString key = SettingKeyPath("ActivateOnReturn");
    bool seenChecked = false;
    dialogs.onModal = [&](QWidget *w) {
        auto *box = w->findChild<QCheckBox *>();
        seenChecked = box->isChecked();
        box->setChecked(false);
        return int(QDialog::Rejected);
    };
    form()->item("Options1")->trigger();
    EXPECT_TRUE(seenChecked); // the default is on
    EXPECT_EQ(UserSettings().readValue(key, "String"), "");

    dialogs.onModal = [&](QWidget *w) {
        w->findChild<QCheckBox *>()->setChecked(false);
        return int(QDialog::Accepted);
    };
    form()->item("Options1")->trigger();
    EXPECT_EQ(UserSettings().readValue(key, "String"), "0");

    // OK stores the state even when unchanged.
    dialogs.onModal = [&](QWidget *w) {
        seenChecked = w->findChild<QCheckBox *>()->isChecked();
        return int(QDialog::Accepted);
    };
    UserSettings().writeValue(key, "String", "False");
    form()->item("Options1")->trigger();
    EXPECT_FALSE(seenChecked);
    EXPECT_EQ(UserSettings().readValue(key, "String"), "0");
}

TEST_F(AppTest, ErrorsOfAHandlerReachTheErrorBoxAndTheProgramGoesOn)
{
    start();
    WriteFileBytes(dir.filePath("blocker"), "x");
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("blocker/settings.ini")));
    dialogs.onModal = [](QWidget *) { return int(QDialog::Accepted); };
    form()->item("Options1")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].startsWith("Cannot write the settings file")) << qPrintable(dialogs.errors[0]);
}

TEST_F(AppTest, HomePageAndConsoleGoThroughTheDesktop)
{
    start();
    form()->item("WebSite1")->trigger();
    ASSERT_EQ(desktop.urls.size(), 1);
    EXPECT_TRUE(desktop.urls[0].contains("call=fromapp"));

    // Without a project the terminal opens in the current folder.
    form()->item("cmd1")->trigger();
    ASSERT_EQ(desktop.terminals.size(), 1);
    EXPECT_EQ(desktop.terminals[0], "");

    const QString before = QDir::currentPath();
    form()->Project.FileName = dir.filePath("site/site.wdx");
    QDir().mkpath(dir.filePath("site"));
    form()->item("cmd1")->trigger();
    QDir::setCurrent(before);
    ASSERT_EQ(desktop.terminals.size(), 2);
    EXPECT_EQ(desktop.terminals[1], dir.filePath("site"));
}

TEST_F(AppTest, AboutShowsTheTitleAndVersion)
{
    start();
    QStringList texts;
    dialogs.onModal = [&](QWidget *w) {
        for (QLabel *l : w->findChildren<QLabel *>())
            texts << l->text();
        return int(QDialog::Accepted);
    };
    form()->item("About1")->trigger();
    EXPECT_TRUE(texts.contains("Quillstone"));
    EXPECT_TRUE(texts.contains("0.52 beta"));
    EXPECT_TRUE(texts.contains("php web design environment"));
}

TEST_F(AppTest, CtrlKPutsTheFocusInTheEditor)
{
    start();
    form()->show();
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->PrTree->show();
    form()->PrTree->setFocus();
    form()->item("Code1")->trigger();
    EXPECT_EQ(QApplication::focusWidget(), form()->re);
}
