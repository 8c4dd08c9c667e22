#include "forms/trace_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QToolButton>

namespace {
QStringList memoLines(const TraceWindow &window)
{
    const QString text = window.Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void logLines(TraceLogger &logger, int from, int to)
{
    for (int i = from; i <= to; ++i)
        logger.log(QStringLiteral("line %1").arg(i));
}
} // namespace

TEST(TraceWindow, FortyFiveLinesLeaveTheLastFive)
{
    ScopedParameters params({"trace"});
    TraceLogger logger;
    TraceWindow window(logger);
    ASSERT_TRUE(window.isVisible());
    logLines(logger, 1, 45);
    EXPECT_EQ(memoLines(window), QStringList({"41: line 41", "42: line 42", "43: line 43",
                                              "44: line 44", "45: line 45"}));
}

TEST(TraceWindow, NoClearLogKeepsEveryLine)
{
    ScopedParameters params({"trace", "noclearlog"});
    TraceLogger logger;
    TraceWindow window(logger);
    EXPECT_FALSE(window.traceClearAllowed());
    logLines(logger, 1, 45);
    const QStringList lines = memoLines(window);
    ASSERT_EQ(lines.size(), 45);
    EXPECT_EQ(lines.first(), "1: line 1");
    EXPECT_EQ(lines.last(), "45: line 45");
}

TEST(TraceWindow, PauseButtonDropsLinesButKeepsNumbering)
{
    ScopedParameters params({"debug"});
    TraceLogger logger;
    TraceWindow window(logger);
    logger.log("before");
    window.PauseButton->click();
    EXPECT_TRUE(window.tracePaused());
    logger.log("lost");
    window.PauseButton->click();
    EXPECT_FALSE(window.tracePaused());
    logger.log("after");
    EXPECT_EQ(memoLines(window), QStringList({"1: before", "3: after"}));
}

TEST(TraceWindow, HiddenOrClosedWindowDropsLines)
{
    ScopedParameters params({});
    TraceLogger logger;
    TraceWindow window(logger);
    EXPECT_FALSE(window.isVisible());
    logger.log("not shown");
    EXPECT_EQ(logger.sequence(), 0);

    window.show();
    logger.log("shown");
    window.close(); // what the window's close button does
    EXPECT_FALSE(window.isVisible());
    logger.log("after closing");
    EXPECT_EQ(memoLines(window), QStringList({"1: shown"}));
    EXPECT_EQ(logger.sequence(), 1);
}

TEST(TraceWindow, ShowSwitchesMatchWholeWordsInAnyCase)
{
    struct Case {
        QStringList params;
        bool shown;
    };
    const Case cases[] = {
        {{"trace"}, true},   {{"TRACE"}, true},       {{"TrAcE"}, true},
        {{"-trace"}, false}, {{"/trace"}, false},     {{"debug"}, true},
        {{"tracer"}, false}, {{"noclearlog"}, false}, {{"traceheight", "50"}, false}};
    for (const Case &c : cases) {
        ScopedParameters params(c.params);
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_EQ(window.isVisible(), c.shown) << c.params.join(' ').toStdString();
        EXPECT_EQ(window.traceClearAllowed(), !c.params.contains("noclearlog"));
    }
}

TEST(TraceWindow, PlacementAndPlacementSwitches)
{
    {
        ScopedParameters params({"trace"});
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_EQ(window.pos(), QPoint(145, 3));
        EXPECT_EQ(window.size(), QSize(871, 101));
        // The memo fills the window; the Pause button sits over its corner.
        EXPECT_EQ(window.Memo1->geometry(), window.rect());
        EXPECT_EQ(window.PauseButton->geometry(), QRect(0, 0, 214, 22));
        window.resize(600, 300);
        EXPECT_EQ(window.Memo1->geometry(), QRect(0, 0, 600, 300));
    }
    {
        ScopedParameters params({"traceup"});
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.pos(), QPoint(0, 0));
    }
    {
        ScopedParameters params({"debugmax"});
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    }
}

TEST(TraceWindow, TraceHeightSetsHeightAndBadValuesGiveTheSmallest)
{
    {
        ScopedParameters params({"traceheight", "300"});
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_EQ(window.height(), 300);
        EXPECT_EQ(window.width(), 871);
    }
    for (const QStringList &bad : {QStringList{"traceheight", "tall"}, QStringList{"traceheight"},
                                   QStringList{"traceheight", "-40"}}) {
        ScopedParameters params(bad);
        TraceLogger logger;
        TraceWindow window(logger);
        EXPECT_GT(window.minimumHeight(), 0);
        EXPECT_EQ(window.height(), window.minimumHeight()) << bad.join(' ').toStdString();
    }
}

TEST(TraceWindow, AttachesToTheProgramTraceAndDetachesWhenDestroyed)
{
    ScopedParameters params({"trace"});
    ScopedProgramTrace none(nullptr);
    {
        TraceWindow window;
        EXPECT_EQ(ProgramTrace().sink(), &window);
        const int before = ProgramTrace().sequence();
        TraceLog("through the program trace");
        EXPECT_EQ(ProgramTrace().sequence(), before + 1);
        EXPECT_TRUE(window.Memo1->toPlainText().endsWith(": through the program trace"));
    }
    EXPECT_EQ(ProgramTrace().sink(), nullptr);
    TraceLog("no window: dropped without a crash");
}
