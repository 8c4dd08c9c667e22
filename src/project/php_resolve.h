#pragma once

#include "project/php_lexer.h"
#include "project/symbol_index.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// What a name at a place in a PHP file refers to: the file's namespace and
// imports resolve class, function and constant names; members are found
// through the class hierarchy from the class the expression before `->` or
// `::` has ($this, self, static, parent, `new`, typed parameters and
// properties, return types, @var/@param/@return, assignments).

struct PhpTarget {
    QString path;
    int line = 0;   // 1-based
    int column = 0; // 0-based byte offset in the line
    PhpSymbolKind kind = PhpSymbolKind::Function;
    std::string name;      // short name for members, qualified otherwise
    std::string container; // the class of a member
    std::string signature;
};

PhpTarget MakeTarget(const SymbolRef &ref);

class PhpCodeContext {
public:
    // `source` must outlive the context; `path` is looked up in `index` for
    // the file's own declarations (parsed from `source` when absent).
    PhpCodeContext(const SymbolIndex &index, const QString &path, std::string_view source);

    struct Lookup {
        std::vector<PhpTarget> targets;
        std::string what; // what was looked for, for a "not found" message; empty: nothing there
    };
    // The declarations the name at byte `offset` refers to.
    Lookup definition(size_t offset) const;
    // As definition(), and on a declaration's own name that declaration.
    Lookup declarationAt(size_t offset) const;

    // The names in this file that resolve to one of `decls` (their own
    // declarations included). A member's name after `->` or `::` whose class
    // is not known is kept as possible.
    struct Use {
        std::uint32_t line = 0;   // 1-based
        std::uint32_t column = 0; // 0-based byte offset in the line
        bool possible = false;
    };
    std::vector<Use> usesOf(const std::vector<PhpTarget> &decls) const;

    // For completion at `offset`: the kind of place and the class whose members fit.
    struct Completion {
        enum Kind { None, Member, Static, NewClass, Name } kind = None;
        std::string className;    // Member/Static: the class (empty when unknown)
        std::string prefix;       // the part of the word already typed
        std::string currentClass; // the class whose code holds the caret
        bool staticOnly = false;  // ClassName:: outside the class's own code
        // NewClass/Name with a namespace part before the caret ("\\Shop\\Us",
        // "Shop\\"): that part as written and the namespace it resolves to
        // (empty: the global one); prefix is then the part after it.
        bool qualified = false;
        std::string writtenNamespace;
        std::string namespaceName;
    };
    Completion completionAt(size_t offset) const;

    // The namespace at a line and its index among the file's symbols.
    const std::string &namespaceName() const { return m_ns; }

private:
    int tokenAt(size_t offset) const;
    void enterLine(std::uint32_t line) const;
    std::string resolveClass(std::string_view written) const;
    std::vector<SymbolRef> resolveFunction(std::string_view written) const;
    std::vector<SymbolRef> resolveConstant(std::string_view written) const;
    std::string currentClass() const;
    std::string parentClass() const;
    std::string staticClass(int k, int depth) const;
    std::string exprClass(int e, int depth) const;
    std::string variableClass(std::string_view var, int before, int depth) const;
    std::string typeFromDoc(std::string_view doc, std::string_view tag, std::string_view var) const;
    std::string memberType(const std::string &cls, std::string_view member,
                           SymbolIndex::MemberKind kind) const;
    int matchingBackward(int close) const;
    Lookup useStatementTarget(int i) const;
    bool op(int i, std::string_view o) const;
    bool kw(int i, std::string_view k) const;
    std::string_view text(int i) const;

    const SymbolIndex &m_index;
    QString m_path;
    std::string_view m_s;
    std::vector<PhpToken> m_tokens; // without comments and inline HTML
    std::vector<PhpToken> m_docs;
    PhpFileSymbols m_ownSymbols;
    const PhpFileSymbols *m_file = nullptr;
    // Set by enterLine for the place being resolved.
    mutable std::string m_ns;
    mutable int m_nsIndex = -1;
    mutable int m_classIndex = -1;
    mutable int m_functionIndex = -1;
};
