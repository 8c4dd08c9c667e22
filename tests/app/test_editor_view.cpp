// The editor as the main window presents it: the common desktop keys, the
// status line's editor panels, line numbers and colours from the View menu,
// and Find and Replace through the bar under the editor. Real keys on the
// real editor.
#include "app/editor_view_controller.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "editor/find_replace_bar.h"
#include "foundation/rtf_reader.h"
#include "foundation/settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTest>

namespace {

class EditorView : public AppTest {
protected:
    void open()
    {
        start();
        form()->show();
        form()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
        editor()->setFocus();
    }
    CodeEditor *editor() const { return form()->ui().re; }
    FindReplaceBar *bar() const { return form()->ui().findBar; }
    QString lastFileDialog() const
    {
        return dialogs.fileDialogs.empty() ? QString() : dialogs.fileDialogs.back();
    }
    QString panels() const
    {
        const MainWindowUi &ui = form()->ui();
        return QStringList{ui.StatusPanel0->text(), ui.StatusColumn->text(),
                           ui.StatusEncoding->text(), ui.StatusLineEnds->text(),
                           ui.StatusOverwrite->text()}
            .join(u'|');
    }
};

TEST_F(EditorView, CommonKeysReachTheirCommands)
{
    open();
    // Ctrl+O asks for files to open, Ctrl+Shift+S for a name to save under.
    dialogs.openAnswers.push_back({});
    QTest::keyClick(editor(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(lastFileDialog().startsWith("open|")) << qPrintable(lastFileDialog());
    dialogs.saveAnswers.push_back(QString());
    QTest::keyClick(editor(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(lastFileDialog().startsWith("save|")) << qPrintable(lastFileDialog());
    EXPECT_EQ(dialogs.fileDialogs.size(), 2u);

    // Ctrl+W closes the document, Ctrl+N starts a new one: neither types.
    const QString path = dir.filePath("a.php");
    WriteFileBytes(path, "<?php echo 1;\n");
    form()->documents().OpenFileAtLine(path, true);
    ASSERT_EQ(form()->project().OpenedFile, path);
    QTest::keyClick(editor(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(form()->project().OpenedFile.isEmpty());
    EXPECT_EQ(editor()->wholeText(), "");
    // Typed text is not dropped without a question: Discard lets New go on.
    editor()->setWholeText("draft");
    dialogs.choiceAnswers.push_back(1);
    QTest::keyClick(editor(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_TRUE(dialogs.choices.back().contains("Save changes to"))
        << qPrintable(dialogs.choices.back());
    EXPECT_EQ(editor()->wholeText(), "");

    // Ctrl+H opens the bar with its replace row, the focus in the find box.
    EXPECT_FALSE(bar()->isVisible());
    QTest::keyClick(editor(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(bar()->isVisible());
    EXPECT_TRUE(bar()->findChild<QLineEdit *>("replaceText")->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), bar()->findChild<QLineEdit *>("findText"));
    // Escape in the bar closes it and gives the keys back to the editor,
    // without opening the messages panel.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(bar()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), editor());
    EXPECT_FALSE(form()->ui().messages->isVisible());

    // Exit keeps its own key and answers Ctrl+Q as well.
    EXPECT_EQ(form()->item("Exit1")->shortcuts(),
              QList<QKeySequence>({QKeySequence("Alt+X"), QKeySequence("Ctrl+Q")}));
    QTest::keyClick(editor(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form()->isVisible());
}

TEST_F(EditorView, EnterAndClosingBraceIndentInTheWindowsEditor)
{
    open();
    // Typed as the user types: the window's own key handling lets Enter and
    // braces through to the editor's indentation.
    QTest::keyClicks(editor(), "if ($a) {");
    QTest::keyClick(editor(), Qt::Key_Return);
    QTest::keyClicks(editor(), "echo 1;");
    QTest::keyClick(editor(), Qt::Key_Return);
    QTest::keyClicks(editor(), "}");
    EXPECT_EQ(editor()->lineTexts(), QStringList({"if ($a) {", "    echo 1;", "}"}));
    EXPECT_FALSE(form()->ui().messages->isVisible());
}

TEST_F(EditorView, NewKeysCollideWithNoOtherCommand)
{
    start();
    // A key is one command's within its reach: the window, or the one
    // control a command's key is kept to (Del in the tree and in the editor).
    QHash<QString, QString> owners;
    QSet<QKeySequence> keys;
    for (QAction *action : form()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        QString scope = QStringLiteral("window");
        if (action->shortcutContext() == Qt::WidgetShortcut) {
            for (QObject *object : action->associatedObjects()) {
                if (object->isWidgetType() && !qobject_cast<QMenu *>(object))
                    scope = object->objectName();
            }
        }
        for (const QKeySequence &key : action->shortcuts()) {
            const QString place = key.toString() + '@' + scope;
            EXPECT_FALSE(owners.contains(place))
                << qPrintable(place + " " + action->objectName() + " " + owners.value(place));
            owners.insert(place, action->objectName());
            keys.insert(key);
            // The editor leaves every window-wide key to the window.
            if (action->shortcutContext() == Qt::WindowShortcut) {
                EXPECT_TRUE(CodeEditor::windowShortcuts().contains(key))
                    << qPrintable(key.toString());
            }
        }
    }
    // A window-wide key would be ambiguous in the control that has it too.
    for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
        const QString key = it.key().section(u'@', 0, 0);
        if (!it.key().endsWith(QLatin1String("@window"))) {
            EXPECT_FALSE(owners.contains(key + QStringLiteral("@window"))) << qPrintable(it.key());
        }
    }
    for (const char *key : {"Ctrl+O", "Ctrl+N", "Ctrl+W", "Ctrl+Q", "Ctrl+Shift+S", "Ctrl+H"})
        EXPECT_TRUE(keys.contains(QKeySequence(QString::fromLatin1(key)))) << key;
}

TEST_F(EditorView, StatusLineShowsCaretEncodingLineEndsAndMode)
{
    open();
    const QString path = dir.filePath("legacy.php");
    WriteFileBytes(path, "caf\xe9\r\nsecond line\r\n");
    form()->documents().OpenFileAtLine(path, true);
    editor()->setCursorPosition(1, 3);
    QApplication::processEvents();
    // The window's own "ln" panel keeps its text; the editor's follow it.
    EXPECT_EQ(panels(), "ln 2|col 4|Windows-1252|CRLF|INS");

    QTest::keyClick(editor(), Qt::Key_Insert);
    QTest::keyClick(editor(), Qt::Key_End);
    EXPECT_EQ(panels(), "ln 2|col 12|Windows-1252|CRLF|OVR");
    QTest::keyClick(editor(), Qt::Key_Insert);
    EXPECT_TRUE(panels().endsWith("|INS"));

    // A new document: UTF-8 with the line ends new lines get.
    form()->handle(QStringLiteral("New2Click"));
    QApplication::processEvents();
    EXPECT_EQ(form()->ui().StatusEncoding->text(), "UTF-8");
    EXPECT_EQ(form()->ui().StatusPanel0->text(), "ln 1");
    EXPECT_EQ(form()->ui().StatusColumn->text(), "col 1");
}

TEST_F(EditorView, LineNumbersAreOnByDefaultAndTheChoiceIsRemembered)
{
    open();
    QAction *toggle = form()->item("LineNumbers1");
    ASSERT_TRUE(toggle);
    EXPECT_TRUE(toggle->isCheckable());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(editor()->lineNumbersVisible());
    EXPECT_GT(editor()->marginWidth(0), 4);
    // The hidden reading editor never shows them.
    EXPECT_FALSE(form()->ui().temp_re->lineNumbersVisible());

    toggle->trigger();
    EXPECT_FALSE(editor()->lineNumbersVisible());
    EXPECT_FALSE(BoolSetting("LineNumbers", "-1").ReadBool());

    // The next start reads the choice back.
    start();
    EXPECT_FALSE(form()->item("LineNumbers1")->isChecked());
    EXPECT_FALSE(form()->ui().re->lineNumbersVisible());
    form()->item("LineNumbers1")->trigger();
    EXPECT_TRUE(form()->ui().re->lineNumbersVisible());
    EXPECT_TRUE(BoolSetting("LineNumbers", "-1").ReadBool());
}

TEST_F(EditorView, ColoursFollowTheViewChoiceAndAreRemembered)
{
    open();
    QAction *automatic = form()->item("ColoursAutomatic1");
    QAction *light = form()->item("ColoursLight1");
    QAction *dark = form()->item("ColoursDark1");
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_EQ(editor()->colourScheme(), CodeEditor::ColourScheme::Automatic);

    dark->trigger();
    EXPECT_TRUE(editor()->usesDarkColours());
    EXPECT_TRUE(dark->isChecked());
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_EQ(ReadSetting("Colours", QString()), "Dark");
    // Choosing the checked item again keeps it chosen.
    dark->trigger();
    EXPECT_TRUE(dark->isChecked());
    EXPECT_TRUE(editor()->usesDarkColours());

    light->trigger();
    EXPECT_FALSE(editor()->usesDarkColours());
    EXPECT_FALSE(dark->isChecked());

    // Back to Automatic: the editor follows the (light) palette again.
    automatic->trigger();
    EXPECT_EQ(editor()->colourScheme(), CodeEditor::ColourScheme::Automatic);
    EXPECT_FALSE(light->isChecked());
    EXPECT_EQ(ReadSetting("Colours", QString()), "Automatic");

    // The next start reads the choice back.
    dark->trigger();
    start();
    EXPECT_TRUE(form()->item("ColoursDark1")->isChecked());
    EXPECT_FALSE(form()->item("ColoursAutomatic1")->isChecked());
    EXPECT_TRUE(form()->ui().re->usesDarkColours());
}

TEST_F(EditorView, ReplaceAllThroughTheBarKeepsLineEndsAndEncodingInOneUndoStep)
{
    open();
    const QString path = dir.filePath("shop.php");
    const QByteArray before = "<?php\r\n$price1 = 'caf\xe9';\r\n$price22 = 2;\r\n";
    WriteFileBytes(path, before);
    form()->documents().OpenFileAtLine(path, true);
    QTest::keyClick(editor(), Qt::Key_H, Qt::ControlModifier);
    auto *find = bar()->findChild<QLineEdit *>("findText");
    auto *replace = bar()->findChild<QLineEdit *>("replaceText");
    bar()->findChild<QCheckBox *>("regularExpression")->setChecked(true);
    QTest::keyClicks(find, "\\$price(\\d+)");
    QTest::keyClicks(replace, "$cost_\\1");
    QTest::mouseClick(bar()->findChild<QPushButton *>("replaceAll"), Qt::LeftButton);
    EXPECT_EQ(bar()->resultText(), "2 replaced");

    form()->handle(QStringLiteral("SaveFileClick"));
    EXPECT_EQ(ReadFileBytes(path),
              QByteArray("<?php\r\n$cost_1 = 'caf\xe9';\r\n$cost_22 = 2;\r\n"));
    editor()->undo();
    EXPECT_EQ(editor()->wholeText(), QString::fromLatin1(before));
}

} // namespace

namespace {

// The help text beside the program lists every key of the menus, under the
// name the menus show it by.
TEST_F(EditorView, HelpListsEveryMenuKey)
{
    start();
    const QByteArray rtf = ReadFileBytes(QCoreApplication::applicationDirPath() + "/help.rtf");
    ASSERT_TRUE(LooksLikeRtf(rtf));
    const QString help = ReadRtf(rtf).plainText();
    int keys = 0;
    for (QAction *action : form()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        for (const QKeySequence &key : action->shortcuts()) {
            const QString name = key.toString().replace("Return", "Enter");
            EXPECT_TRUE(help.contains(name)) << qPrintable(name + " of " + action->objectName());
            ++keys;
        }
    }
    EXPECT_GE(keys, 20);
}

} // namespace
