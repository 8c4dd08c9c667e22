#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The declarations of one PHP file, found from its tokens. Names of
// namespaces, classes, functions and constants are fully qualified without a
// leading backslash; members carry their short names (properties without `$`).
// Types (extends, implements, trait uses, property types, return types, also
// from @var/@return) are resolved through the file's namespace and imports.

enum class PhpSymbolKind : std::uint8_t {
    Namespace,
    Class,
    Interface,
    Trait,
    Enum,
    Function,
    Method,
    Property,
    ClassConstant,
    EnumCase,
    Constant, // `const` at namespace level or define()
};

namespace PhpFlag {
enum : std::uint8_t {
    Public = 1,
    Protected = 2,
    Private = 4,
    Static = 8,
    Abstract = 16,
    Final = 32,
    Readonly = 64,
};
}

struct PhpSymbol {
    PhpSymbolKind kind = PhpSymbolKind::Function;
    std::uint8_t flags = 0;
    std::int32_t container = -1; // index of the enclosing namespace or class-like
    std::uint32_t line = 0;      // 1-based, of the name
    std::uint32_t column = 0;    // 0-based byte offset of the name in its line
    std::uint32_t endLine = 0;   // last line of the declaration's body
    // The doc comment's bytes in the file (length 0: none); PhpDocText reads it.
    std::uint32_t docPos = 0;
    std::uint32_t docLen = 0;
    std::string name;
    std::string signature;
    // Property type, return type or constant's class; a class name is qualified.
    std::string type;
    // Class-likes: parents (interfaces may have several), interfaces, traits.
    std::vector<std::string> extends;
    std::vector<std::string> implements;
    std::vector<std::string> uses;
};

struct PhpImport {
    enum Kind : std::uint8_t { Class, Function, Constant } kind = Class;
    std::string alias;    // as written, case kept
    std::string name;     // fully qualified
    std::int32_t ns = -1; // namespace symbol it belongs to
};

struct PhpFileSymbols {
    std::vector<PhpSymbol> symbols;
    std::vector<PhpImport> imports;
};

PhpFileSymbols ExtractPhpSymbols(std::string_view source);

// A symbol's doc comment from its file's text, without its frame and the
// stars that start its lines; a long description is cut, tag lines are kept.
// Empty when the text no longer holds a doc comment there.
std::string PhpDocText(std::string_view source, const PhpSymbol &symbol);

// The helpers name resolution shares with the extractor.
std::string ToLowerAscii(std::string_view s);
const char *PhpSymbolKindName(PhpSymbolKind kind);
bool IsClassLike(PhpSymbolKind kind);
// Builtin type words that never name a class (int, string, array, mixed ...).
bool IsBuiltinTypeName(std::string_view lowerName);

// Resolves a class name as written in a file: fully qualified, qualified
// (first part through an import), `namespace\` relative, or unqualified
// (import alias, else the current namespace). self/static/parent are left to
// the caller.
std::string ResolveClassName(std::string_view written, const std::string &ns,
                             const std::vector<PhpImport> &imports, std::int32_t nsIndex);
