#include "editor/character_count.h"

#include <Qsci/qsciscintillabase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <unordered_map>
#include <vector>

namespace {

bool IsTrail(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The bytes one forward step of the control takes from `s` (`left` bytes
// there): a whole UTF-8 sequence, or one byte for anything it calls invalid
// (stray trail bytes, overlong forms, surrogates, beyond U+10FFFF, the
// non-characters U+xFFFE and U+xFFFF, a sequence cut by the end).
int StepOf(const unsigned char *s, long left)
{
    const unsigned char lead = s[0];
    int width = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        width = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        width = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        width = 4;
    if (width == 1 || left < width)
        return 1;
    for (int k = 1; k < width; ++k) {
        if (!IsTrail(s[k]))
            return 1;
    }
    if (width == 3) {
        if ((lead == 0xE0 && (s[1] & 0xE0) == 0x80) || (lead == 0xED && (s[1] & 0xE0) == 0xA0) ||
            (lead == 0xEF && s[1] == 0xBF && (s[2] == 0xBE || s[2] == 0xBF)))
            return 1;
    } else if (width == 4) {
        if (((s[1] & 0x0F) == 0x0F && s[2] == 0xBF && (s[3] == 0xBE || s[3] == 0xBF)) ||
            (lead == 0xF4 && (s[1] & 0xF0) >= 0x90) || (lead == 0xF0 && (s[1] & 0xF0) == 0x80))
            return 1;
    }
    return width;
}

} // namespace

namespace {
// Counts from byte `i`, a character's start, towards `end`; leaves `i` at the
// start of the first character not counted.
long CountFrom(const unsigned char *s, long size, long &i, long end)
{
    end = std::min(end, size);
    long count = 0;
    while (i < end) {
        // Runs of ASCII eight bytes at a time.
        while (i + 8 <= end) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            i += 8;
            count += 8;
        }
        if (i >= end)
            break;
        const int step = s[i] < 0x80 ? 1 : StepOf(s + i, size - i);
        // A position inside a character counts up to that character's start.
        if (i + step > end)
            break;
        i += step;
        ++count;
    }
    return count;
}
} // namespace

long CountUtf8Characters(const char *text, long size, long end)
{
    long i = 0;
    return CountFrom(reinterpret_cast<const unsigned char *>(text), size, i, end);
}

namespace {

using SendFunction = long (*)(const QsciScintillaBase *, unsigned int, unsigned long, long);

SendFunction LibrarySend()
{
    static const SendFunction send = reinterpret_cast<SendFunction>(
        dlsym(RTLD_NEXT, "_ZNK17QsciScintillaBase13SendScintillaEjml"));
    return send;
}

// Below this many bytes the control's own count is as quick.
constexpr long FastCountFrom = 64 * 1024;

// Counts already made for an editor whose changes are reported: the count of
// characters before each mark (a character's start about every Stride bytes),
// valid until a change at or before the mark.
constexpr long Stride = 256 * 1024;
struct Mark {
    long position;
    long count;
};
struct Marks {
    long document = 0; // the control's document the marks belong to
    std::vector<Mark> marks{{0, 0}};
};
std::unordered_map<const QsciScintillaBase *, Marks> &TrackedEditors()
{
    static std::unordered_map<const QsciScintillaBase *, Marks> editors;
    return editors;
}

long CountWithMarks(Marks &tracked, const unsigned char *text, long end)
{
    auto &marks = tracked.marks;
    while (marks.back().position + Stride <= end) {
        long i = marks.back().position;
        const long count = marks.back().count + CountFrom(text, end, i, i + Stride);
        marks.push_back({i, count});
    }
    const auto after =
        std::upper_bound(marks.begin(), marks.end(), end,
                         [](long at, const Mark &mark) { return at < mark.position; });
    long i = std::prev(after)->position;
    return std::prev(after)->count + CountFrom(text, end, i, end);
}

} // namespace

void TrackCharacterCounts(const QsciScintillaBase *editor)
{
    TrackedEditors()[editor];
}

void StopTrackingCharacterCounts(const QsciScintillaBase *editor)
{
    TrackedEditors().erase(editor);
}

void CharactersChangeAt(const QsciScintillaBase *editor, long position)
{
    const auto found = TrackedEditors().find(editor);
    if (found == TrackedEditors().end())
        return;
    auto &marks = found->second.marks;
    while (marks.size() > 1 && marks.back().position > position)
        marks.pop_back();
}

bool FastCharacterCountAvailable()
{
    return LibrarySend() != nullptr;
}

// The control's accessibility support turns the position of every insertion
// and deletion into a character offset by counting from the document's start,
// one call per character, whether or not any assistive tool listens: at the
// end of a 10 MB file that costs a quarter of a second per key. The library
// reaches its own SendScintilla through the dynamic linker, so this
// definition takes its calls and answers long counts from the start in one
// pass over the text, from marks kept between changes for the program's
// editors. Every other message goes on to the library unchanged.
long QsciScintillaBase::SendScintilla(unsigned int msg, unsigned long wParam, long lParam) const
{
    const SendFunction send = LibrarySend();
    if (msg == SCI_COUNTCHARACTERS && wParam == 0 && lParam >= FastCountFrom &&
        send(this, SCI_GETCODEPAGE, 0, 0) == SC_CP_UTF8) {
        const long end = std::min(lParam, send(this, SCI_GETLENGTH, 0, 0));
        // Only text on one side of the gap: asking across it would move it.
        // Typing leaves the gap just after the position asked about.
        const long gap = send(this, SCI_GETGAPPOSITION, 0, 0);
        if (gap >= end || gap == 0) {
            const auto *text =
                reinterpret_cast<const char *>(send(this, SCI_GETRANGEPOINTER, 0, end));
            if (!text)
                return send(this, msg, wParam, lParam);
            const auto tracked = TrackedEditors().find(this);
            if (tracked == TrackedEditors().end())
                return CountUtf8Characters(text, end, end);
            // Another document shown in the control starts the marks again.
            const long document = send(this, SCI_GETDOCPOINTER, 0, 0);
            if (tracked->second.document != document)
                tracked->second = Marks{document};
            return CountWithMarks(tracked->second, reinterpret_cast<const unsigned char *>(text),
                                  end);
        }
    }
    return send(this, msg, wParam, lParam);
}
