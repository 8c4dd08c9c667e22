#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A tokenizer for PHP source that follows the language's lexical states:
// inline HTML outside the tags, `<?php`/`<?=` and `?>`, strings with
// interpolation (`{$...}`, `${...}`), heredoc and nowdoc with indented closing
// markers, comments (a line comment ends before `?>`), attributes `#[`, and
// names with namespace separators as one token. Whitespace is dropped; code
// inside interpolations is skipped. It never fails: unterminated constructs
// run to the end of the text.

enum class PhpTok : std::uint8_t {
    InlineHtml,
    OpenTag,  // <?php or <?=
    CloseTag, // ?>
    Comment,
    DocComment, // /** ... */
    Variable,   // $name
    Name,       // identifier or keyword, possibly qualified: Foo, \Foo\Bar, namespace\X
    Number,
    String,  // quoted string of any kind, backtick command included
    Heredoc, // heredoc or nowdoc, markers included
    Op,      // punctuation; ->, ?->, ::, =>, ..., #[ are single tokens
};

struct PhpToken {
    PhpTok kind;
    std::uint32_t pos;
    std::uint32_t len;
    std::uint32_t line; // 1-based
};

std::vector<PhpToken> LexPhp(std::string_view source);
// The same into `out`, reusing its storage (cleared first).
void LexPhp(std::string_view source, std::vector<PhpToken> &out);

// Helpers over tokens of one source.
inline std::string_view TokenText(std::string_view source, const PhpToken &t)
{
    return source.substr(t.pos, t.len);
}
bool IsOp(std::string_view source, const PhpToken &t, std::string_view op);
// Case-insensitive keyword test on an unqualified name token.
bool IsKeyword(std::string_view source, const PhpToken &t, std::string_view lowerKeyword);
// The literal text of a quoted string without interpolation; false otherwise.
bool PlainStringValue(std::string_view source, const PhpToken &t, std::string &value);
