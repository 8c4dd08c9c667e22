// Real key events into a real editor inside a window: the window's keys
// reach the window and never touch the text; Enter and a closing brace
// indent as PHP code expects.
#include "editor/code_editor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <Qsci/qscicommandset.h>

#include <map>

namespace {

using Sci = QsciScintillaBase;

class EditorKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_editor = new CodeEditor(&m_window);
        auto *layout = new QVBoxLayout(&m_window);
        layout->addWidget(m_editor);
        m_window.resize(500, 300);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_editor->setFocus();
    }
    void setText(const char *utf8, long caret)
    {
        m_editor->clearAll();
        m_editor->setWholeText(QString::fromUtf8(utf8));
        m_editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
        m_editor->SendScintilla(Sci::SCI_GOTOPOS, static_cast<unsigned long>(caret));
    }
    void press(const QKeySequence &key)
    {
        const QKeyCombination combination = key[0];
        QTest::keyClick(m_editor, combination.key(), combination.keyboardModifiers());
    }
    void typeText(const QString &text)
    {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, m_editor, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
    }

    QWidget m_window;
    CodeEditor *m_editor = nullptr;
};

TEST_F(EditorKeys, TheWindowsKeysReachItsCommandsAndLeaveTheTextAlone)
{
    std::map<QString, int> triggered;
    for (const QKeySequence &key : CodeEditor::windowShortcuts()) {
        auto *action = new QAction(key.toString(), &m_window);
        action->setShortcut(key);
        m_window.addAction(action);
        QObject::connect(action, &QAction::triggered,
                         [&triggered, key] { ++triggered[key.toString()]; });
    }
    // A selection, so that a cut, a case change or a line command would show.
    const char *text = "<?php\n    echo 'first';\n    echo 'second';\n";
    setText(text, 10);
    m_editor->SendScintilla(Sci::SCI_SETSEL, 10UL, 20L);
    for (const QKeySequence &key : CodeEditor::windowShortcuts()) {
        SCOPED_TRACE(key.toString().toStdString());
        press(key);
        EXPECT_EQ(triggered[key.toString()], 1);
        EXPECT_EQ(m_editor->wholeText(), QString::fromUtf8(text));
        EXPECT_EQ(m_editor->SendScintilla(Sci::SCI_GETSELECTIONSTART), 10);
        EXPECT_EQ(m_editor->SendScintilla(Sci::SCI_GETSELECTIONEND), 20);
        EXPECT_FALSE(m_editor->isUndoAvailable());
    }
    // The editor still types and keeps its own editing keys.
    press(QKeySequence(QStringLiteral("Ctrl+C")));
    press(QKeySequence(QStringLiteral("End")));
    press(QKeySequence(QStringLiteral("Ctrl+V")));
    EXPECT_EQ(m_editor->lineText(1), "    echo 'first';echo 'firs");
    press(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(m_editor->wholeText(), QString::fromUtf8(text));
}

TEST_F(EditorKeys, AWindowKeyNoCommandTakesTypesNothing)
{
    // Alt+R, Ctrl+Space and the like carry a letter or a blank: without a
    // window command (a disabled one, another window) it must not be typed.
    const char *text = "line one\nline two\n";
    setText(text, 12);
    for (const QKeySequence &key : CodeEditor::windowShortcuts()) {
        SCOPED_TRACE(key.toString().toStdString());
        press(key);
        EXPECT_EQ(m_editor->wholeText(), QString::fromUtf8(text));
        EXPECT_EQ(m_editor->SendScintilla(Sci::SCI_GETCURRENTPOS), 12);
    }
}

TEST(EditorBindings, NoBindingOfTheControlUsesAWindowKey)
{
    CodeEditor editor;
    int bound = 0;
    for (QsciCommand *command : editor.standardCommands()->commands()) {
        for (int key : {command->key(), command->alternateKey()}) {
            if (!key)
                continue;
            ++bound;
            EXPECT_FALSE(CodeEditor::windowShortcuts().contains(QKeySequence(key)))
                << qPrintable(command->description()) << " on "
                << qPrintable(QKeySequence(key).toString());
        }
    }
    EXPECT_GT(bound, 50); // the control's own keys are still there
    // The line cut that Ctrl+L used to run is still reachable from no key at all.
    EXPECT_EQ(editor.standardCommands()->find(QsciCommand::LineCut)->key(), 0);
}

TEST_F(EditorKeys, EnterKeepsTheIndentationAndAddsALevelAfterAnOpeningBrace)
{
    setText("<?php\n    if ($a) {", 19);
    press(QKeySequence(Qt::Key_Return));
    EXPECT_EQ(m_editor->lineText(2), "        ");
    typeText("echo $a;");
    press(QKeySequence(Qt::Key_Return));
    EXPECT_EQ(m_editor->lineText(3), "        ");
    typeText("}");
    EXPECT_EQ(m_editor->lineText(3), "    }");
    press(QKeySequence(Qt::Key_Return));
    typeText("x;");
    EXPECT_EQ(m_editor->wholeText(), "<?php\n    if ($a) {\n        echo $a;\n    }\n    x;");

    // Tabs stay tabs; a brace after text on its line changes nothing.
    setText("\tfunction f() {", 15);
    press(QKeySequence(Qt::Key_Return));
    typeText("echo '}';");
    EXPECT_EQ(m_editor->wholeText(), "\tfunction f() {\n\t\techo '}';");

    // Enter between a pair of braces: the closing one keeps the line's level.
    setText("    $f = function () {};", 22);
    press(QKeySequence(Qt::Key_Return));
    EXPECT_EQ(m_editor->wholeText(), "    $f = function () {\n    };");
}

TEST_F(EditorKeys, IndentationFollowsTheDocumentsLineEndsAndUndoesInOneStep)
{
    setText("if (x) {\r\n    y;\r\n", 8);
    m_editor->SendScintilla(Sci::SCI_SETEOLMODE, long(Sci::SC_EOL_CRLF));
    press(QKeySequence(Qt::Key_Return));
    EXPECT_EQ(m_editor->wholeText(), "if (x) {\r\n    \r\n    y;\r\n");
    press(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(m_editor->wholeText(), "if (x) {\r\n    y;\r\n");

    setText("{\r    a;\r    ", 13);
    m_editor->SendScintilla(Sci::SCI_SETEOLMODE, long(Sci::SC_EOL_CR));
    typeText("}");
    EXPECT_EQ(m_editor->wholeText(), "{\r    a;\r}");
    press(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(m_editor->wholeText(), "{\r    a;\r    ");
    press(QKeySequence(Qt::Key_Return));
    EXPECT_EQ(m_editor->wholeText(), "{\r    a;\r    \r    ");
}

} // namespace
