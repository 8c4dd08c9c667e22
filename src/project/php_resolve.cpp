#include "project/php_resolve.h"

#include <algorithm>

namespace {
constexpr int MaxDepth = 8;

// Words that never name a declaration where they stand.
bool isReservedWord(std::string_view w)
{
    static constexpr std::string_view Words[] = {
        "abstract", "and",          "as",         "break",     "case",      "catch",   "class",
        "clone",    "const",        "continue",   "declare",   "default",   "do",      "echo",
        "else",     "elseif",       "enum",       "extends",   "final",     "finally", "fn",
        "for",      "foreach",      "function",   "global",    "goto",      "if",      "implements",
        "include",  "include_once", "instanceof", "insteadof", "interface", "match",   "namespace",
        "new",      "or",           "print",      "private",   "protected", "public",  "readonly",
        "require",  "require_once", "return",     "static",    "switch",    "throw",   "trait",
        "try",      "use",          "var",        "while",     "xor",       "yield",   "isset",
        "empty",    "unset",        "exit",       "die",       "eval",      "list",    "self",
        "parent"};
    return std::find(std::begin(Words), std::end(Words), w) != std::end(Words);
}

bool isClassKeywordBefore(std::string_view lowerWord)
{
    return lowerWord == "new" || lowerWord == "instanceof" || lowerWord == "extends" ||
           lowerWord == "implements" || lowerWord == "insteadof" || lowerWord == "use";
}
} // namespace

PhpTarget MakeTarget(const SymbolRef &ref)
{
    const PhpSymbol &s = ref.symbol();
    PhpTarget t;
    t.path = ref.file->path;
    t.line = int(s.line);
    t.column = int(s.column);
    t.kind = s.kind;
    t.name = s.name;
    t.container = SymbolIndex::containerName(ref);
    t.signature = s.signature;
    return t;
}

PhpCodeContext::PhpCodeContext(const SymbolIndex &index, const QString &path,
                               std::string_view source)
    : m_index(index), m_path(path), m_s(source)
{
    for (const PhpToken &t : LexPhp(source)) {
        if (t.kind == PhpTok::DocComment)
            m_docs.push_back(t);
        else if (t.kind != PhpTok::Comment && t.kind != PhpTok::InlineHtml &&
                 t.kind != PhpTok::OpenTag)
            m_tokens.push_back(t);
    }
    m_ownSymbols = ExtractPhpSymbols(source);
    m_file = &m_ownSymbols;
}

bool PhpCodeContext::op(int i, std::string_view o) const
{
    return i >= 0 && i < int(m_tokens.size()) && IsOp(m_s, m_tokens[size_t(i)], o);
}

bool PhpCodeContext::kw(int i, std::string_view k) const
{
    return i >= 0 && i < int(m_tokens.size()) && IsKeyword(m_s, m_tokens[size_t(i)], k);
}

std::string_view PhpCodeContext::text(int i) const
{
    if (i < 0 || i >= int(m_tokens.size()))
        return {};
    return TokenText(m_s, m_tokens[size_t(i)]);
}

int PhpCodeContext::tokenAt(size_t offset) const
{
    // The last token starting at or before the offset that reaches it; a name
    // ending right at the caret wins over what follows it.
    const auto it = std::upper_bound(m_tokens.begin(), m_tokens.end(), offset,
                                     [](size_t o, const PhpToken &t) { return o < t.pos; });
    int i = int(it - m_tokens.begin()) - 1;
    if (i < 0)
        return -1;
    const PhpToken &t = m_tokens[size_t(i)];
    if (offset > t.pos + t.len)
        return -1;
    if (offset == t.pos && t.kind == PhpTok::Op && i > 0) {
        const PhpToken &p = m_tokens[size_t(i - 1)];
        if ((p.kind == PhpTok::Name || p.kind == PhpTok::Variable) && p.pos + p.len == offset)
            return i - 1;
    }
    return i;
}

