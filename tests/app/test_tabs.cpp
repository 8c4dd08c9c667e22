// Documents in tabs: each keeps its own state, the keys and the tab menu
// switch and close them, nothing unsaved goes unasked, and the project
// remembers them.
#include "app/document.h"
#include "app/document_recovery.h"
#include "app/document_tabs.h"
#include "app_fixture.h"
#include "components/recent_files.h"
#include "editor/code_editor.h"
#include "foundation/settings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

class Tabs : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        site = dir.filePath("site");
        QDir().mkpath(site);
        for (const char *name : {"a.php", "b.php", "c.php", "d.php"}) {
            QByteArray text;
            for (int i = 1; i <= 40; ++i)
                text += QByteArray(name) + " line " + QByteArray::number(i) + "\n";
            WriteFileBytes(path(name), text);
        }
        start();
        form()->show();
        form()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
    }
    QString path(const char *name) const { return site + '/' + QString::fromLatin1(name); }
    CodeEditor *editor() const { return form()->ui().re; }
    DocumentTabs *tabs() const { return form()->ui().documentTabs; }
    DocumentController &documents() const { return form()->documents(); }
    QStringList tabTexts() const
    {
        QStringList texts;
        for (int i = 0; i < tabs()->count(); ++i)
            texts << tabs()->tabText(i);
        return texts;
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        editor()->setFocus();
        QTest::keyClick(editor(), Qt::Key(key), modifiers);
    }
    void keepUnsaved() { DocumentController::SaveOnLeave().WriteBool(false); }
    QString lastChoice() const { return dialogs.choices.empty() ? "" : dialogs.choices.back(); }

    QString site;
};

TEST_F(Tabs, EachDocumentKeepsItsTextCaretHistoryAndUnsavedState)
{
    keepUnsaved();
    documents().OpenFileAtLine(path("a.php"), true);
    EXPECT_EQ(tabs()->count(), 1); // the untouched unnamed document gave way
    editor()->setCaretLine(5);
    key(Qt::Key_X);
    documents().OpenFileAtLine(path("b.php"), true);
    editor()->setCaretLine(20);
    key(Qt::Key_Y);
    EXPECT_EQ(tabTexts(), (QStringList{"a.php*", "b.php*"}));
    EXPECT_EQ(tabs()->tabToolTip(0), path("a.php"));
    EXPECT_EQ(form()->windowTitle(), "*Quillstone - " + path("b.php"));

    // Ctrl+Tab, Ctrl+PgUp, Ctrl+Shift+Tab, Ctrl+PgDn: round the ends.
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char *file;
        int line;
    } steps[] = {
        {Qt::Key_Tab, Qt::ControlModifier, "a.php", 5},
        {Qt::Key_PageUp, Qt::ControlModifier, "b.php", 20},
        {Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier, "a.php", 5},
        {Qt::Key_PageDown, Qt::ControlModifier, "b.php", 20},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.file);
        key(step.key, step.modifiers);
        EXPECT_EQ(form()->project().OpenedFile, path(step.file));
        EXPECT_EQ(editor()->caretLine(), step.line);
        EXPECT_EQ(editor()->lineText(step.line - 1), QString(step.line == 5 ? "x" : "y") +
                                                         step.file + " line " +
                                                         QString::number(step.line));
        EXPECT_EQ(tabs()->currentIndex(), step.line == 5 ? 0 : 1);
        EXPECT_TRUE(editor()->isDocumentModified());
    }
    // Nothing was saved behind the user's back, and undo is each one's own.
    EXPECT_FALSE(ReadFileBytes(path("a.php")).contains("xa.php"));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(tabTexts(), (QStringList{"a.php*", "b.php"}));
    key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(editor()->lineText(4), "xa.php line 5");

    // Opening an open file switches to its tab, with its text as it is.
    documents().OpenFileAtLine(path("b.php"), true);
    EXPECT_EQ(tabs()->count(), 2);
    EXPECT_EQ(editor()->caretLine(), 20);
}

