// The log box that catches up at a bounded rate: every line arrives, in
// order, but a burst reaches the box in a few steps instead of one per line.

#include "forms/batched_log.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

struct LogWindow {
    LogWindow()
    {
        box.resize(300, 60);
        box.show();
        QObject::connect(box.document(), &QTextDocument::contentsChange, &box,
                         [this](int, int, int) { ++changes; });
    }
    QStringList lines() const { return box.toPlainText().split(u'\n'); }

    QPlainTextEdit box;
    QLabel status;
    int changes = 0;
};

} // namespace

TEST(BatchedLog, ABurstReachesTheBoxInFewStepsWithEveryLineInOrder)
{
    LogWindow window;
    BatchedLog log(&window.box, &window.status);
    QStringList expected;
    for (int i = 0; i < 2000; ++i) {
        const QString line =
            i % 3 == 1 ? QStringLiteral("%1 bytes").arg(i) : QStringLiteral("line %1").arg(i);
        log.add(line, i % 3 != 1);
        expected << line;
    }
    // The first line showed at once; the rest waits for the next catch-up.
    EXPECT_LT(window.changes, 100);
    EXPECT_LT(window.box.document()->blockCount(), 2000);

    // The event loop writes the rest a twentieth of a second later.
    QTest::qWait(3 * BatchedLog::CatchUpMs);
    EXPECT_EQ(window.lines(), expected);
    // The status line holds the last line meant for it, not a byte count.
    EXPECT_EQ(window.status.text(), "line 1998");
}

TEST(BatchedLog, ALineAfterAQuietSpellShowsAtOnce)
{
    LogWindow window;
    BatchedLog log(&window.box, &window.status);
    log.add("Loaded", true);
    EXPECT_EQ(window.lines(), QStringList{"Loaded"});
    QTest::qWait(2 * BatchedLog::CatchUpMs);
    log.add("Project saved", true);
    EXPECT_EQ(window.lines(), (QStringList{"Loaded", "Project saved"}));
    EXPECT_EQ(window.status.text(), "Project saved");
    EXPECT_EQ(log.lineCount(), 2);
}

TEST(BatchedLog, ShowsTheFirstLineWithAPrefixFromAGivenLineOn)
{
    LogWindow window;
    BatchedLog log(&window.box, &window.status);
    EXPECT_EQ(log.lineCount(), 0);
    log.add("!!!Error of an earlier run", true);
    const int start = log.lineCount();
    for (int i = 0; i < 50; ++i)
        log.add(i == 20 || i == 30 ? QStringLiteral("!!!Error %1").arg(i)
                                   : QStringLiteral("line %1").arg(i),
                true);
    ASSERT_TRUE(log.showFirst(start, "!!!"));
    EXPECT_EQ(window.box.textCursor().block().text(), "!!!Error 20");
    EXPECT_EQ(window.box.cursorForPosition(QPoint(2, 2)).block().text(), "!!!Error 20");
    EXPECT_FALSE(log.showFirst(start, "???"));
}