void PhpCodeContext::enterLine(std::uint32_t line) const
{
    m_ns.clear();
    m_nsIndex = m_classIndex = m_functionIndex = -1;
    const auto &syms = m_file->symbols;
    for (size_t k = 0; k < syms.size(); ++k) {
        const PhpSymbol &s = syms[k];
        if (s.line > line)
            break;
        if (line > s.endLine && s.kind != PhpSymbolKind::Namespace)
            continue;
        if (s.kind == PhpSymbolKind::Namespace) {
            if (line <= s.endLine) {
                m_ns = s.name;
                m_nsIndex = int(k);
            }
        } else if (IsClassLike(s.kind)) {
            m_classIndex = int(k);
            m_functionIndex = -1;
        } else if (s.kind == PhpSymbolKind::Method || s.kind == PhpSymbolKind::Function) {
            m_functionIndex = int(k);
        }
    }
}

std::string PhpCodeContext::resolveClass(std::string_view written) const
{
    const std::string lower = ToLowerAscii(written);
    if (lower == "self" || lower == "static" || lower == "$this")
        return currentClass();
    if (lower == "parent")
        return parentClass();
    return ResolveClassName(written, m_ns, m_file->imports, m_nsIndex);
}

std::vector<SymbolRef> PhpCodeContext::resolveFunction(std::string_view written) const
{
    if (written.empty())
        return {};
    if (written.front() == '\\')
        return m_index.functions(written.substr(1));
    if (written.find('\\') != std::string_view::npos)
        return m_index.functions(ResolveClassName(written, m_ns, m_file->imports, m_nsIndex));
    const std::string lower = ToLowerAscii(written);
    for (const PhpImport &imp : m_file->imports)
        if (imp.kind == PhpImport::Function && imp.ns == m_nsIndex &&
            ToLowerAscii(imp.alias) == lower)
            return m_index.functions(imp.name);
    if (!m_ns.empty())
        if (auto refs = m_index.functions(m_ns + "\\" + std::string(written)); !refs.empty())
            return refs;
    return m_index.functions(written);
}

std::vector<SymbolRef> PhpCodeContext::resolveConstant(std::string_view written) const
{
    if (written.empty())
        return {};
    if (written.front() == '\\')
        return m_index.constants(written.substr(1));
    if (written.find('\\') != std::string_view::npos)
        return m_index.constants(ResolveClassName(written, m_ns, m_file->imports, m_nsIndex));
    for (const PhpImport &imp : m_file->imports)
        if (imp.kind == PhpImport::Constant && imp.ns == m_nsIndex && imp.alias == written)
            return m_index.constants(imp.name);
    if (!m_ns.empty())
        if (auto refs = m_index.constants(m_ns + "\\" + std::string(written)); !refs.empty())
            return refs;
    return m_index.constants(written);
}

std::string PhpCodeContext::currentClass() const
{
    return m_classIndex >= 0 ? m_file->symbols[size_t(m_classIndex)].name : std::string();
}

std::string PhpCodeContext::parentClass() const
{
    if (m_classIndex < 0)
        return {};
    const PhpSymbol &c = m_file->symbols[size_t(m_classIndex)];
    return c.extends.empty() ? std::string() : c.extends.front();
}

std::string PhpCodeContext::memberType(const std::string &cls, std::string_view member,
                                       SymbolIndex::MemberKind kind) const
{
    if (cls.empty())
        return {};
    const auto refs = m_index.findMember(cls, member, kind);
    if (refs.empty())
        return {};
    const PhpSymbol &s = refs.front().symbol();
    if (s.kind == PhpSymbolKind::EnumCase)
        return SymbolIndex::containerName(refs.front());
    // All declarations found must agree, or the type is not known.
    for (const SymbolRef &r : refs)
        if (r.symbol().type != s.type)
            return {};
    return s.type == "static" ? cls : s.type;
}

int PhpCodeContext::matchingBackward(int close) const
{
    int depth = 0;
    for (int k = close; k >= 0; --k) {
        if (op(k, ")") || op(k, "]"))
            ++depth;
        else if ((op(k, "(") || op(k, "[")) && --depth == 0)
            return k;
    }
    return -1;
}

