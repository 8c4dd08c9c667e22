#include "app/goto_symbol_popup.h"
#include "app/messages_grid.h"
#include "app/symbol_controller.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "editor/completion_popup.h"
#include "project/manual_index.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {
const char *const BaseFile = "<?php\nnamespace Shop;\n\nclass Base\n{\n"
                             "    public function save(): static { return $this; }\n"
                             "    private $secret; protected static $count; const LIMIT = 3;\n}\n";
const char *const UserFile = "<?php\nnamespace Shop;\n\nclass User extends Base\n{\n"
                             "    public function store() { $this->save(); helper(); }\n}\n";
const char *const TwiceFile = "<?php\nfunction helper() {}\n";

class Symbols : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        start();
        form()->show();
        form()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form()));
        base = write("Base.php", BaseFile);
        user = write("User.php", UserFile);
        helperA = write("a/helpers.php", TwiceFile);
        helperB = write("b/helpers.php", TwiceFile);
        form()->project().AddFiles({base, user, helperA, helperB});
        form()->OnProjectUpdateExecute();
        form()->symbols().waitForIndex();
    }
    QString write(const QString &name, const QByteArray &text)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileBytes(path, text);
        return path;
    }
    CodeEditor *editor() const { return form()->ui().re; }
    // Opens `path` with the caret on `needle` (at its `^`).
    void caretAt(const QString &path, const char *needle)
    {
        if (QDir::cleanPath(editor()->filePath()) != QDir::cleanPath(path))
            form()->documents().OpenFileAtLine(path, true);
        QString text = QString::fromUtf8(needle);
        const qsizetype caret = text.indexOf(u'^');
        text.remove(caret, 1);
        const QByteArray bytes(editor()->documentBytes(), editor()->documentLength());
        const qsizetype at = bytes.indexOf(text.toUtf8());
        ASSERT_GE(at, 0) << needle;
        editor()->SendScintilla(QsciScintilla::SCI_GOTOPOS, long(at + caret));
        editor()->setFocus();
    }
    QString place() const
    {
        return QFileInfo(editor()->filePath()).fileName() + ":" +
               QString::number(editor()->caretLine()) + ":" +
               QString::number(editor()->caretColumn());
    }
    QString status() const { return form()->ui().StatusPanel1->text(); }

    QString base, user, helperA, helperB;
};
} // namespace

