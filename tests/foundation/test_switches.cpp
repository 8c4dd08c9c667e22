#include "foundation/switches.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {
QStringList params(std::initializer_list<const char *> words)
{
    QStringList list{QStringLiteral("/usr/bin/quillstone")};
    for (const char *w : words)
        list << QString::fromUtf8(w);
    return list;
}
} // namespace

TEST(Switches, MatchWholeParametersIgnoringCaseWithoutPrefix)
{
    EXPECT_TRUE(HasSwitch(params({"TRACE"}), "trace"));
    EXPECT_TRUE(HasSwitch(params({"TrAcE"}), "trace"));
    EXPECT_FALSE(HasSwitch(params({"-trace"}), "trace"));
    EXPECT_FALSE(HasSwitch(params({"/trace"}), "trace"));
    EXPECT_FALSE(HasSwitch(params({"traces"}), "trace"));
    // Parameter 0 is the program and never a switch.
    EXPECT_FALSE(HasSwitch(QStringList{"trace"}, "trace"));
    EXPECT_TRUE(HasSwitch(params({"ÄDRESS"}), QStringLiteral("ädress")));
}

TEST(Switches, ValueIsTheNextParameterOfTheFirstOccurrence)
{
    const QStringList p = params({"address", "run"});
    EXPECT_EQ(SwitchValue(p, "address"), "run");
    // A value equal to a switch word counts as that switch too.
    EXPECT_TRUE(HasSwitch(p, "run"));
    EXPECT_EQ(SwitchValue(params({"address", "http://a", "ADDRESS", "http://b"}), "address"),
              "http://a");
    EXPECT_EQ(SwitchValue(params({"run", "address"}), "address"), "");
    EXPECT_EQ(SwitchValue(params({"run"}), "address"), "");
}

TEST(Switches, IntegersFallBackToTheDefault)
{
    EXPECT_EQ(SwitchInt(params({"traceheight", "250"}), "traceheight", 0), 250);
    EXPECT_EQ(SwitchInt(params({"traceheight", "-12"}), "traceheight", 0), -12);
    EXPECT_EQ(SwitchInt(params({"traceheight", "+7"}), "traceheight", 0), 7);
    EXPECT_EQ(SwitchInt(params({"traceheight", "tall"}), "traceheight", 0), 0);
    EXPECT_EQ(SwitchInt(params({"traceheight", "12px"}), "traceheight", 5), 5);
    EXPECT_EQ(SwitchInt(params({"traceheight", " 12"}), "traceheight", 5), 5);
    EXPECT_EQ(SwitchInt(params({"traceheight", "-"}), "traceheight", 5), 5);
    EXPECT_EQ(SwitchInt(params({"traceheight", "99999999999"}), "traceheight", 5), 5);
    EXPECT_EQ(SwitchInt(params({"traceheight"}), "traceheight", 3), 3);
}

TEST(Switches, ReadTheRealCommandLineUnlessReplaced)
{
    // The test binary runs without any switch words of ours.
    EXPECT_EQ(ProgramParameters(), QCoreApplication::arguments());
    EXPECT_FALSE(HasSwitch("trace"));
    {
        ScopedParameters replaced({"Trace", "address", "http://127.0.0.1:8080"});
        EXPECT_TRUE(HasSwitch("trace"));
        EXPECT_EQ(SwitchValue("address"), "http://127.0.0.1:8080");
    }
    EXPECT_FALSE(HasSwitch("trace"));
}
