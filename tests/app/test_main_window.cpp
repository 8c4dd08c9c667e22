#include "app/command_table.h"
#include "app/server_controller.h"
#include "app/test_driver.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "forms/browser_frame.h"
#include "forms/file_functions_dialog.h"
#include "forms/project_files_dialog.h"
#include "forms/project_functions_dialog.h"
#include "forms/project_options_dialog.h"
#include "forms/run_window.h"
#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/settings.h"
#include "foundation/settings_store.h"
#include "foundation/version.h"
#include "support/php_server.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>

TEST_F(AppTest, WindowsAreCreatedOnceInTheFixedOrderWithTheirCaptions)
{
    start();
    const QStringList expected = {
        "MainForm|Quillstone",
        "form_run|Run",
        "form_files|Project Files",
        "form_function_list|Function List",
        "form_all_functions|Project Functions",
        "form_help|php.net",
        "form_run_text|Run in Text Mode",
        "form_publish|Project Options",
        "form_advise|PHP Manual",
        "OptionsForm|Environment Options",
        "AboutForm|About",
        "FormTrace|Trace Log (Debug Info)",
        "AppHelpForm|Help",
        "form_run2|PHPMyAdmin",
        "form_publish_preview|Publish Preview",
    };
    QStringList actual;
    for (QWidget *w : windowSet().creationOrder()) {
        actual << w->objectName() + u'|' + w->windowTitle();
        EXPECT_EQ(w->parent(), nullptr) << qPrintable(actual.last());
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(AppTest, EveryItemHasAHandlerAndEveryHandlerAnItem)
{
    start();
    int commands = 0;
    for (QAction *action : form()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->objectName().isEmpty() || action->menu())
            continue;
        ++commands;
        EXPECT_TRUE(ClickHandlerOf(action)) << qPrintable(action->objectName());
        EXPECT_EQ(form()->item(action->objectName().toUpper()), action);
    }
    const auto rows = MainWindowCommands();
    EXPECT_EQ(commands, std::count_if(rows.begin(), rows.end(), [](const CommandRow &row) {
                  return row.kind == CommandRow::Kind::Command;
              }));
    EXPECT_EQ(UnboundHandlers(MainWindow::staticMetaObject), QStringList());
    // Handlers are reached by their names through the table; a name no row has is refused.
    EXPECT_THROW(form()->handle(QStringLiteral("Open1")), AppError);
    EXPECT_THROW(form()->handle(QStringLiteral("NoSuchClick")), AppError);
    // A menu that only opens its submenu has no handler of its own.
    EXPECT_FALSE(ClickHandlerOf(form()->item("File1")));

    EXPECT_FALSE(form()->item("ShortCuts1")->isVisible());
    // The explorer is reachable: it is the PHP outline.
    EXPECT_TRUE(form()->item("CodeExplorer")->isVisible());
    EXPECT_FALSE(form()->item("FunctionList2")->isVisible());
    EXPECT_TRUE(form()->item("WebPanel1")->isChecked());
    EXPECT_TRUE(form()->item("pmitem")->isCheckable());
    EXPECT_FALSE(form()->item("pmitem")->isChecked());
}

TEST_F(AppTest, ShortcutsReachTheirCommandsThroughRealKeys)
{
    start();
    // Nothing serves the run address and no PHP server is started for it, so
    // the run commands show their windows at once.
    ServerController::StartPhpServer().WriteBool(false);
    form()->project().RunAddress = QStringLiteral("http://127.0.0.1:%1/").arg(FreeLoopbackPort());
    form()->show();
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    CodeEditor *editor = form()->ui().re;
    const auto modal = [&] {
        return dialogs.modalWindows.empty() ? QString() : dialogs.modalWindows.back()->objectName();
    };
    const auto prompt = [&] {
        return dialogs.prompts.empty() ? QString() : dialogs.prompts.back();
    };
    struct Case {
        const char *keys;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<QString()> seen;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"Ctrl+F", Qt::Key_F, Qt::ControlModifier, prompt, "Search for|Search for"},
        {"Ctrl+Shift+F", Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier, modal,
         "form_find_in_files"},
        {"Ctrl+G", Qt::Key_G, Qt::ControlModifier, prompt, "Goto Line|Line Number"},
        {"F4", Qt::Key_F4, Qt::NoModifier, modal, "form_files"},
        {"F2", Qt::Key_F2, Qt::NoModifier, modal, "form_all_functions"},
        {"Alt+R", Qt::Key_R, Qt::AltModifier, modal, "form_run"},
        {"Alt+Shift+R", Qt::Key_R, Qt::AltModifier | Qt::ShiftModifier, modal, "form_run_text"},
        {"Alt+Enter", Qt::Key_Return, Qt::AltModifier, modal, "form_run"},
        {"Alt+D", Qt::Key_D, Qt::AltModifier, modal, "form_run2"},
        {"F1", Qt::Key_F1, Qt::NoModifier, modal, "form_help"},
        {"Ctrl+S", Qt::Key_S, Qt::ControlModifier,
         [&] { return dialogs.fileDialogs.empty() ? QString() : dialogs.fileDialogs.back(); },
         "save|PHP files|*.php|Any file|*.*"},
        {"Ctrl+L", Qt::Key_L, Qt::ControlModifier,
         [&] {
             return QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                : QString();
         },
         "URL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        dialogs.modalWindows.clear();
        dialogs.prompts.clear();
        editor->setFocus();
        QTest::keyClick(editor, c.key, c.modifiers);
        EXPECT_EQ(c.seen(), c.expected);
    }

    // Ctrl+K brings the focus back to the editor from anywhere in the window.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor);

    // F3 repeats the last search from the caret.
    editor->setWholeText("ab ab ab");
    editor->setCursorPosition(0, 0);
    dialogs.promptAnswers.push_back(QStringLiteral("ab"));
    QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_F3);
    int line = -1, index = -1;
    editor->getCursorPosition(&line, &index);
    EXPECT_EQ(index, 5);

    // Ctrl+I re-indents the document.
    editor->setWholeText("if ($a) {\nb();\n}\n");
    QTest::keyClick(editor, Qt::Key_I, Qt::ControlModifier);
    EXPECT_NE(editor->lineText(1), "b();");

    // Alt+X leaves the program, once the unnamed text is discarded.
    dialogs.choiceAnswers.push_back(1);
    QTest::keyClick(editor, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(dialogs.choices.size(), 1u);
    EXPECT_FALSE(form()->isVisible());
}

TEST_F(AppTest, DelRemovesAFileOnlyFromTheTree)
{
    WriteFileBytes(dir.filePath("a.php"), "<?php\n");
    start();
    form()->show();
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->documents().OpenFileAtLine(dir.filePath("a.php"), true);
    form()->OnProjectUpdateExecute();
    ASSERT_TRUE(form()->ui().PrTree->isVisible()); // the first activation showed it
    // In the editor, Del deletes text and leaves the project alone.
    form()->ui().re->setFocus();
    form()->ui().re->setCursorPosition(0, 0);
    QTest::keyClick(form()->ui().re, Qt::Key_Delete);
    EXPECT_EQ(form()->ui().re->wholeText(), "?php\n");
    EXPECT_EQ(form()->project().Files.Count(), 1);
    // The popup opened on the project node hides Remove; once it closes,
    // Del in the tree removes the selected file again.
    QTreeWidget *tree = form()->ui().PrTree;
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0));
    form()->projectTree().ProjPopupPopup(nullptr);
    form()->ui().ProjPopup->popup(tree->mapToGlobal(QPoint(5, 5)));
    form()->ui().ProjPopup->hide();
    tree->setFocus();
    // The file's node, under its folder's.
    const QList<QTreeWidgetItem *> file =
        tree->findItems("a.php", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(file.size(), 1);
    tree->setCurrentItem(file[0]);
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_EQ(form()->project().Files.Count(), 0);
}

