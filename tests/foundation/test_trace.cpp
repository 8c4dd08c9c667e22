#include "foundation/trace.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(TraceLog, FortyLineRuleLeavesTheLinesAfterTheLastClear)
{
    MemoryTraceSink sink;
    TraceLogger trace;
    trace.setSink(&sink);
    for (int i = 1; i <= 45; ++i)
        trace.log(QStringLiteral("line %1").arg(i));
    ASSERT_EQ(sink.lines.size(), 5u);
    EXPECT_EQ(sink.lines.front(), "41: line 41");
    EXPECT_EQ(sink.lines.back(), "45: line 45");

    // The next clear comes 41 lines after the previous one.
    for (int i = 46; i <= 81; ++i)
        trace.log(QStringLiteral("line %1").arg(i));
    EXPECT_EQ(sink.lines.size(), 41u);
    trace.log("line 82");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines.front(), "82: line 82");
}

TEST(TraceLog, NoClearKeepsEveryLine)
{
    MemoryTraceSink sink;
    sink.clearAllowed = false;
    TraceLogger trace;
    trace.setSink(&sink);
    for (int i = 1; i <= 100; ++i)
        trace.log("x");
    ASSERT_EQ(sink.lines.size(), 100u);
    EXPECT_EQ(sink.lines[40], "41: x");
    EXPECT_EQ(sink.lines[99], "100: x");
}

TEST(TraceLog, HiddenOrAbsentWindowCountsNothing)
{
    TraceLogger trace;
    trace.log("dropped before the window exists");
    MemoryTraceSink sink;
    sink.visible = false;
    trace.setSink(&sink);
    trace.log("dropped while hidden");
    EXPECT_EQ(trace.sequence(), 0);
    EXPECT_EQ(trace.linesSinceClear(), 0);
    sink.visible = true;
    trace.log("shown");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0], "1: shown");
}

TEST(TraceLog, PauseLosesLinesButKeepsNumberingAndClearing)
{
    MemoryTraceSink sink;
    TraceLogger trace;
    trace.setSink(&sink);
    for (int i = 0; i < 39; ++i)
        trace.log("a");
    sink.paused = true;
    trace.log("lost 40");
    trace.log("lost 41 clears");
    EXPECT_TRUE(sink.lines.empty());
    sink.paused = false;
    trace.log("back");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0], "42: back");
}

TEST(TraceLog, TracePointNamesExpressionFileLineAndValue)
{
    MemoryTraceSink sink;
    ScopedProgramTrace attach(&sink);
    const QString filename = QStringLiteral("C:\\web\\shop.wdx");
    const int expectedLine = __LINE__ + 1;
    TRACE_POINT(filename);
    TRACE_POINT("SaveClick");
    const int count = 41;
    TRACE_POINT(count);
    ASSERT_EQ(sink.lines.size(), 3u);
    const QString first = sink.lines[0].section(QStringLiteral(": "), 1);
    EXPECT_EQ(first,
              QStringLiteral("filename(test_trace.cpp):%1:C:\\web\\shop.wdx").arg(expectedLine));
    EXPECT_TRUE(sink.lines[1].endsWith(
        QStringLiteral(": \"SaveClick\"(test_trace.cpp):%1:SaveClick").arg(expectedLine + 1)));
    EXPECT_TRUE(sink.lines[2].endsWith(QStringLiteral(":41")));

    // Hidden: the expression is not even evaluated.
    sink.visible = false;
    int evaluated = 0;
    TRACE_POINT(++evaluated);
    EXPECT_EQ(evaluated, 0);
}
