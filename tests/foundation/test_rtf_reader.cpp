#include "foundation/rtf_reader.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {
QString plain(const char *rtf)
{
    return ReadRtf(QByteArray(rtf)).plainText();
}
} // namespace

TEST(RtfReader, ParagraphsLinesTabsAndEscapes)
{
    EXPECT_EQ(plain("{\\rtf1\\ansi First\\par Second\\line half\\tab tab\\par}"),
              QStringLiteral("First\nSecond\nhalf\ttab"));
    // An empty paragraph stays an empty line; file line ends are not text.
    EXPECT_EQ(plain("{\\rtf1 a\\par\r\n\\par\r\nb}"), QStringLiteral("a\n\nb"));
    // The delimiter blank after a control word is eaten, further blanks stay.
    EXPECT_EQ(plain("{\\rtf1 \\b  x\\b0}"), QStringLiteral(" x"));
    EXPECT_EQ(plain("{\\rtf1 a\\{b\\}c\\\\d}"), QStringLiteral("a{b}c\\d"));
    // A backslash before a line end is a paragraph break.
    EXPECT_EQ(plain("{\\rtf1 one\\\ntwo}"), QStringLiteral("one\ntwo"));
}

TEST(RtfReader, CharacterFormatsFollowGroups)
{
    const RtfDocument doc =
        ReadRtf("{\\rtf1 n{\\b b{\\i bi}}\\ul u\\ulnone\\i it\\i0 \\fs36 big\\plain p\\par}");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    const auto &runs = doc.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[0].text, "n");
    EXPECT_FALSE(runs[0].bold);
    EXPECT_EQ(runs[1].text, "b");
    EXPECT_TRUE(runs[1].bold);
    EXPECT_FALSE(runs[1].italic);
    EXPECT_EQ(runs[2].text, "bi");
    EXPECT_TRUE(runs[2].bold && runs[2].italic);
    // Leaving the groups restores the outer format.
    EXPECT_EQ(runs[3].text, "u");
    EXPECT_TRUE(runs[3].underline);
    EXPECT_FALSE(runs[3].bold);
    EXPECT_EQ(runs[4].text, "it");
    EXPECT_TRUE(runs[4].italic && !runs[4].underline);
    EXPECT_EQ(runs[5].text, "big");
    EXPECT_EQ(runs[5].halfPoints, 36);
    EXPECT_EQ(runs[6].text, "p");
    EXPECT_EQ(runs[6].halfPoints, 0);
}

TEST(RtfReader, EightBitCharactersUseTheDocumentCodePage)
{
    // 1252 is the default and maps 0x80..0x9F to their Windows characters.
    EXPECT_EQ(plain("{\\rtf1\\ansi caf\\'e9 \\'80 \\'93q\\'94}"), QString::fromUtf8("café € “q”"));
    EXPECT_EQ(plain("{\\rtf1\\ansi\\ansicpg1252 \\'E9\\'9f}"), QString::fromUtf8("éŸ"));
    // Latin-1 keeps the control range as it is.
    const QString latin1 = plain("{\\rtf1\\ansi\\ansicpg28591 \\'e9\\'80}");
    ASSERT_EQ(latin1.size(), 2);
    EXPECT_EQ(latin1[0], QChar(0xE9));
    EXPECT_EQ(latin1[1], QChar(0x80));
    // Raw 8-bit bytes in the text are decoded the same way.
    EXPECT_EQ(ReadRtf(QByteArray("{\\rtf1 caf\xe9}")).plainText(), QString::fromUtf8("café"));
    // A broken hex escape is dropped, not read as something else.
    EXPECT_EQ(plain("{\\rtf1 a\\'zzb}"), QStringLiteral("azzb"));
}

