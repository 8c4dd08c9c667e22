#include "foundation/errors.h"
#include "foundation/text_utils.h"

#include <gtest/gtest.h>

namespace {

QStringList split(const QString &text, const QString &separator)
{
    QStringList parts{QStringLiteral("stale")};
    SplitByDelimiter(text, separator, parts);
    return parts;
}

} // namespace

TEST(SplitByDelimiter, KeepsEmptyPartsAtEveryPosition)
{
    EXPECT_EQ(split("a/b/", "/"), (QStringList{"a", "b", ""}));
    EXPECT_EQ(split("/a", "/"), (QStringList{"", "a"}));
    EXPECT_EQ(split("a//b", "/"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(split("/", "/"), (QStringList{"", ""}));
    EXPECT_EQ(split("sub\\deeper\\x", "\\"), (QStringList{"sub", "deeper", "x"}));
}

TEST(SplitByDelimiter, EmptyTextGivesEmptyListAndNoSeparatorGivesWholeText)
{
    EXPECT_TRUE(split("", "/").isEmpty());
    EXPECT_EQ(split("www", "/"), (QStringList{"www"}));
}

TEST(SplitByDelimiter, SeparatorOfSeveralCharacters)
{
    EXPECT_EQ(split("a::b:c::", "::"), (QStringList{"a", "b:c", ""}));
}

TEST(SplitByDelimiter, EmptySeparatorIsRefusedInsteadOfLoopingForever)
{
    QStringList parts;
    EXPECT_THROW(SplitByDelimiter("abc", "", parts), AppError);
    EXPECT_TRUE(parts.isEmpty());
}
