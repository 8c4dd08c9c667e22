// A long open shows a bar with Cancel; cancelling leaves the window as it was.
#include "app/document_controller.h"
#include "app/document_tabs.h"
#include "app/open_progress.h"
#include "app_fixture.h"
#include "editor/code_editor.h"
#include "foundation/settings.h"

#include <QFileInfo>
#include <QProgressDialog>
#include <QTest>

namespace {

class OpenProgressTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        // Three blocks to read and three to take in.
        QByteArray text;
        const QByteArray line = "<?php echo 'a line of the large file'; ?>\n";
        while (text.size() < 20 * 1024 * 1024)
            text += line;
        big = dir.filePath("big.php");
        WriteFileBytes(big, text);
        small = dir.filePath("small.php");
        WriteFileBytes(small, "<?php\necho 1;\n");
        // Unsaved text stays in its tab when another file opens.
        DocumentController::SaveOnLeave().WriteBool(false);
    }
    CodeEditor *editor() const { return form()->ui().re; }
    DocumentTabs *tabs() const { return form()->ui().documentTabs; }

    QString big, small;
    OpenProgress *progress = nullptr;
};

TEST_F(OpenProgressTest, CancelLeavesTheWindowAsItWasAndAFinishedOpenClosesTheBar)
{
    struct Case {
        const char *name;
        bool fromFile;   // another file open with unsaved text, else the untouched new document
        double cancelAt; // share of the way at which Cancel is clicked; < 0: never
    };
    const Case cases[] = {
        {"cancel while reading, new document", false, 0.2},
        {"cancel while taking in, new document", false, 0.7},
        {"cancel while reading, unsaved file", true, 0.2},
        {"cancel while taking in, unsaved file", true, 0.7},
        {"no cancel", true, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        start();
        form()->show();
        progress = form()->findChild<OpenProgress *>();
        ASSERT_NE(progress, nullptr);
        progress->setShowAfter(0);
        if (c.fromFile) {
            form()->documents().OpenFileAtLine(small, true);
            editor()->setWholeText(QStringLiteral("<?php\necho 2;\n"));
        }
        const QString text = editor()->wholeText();
        const bool modified = editor()->isDocumentModified();
        const QString caption = form()->windowTitle();
        const int tabCount = tabs()->count();
        bool shown = false;
        const CodeEditor::LoadProgress bar = progress->callback();
        editor()->setLoadProgress([&](qint64 done, qint64 total) {
            const bool goOn = bar(done, total);
            if (total > 0) {
                shown = shown || (progress->dialog() && progress->dialog()->isVisible());
                if (c.cancelAt >= 0 && double(done) >= c.cancelAt * double(total))
                    progress->dialog()->cancel();
            }
            return goOn && !(progress->dialog() && progress->dialog()->wasCanceled());
        });
        form()->documents().OpenFileAtLine(big, true);
        EXPECT_TRUE(shown);
        EXPECT_EQ(progress->dialog(), nullptr); // gone once the open is over
        if (c.cancelAt >= 0) {
            EXPECT_EQ(tabs()->count(), tabCount);
            EXPECT_EQ(editor()->wholeText(), text);
            EXPECT_EQ(editor()->isDocumentModified(), modified);
            EXPECT_EQ(form()->windowTitle(), caption);
            EXPECT_EQ(form()->project().IndexOf(big), -1);
        } else {
            EXPECT_EQ(editor()->filePath(), big);
            EXPECT_EQ(editor()->documentLength(), QFileInfo(big).size());
            EXPECT_FALSE(editor()->isDocumentModified());
        }
    }
}

} // namespace