TEST_F(AppTest, StartsWithTheDocumentedPanelsVisible)
{
    start();
    form()->show();
    EXPECT_TRUE(form()->ui().re->isVisible());
    EXPECT_FALSE(form()->ui().temp_re->isVisible());
    EXPECT_FALSE(form()->ui().messages->isVisible());
    EXPECT_FALSE(form()->ui().CodeGrid->isVisible());
    EXPECT_FALSE(form()->ui().ftppanel->isVisible());
    EXPECT_TRUE(form()->ui().WebPanel->isVisible());
    EXPECT_EQ(form()->ui().StatusPanel0->text(), "ln 1");
    EXPECT_EQ(form()->ui().StatusPanel1->text(), "");
    EXPECT_TRUE(form()->ui().StatusRefr->isActive());
    EXPECT_TRUE(form()->ui().CodeExplorerRefresh->isActive());
    EXPECT_EQ(form()->ui().StatusRefr->interval(), 1000);
}

TEST_F(AppTest, EscapeShowsAndHidesTheMessagesPanel)
{
    start();
    form()->show();
    // An empty panel does not come up: it would only hide part of the editor.
    QTest::keyClick(form()->ui().re, Qt::Key_Escape);
    EXPECT_FALSE(form()->ui().messages->isVisible());
    form()->messagePanel().AddMessage("a row");
    QTest::keyClick(form()->ui().re, Qt::Key_Escape);
    EXPECT_TRUE(form()->ui().messages->isVisible());
    EXPECT_TRUE(form()->ui().messagessplitter->isVisible());
    QTest::keyClick(form()->ui().messages, Qt::Key_Escape);
    EXPECT_FALSE(form()->ui().messages->isVisible());
    EXPECT_TRUE(form()->isVisible());
    // Other keys pass on to the editor unchanged.
    QTest::keyClicks(form()->ui().re, "ab");
    EXPECT_EQ(form()->ui().re->wholeText(), "ab");
}

