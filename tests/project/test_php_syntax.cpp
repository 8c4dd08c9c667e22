// Where a syntax error is marked: PHP's line and message placed on a token,
// and what the tokens alone can tell without PHP.

#include "project/php_syntax.h"

#include <gtest/gtest.h>

namespace {

struct Placed {
    const char *name;
    const char *source;
    int line;            // as PHP reports it
    const char *message; // as PHP reports it
    // The place marked, as "line:column:length".
    const char *expected;
};

std::string placeOf(const PhpSyntaxProblem &p)
{
    return std::to_string(p.line) + ":" + std::to_string(p.column) + ":" + std::to_string(p.length);
}

class LocateError : public ::testing::TestWithParam<Placed> {};

} // namespace

TEST_P(LocateError, MarksThePlaceThePhpMessageMeans)
{
    const Placed &c = GetParam();
    const PhpSyntaxProblem p = LocatePhpError(c.source, c.line, c.message);
    EXPECT_EQ(placeOf(p), c.expected);
    EXPECT_EQ(p.message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LocateError,
    ::testing::Values(Placed{"QuotedToken", "<?php\n$a = 1\necho $a;\n", 3,
                             "Parse error: syntax error, unexpected token \"echo\"", "3:0:4"},
                      Placed{"QuotedTokenAfterIndentation", "<?php\nif ($a) {\n    $b = ;\n}\n", 3,
                             "Parse error: syntax error, unexpected token \";\"", "3:9:1"},
                      Placed{"IdentifierNotInAComment", "<?php\n/* foo */ $x = 1 foo();\n", 2,
                             "Parse error: syntax error, unexpected identifier \"foo\"", "2:17:3"},
                      Placed{"Variable", "<?php\nfunction f() { $a $b; }\n", 2,
                             "Parse error: syntax error, unexpected variable \"$b\"", "2:18:2"},
                      Placed{"QuotedStringToken", "<?php\n$a = 1 \"text\";\n", 2,
                             "Parse error: syntax error, unexpected double-quoted string \"text\"",
                             "2:7:6"},
                      Placed{"UnclosedBraceOnItsOwnLine", "<?php\nfunction a() {\n  $x = 1;\n", 4,
                             "Parse error: Unclosed '{' on line 2", "2:13:1"},
                      Placed{"UnmatchedCloser", "<?php\n$a = [1, 2);\n", 2,
                             "Parse error: Unmatched ')'", "2:10:1"},
                      Placed{"EndOfFileAtTheLastToken", "<?php\nif ($a) {\n  echo 'x'", 3,
                             "Parse error: syntax error, unexpected end of file", "3:7:3"},
                      Placed{"UnknownWordingMarksTheLinesText", "<?php\n\n   $this = 1;\n", 3,
                             "Fatal error: Cannot re-assign $this", "3:3:10"},
                      Placed{"LineBeyondTheText", "<?php\n", 9, "Parse error: something", "9:0:0"},
                      Placed{"CrLfLineEndsAreNotMarked", "<?php\r\n  foo bar;\r\n", 2,
                             "Parse error: odd", "2:2:8"}),
    [](const ::testing::TestParamInfo<Placed> &info) { return std::string(info.param.name); });

TEST(PhpSyntaxProblems, TheTokensAloneFindUnpairedBracketsAndOpenTexts)
{
    struct Case {
        const char *source;
        const char *expected; // "line:column:length message" per problem, joined by "; "
    } const cases[] = {
        {"<?php\nfunction f() { return [1, (2)]; }\n", ""},
        // Brackets inside strings, comments, heredocs and HTML do not count.
        {"<?php $a = \"{$b['}']} (\"; // )\n?><p>{</p><?php\n$c = <<<X\n  ]\n  X;\n", ""},
        {"<?php\nif ($a) {\n  $b = (1;\n}\n", "3:7:1 Unclosed '('"},
        {"<?php\n$a = 1);\n", "2:6:1 Unmatched ')'"},
        {"<?php\nfunction f() {\n", "2:13:1 Unclosed '{'"},
        {"<?php\n#[Attr(1)\nfunction f() {}\n", "2:0:2 Unclosed '['"},
        {"<?php\n$a = 'open;\n", "2:5:6 Unterminated string"},
        {"<?php\n/* never closed\n", "2:0:15 Unterminated comment"},
        {"<?php\n$a = <<<EOT\nbody\n", "2:5:6 Unterminated heredoc"},
        // Alternative syntax across PHP blocks pairs up.
        {"<?php if ($a) { ?>\n<b>x</b>\n<?php } ?>\n", ""},
    };
    for (const Case &c : cases) {
        std::string found;
        for (const PhpSyntaxProblem &p : FindPhpSyntaxProblems(c.source))
            found += (found.empty() ? "" : "; ") + placeOf(p) + " " + p.message;
        EXPECT_EQ(found, c.expected) << c.source;
    }
}