TEST(RtfReader, UnicodeCharactersSkipTheirFallback)
{
    EXPECT_EQ(plain("{\\rtf1 x\\u8364?y}"), QString::fromUtf8("x€y"));
    EXPECT_EQ(plain("{\\rtf1\\uc2 \\u8364\\'80\\'80y}"), QString::fromUtf8("€y"));
    EXPECT_EQ(plain("{\\rtf1\\uc0 \\u233 ok}"), QString::fromUtf8("éok"));
    // Negative values are the upper half of the 16-bit range.
    EXPECT_EQ(plain("{\\rtf1 \\u-3971?}"), QString(QChar(0xF07D)));
    // Surrogate pairs come as two \u in a row.
    EXPECT_EQ(plain("{\\rtf1 \\u55357?\\u56832?}"), QString::fromUtf8("😀"));
    // The \uc count belongs to its group; a closing brace ends the fallback.
    EXPECT_EQ(plain("{\\rtf1 {\\uc3 \\u233}abc}"), QString::fromUtf8("éabc"));
}

TEST(RtfReader, DestinationsWithoutBodyTextAreSkipped)
{
    const char *rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                      "{\\colortbl;\\red255\\green0\\blue0;}"
                      "{\\stylesheet{\\s0 Normal;}}{\\info{\\title Secret}{\\author Me}}"
                      "{\\*\\generator Writer 1.0;}{\\*\\unknownthing hidden}"
                      "{\\pict\\pngblip 89504e47}"
                      "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt shown}}"
                      "\\f0 Body\\par}";
    EXPECT_EQ(plain(rtf), QStringLiteral("shownBody"));
    // Binary data is skipped by its length even when it holds braces.
    EXPECT_EQ(plain("{\\rtf1 a{\\pict\\bin4 }}{{b}c}"), QStringLiteral("ac"));
}

TEST(RtfReader, HtmlEscapesTextAndKeepsFormats)
{
    const QString html = RtfToHtml(QByteArray("{\\rtf1 <b>&amp; {\\b \"x\"}\\line y\\par\\par}"));
    EXPECT_TRUE(html.contains("&lt;b&gt;&amp;amp; "));
    EXPECT_FALSE(html.contains("<b>"));
    EXPECT_TRUE(html.contains("<span style=\"font-weight:700;\">&quot;x&quot;</span>"));
    EXPECT_TRUE(html.contains("<br />y"));
    EXPECT_EQ(html.count("<p "), 2);
}

TEST(RtfReader, MalformedInputReturnsWhatWasRead)
{
    // Unbalanced and stray braces, truncation inside every kind of token.
    EXPECT_EQ(plain("{\\rtf1 open {\\b never closed"), QStringLiteral("open never closed"));
    EXPECT_EQ(plain("}}{\\rtf1 a}}} after"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1 a\\"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1 a\\'"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1 a\\'4"), QStringLiteral("a4"));
    EXPECT_EQ(plain("{\\rtf1 a\\u"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1 a\\bin99999999999"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1 a\\fs99999999999999999999 b}"), QStringLiteral("ab"));
    EXPECT_EQ(plain(""), QString());

    // Random bytes made of RTF's own characters never crash or hang.
    const char alphabet[] = "{}\\'*abuc019 -\x80\xff\n";
    QRandomGenerator random(42);
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        const int length = random.bounded(1, 200);
        for (int i = 0; i < length; ++i)
            bytes.append(alphabet[random.bounded(int(sizeof alphabet) - 1)]);
        const RtfDocument doc = ReadRtf(bytes);
        EXPECT_LE(doc.plainText().size(), bytes.size() * 2) << bytes.toStdString();
    }

    // Deep nesting is memory, not recursion.
    const QByteArray deep = QByteArray(200000, '{') + "x";
    EXPECT_EQ(ReadRtf(deep).plainText(), QStringLiteral("x"));
}

TEST(RtfReader, RecognisesRtf)
{
    EXPECT_TRUE(LooksLikeRtf("{\\rtf1\\ansi x}"));
    EXPECT_TRUE(LooksLikeRtf("\xEF\xBB\xBF {\\rtf1}"));
    EXPECT_FALSE(LooksLikeRtf("<html>"));
    EXPECT_FALSE(LooksLikeRtf(""));
}