TEST_F(AppTest, EscapeWithIdeClosesTheProgram)
{
    start({"IDE"});
    form()->show();
    QTest::keyClick(form()->ui().re, Qt::Key_Escape);
    EXPECT_FALSE(form()->isVisible());
}

TEST_F(AppTest, StatusLineFollowsTheCaret)
{
    start();
    form()->show();
    form()->ui().re->setWholeText("one\ntwo\nthree\n");
    form()->ui().re->setCaretLine(3);
    form()->UpdateStatusLine();
    EXPECT_EQ(form()->ui().StatusPanel0->text(), "ln 3");
    // A caret move by key updates the line at once, not only at the next tick.
    form()->ui().StatusRefr->stop();
    QTest::keyClick(form()->ui().re, Qt::Key_Up);
    EXPECT_EQ(form()->ui().StatusPanel0->text(), "ln 2");
    QTest::keyClick(form()->ui().re, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(form()->ui().StatusPanel0->text(), "ln 4");
}

TEST_F(AppTest, FirstActivationActsOnceOnTheSwitches)
{
    start({"address", "http://127.0.0.1:8123/shop"});
    form()->show();
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().RunAddress, "http://127.0.0.1:8123/shop");
    EXPECT_TRUE(form()->item("pmitem")->isChecked());
    EXPECT_TRUE(form()->ui().PrTree->isVisible());
    // Later activations leave the run address alone.
    form()->project().RunAddress = "http://127.0.0.1/other";
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().RunAddress, "http://127.0.0.1/other");
}

TEST_F(AppTest, AddressAsLastParameterGivesAnEmptyRunAddress)
{
    start({"address"});
    form()->AppEventsActivate();
    EXPECT_EQ(form()->project().RunAddress, "");
}

TEST_F(AppTest, TestCommandsRunInOrderWithExactKeywords)
{
    struct Case {
        QStringList parameters;
        bool closes;
        QStringList messages;
    };
    const QString missing =
        QStringLiteral("Testing: file1 on click not defined.src/app/test_driver.cpp:");
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
            EXPECT_TRUE(dialogs.messages[i].startsWith(c.messages[i]))
                << qPrintable(dialogs.messages[i]);
            // The location is this program's own source line, a number.
            bool isNumber = false;
            dialogs.messages[i].mid(c.messages[i].size()).toInt(&isNumber);
            EXPECT_TRUE(isNumber) << qPrintable(dialogs.messages[i]);
        }
    }
}

