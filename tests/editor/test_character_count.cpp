// Character counts from the document's start answer as the control's own
// count does, for valid and invalid UTF-8 and at every position.
#include "editor/character_count.h"
#include "editor/code_editor.h"

#include <gtest/gtest.h>

namespace {

using Sci = QsciScintillaBase;

// The control's own count over [from, to): counts not from the start go to
// the library unchanged. From the start, the text is first made to lie on one
// side of the control's gap, as typing leaves it, so the fast count answers.
long ControlCount(const CodeEditor &editor, long from, long to)
{
    if (from == 0)
        editor.SendScintilla(Sci::SCI_GETRANGEPOINTER, 0UL, to);
    return editor.SendScintilla(Sci::SCI_COUNTCHARACTERS, static_cast<unsigned long>(from), to);
}

void SetBytes(CodeEditor &editor, const QByteArray &bytes)
{
    editor.SendScintilla(Sci::SCI_CLEARALL);
    editor.SendScintilla(Sci::SCI_APPENDTEXT, static_cast<unsigned long>(bytes.size()),
                         bytes.constData());
}

struct Sample {
    const char *name;
    QByteArray bytes;
};

TEST(CharacterCount, EveryPositionAsTheControlCounts)
{
    const std::vector<Sample> samples = {
        {"ascii", "function f() { return 1; }"},
        {"two, three and four bytes", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 end"},
        {"stray trail and bad leads", "a\x80\x80 b\xC0\xAF c\xF5\x80 d\xFF"},
        {"overlong and surrogate", "\xE0\x80\x80x\xED\xA0\x80y\xF0\x80\x80\x80z"},
        {"non-characters and beyond U+10FFFF", "\xEF\xBF\xBE\xEF\xBF\xBFq\xF4\x90\x80\x80r"},
        {"cut at the end", "ok \xE2\x82"},
    };
    CodeEditor editor;
    for (const Sample &sample : samples) {
        // A letter ahead, so the control counts from 1 without the fast path.
        const QByteArray text = "A" + sample.bytes;
        SetBytes(editor, text);
        for (long end = 1; end <= text.size(); ++end)
            EXPECT_EQ(1 + CountUtf8Characters(text.constData() + 1, text.size() - 1, end - 1),
                      1 + ControlCount(editor, 1, end))
                << sample.name << " at " << end;
    }
}

TEST(CharacterCount, LongCountsFromTheStartBeforeAndAfterEdits)
{
    ASSERT_TRUE(FastCharacterCountAvailable());
    CodeEditor editor;
    QByteArray text;
    while (text.size() < 1200 * 1024)
        text += "$price = '12 EUR'; // cafe\n";
    SetBytes(editor, "A" + text);
    // Edits far in, then before counts made earlier, then far in again: a
    // count kept from before an edit must not survive it.
    for (long at : {1000 * 1024, 600 * 1024, 1100 * 1024, 300 * 1024, 1150 * 1024}) {
        while ((editor.SendScintilla(Sci::SCI_GETCHARAT, static_cast<unsigned long>(at)) & 0xC0) ==
               0x80)
            --at;
        // The edit leaves the gap just after it, where the fast count applies.
        // Four bytes, one character, in ASCII text: a count kept from before
        // the edit cannot come out right by chance.
        editor.SendScintilla(Sci::SCI_INSERTTEXT, static_cast<unsigned long>(at),
                             "\xF0\x9F\x98\x80");
        for (long end : {at, at + 4}) {
            EXPECT_EQ(ControlCount(editor, 0, end), 1 + ControlCount(editor, 1, end))
                << "edit at " << at << ", count to " << end;
        }
    }
}

} // namespace
