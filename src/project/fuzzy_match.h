#pragma once

#include <string_view>

// How well `pattern` matches `text` as an abbreviation: every pattern
// character in order, letter case ignored. Matches at word starts (after
// `\`, `_`, `:`, `$`, `.`, `/`, `-`, blank, at a capital after a small letter, or the text's start)
// and runs of consecutive characters score higher, and a shorter text wins a
// tie. -1 when the pattern is not a subsequence of the text; 0 for an empty
// pattern.
int FuzzyScore(std::string_view pattern, std::string_view text);