TEST_F(Symbols, F12GoesToTheInheritedMethodAndAltArrowsGoBackAndForth)
{
    caretAt(user, "$this->sa^ve()");
    const QString start = place();
    QTest::keyClick(editor(), Qt::Key_F12);
    EXPECT_EQ(place(), "Base.php:6:21");
    EXPECT_TRUE(status().contains("save(): static")) << status().toStdString();
    QTest::keyClick(editor(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(place(), start);
    QTest::keyClick(editor(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(place(), "Base.php:6:21");
    QTest::keyClick(editor(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(status(), "No later place");
}

TEST_F(Symbols, CtrlClickGoesToTheClassClicked)
{
    caretAt(user, "class User ^extends");
    const QByteArray bytes(editor()->documentBytes(), editor()->documentLength());
    const long pos = long(bytes.indexOf("Base"));
    const QPoint at(int(editor()->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, pos)) + 3,
                    int(editor()->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0, pos)) +
                        3);
    QTest::mouseClick(editor()->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    EXPECT_EQ(place(), "Base.php:4:7");
}

TEST_F(Symbols, SeveralDeclarationsAreOfferedAsAList)
{
    caretAt(user, "hel^per();");
    form()->item("GotoDefinition1")->trigger();
    QMenu *choices = form()->symbols().definitionChoices();
    ASSERT_NE(choices, nullptr);
    ASSERT_EQ(choices->actions().size(), 2);
    EXPECT_EQ(place().left(9), "User.php:"); // nothing chosen yet
    choices->actions().at(1)->trigger();
    EXPECT_EQ(QDir::cleanPath(editor()->filePath()), QDir::cleanPath(helperB));
    EXPECT_EQ(editor()->caretLine(), 2);
}

TEST_F(Symbols, TheDocumentIsIndexedAsTypedAndUnknownNamesAreSaidSo)
{
    caretAt(user, "^helper();");
    editor()->insert(QStringLiteral("fresh(); "));
    editor()->SendScintilla(QsciScintilla::SCI_DOCUMENTEND);
    editor()->insert(QStringLiteral("\nfunction fresh() {}\n"));
    // The typing pause has not passed: Go to Definition reads the text first.
    caretAt(user, "fre^sh();");
    ASSERT_TRUE(editor()->isDocumentModified());
    form()->item("GotoDefinition1")->trigger();
    EXPECT_EQ(editor()->caretLine(), 9);
    caretAt(user, "public ^function store");
    QTest::keyClick(editor(), Qt::Key_F12);
    EXPECT_EQ(status(), "Go to Definition: no name at the caret");
    caretAt(user, "fresh(); hel^per");
    editor()->insert(QStringLiteral("x"));
    QTest::keyClick(editor(), Qt::Key_F12);
    EXPECT_EQ(status(), "Go to Definition: function helxper not found");
}

TEST_F(Symbols, CtrlTFindsASymbolByAbbreviation)
{
    caretAt(base, "^class");
    QTest::keyClick(editor(), Qt::Key_T, Qt::ControlModifier);
    GotoSymbolPopup *popup = form()->symbols().gotoSymbolPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->shownCount(), 9); // every symbol: the field is empty
    QTest::keyClicks(popup->field(), "usto");
    ASSERT_GE(popup->shownCount(), 1);
    EXPECT_TRUE(popup->list()->item(0)->text().startsWith("User::store"))
        << popup->list()->item(0)->text().toStdString();
    QTest::keyClick(popup->field(), Qt::Key_Return);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(place(), "User.php:6:21");
}

TEST_F(Symbols, CompletionOffersTheMembersTheExpressionHasOrSaysWhyNot)
{
    struct Case {
        const char *typed;    // appended inside store(), the caret after it
        const char *expected; // entries offered, or the status line's text
    };
    const Case cases[] = {
        {"$this->", "$this->store $this->save $this->count"},
        {"$this->sa", "$this->save"},
        {"(new Base)->", "->save ->count"},
        {"self::", "self::store self::save self::$count self::LIMIT"},
        {"Base::", "Base::$count Base::LIMIT"},
        {"$nobody->", "Completion: the class of the expression is not known"},
        // Each unknown prefix is named as typed, not one asked about before.
        {"$this->zq", "Completion: nothing known begins with \"$this->zq\""},
        {"$this->sv", "Completion: nothing known begins with \"$this->sv\""},
        {"self::zq", "Completion: nothing known begins with \"self::zq\""},
        {"Base::sv", "Completion: nothing known begins with \"Base::sv\""},
    };
    CompletionPopup *popup = form()->ui().completion;
    for (const Case &c : cases) {
        form()->documents().OpenFileAtLine(user, true);
        editor()->setWholeText(QString::fromUtf8(UserFile).replace(
            "helper(); }", QString::fromUtf8(c.typed) + "\n }"));
        const QByteArray bytes(editor()->documentBytes(), editor()->documentLength());
        editor()->SendScintilla(QsciScintilla::SCI_GOTOPOS,
                                long(bytes.indexOf(c.typed) + qstrlen(c.typed)));
        form()->ui().StatusPanel1->clear();
        QTest::keyClick(editor(), Qt::Key_Space, Qt::ControlModifier);
        QStringList offered;
        for (int k : popup->shownEntries())
            offered << popup->entries().at(k);
        EXPECT_EQ((popup->isOpen() ? offered.join(' ') : status()).toStdString(), c.expected)
            << c.typed;
        popup->cancel();
    }
}

TEST_F(Symbols, CompletionOffersTheNamesOfANamespaceWrittenAndClassesAfterNew)
{
    struct Case {
        const char *typed;            // appended inside store(), the caret after it
        const char *expected;         // entries offered (sorted), or the status line's text
        const char *status = nullptr; // the status line with the list open
    };
    // The manual's functions join after a lone backslash, never inside a namespace.
    const QString manual = dir.filePath("phpmanual");
    QDir().mkpath(manual);
    WriteFileBytes(manual + "/function.str-pad.htm",
                   "<div class=\"methodsynopsis\"><code>str_pad(string $string, int $length, "
                   "string $pad_string = &quot; &quot;, int $pad_type = STR_PAD_RIGHT): "
                   "string</code></div>");
    WriteFileBytes(manual + "/function.hex2bin.htm", "<html></html>");
    SetManualFolderOverride(manual);
    const Case cases[] = {
        {"\\Shop\\", "\\Shop\\Base \\Shop\\User"},
        {"x(\\Shop\\U", "\\Shop\\User"},
        {"\\", "\\Shop\\ \\helper \\hex2bin \\str_pad"},
        {"x(\\st", "\\str_pad",
         "str_pad(string $string, int $length, string $pad_string = \" \", int $pad_type = "
         "STR_PAD_RIGHT): string"},
        {"\\he", "\\helper \\hex2bin", "helper()"},
        {"new ", "Base User"},
        {"new \\Shop\\B", "\\Shop\\Base"},
        {"new \\", "\\Shop\\"},
        {"\\Nowhere\\", "Completion: nothing known in namespace \\Nowhere"},
        {"new \\st", "Completion: nothing known begins with \"\\st\""},
        {"new \\Shop\\Q", "Completion: nothing known begins with \"\\Shop\\Q\""},
        {"x(\\zq", "Completion: nothing known begins with \"\\zq\""},
        {"\\Shop\\Q", "Completion: nothing known begins with \"\\Shop\\Q\""},
        {"new zq", "Completion: nothing known begins with \"zq\""},
    };
    CompletionPopup *popup = form()->ui().completion;
    for (const Case &c : cases) {
        form()->documents().OpenFileAtLine(user, true);
        editor()->setWholeText(QString::fromUtf8(UserFile).replace(
            "helper(); }", QString::fromUtf8(c.typed) + "\n }"));
        const QByteArray bytes(editor()->documentBytes(), editor()->documentLength());
        editor()->SendScintilla(QsciScintilla::SCI_GOTOPOS,
                                long(bytes.indexOf(c.typed) + qstrlen(c.typed)));
        form()->ui().StatusPanel1->clear();
        QTest::keyClick(editor(), Qt::Key_Space, Qt::ControlModifier);
        QStringList offered;
        for (int k : popup->shownEntries())
            offered << popup->entries().at(k);
        offered.sort();
        EXPECT_EQ((popup->isOpen() ? offered.join(' ') : status()).toStdString(), c.expected)
            << c.typed;
        if (c.status) {
            EXPECT_EQ(status().toStdString(), c.status) << c.typed;
        }
        popup->cancel();
    }
    SetManualFolderOverride(std::nullopt);
}

TEST_F(Symbols, TypingArrowOffersTheMembersAtOnce)
{
    caretAt(user, "helper();^ }");
    CompletionPopup *popup = form()->ui().completion;
    QSignalSpy opened(popup, &CompletionPopup::opened);
    QTest::keyClicks(editor(), "$x->");
    QCoreApplication::processEvents(); // the offer follows the key
    EXPECT_EQ(opened.count(), 0);      // nothing known of $x: nothing in the way
    QTest::keyClicks(editor(), " $this->");
    QCoreApplication::processEvents();
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(popup->entries().join(' ').toStdString(), "$this->store $this->save $this->count");
    popup->cancel();
    // "new " offers the classes; a word that only ends in "new" does not.
    QTest::keyClicks(editor(), " renew ");
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.count(), 1);
    QTest::keyClicks(editor(), "new ");
    QCoreApplication::processEvents();
    ASSERT_EQ(opened.count(), 2);
    QStringList classes = popup->entries();
    classes.sort();
    EXPECT_EQ(classes.join(' ').toStdString(), "Base User");
}

TEST_F(Symbols, ShiftF12ListsTheUsesFileByFileInTheMessagesPanel)
{
    caretAt(user, "$this->sa^ve()");
    QTest::keyClick(editor(), Qt::Key_F12, Qt::ShiftModifier);
    MessagesController &panel = form()->messagePanel();
    const auto row = [&panel](int r) {
        return QStringList{panel.MessageCell(0, r), QFileInfo(panel.MessageCell(1, r)).fileName(),
                           panel.MessageCell(2, r)}
            .join('|');
    };
    EXPECT_EQ(row(0), "References to Shop\\Base::save: 2 in 2 files||");
    EXPECT_EQ(row(1), "public function save(): static { return $this; }|Base.php|6");
    EXPECT_EQ(row(2), "public function store() { $this->save(); helper(); }|User.php|6");
    EXPECT_EQ(status(), "References to Shop\\Base::save: 2 in 2 files");
    // A double-click on a use opens its file at the line.
    form()->ui().messages->setCurrentIndex(form()->ui().messages->model()->index(1, 0));
    panel.messagesDblClick(nullptr);
    EXPECT_EQ(place().left(10), "Base.php:6");
    caretAt(base, "^class");
    QTest::keyClick(editor(), Qt::Key_F12, Qt::ShiftModifier);
    EXPECT_EQ(status(), "Find References: no name at the caret");
}

TEST_F(Symbols, TheCodeExplorerIsThePhpFilesOutlineFollowingTheCaret)
{
    caretAt(user, "^<?php");
    form()->item("CodeExplorer")->trigger();
    QTableWidget *grid = form()->ui().CodeGrid;
    ASSERT_TRUE(grid->isVisible());
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r)
        rows << grid->item(r, 0)->text();
    EXPECT_EQ(rows.join('|'), "namespace Shop|    class User|        store()");
    struct Case {
        const char *caret;
        int row; // the outline row marked, -1: none
    };
    const Case cases[] = {
        {"namespace Sh^op", 0},
        {"class Us^er", 1},
        {"{ $this->sa^ve()", 2},
        {"helper(); ^}", 2},
    };
    for (const Case &c : cases) {
        caretAt(user, c.caret);
        QCoreApplication::processEvents(); // the editor tells of the caret's move
        EXPECT_EQ(grid->currentRow(), c.row) << c.caret;
    }
    // A click on a row selects that name in the editor.
    caretAt(user, "^<?php");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualItemRect(grid->item(2, 0)).center());
    EXPECT_EQ(editor()->selectedText(), "store");
    EXPECT_EQ(editor()->caretLine(), 6);
    // Another file: its outline at the next tick.
    caretAt(helperA, "^function");
    QMetaObject::invokeMethod(form()->ui().CodeExplorerRefresh, "timeout");
    EXPECT_EQ(grid->item(0, 0)->text(), "helper()");
    EXPECT_EQ(grid->rowCount(), 1);
    // A large document's outline is read on a worker; until it is in, no
    // rows of the document before.
    QByteArray large = "<?php\nnamespace Big;\nclass Huge\n{\n";
    while (large.size() < 1536 * 1024)
        large += "    // a line that declares nothing\n";
    large += "    function tail() {}\n}\n";
    const QString huge = write("huge.php", large);
    form()->documents().OpenFileAtLine(huge, true);
    QMetaObject::invokeMethod(form()->ui().CodeExplorerRefresh, "timeout");
    EXPECT_TRUE(form()->symbols().isReadingDocument());
    EXPECT_EQ(grid->item(0, 0)->text().toStdString(), "");
    form()->symbols().waitForIndex();
    rows.clear();
    for (int r = 0; r < grid->rowCount(); ++r)
        rows << grid->item(r, 0)->text();
    EXPECT_EQ(rows.join(u'|').toStdString(), "namespace Big|    class Huge|        tail()");
    caretAt(huge, "function ta^il");
    QCoreApplication::processEvents();
    EXPECT_EQ(grid->currentRow(), 2);
}

TEST_F(Symbols, FilesChangedOrRemovedOnDiskAreReadAgain)
{
    SymbolController &symbols = form()->symbols();
    // Another program rewrites one helper file and removes the other.
    WriteFileBytes(helperA, "<?php\nfunction renamed() {}\n");
    ASSERT_TRUE(QFile::remove(helperB));
    symbols.checkFilesOnDisk();
    symbols.waitForIndex();
    const SymbolIndex &index = symbols.index();
    EXPECT_EQ(index.functions("renamed").size(), 1u);
    EXPECT_TRUE(index.functions("helper").empty());
    EXPECT_EQ(index.fileCount(), 3);
    // A second look right after the first is not taken.
    WriteFileBytes(helperA, "<?php\nfunction again() {}\n");
    symbols.checkFilesOnDisk();
    symbols.waitForIndex();
    EXPECT_TRUE(symbols.index().functions("again").empty());
}

TEST_F(Symbols, AHeldIndexBuildWaitsAndStartsOnceReleased)
{
    SymbolController &symbols = form()->symbols();
    QStringList files;
    for (int k = 0; k < 70; ++k) // more than are read at once: a build of its own
        files << write(QStringLiteral("many/f%1.php").arg(k),
                       QStringLiteral("<?php\nfunction many%1() {}\n").arg(k).toUtf8());
    symbols.holdBuilds(true);
    form()->project().AddFiles(files);
    form()->OnProjectUpdateExecute();
    QTest::qWait(100);
    EXPECT_FALSE(symbols.isBuilding());
    EXPECT_TRUE(symbols.index().functions("many0").empty());
    symbols.holdBuilds(false);
    EXPECT_FALSE(symbols.isBuilding()) << "a command right after the release goes first";
    QTRY_VERIFY_WITH_TIMEOUT(
        symbols.isBuilding() || symbols.index().functions("many69").size() == 1, 5000);
    symbols.waitForIndex();
    EXPECT_EQ(symbols.index().functions("many69").size(), 1u);
    EXPECT_EQ(symbols.index().functions("helper").size(), 2u);
}

TEST_F(Symbols, ALargeDocumentIsReadOnAWorkerAndTextChangedMeanwhileIsReadAgain)
{
    struct Case {
        const char *name;
        const char *renameTo; // the class renamed while the first read runs; null: untouched
        const char *expected; // the document's classes in the index at the end
    };
    const Case cases[] = {
        {"untouched", nullptr, "Late"},
        {"edited while read", "Later", "Later"},
    };
    QByteArray text = "<?php\n";
    while (text.size() < 1536 * 1024)
        text += "// a line that declares nothing\n";
    text += "class Late {}\n";
    int k = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(QStringLiteral("large%1.php").arg(++k), text);
        form()->documents().OpenFileAtLine(path, true);
        form()->symbols().index();
        EXPECT_TRUE(form()->symbols().isReadingDocument()); // the window goes on meanwhile
        if (c.renameTo)
            editor()->setWholeText(QString::fromUtf8(text).replace(
                QStringLiteral("class Late "),
                QStringLiteral("class %1 ").arg(QString::fromUtf8(c.renameTo))));
        form()->symbols().waitForIndex();
        const IndexedFile *file = form()->symbols().index().file(path);
        ASSERT_NE(file, nullptr);
        QStringList classes;
        for (const PhpSymbol &symbol : file->symbols.symbols)
            classes << QString::fromStdString(symbol.name);
        EXPECT_EQ(classes.join(' ').toStdString(), c.expected);
    }
}