TEST_F(AppTest, ClickReachesTheButtonsOfTheOtherWindows)
{
    start({"click", "Button1", "click", "PauseButton", "click", "button2"});
    // Button1 is OK and Button2 Cancel wherever a dialog has them.
    const std::vector<QDialog *> dialogsWithButtons = {
        windows().projectFilesDialog, windows().projectFunctionsDialog,
        windows().fileFunctionsDialog, windows().projectOptionsDialog};
    std::map<QDialog *, std::vector<int>> results;
    for (QDialog *dialog : dialogsWithButtons)
        QObject::connect(dialog, &QDialog::finished,
                         [&results, dialog](int r) { results[dialog].push_back(r); });
    form()->AppEventsActivate();
    for (QDialog *dialog : dialogsWithButtons)
        EXPECT_EQ(results[dialog], (std::vector<int>{QDialog::Accepted, QDialog::Rejected}))
            << qPrintable(dialog->objectName());
    // A button without a handler is reported like a menu item without one.
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Testing: pausebutton on click not defined."))
        << qPrintable(dialogs.messages[0]);
    // The Refresh button of an embedded browser frame belongs to the frame.
    EXPECT_EQ(ScopedRecordingBrowsers::of(windows().runWindow->browser()->browserView())->reloads,
              0);
}

TEST_F(AppTest, TimerCommandStartsTheNamedTimer)
{
    start({"timer", "codeexplorerrefresh"});
    form()->ui().CodeExplorerRefresh->stop();
    form()->ui().StatusRefr->stop();
    form()->AppEventsActivate();
    EXPECT_TRUE(form()->ui().CodeExplorerRefresh->isActive());
    EXPECT_FALSE(form()->ui().StatusRefr->isActive());
}

TEST_F(AppTest, ClickCallsHiddenItemsDirectlyWithoutToggling)
{
    start();
    form()->show();
    ClickByName(form(), "PMITEM");
    // The handler runs as a click would, but the check mark does not move.
    EXPECT_FALSE(form()->item("pmitem")->isChecked());
    EXPECT_FALSE(form()->ui().PrTree->isVisible());
    form()->item("pmitem")->trigger();
    EXPECT_TRUE(form()->item("pmitem")->isChecked());
    EXPECT_TRUE(form()->ui().PrTree->isVisible());
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
    EXPECT_TRUE(dialogs.errors[0].startsWith("Cannot write the settings file"))
        << qPrintable(dialogs.errors[0]);
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
    form()->project().FileName = dir.filePath("site/site.wdx");
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
    EXPECT_TRUE(texts.contains(QUILLSTONE_VERSION " beta"));
    EXPECT_TRUE(texts.contains("php web design environment"));
}

TEST_F(AppTest, CtrlKPutsTheFocusInTheEditor)
{
    start();
    form()->show();
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    form()->ui().PrTree->show();
    form()->ui().PrTree->setFocus();
    form()->item("Code1")->trigger();
    EXPECT_EQ(QApplication::focusWidget(), form()->ui().re);
}