std::string PhpCodeContext::staticClass(int k, int depth) const
{
    if (k < 0)
        return {};
    const PhpToken &t = m_tokens[size_t(k)];
    if (t.kind == PhpTok::Name)
        return resolveClass(text(k));
    if (t.kind == PhpTok::Variable || op(k, ")"))
        return exprClass(k, depth + 1);
    return {};
}

std::string PhpCodeContext::exprClass(int e, int depth) const
{
    if (e < 0 || depth > MaxDepth)
        return {};
    const PhpToken &t = m_tokens[size_t(e)];
    if (t.kind == PhpTok::Variable) {
        if (op(e - 1, "::"))
            return memberType(staticClass(e - 2, depth), text(e).substr(1),
                              SymbolIndex::MemberKind::Property);
        if (text(e) == "$this")
            return currentClass();
        return variableClass(text(e), e, depth);
    }
    if (t.kind == PhpTok::Name) {
        if (op(e - 1, "->") || op(e - 1, "?->"))
            return memberType(exprClass(e - 2, depth + 1), text(e),
                              SymbolIndex::MemberKind::Property);
        if (op(e - 1, "::"))
            return memberType(staticClass(e - 2, depth), text(e),
                              SymbolIndex::MemberKind::Constant);
        if (kw(e - 1, "new"))
            return resolveClass(text(e));
        return {};
    }
    if (op(e, ")")) {
        const int open = matchingBackward(e);
        if (open < 0)
            return {};
        if (open >= 1 && m_tokens[size_t(open - 1)].kind == PhpTok::Name &&
            !kw(open - 1, "array")) {
            const int nameTok = open - 1;
            if (op(nameTok - 1, "->") || op(nameTok - 1, "?->"))
                return memberType(exprClass(nameTok - 2, depth + 1), text(nameTok),
                                  SymbolIndex::MemberKind::Method);
            if (op(nameTok - 1, "::"))
                return memberType(staticClass(nameTok - 2, depth), text(nameTok),
                                  SymbolIndex::MemberKind::Method);
            if (kw(nameTok - 1, "new"))
                return resolveClass(text(nameTok));
            const auto refs = resolveFunction(text(nameTok));
            if (refs.empty())
                return {};
            const std::string type = refs.front().symbol().type;
            for (const SymbolRef &r : refs)
                if (r.symbol().type != type)
                    return {};
            return type;
        }
        // (new Foo(...)) and (clone $x)
        if (kw(open + 1, "new") && open + 2 < e && m_tokens[size_t(open + 2)].kind == PhpTok::Name)
            return resolveClass(text(open + 2));
        if (kw(open + 1, "clone"))
            return exprClass(e - 1, depth + 1);
        return {};
    }
    return {};
}

std::string PhpCodeContext::typeFromDoc(std::string_view doc, std::string_view tag,
                                        std::string_view var) const
{
    size_t at = 0;
    while ((at = doc.find(tag, at)) != std::string_view::npos) {
        size_t p = at + tag.size();
        at = p;
        const auto skipBlank = [&] {
            while (p < doc.size() && (doc[p] == ' ' || doc[p] == '\t'))
                ++p;
        };
        const auto word = [&] {
            const size_t b = p;
            while (p < doc.size() && doc[p] != ' ' && doc[p] != '\t' && doc[p] != '\n' &&
                   doc[p] != '\r' && doc[p] != '*')
                ++p;
            return doc.substr(b, p - b);
        };
        skipBlank();
        std::string_view type = word();
        skipBlank();
        std::string_view name = word();
        // Both orders occur: "@var Foo $x" and "@var $x Foo".
        if (!type.empty() && type.front() == '$')
            std::swap(type, name);
        if (!var.empty() && name != var)
            continue;
        // The first class of the type, as the extractor reads types.
        std::string_view part = type.substr(0, type.find('|'));
        while (!part.empty() && part.front() == '?')
            part.remove_prefix(1);
        if (part.empty() || part.find('[') != std::string_view::npos ||
            IsBuiltinTypeName(ToLowerAscii(part)))
            return {};
        return resolveClass(part);
    }
    return {};
}

