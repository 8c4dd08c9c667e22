#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where a syntax error lies in a PHP text, for the editor to mark while the
// user types. PHP itself (`php -l`) says whether there is an error and on
// which line; the tokens find the place on that line it means. Without PHP,
// the tokens alone find what they can tell for certain: brackets that do not
// pair up and comments, strings and heredocs left open at the end.

struct PhpSyntaxProblem {
    std::uint32_t line = 0;   // 1-based
    std::uint32_t column = 0; // 0-based byte offset in the line
    std::uint32_t length = 0; // bytes, within the line; at least 1 unless the line is empty
    std::string message;
};

// What the tokens alone can tell, in the order of the text.
std::vector<PhpSyntaxProblem> FindPhpSyntaxProblems(std::string_view source);

// The place of an error PHP reported on `line` with `message` ("Parse error:
// syntax error, unexpected token "}"", "Unclosed '{' on line 2", ...): the
// token the message quotes on that line, the bracket it names, the end of the
// text for an unexpected end, else the line's text. The message is kept.
PhpSyntaxProblem LocatePhpError(std::string_view source, int line, const std::string &message);