TEST_F(Tabs, LeavingSavesSilentlyByDefault)
{
    documents().OpenFileAtLine(path("a.php"), true);
    key(Qt::Key_X);
    documents().OpenFileAtLine(path("b.php"), true);
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("xa.php line 1"));
    EXPECT_EQ(tabTexts(), (QStringList{"a.php", "b.php"}));
    key(Qt::Key_Y);
    key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_TRUE(ReadFileBytes(path("b.php")).startsWith("yb.php line 1"));
    EXPECT_TRUE(dialogs.choices.empty());
}

TEST_F(Tabs, ClosingAsksAboutUnsavedTextOnly)
{
    keepUnsaved();
    for (const char *name : {"a.php", "b.php", "c.php", "d.php"})
        documents().OpenFileAtLine(path(name), true);
    key(Qt::Key_D); // d.php
    key(Qt::Key_PageUp, Qt::ControlModifier);
    key(Qt::Key_C); // c.php

    // Ctrl+W on unsaved text: Cancel keeps everything.
    key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(lastChoice(), "Unsaved changes|Save changes to c.php?|&Save/&Discard/Cancel");
    EXPECT_EQ(tabs()->count(), 4);
    // Discard: the tab goes; its project entry stays (File > Close drops it).
    dialogs.choiceAnswers.push_back(1);
    key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(tabTexts(), (QStringList{"a.php", "b.php", "d.php*"}));
    EXPECT_EQ(form()->project().OpenedFile, path("d.php"));
    EXPECT_GE(form()->project().IndexOf(path("c.php")), 0);
    EXPECT_TRUE(form()->item("Close1")->shortcuts().isEmpty());
    EXPECT_TRUE(ReadFileBytes(path("c.php")).startsWith("c.php line 1"));

    // A middle click closes a tab; an unmodified one without a question,
    // and its entry stays in the project.
    const size_t asked = dialogs.choices.size();
    QTest::mouseClick(tabs(), Qt::MiddleButton, {}, tabs()->tabRect(0).center());
    EXPECT_EQ(tabTexts(), (QStringList{"b.php", "d.php*"}));
    EXPECT_EQ(dialogs.choices.size(), asked);
    EXPECT_GE(form()->project().IndexOf(path("a.php")), 0);

    // Close Others asks about d.php from its own tab; Save writes it.
    dialogs.choiceAnswers.push_back(0);
    documents().CloseOtherTabs(0);
    EXPECT_EQ(tabTexts(), (QStringList{"b.php"}));
    EXPECT_TRUE(ReadFileBytes(path("d.php")).startsWith("dd.php line 1"));
    // Copy Path, and Close All leaves one empty unnamed document.
    documents().CopyTabPath(0);
    EXPECT_EQ(QApplication::clipboard()->text(), path("b.php"));
    documents().CloseAllTabs();
    EXPECT_EQ(tabTexts(), (QStringList{"Untitled"}));
    EXPECT_EQ(form()->project().OpenedFile, "");
    EXPECT_TRUE(editor()->wholeText().isEmpty());
}

TEST_F(Tabs, UnsavedTextLeftInATabIsCopiedAsideUntilSettled)
{
    keepUnsaved();
    const QDir folder(DocumentRecovery::folder());
    const auto copies = [&folder] { return folder.entryList(QDir::Files).size(); };
    const qsizetype before = copies();
    documents().OpenFileAtLine(path("a.php"), true);
    key(Qt::Key_X);
    documents().OpenFileAtLine(path("b.php"), true); // a.php's copy, made on leaving it
    EXPECT_EQ(copies(), before + 1);
    key(Qt::Key_Y);
    documents().recovery().update(); // b.php's, by the timer
    EXPECT_EQ(copies(), before + 2);
    // Saved or discarded, each copy goes on its own.
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(copies(), before + 1);
    dialogs.choiceAnswers.push_back(1);
    documents().CloseTab(0);
    EXPECT_EQ(copies(), before);
}