std::string PhpCodeContext::variableClass(std::string_view var, int before, int depth) const
{
    // The scan starts at the enclosing function's name, or the file's start.
    int from = 0;
    std::string type;
    if (m_functionIndex >= 0) {
        const PhpSymbol &f = m_file->symbols[size_t(m_functionIndex)];
        while (from < before && m_tokens[size_t(from)].line < f.line)
            ++from;
        type = typeFromDoc(m_s.substr(f.docPos, f.docLen), "@param", var);
        // Parameters: `Type $var` inside the header's parentheses.
        int k = from;
        while (k < before && !op(k, "("))
            ++k;
        int depthParen = 0;
        for (; k < before; ++k) {
            if (op(k, "("))
                ++depthParen;
            else if (op(k, ")") && --depthParen == 0)
                break;
            if (m_tokens[size_t(k)].kind == PhpTok::Variable && text(k) == var && depthParen == 1) {
                int typeTok = k - 1;
                if (op(typeTok, "&") || op(typeTok, "..."))
                    --typeTok;
                if (typeTok >= 0 && m_tokens[size_t(typeTok)].kind == PhpTok::Name) {
                    const std::string lower = ToLowerAscii(text(typeTok));
                    if (!IsBuiltinTypeName(lower) && lower != "public" && lower != "private" &&
                        lower != "protected" && lower != "readonly")
                        type = resolveClass(text(typeTok));
                }
            }
        }
        from = k;
    }
    // Inline @var comments count from where they stand.
    // A @var right before an assignment names the type of what is assigned.
    size_t doc = 0;
    std::string declared;
    for (int k = from; k < before; ++k) {
        const PhpToken &t = m_tokens[size_t(k)];
        if (op(k, ";"))
            declared.clear();
        while (doc < m_docs.size() && m_docs[doc].pos < t.pos) {
            if (k > 0 && m_docs[doc].pos > m_tokens[size_t(from)].pos)
                if (std::string found = typeFromDoc(TokenText(m_s, m_docs[doc]), "@var", var);
                    !found.empty())
                    type = declared = found;
            ++doc;
        }
        if (t.kind != PhpTok::Variable || text(k) != var)
            continue;
        if (op(k + 1, "=") && !op(k + 2, "=") && !op(k + 2, ">")) {
            // The expression assigned: up to the `;` at its depth.
            int end = k + 2;
            int d = 0;
            for (; end < before; ++end) {
                if (op(end, "(") || op(end, "[") || op(end, "{"))
                    ++d;
                else if (op(end, ")") || op(end, "]") || op(end, "}"))
                    --d;
                else if (d == 0 && (op(end, ";") || op(end, ",")))
                    break;
                if (d < 0)
                    break;
            }
            if (end >= before)
                continue; // the assignment the caret is in
            if (!declared.empty())
                type = declared;
            else if (kw(k + 2, "new") && k + 3 < end &&
                     m_tokens[size_t(k + 3)].kind == PhpTok::Name)
                type = resolveClass(text(k + 3));
            else
                type = exprClass(end - 1, depth + 1);
        } else if (kw(k + 1, "instanceof") && k + 2 < before &&
                   m_tokens[size_t(k + 2)].kind == PhpTok::Name) {
            type = resolveClass(text(k + 2));
        } else if (op(k - 1, "(") == false && k >= 1 &&
                   m_tokens[size_t(k - 1)].kind == PhpTok::Name && kw(k - 3, "catch")) {
            type = resolveClass(text(k - 1)); // catch (Foo $e)
        } else if (kw(k - 1, "as") || op(k - 1, "=>")) {
            type.clear(); // a foreach value of unknown type
        }
    }
    return type;
}