TEST_F(AppTest, MenusHoldTheirItemsKeysAndOneAccessKeyEach)
{
    start();
    // Item by item in display order ("-" a separator), each with its first key.
    struct Case {
        const char *menu;
        QStringList items;
        bool exact; // false: other items may stand between these
    };
    const std::vector<Case> cases = {
        {"Edit1Menu",
         {"Undo1=Ctrl+Z", "Redo1=Ctrl+Y", "-", "Cut1=Ctrl+X", "Copy1=Ctrl+C", "Paste1=Ctrl+V",
          "Delete1=Del", "-", "SelectAll1=Ctrl+A", "-", "ToggleComment1=Ctrl+/",
          "DuplicateLine1=Ctrl+D", "MoveLineUp1=Alt+Up", "MoveLineDown1=Alt+Down",
          "UpperCase1=Ctrl+Shift+U", "LowerCase1=Ctrl+U", "-", "IndentCode1=Ctrl+I"},
         true},
        {"EdPopup",
         {"Undo1=Ctrl+Z", "Redo1=Ctrl+Y", "Cut1=Ctrl+X", "Copy1=Ctrl+C", "Paste1=Ctrl+V",
          "Delete1=Del", "SelectAll1=Ctrl+A", "Adviser1=Ctrl+Space"},
         false},
        {"Run1Menu",
         {"Run2=Alt+R", "RunwithoutDebuging1=Alt+Return", "RunText1=Alt+Shift+R"},
         false},
        {"Tools1Menu", {"Options1=", "-", "Run3=Alt+D", "cmd1="}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.menu);
        auto *menu = form()->findChild<QMenu *>(QLatin1String(c.menu));
        ASSERT_TRUE(menu);
        QStringList shown;
        for (QAction *a : menu->actions()) {
            shown << (a->isSeparator() ? QStringLiteral("-")
                                       : a->objectName() + u'=' + a->shortcut().toString());
        }
        if (c.exact) {
            EXPECT_EQ(shown, c.items);
        } else {
            shown.removeAll(QStringLiteral("-"));
            QStringList wanted = c.items;
            wanted.removeAll(QStringLiteral("-"));
            qsizetype at = 0;
            for (const QString &item : wanted) {
                at = shown.indexOf(item, at);
                EXPECT_GE(at, 0) << qPrintable(item + " in " + shown.join(u' '));
            }
        }
    }

    // Every shown menu and item has its own access key within its menu, Tools
    // opens with Alt+T, and no command takes that key from it.
    std::function<void(const QList<QAction *> &, const QString &)> checkKeys =
        [&](const QList<QAction *> &actions, const QString &where) {
            QStringList keys;
            for (QAction *a : actions) {
                if (a->isSeparator() || !a->isVisible())
                    continue;
                const QString key = QKeySequence::mnemonic(a->text()).toString();
                EXPECT_TRUE(key.isEmpty() || !keys.contains(key))
                    << qPrintable(where + ": " + a->text());
                keys << key;
                if (a->menu())
                    checkKeys(a->menu()->actions(), a->text());
            }
        };
    checkKeys(form()->menuBar()->actions(), "menu bar");
    for (QAction *a : form()->menuBar()->actions())
        EXPECT_EQ(a->isVisible(), !QKeySequence::mnemonic(a->text()).isEmpty())
            << qPrintable(a->text());
    EXPECT_EQ(QKeySequence::mnemonic(form()->item("Tools1")->text()), QKeySequence("Alt+T"));
    for (QAction *a : form()->findChildren<QAction *>())
        EXPECT_FALSE(a->shortcuts().contains(QKeySequence("Alt+T"))) << qPrintable(a->objectName());
}

TEST_F(AppTest, EditCommandsReachTheEditorThroughKeysMenuAndPopup)
{
    start();
    form()->show();
    form()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    CodeEditor *editor = form()->ui().re;
    editor->setFocus();
    editor->setWholeText("<?php\n$a = 1;\n");
    editor->setCursorPosition(1, 0);
    // Keys the control binds to other things (Ctrl+/ zooms) reach the commands.
    QTest::keyClick(editor, Qt::Key_Slash, Qt::ControlModifier);
    EXPECT_EQ(editor->lineText(1), "// $a = 1;");
    EXPECT_EQ(editor->SendScintilla(QsciScintilla::SCI_GETZOOM), 0);
    QTest::keyClick(editor, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(editor->wholeText(), "// $a = 1;\n<?php\n");
    QTest::keyClick(editor, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(editor->wholeText(), "// $a = 1;\n// $a = 1;\n<?php\n");
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->wholeText(), "// $a = 1;\n<?php\n");
    // The popup's items are the Edit menu's.
    editor->selectAll();
    form()->item("UpperCase1")->trigger();
    EXPECT_EQ(editor->wholeText(), "// $A = 1;\n<?PHP\n");
    EXPECT_TRUE(form()->ui().EdPopup->actions().contains(form()->item("Copy1")));
}