TEST_F(Tabs, ExitAsksOnceListingEveryUnsavedDocument)
{
    keepUnsaved();
    documents().OpenFileAtLine(path("a.php"), true);
    key(Qt::Key_X);
    documents().OpenFileAtLine(path("b.php"), true);
    form()->item("New2")->trigger();
    key(Qt::Key_N);
    EXPECT_EQ(tabTexts(), (QStringList{"a.php*", "b.php", "Untitled*"}));

    form()->close(); // unanswered: Cancel
    EXPECT_TRUE(form()->isVisible());
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_EQ(lastChoice(), "Unsaved changes|2 documents have unsaved changes:\n\n" +
                                path("a.php") +
                                "\nUntitled\n\nSave them all, discard the changes, or "
                                "cancel?|&Save All/&Discard All/Cancel");
    // Save All: a.php in place, the unnamed one through the save dialog.
    dialogs.choiceAnswers.push_back(0);
    dialogs.saveAnswers.push_back(path("new.php"));
    form()->close();
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("xa.php"));
    EXPECT_EQ(ReadFileBytes(path("new.php")), "n");
}

TEST_F(Tabs, SaveAsOntoAnotherTabsFile)
{
    keepUnsaved();
    documents().OpenFileAtLine(path("a.php"), true);
    key(Qt::Key_X);
    documents().OpenFileAtLine(path("b.php"), true);
    // a.php holds unsaved text: refused, nothing written.
    dialogs.saveAnswers.push_back(path("a.php"));
    form()->item("Saveas2")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].contains("open in another tab with unsaved changes"));
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("a.php line 1"));
    // Saved, the other tab gives way to the one saved under its name.
    key(Qt::Key_PageUp, Qt::ControlModifier);
    key(Qt::Key_S, Qt::ControlModifier);
    key(Qt::Key_PageDown, Qt::ControlModifier);
    dialogs.saveAnswers.push_back(path("a.php"));
    form()->item("Saveas2")->trigger();
    EXPECT_EQ(tabTexts(), (QStringList{"a.php"}));
    EXPECT_TRUE(ReadFileBytes(path("a.php")).startsWith("b.php line 1"));
}

TEST_F(Tabs, TheProjectRemembersTheTabsAndTheActiveOne)
{
    for (const char *name : {"a.php", "b.php", "c.php"})
        documents().OpenFileAtLine(path(name), true);
    documents().OpenFileAtLine(path("b.php"), true);
    dialogs.saveAnswers.push_back(site + "/shop.wdx");
    form()->item("Saveas3")->trigger();
    const QByteArray stored = ReadFileBytes(site + "/shop.wdx");
    EXPECT_TRUE(stored.contains("<tab path=\"a.php\"/>")) << stored.constData();

    // The project written with a fourth file that is no entry, and a missing one.
    QByteArray edited = stored;
    edited.replace("<tab path=\"a.php\"/>",
                   "<tab path=\"a.php\"/><tab path=\"d.php\"/><tab path=\"gone.php\"/>");
    WriteFileBytes(site + "/shop.wdx", edited);
    start({site + "/shop.wdx"});
    form()->AppEventsActivate();
    EXPECT_EQ(tabTexts(), (QStringList{"a.php", "b.php", "c.php"}));
    EXPECT_EQ(tabs()->currentIndex(), 1);
    EXPECT_EQ(form()->project().OpenedFile, path("b.php"));
}

TEST_F(Tabs, RecentFilesListTheLastTenOpened)
{
    QStringList opened;
    for (int i = 0; i < 12; ++i) {
        const QString name = site + QStringLiteral("/f%1.php").arg(i);
        WriteFileBytes(name, "x");
        documents().OpenFileAtLine(name, true);
        opened.prepend(name);
    }
    EXPECT_EQ(documents().recentDocuments().files(), opened.mid(0, 10));
    QMenu *menu = form()->item("RecentFiles1")->menu();
    ASSERT_EQ(menu->actions().size(), 10);
    // Choosing one opens it (its tab, here).
    menu->actions().at(3)->trigger();
    EXPECT_EQ(form()->project().OpenedFile, opened.at(3));
    EXPECT_EQ(tabs()->currentIndex(), 8);
}

} // namespace
