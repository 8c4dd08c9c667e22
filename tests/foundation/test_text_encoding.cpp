#include "foundation/text_encoding.h"

#include <gtest/gtest.h>

#include <QString>

using namespace text_encoding;

namespace {

bool valid(const QByteArray &bytes)
{
    return isValidUtf8(bytes.constData(), bytes.size());
}

} // namespace

TEST(TextEncoding, AcceptsWellFormedUtf8OfEveryLength)
{
    EXPECT_TRUE(valid(""));
    EXPECT_TRUE(valid("plain ascii that is longer than eight bytes"));
    EXPECT_TRUE(valid(QByteArray("a\0b", 3)));
    EXPECT_TRUE(valid("caf\xC3\xA9"));                 // U+00E9
    EXPECT_TRUE(valid("\xE2\x82\xAC euro"));           // U+20AC
    EXPECT_TRUE(valid("\xF0\x9F\x98\x80"));            // U+1F600
    EXPECT_TRUE(valid("\xF4\x8F\xBF\xBF"));            // U+10FFFF
    EXPECT_TRUE(valid("0123456789abcdef\xC3\xA9xyz")); // after the ASCII fast path
}

TEST(TextEncoding, RejectsMalformedUtf8)
{
    EXPECT_FALSE(valid("caf\xE9"));          // Latin-1 e-acute
    EXPECT_FALSE(valid("\x80"));             // stray continuation
    EXPECT_FALSE(valid("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(valid("\xE0\x80\xAF"));     // overlong three-byte
    EXPECT_FALSE(valid("\xF0\x80\x80\xAF")); // overlong four-byte
    EXPECT_FALSE(valid("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(valid("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(valid("\xF5\x80\x80\x80"));
    EXPECT_FALSE(valid("abc\xE2\x82"));  // cut short at the end
    EXPECT_FALSE(valid("\xE2\x28\xA1")); // bad continuation
    EXPECT_FALSE(valid("01234567\xFF"));

    // The offset is that of the sequence's first byte, past the fast path too.
    const auto offset = [](const QByteArray &bytes) {
        return invalidUtf8Offset(bytes.constData(), bytes.size());
    };
    EXPECT_EQ(offset("caf\xC3\xA9"), -1);
    EXPECT_EQ(offset("caf\xE9"), 3);
    EXPECT_EQ(offset("0123456789abcdef\xC3\xA9x\xE2\x28\xA1"), 19);
    EXPECT_EQ(offset("abc\xE2\x82"), 3);
}

TEST(TextEncoding, EveryLatin1ByteSurvivesTheTripThroughUtf8)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QByteArray utf8 = latin1ToUtf8(all.constData(), all.size());
    EXPECT_EQ(utf8.size(), latin1AsUtf8Size(all.constData(), all.size()));
    EXPECT_EQ(utf8.size(), 128 + 2 * 128);
    EXPECT_TRUE(valid(utf8));
    EXPECT_EQ(QString::fromUtf8(utf8), QString::fromLatin1(all));
    const auto back = utf8ToLatin1(utf8.constData(), utf8.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(TextEncoding, Latin1CannotHoldCharactersBeyondFF)
{
    const QByteArray euro = QString::fromUtf8("price \xE2\x82\xAC 5").toUtf8();
    EXPECT_FALSE(utf8ToLatin1(euro.constData(), euro.size()).has_value());
    const QByteArray a = QString::fromUtf8("\xC4\x80").toUtf8(); // U+0100
    EXPECT_FALSE(utf8ToLatin1(a.constData(), a.size()).has_value());
}

TEST(TextEncoding, FirstLineEndDecidesTheStyleOfNewLines)
{
    auto first = [](const QByteArray &b) { return firstLineEnd(b.constData(), b.size()); };
    EXPECT_EQ(first("no break"), LineEnd::None);
    EXPECT_EQ(first("a\r\nb\nc"), LineEnd::CrLf);
    EXPECT_EQ(first("a\nb\r\nc"), LineEnd::Lf);
    EXPECT_EQ(first("a\rb\nc"), LineEnd::Cr);
    EXPECT_EQ(first("a\r"), LineEnd::Cr);
}