PhpCodeContext::Lookup PhpCodeContext::useStatementTarget(int i) const
{
    // The statement's start: after the last `;`, `{` or `}`.
    int start = i;
    while (start > 0 && !op(start - 1, ";") && !op(start - 1, "{") && !op(start - 1, "}"))
        --start;
    // A group's prefix: `use A\{B, C}` has `A` then `\` then `{`.
    int open = i;
    while (open > start && !op(open, "{"))
        --open;
    if (op(open - 1, "{"))
        open = -1;
    if (!kw(start, "use") || (m_classIndex >= 0 && m_file->symbols[size_t(m_classIndex)].line <=
                                                       m_tokens[size_t(i)].line))
        return {};
    std::string name(text(i));
    if (open > start && op(open, "{") && op(open - 1, "\\") && open >= 2)
        name = std::string(text(open - 2)) + "\\" + name;
    if (!name.empty() && name.front() == '\\')
        name.erase(0, 1);
    Lookup out;
    std::vector<SymbolRef> refs;
    if (kw(start + 1, "function") || kw(i - 1, "function")) {
        out.what = "function " + name;
        refs = m_index.functions(name);
    } else if (kw(start + 1, "const") || kw(i - 1, "const")) {
        out.what = "constant " + name;
        refs = m_index.constants(name);
    } else {
        out.what = "class " + name;
        refs = m_index.classes(name);
    }
    for (const SymbolRef &r : refs)
        out.targets.push_back(MakeTarget(r));
    return out;
}

PhpCodeContext::Lookup PhpCodeContext::definition(size_t offset) const
{
    Lookup out;
    const int i = tokenAt(offset);
    if (i < 0)
        return out;
    const PhpToken &t = m_tokens[size_t(i)];
    enterLine(t.line);
    const auto addAll = [&out](const std::vector<SymbolRef> &refs) {
        for (const SymbolRef &r : refs)
            out.targets.push_back(MakeTarget(r));
    };
    const auto member = [&](const std::string &cls, std::string_view name,
                            SymbolIndex::MemberKind kind, const char *what) {
        out.what = std::string(what) + " " + std::string(name);
        if (cls.empty()) {
            out.what += " (class of the expression not known)";
            return;
        }
        out.what += " of " + cls;
        addAll(m_index.findMember(cls, name, kind));
    };
    if (t.kind == PhpTok::Variable) {
        if (op(i - 1, "::")) {
            member(staticClass(i - 2, 0), text(i).substr(1), SymbolIndex::MemberKind::Property,
                   "property");
        } else if (text(i) == "$this") {
            out.what = "class " + currentClass();
            addAll(m_index.classes(currentClass()));
        }
        return out;
    }
    if (t.kind != PhpTok::Name)
        return out;
    const std::string_view name = text(i);
    if (op(i - 1, "->") || op(i - 1, "?->")) {
        const std::string cls = exprClass(i - 2, 0);
        if (op(i + 1, "("))
            member(cls, name, SymbolIndex::MemberKind::Method, "method");
        else
            member(cls, name, SymbolIndex::MemberKind::Property, "property");
        return out;
    }
    if (op(i - 1, "::")) {
        const std::string cls = staticClass(i - 2, 0);
        if (ToLowerAscii(name) == "class") {
            out.what = "class " + cls;
            addAll(m_index.classes(cls));
        } else if (op(i + 1, "(")) {
            member(cls, name, SymbolIndex::MemberKind::Method, "method");
        } else {
            member(cls, name, SymbolIndex::MemberKind::Constant, "constant");
        }
        return out;
    }
    if (Lookup use = useStatementTarget(i); !use.what.empty())
        return use;
    const std::string prevWord = i > 0 ? ToLowerAscii(text(i - 1)) : std::string();
    if (prevWord == "function" || prevWord == "const" || prevWord == "class" ||
        prevWord == "interface" || prevWord == "trait" || prevWord == "enum") {
        // A declaration's own name: itself.
        for (size_t k = 0; k < m_file->symbols.size(); ++k)
            if (m_file->symbols[k].line == t.line) {
                const PhpSymbol &s = m_file->symbols[k];
                const std::string shortName = s.name.substr(
                    s.name.rfind('\\') == std::string::npos ? 0 : s.name.rfind('\\') + 1);
                if (ToLowerAscii(shortName) == ToLowerAscii(name)) {
                    out.what = std::string(PhpSymbolKindName(s.kind)) + " " + s.name;
                    break;
                }
            }
        return out;
    }
    const std::string lower = ToLowerAscii(name);
    if (lower == "self" || lower == "parent" ||
        (lower == "static" && (op(i + 1, "::") || prevWord == "new"))) {
        const std::string cls = resolveClass(name);
        out.what = "class " + (cls.empty() ? lower : cls);
        addAll(m_index.classes(cls));
        return out;
    }
    if (IsBuiltinTypeName(lower) || isReservedWord(lower))
        return out;
    if (op(i + 1, "(") && !isClassKeywordBefore(prevWord)) {
        out.what = "function " + std::string(name);
        addAll(resolveFunction(name));
        return out;
    }

    const std::string cls = resolveClass(name);
    out.what = "class " + cls;
    addAll(m_index.classes(cls));
    if (out.targets.empty() && !isClassKeywordBefore(prevWord) && !op(i + 1, "::") &&
        !(i + 1 < int(m_tokens.size()) && m_tokens[size_t(i + 1)].kind == PhpTok::Variable)) {
        out.what = "constant " + std::string(name);
        addAll(resolveConstant(name));
    }
    return out;
}

PhpCodeContext::Lookup PhpCodeContext::declarationAt(size_t offset) const
{
    Lookup out = definition(offset);
    const int i = tokenAt(offset);
    if (!out.targets.empty() || i < 0)
        return out;
    // A declaration's name stands where the file's declarations say.
    const PhpToken &t = m_tokens[size_t(i)];
    const size_t nl = m_s.rfind('\n', t.pos == 0 ? 0 : t.pos - 1);
    const std::uint32_t column =
        std::uint32_t(t.pos - (nl == std::string_view::npos || t.pos == 0 ? 0 : nl + 1));
    const bool variable = t.kind == PhpTok::Variable;
    for (size_t k = 0; k < m_file->symbols.size(); ++k) {
        const PhpSymbol &s = m_file->symbols[k];
        if (s.line != t.line || s.kind == PhpSymbolKind::Namespace ||
            (s.column != column && s.column != column + (variable ? 1 : 0)))
            continue;
        if (variable != (s.kind == PhpSymbolKind::Property))
            continue;
        PhpTarget target;
        target.path = m_path;
        target.line = int(s.line);
        target.column = int(s.column);
        target.kind = s.kind;
        target.name = s.name;
        if (s.container >= 0)
            target.container = m_file->symbols[size_t(s.container)].name;
        target.signature = s.signature;
        out.what = std::string(PhpSymbolKindName(s.kind)) + " " + s.name;
        out.targets.push_back(std::move(target));
        break;
    }
    return out;
}

std::vector<PhpCodeContext::Use> PhpCodeContext::usesOf(const std::vector<PhpTarget> &decls) const
{
    std::vector<Use> uses;
    if (decls.empty())
        return uses;
    const PhpTarget &first = decls.front();
    const size_t cut = first.name.rfind('\\');
    const std::string shortName = first.name.substr(cut == std::string::npos ? 0 : cut + 1);
    // A class is also written by the aliases this file imports it as.
    std::vector<std::string> words{ToLowerAscii(shortName)};
    if (IsClassLike(first.kind))
        for (const PhpImport &imp : m_file->imports)
            if (imp.kind == PhpImport::Class && ToLowerAscii(imp.name) == ToLowerAscii(first.name))
                words.push_back(ToLowerAscii(imp.alias));
    const bool property = first.kind == PhpSymbolKind::Property;
    const bool member = first.kind == PhpSymbolKind::Method || property ||
                        first.kind == PhpSymbolKind::ClassConstant ||
                        first.kind == PhpSymbolKind::EnumCase;
    const auto same = [&decls](const PhpTarget &t) {
        return std::any_of(decls.begin(), decls.end(), [&t](const PhpTarget &d) {
            return d.path == t.path && d.line == t.line && d.column == t.column;
        });
    };
    size_t lineStart = 0;
    std::uint32_t lineNo = 1;
    for (int i = 0; i < int(m_tokens.size()); ++i) {
        const PhpToken &t = m_tokens[size_t(i)];
        std::string_view word = text(i);
        if (t.kind == PhpTok::Variable) {
            if (!property || word.substr(1) != shortName)
                continue;
        } else if (t.kind == PhpTok::Name) {
            const size_t sep = word.rfind('\\');
            if (sep != std::string_view::npos)
                word.remove_prefix(sep + 1);
            if (std::find(words.begin(), words.end(), ToLowerAscii(word)) == words.end())
                continue;
        } else {
            continue;
        }
        const Lookup found = declarationAt(t.pos);
        const bool match = std::any_of(found.targets.begin(), found.targets.end(), same);
        const bool possible = !match && found.targets.empty() && member &&
                              (op(i - 1, "->") || op(i - 1, "?->") || op(i - 1, "::"));
        if (!match && !possible)
            continue;
        // Lines only move forward: count from the last use.
        for (; lineNo < t.line; ++lineNo)
            lineStart = m_s.find('\n', lineStart) + 1;
        uses.push_back({t.line, std::uint32_t(t.pos - lineStart), possible});
    }
    return uses;
}

PhpCodeContext::Completion PhpCodeContext::completionAt(size_t offset) const
{
    Completion c;
    int i = tokenAt(offset);
    const bool between = i < 0;
    if (between) {
        // Between tokens ("new |"): the last token before the caret, nothing typed.
        const auto it = std::upper_bound(m_tokens.begin(), m_tokens.end(), offset,
                                         [](size_t o, const PhpToken &t) { return o < t.pos; });
        i = int(it - m_tokens.begin()) - 1;
        if (i < 0)
            return c;
    }
    const PhpToken &t = m_tokens[size_t(i)];
    enterLine(t.line);
    int opTok = i;
    if (between) {
        // The token before is what the caret follows.
    } else if (t.kind == PhpTok::Name || t.kind == PhpTok::Variable) {
        c.prefix = std::string(text(i).substr(0, offset - t.pos));
        opTok = i - 1;
    } else if (op(i, "\\") && offset == size_t(t.pos) + 1) {
        // A lone separator, or one just typed after a name ("Shop\\").
        c.prefix = "\\";
        opTok = i - 1;
        if (i > 0 && m_tokens[size_t(i - 1)].kind == PhpTok::Name &&
            m_tokens[size_t(i - 1)].pos + m_tokens[size_t(i - 1)].len == t.pos) {
            c.prefix = std::string(text(i - 1)) + "\\";
            opTok = i - 2;
        }
    }
    if (const size_t cut = c.prefix.rfind('\\');
        cut != std::string::npos && c.prefix.front() != '$') {
        c.qualified = true;
        c.writtenNamespace = c.prefix.substr(0, cut + 1);
        // Resolved as a class name would be: imports, namespace\\, the file's namespace.
        const std::string probe =
            ResolveClassName(c.writtenNamespace + "X", m_ns, m_file->imports, m_nsIndex);
        c.namespaceName = probe.size() > 1 ? probe.substr(0, probe.size() - 2) : std::string();
        c.prefix = c.prefix.substr(cut + 1);
    }
    c.currentClass = currentClass();
    if (op(opTok, "->") || op(opTok, "?->")) {
        c.kind = Completion::Member;
        c.className = exprClass(opTok - 1, 0);
        return c;
    }
    if (op(opTok, "::")) {
        c.kind = Completion::Static;
        c.className = staticClass(opTok - 1, 0);
        const std::string before = ToLowerAscii(text(opTok - 1));
        c.staticOnly =
            !(before == "parent" || before == "self" || before == "static") || c.className.empty();
        return c;
    }
    if (kw(opTok, "new")) {
        c.kind = Completion::NewClass;
        return c;
    }
    if ((t.kind == PhpTok::Name && !between) || c.qualified)
        c.kind = Completion::Name;
    return c;
}
