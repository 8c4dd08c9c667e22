#include "project/php_symbols.h"

#include "project/php_lexer.h"

#include <algorithm>

std::string ToLowerAscii(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

const char *PhpSymbolKindName(PhpSymbolKind kind)
{
    switch (kind) {
    case PhpSymbolKind::Namespace:
        return "namespace";
    case PhpSymbolKind::Class:
        return "class";
    case PhpSymbolKind::Interface:
        return "interface";
    case PhpSymbolKind::Trait:
        return "trait";
    case PhpSymbolKind::Enum:
        return "enum";
    case PhpSymbolKind::Function:
        return "function";
    case PhpSymbolKind::Method:
        return "method";
    case PhpSymbolKind::Property:
        return "property";
    case PhpSymbolKind::ClassConstant:
        return "classconst";
    case PhpSymbolKind::EnumCase:
        return "case";
    case PhpSymbolKind::Constant:
        return "const";
    }
    return "";
}

bool IsClassLike(PhpSymbolKind kind)
{
    return kind == PhpSymbolKind::Class || kind == PhpSymbolKind::Interface ||
           kind == PhpSymbolKind::Trait || kind == PhpSymbolKind::Enum;
}

bool IsBuiltinTypeName(std::string_view n)
{
    static constexpr std::string_view Builtins[] = {
        "int",       "integer",  "float",          "double",       "string",
        "bool",      "boolean",  "array",          "object",       "mixed",
        "void",      "null",     "never",          "false",        "true",
        "callable",  "iterable", "resource",       "scalar",       "number",
        "callback",  "list",     "class-string",   "positive-int", "non-empty-string",
        "array-key", "numeric",  "non-empty-array"};
    return std::find(std::begin(Builtins), std::end(Builtins), n) != std::end(Builtins);
}

std::string ResolveClassName(std::string_view written, const std::string &ns,
                             const std::vector<PhpImport> &imports, std::int32_t nsIndex)
{
    if (written.empty())
        return {};
    if (written.front() == '\\')
        return std::string(written.substr(1));
    const size_t sep = written.find('\\');
    const std::string_view first = written.substr(0, sep);
    if (sep != std::string_view::npos && ToLowerAscii(first) == "namespace")
        return ns.empty() ? std::string(written.substr(sep + 1))
                          : ns + "\\" + std::string(written.substr(sep + 1));
    const std::string firstLower = ToLowerAscii(first);
    for (const PhpImport &imp : imports) {
        if (imp.kind != PhpImport::Class || imp.ns != nsIndex)
            continue;
        if (ToLowerAscii(imp.alias) == firstLower)
            return sep == std::string_view::npos ? imp.name
                                                 : imp.name + std::string(written.substr(sep));
    }
    return ns.empty() ? std::string(written) : ns + "\\" + std::string(written);
}

namespace {

// Long doc comments are cut: lists and tips show their start.
constexpr size_t MaxDocBytes = 1200;

struct Tok {
    PhpToken t;
    int doc; // raw index of a doc comment right before it, or -1
};

enum class ScopeKind { Block, Namespace, Class, Function };
struct Scope {
    ScopeKind kind;
    int symbol;
};

std::string collapse(std::string_view text, size_t limit = 400)
{
    std::string out;
    out.reserve(std::min(text.size(), limit));
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = !out.empty();
            continue;
        }
        if (space && !(c == ')' || c == ',' || out.back() == '('))
            out.push_back(' ');
        space = false;
        out.push_back(c);
        if (out.size() >= limit) {
            out += "...";
            break;
        }
    }
    return out;
}

// The type word of a doc tag (`@return Foo`, `@var Foo $x`), or empty.
std::string_view docTagType(std::string_view doc, std::string_view tag)
{
    size_t at = 0;
    while ((at = doc.find(tag, at)) != std::string_view::npos) {
        size_t p = at + tag.size();
        if (p < doc.size() && doc[p] != ' ' && doc[p] != '\t') {
            at = p;
            continue;
        }
        while (p < doc.size() && (doc[p] == ' ' || doc[p] == '\t'))
            ++p;
        size_t e = p;
        while (e < doc.size() && doc[e] != ' ' && doc[e] != '\t' && doc[e] != '\n' &&
               doc[e] != '\r' && doc[e] != '*')
            ++e;
        return doc.substr(p, e - p);
    }
    return {};
}

class Extractor {
public:
    // Token buffers are kept per thread: indexing a project parses thousands
    // of files, and fresh large buffers would be mapped and unmapped for each.
    explicit Extractor(std::string_view s) : m_s(s), m_t(tokenBuffer())
    {
        thread_local std::vector<PhpToken> rawBuffer;
        std::vector<PhpToken> &raw = rawBuffer;
        LexPhp(s, raw);
        m_t.clear();
        m_t.reserve(raw.size());
        int doc = -1;
        for (size_t k = 0; k < raw.size(); ++k) {
            const PhpToken &r = raw[k];
            switch (r.kind) {
            case PhpTok::DocComment:
                doc = int(k);
                m_docs.push_back(r);
                continue;
            case PhpTok::Comment:
            case PhpTok::InlineHtml:
            case PhpTok::OpenTag:
                continue;
            default:
                break;
            }
            m_t.push_back({r, doc >= 0 ? int(m_docs.size()) - 1 : -1});
            doc = -1;
        }
        m_lastLine = raw.empty() ? 1 : raw.back().line;
    }

    PhpFileSymbols run()
    {
        const int n = int(m_t.size());
        for (int i = 0; i < n; ++i) {
            const PhpToken &t = m_t[size_t(i)].t;
            if (m_t[size_t(i)].doc >= 0)
                m_doc = m_t[size_t(i)].doc;
            if (t.kind == PhpTok::CloseTag) {
                endStatement();
                continue;
            }
            if (t.kind == PhpTok::Op) {
                op(i);
                continue;
            }
            if (t.kind == PhpTok::Variable) {
                if (i > m_skipTo && inClassBody() && m_scopes.back().symbol >= 0)
                    i = properties(i);
                continue;
            }
            if (t.kind == PhpTok::Name)
                i = name(i);
        }
        closeNamespace(m_lastLine);
        // Bodies left open by a syntax error reach the end of the file.
        for (const Scope &s : m_scopes)
            if (s.symbol >= 0 && s.kind != ScopeKind::Block)
                m_out.symbols[size_t(s.symbol)].endLine = m_lastLine;
        return std::move(m_out);
    }

private:
    // --- token helpers
    const PhpToken &tk(int i) const { return m_t[size_t(i)].t; }
    bool valid(int i) const { return i >= 0 && i < int(m_t.size()); }
    bool op(int i, std::string_view o) const { return valid(i) && IsOp(m_s, tk(i), o); }
    bool kw(int i, std::string_view k) const { return valid(i) && IsKeyword(m_s, tk(i), k); }
    std::string_view text(int i) const { return TokenText(m_s, tk(i)); }
    bool simpleName(int i) const
    {
        return valid(i) && tk(i).kind == PhpTok::Name &&
               text(i).find('\\') == std::string_view::npos;
    }
    bool afterMemberAccess(int i) const
    {
        return op(i - 1, "::") || op(i - 1, "->") || op(i - 1, "?->");
    }
    std::string_view span(int from, int to) const // tokens from..to inclusive
    {
        if (from > to)
            return {};
        return m_s.substr(tk(from).pos, tk(to).pos + tk(to).len - tk(from).pos);
    }
    int matching(int i, std::string_view open, std::string_view close) const
    {
        int depth = 0;
        for (int k = i; valid(k); ++k) {
            if (op(k, open))
                ++depth;
            else if (op(k, close) && --depth == 0)
                return k;
        }
        return int(m_t.size()) - 1;
    }
    // The end of an expression: the first `,` or `;` (or unmatched closer) at depth 0.
    int skipExpression(int i) const
    {
        int depth = 0;
        for (int k = i; valid(k); ++k) {
            if (tk(k).kind == PhpTok::CloseTag)
                return k;
            if (tk(k).kind != PhpTok::Op)
                continue;
            const std::string_view o = text(k);
            if (o == "(" || o == "[" || o == "{" || o == "#[")
                ++depth;
            else if (o == ")" || o == "]" || o == "}") {
                if (depth == 0)
                    return k;
                --depth;
            } else if ((o == "," || o == ";") && depth == 0)
                return k;
        }
        return int(m_t.size());
    }

    // --- scopes
    bool inClassBody() const
    {
        return !m_scopes.empty() && m_scopes.back().kind == ScopeKind::Class;
    }
    bool atNamespaceLevel() const
    {
        return m_scopes.empty() || m_scopes.back().kind == ScopeKind::Namespace;
    }
    int classSymbol() const { return inClassBody() ? m_scopes.back().symbol : -1; }
    int containerForTopLevel() const { return m_nsSymbol; }

    void endStatement()
    {
        m_mods = 0;
        m_doc = -1;
        m_pending = {ScopeKind::Block, -1};
    }

    void op(int i)
    {
        const std::string_view o = text(i);
        if (o == "{") {
            m_scopes.push_back(m_pending);
            endStatement();
        } else if (o == "}") {
            if (!m_scopes.empty()) {
                const Scope s = m_scopes.back();
                m_scopes.pop_back();
                if (s.symbol >= 0 && s.kind != ScopeKind::Block)
                    m_out.symbols[size_t(s.symbol)].endLine = tk(i).line;
                if (s.kind == ScopeKind::Namespace) {
                    m_ns.clear();
                    m_nsSymbol = -1;
                }
            }
            endStatement();
        } else if (o == ";") {
            endStatement();
        } else if (o == "#[") {
            // Attributes hold expressions that must not read as declarations.
            const int doc = m_doc;
            const int end = matching(i, "#[", "]");
            m_skipTo = end;
            m_doc = doc;
        }
    }

    int name(int i)
    {
        if (i <= m_skipTo)
            return i;
        if (afterMemberAccess(i))
            return i;
        const std::string_view w = text(i);
        if (w.size() > 12 || w.find('\\') != std::string_view::npos) {
            if (ToLowerAscii(w) == "\\define")
                return define(i);
            return i;
        }
        const std::string k = ToLowerAscii(w);
        if (k == "public")
            m_mods |= PhpFlag::Public;
        else if (k == "protected")
            m_mods |= PhpFlag::Protected;
        else if (k == "private")
            m_mods |= PhpFlag::Private;
        else if (k == "static") {
            if (!op(i + 1, "::"))
                m_mods |= PhpFlag::Static;
        } else if (k == "abstract")
            m_mods |= PhpFlag::Abstract;
        else if (k == "final")
            m_mods |= PhpFlag::Final;
        else if (k == "readonly")
            m_mods |= PhpFlag::Readonly;
        else if (k == "var")
            m_mods |= PhpFlag::Public;
        else if (k == "namespace")
            return namespaceDecl(i);
        else if (k == "class" || k == "interface" || k == "trait")
            return classLike(i, k);
        else if (k == "enum") {
            if (simpleName(i + 1) && !kw(i + 1, "extends") && !kw(i + 1, "implements") &&
                !kw(i - 1, "function") && !kw(i - 1, "const") && !kw(i - 1, "new"))
                return classLike(i, k);
        } else if (k == "function")
            return function(i);
        else if (k == "const")
            return constants(i);
        else if (k == "case") {
            const int cls = classSymbol();
            if (cls >= 0 && m_out.symbols[size_t(cls)].kind == PhpSymbolKind::Enum)
                return enumCase(i);
        } else if (k == "use")
            return use(i);
        else if (k == "define")
            return define(i);
        return i;
    }

    std::string_view rawDoc() const
    {
        return m_doc >= 0 ? TokenText(m_s, m_docs[size_t(m_doc)]) : std::string_view();
    }

    int add(PhpSymbolKind kind, int nameTok, std::string name, int container)
    {
        PhpSymbol sym;
        sym.kind = kind;
        sym.container = container;
        const PhpToken &t = tk(nameTok);
        sym.line = t.line;
        size_t ls = t.pos;
        while (ls > 0 && m_s[ls - 1] != '\n' && m_s[ls - 1] != '\r')
            --ls;
        sym.column = std::uint32_t(t.pos - ls);
        sym.endLine = t.line;
        sym.name = std::move(name);
        if (m_doc >= 0) {
            sym.docPos = m_docs[size_t(m_doc)].pos;
            sym.docLen = m_docs[size_t(m_doc)].len;
        }
        m_out.symbols.push_back(std::move(sym));
        return int(m_out.symbols.size()) - 1;
    }

    std::string qualify(std::string_view shortName) const
    {
        return m_ns.empty() ? std::string(shortName) : m_ns + "\\" + std::string(shortName);
    }

    std::string resolveClass(std::string_view written) const
    {
        return ResolveClassName(written, m_ns, m_out.imports, m_nsSymbol);
    }

    // The first class named by a type (declared or from a doc tag): nullable,
    // union and intersection parts are tried in order; arrays and builtins skipped.
    std::string resolveType(std::string_view type) const
    {
        size_t p = 0;
        while (p < type.size()) {
            size_t e = p;
            while (e < type.size() && type[e] != '|' && type[e] != '&')
                ++e;
            std::string_view part = type.substr(p, e - p);
            p = e + 1;
            while (!part.empty() &&
                   (part.front() == '?' || part.front() == '(' || part.front() == ' '))
                part.remove_prefix(1);
            while (!part.empty() && (part.back() == ')' || part.back() == ' '))
                part.remove_suffix(1);
            if (part.empty() || part.find('[') != std::string_view::npos ||
                part.find('{') != std::string_view::npos)
                continue;
            if (const size_t lt = part.find('<'); lt != std::string_view::npos)
                part = part.substr(0, lt);
            const std::string lowerPart = ToLowerAscii(part);
            if (IsBuiltinTypeName(lowerPart))
                continue;
            if (lowerPart == "static" || lowerPart == "$this")
                return "static";
            if (lowerPart == "self") {
                const int cls = classSymbol();
                return cls >= 0 ? m_out.symbols[size_t(cls)].name : std::string();
            }
            if (part.front() == '$')
                continue;
            return resolveClass(part);
        }
        return {};
    }

    void closeNamespace(std::uint32_t line)
    {
        if (m_nsSymbol >= 0 && m_nsUnbraced)
            m_out.symbols[size_t(m_nsSymbol)].endLine =
                std::max(line, m_out.symbols[size_t(m_nsSymbol)].line);
    }

    int namespaceDecl(int i)
    {
        if (!m_scopes.empty() ||
            op(i + 1, "(")) // namespace\x is one name token; this is not a declaration
            return i;
        closeNamespace(tk(i).line > 1 ? tk(i).line - 1 : 1);
        m_ns.clear();
        m_nsSymbol = -1;
        int j = i + 1;
        if (valid(j) && tk(j).kind == PhpTok::Name) {
            m_ns = std::string(text(j));
            if (!m_ns.empty() && m_ns.front() == '\\')
                m_ns.erase(0, 1);
            m_nsSymbol = add(PhpSymbolKind::Namespace, j, m_ns, -1);
            m_out.symbols[size_t(m_nsSymbol)].signature = "namespace " + m_ns;
            ++j;
        }
        m_nsUnbraced = !op(j, "{");
        if (!m_nsUnbraced)
            m_pending = {ScopeKind::Namespace, m_nsSymbol};
        return j - 1;
    }

    int classLike(int i, const std::string &k)
    {
        if (kw(i - 1, "new")) {
            // An anonymous class: its members belong to no named class.
            int j = i + 1;
            if (op(j, "("))
                j = matching(j, "(", ")") + 1;
            while (valid(j) && !op(j, "{") && !op(j, ";"))
                ++j;
            m_pending = {ScopeKind::Class, -1};
            return j - 1;
        }
        if (!simpleName(i + 1))
            return i;
        const PhpSymbolKind kind = k == "class"       ? PhpSymbolKind::Class
                                   : k == "interface" ? PhpSymbolKind::Interface
                                   : k == "trait"     ? PhpSymbolKind::Trait
                                                      : PhpSymbolKind::Enum;
        const int sym = add(kind, i + 1, qualify(text(i + 1)), containerForTopLevel());
        PhpSymbol &s = m_out.symbols[size_t(sym)];
        s.flags = m_mods;
        std::vector<std::string> *list = nullptr;
        int j = i + 2;
        for (; valid(j) && !op(j, "{") && !op(j, ";"); ++j) {
            if (kw(j, "extends"))
                list = &s.extends;
            else if (kw(j, "implements"))
                list = &s.implements;
            else if (op(j, ":"))
                list = nullptr; // an enum's backing type
            else if (list && tk(j).kind == PhpTok::Name)
                list->push_back(resolveClass(text(j)));
        }
        s.signature = collapse(span(i, j - 1));
        m_pending = {ScopeKind::Class, sym};
        return j - 1;
    }

    int function(int i)
    {
        int j = i + 1;
        if (op(j, "&"))
            ++j;
        if (!valid(j) || tk(j).kind != PhpTok::Name || !op(j + 1, "(")) {
            // A closure: its `use (...)` and body are not declarations.
            m_pending = {ScopeKind::Block, -1};
            return i;
        }
        const int nameTok = j;
        const int cls = m_scopes.empty() || m_scopes.back().kind != ScopeKind::Class
                            ? -2
                            : m_scopes.back().symbol;
        const int open = j + 1;
        const int close = matching(open, "(", ")");
        int k = close + 1;
        int typeFrom = -1;
        if (op(k, ":")) {
            typeFrom = ++k;
            while (valid(k) && !op(k, "{") && !op(k, ";") && tk(k).kind != PhpTok::CloseTag)
                ++k;
        }
        const std::string_view returnType =
            typeFrom >= 0 ? span(typeFrom, k - 1) : std::string_view();
        if (cls == -1) { // a method of an anonymous class
            m_pending = {ScopeKind::Function, -1};
            return k - 1;
        }
        int sym;
        if (cls >= 0) {
            sym = add(PhpSymbolKind::Method, nameTok, std::string(text(nameTok)), cls);
            std::uint8_t flags = m_mods;
            if (!(flags & (PhpFlag::Public | PhpFlag::Protected | PhpFlag::Private)))
                flags |= PhpFlag::Public;
            if (m_out.symbols[size_t(cls)].kind == PhpSymbolKind::Interface)
                flags |= PhpFlag::Abstract;
            m_out.symbols[size_t(sym)].flags = flags;
        } else {
            sym = add(PhpSymbolKind::Function, nameTok, qualify(text(nameTok)),
                      containerForTopLevel());
        }
        {
            PhpSymbol &s = m_out.symbols[size_t(sym)];
            s.signature = std::string(text(nameTok)) + collapse(span(open, close));
            if (!returnType.empty())
                s.signature += ": " + collapse(returnType);
            s.type = resolveType(returnType);
            if (s.type.empty())
                s.type = resolveType(docTagType(rawDoc(), "@return"));
        }
        if (cls >= 0 && ToLowerAscii(text(nameTok)) == "__construct")
            promotedProperties(open, close, cls);
        m_pending = {ScopeKind::Function, sym};
        m_mods = 0;
        return k - 1;
    }

    void promotedProperties(int open, int close, int cls)
    {
        std::uint8_t flags = 0;
        int typeFrom = -1;
        int depth = 0;
        for (int k = open + 1; k < close; ++k) {
            if (op(k, "(") || op(k, "[") || op(k, "#["))
                ++depth;
            else if (op(k, ")") || op(k, "]"))
                --depth;
            if (depth != 0)
                continue;
            if (op(k, ",")) {
                flags = 0;
                typeFrom = -1;
                continue;
            }
            if (kw(k, "public"))
                flags |= PhpFlag::Public;
            else if (kw(k, "protected"))
                flags |= PhpFlag::Protected;
            else if (kw(k, "private"))
                flags |= PhpFlag::Private;
            else if (kw(k, "readonly"))
                flags |= PhpFlag::Readonly;
            else if (flags && typeFrom < 0)
                typeFrom = k;
            if (flags && tk(k).kind == PhpTok::Variable) {
                const int saveDoc = m_doc;
                m_doc = m_t[size_t(k)].doc;
                const int sym =
                    add(PhpSymbolKind::Property, k, std::string(text(k).substr(1)), cls);
                m_doc = saveDoc;
                PhpSymbol &s = m_out.symbols[size_t(sym)];
                if (!(flags & (PhpFlag::Public | PhpFlag::Protected | PhpFlag::Private)))
                    flags |= PhpFlag::Public;
                s.flags = flags;
                const std::string_view type =
                    typeFrom >= 0 && typeFrom < k ? span(typeFrom, k - 1) : std::string_view();
                s.signature = collapse(
                    type.empty() ? text(k) : std::string(type) + " " + std::string(text(k)));
                s.type = resolveType(type);
                flags = 0;
                typeFrom = -1;
            }
        }
    }

    int properties(int i)
    {
        // The declared type: the tokens before the variable back to the modifiers.
        int typeFrom = i;
        while (typeFrom - 1 >= 0 &&
               (tk(typeFrom - 1).kind == PhpTok::Name || op(typeFrom - 1, "?") ||
                op(typeFrom - 1, "|") || op(typeFrom - 1, "&") || op(typeFrom - 1, "(") ||
                op(typeFrom - 1, ")"))) {
            const std::string k = ToLowerAscii(text(typeFrom - 1));
            if (k == "public" || k == "protected" || k == "private" || k == "static" ||
                k == "readonly" || k == "var" || k == "final" || k == "abstract")
                break;
            --typeFrom;
        }
        const std::string_view type = typeFrom < i ? span(typeFrom, i - 1) : std::string_view();
        std::uint8_t flags = m_mods;
        if (!(flags & (PhpFlag::Public | PhpFlag::Protected | PhpFlag::Private)))
            flags |= PhpFlag::Public;
        const int cls = classSymbol();
        int k = i;
        while (valid(k) && tk(k).kind == PhpTok::Variable) {
            const int sym = add(PhpSymbolKind::Property, k, std::string(text(k).substr(1)), cls);
            PhpSymbol &s = m_out.symbols[size_t(sym)];
            s.flags = flags;
            s.signature =
                collapse(type.empty() ? text(k) : std::string(type) + " " + std::string(text(k)));
            s.type = resolveType(type);
            if (s.type.empty())
                s.type = resolveType(docTagType(rawDoc(), "@var"));
            k = op(k + 1, "=") ? skipExpression(k + 2) : k + 1;
            if (!op(k, ","))
                break;
            ++k;
        }
        // Leave the terminator to the main loop.
        return valid(k) && (op(k, ";") || op(k, "}")) ? k - 1 : k;
    }

    int constants(int i)
    {
        const bool inClass = inClassBody();
        if (!inClass && !atNamespaceLevel())
            return i;
        if (inClass && classSymbol() < 0)
            return i;
        std::uint8_t flags = m_mods;
        if (!(flags & (PhpFlag::Public | PhpFlag::Protected | PhpFlag::Private)))
            flags |= PhpFlag::Public;
        int k = i + 1;
        for (;;) {
            int eq = k;
            while (valid(eq) && !op(eq, "=") && !op(eq, ";"))
                ++eq;
            if (!op(eq, "=") || !simpleName(eq - 1))
                return eq - 1;
            const int nameTok = eq - 1;
            const int end = skipExpression(eq + 1);
            const int sym = inClass ? add(PhpSymbolKind::ClassConstant, nameTok,
                                          std::string(text(nameTok)), classSymbol())
                                    : add(PhpSymbolKind::Constant, nameTok, qualify(text(nameTok)),
                                          containerForTopLevel());
            PhpSymbol &s = m_out.symbols[size_t(sym)];
            if (inClass)
                s.flags = flags;
            s.signature =
                collapse(std::string(text(nameTok)) + " = " +
                             std::string(valid(end) ? span(eq + 1, end - 1) : std::string_view()),
                         120);
            if (!op(end, ","))
                return valid(end) ? end - 1 : end;
            k = end + 1;
        }
    }

    int enumCase(int i)
    {
        if (!simpleName(i + 1) || !(op(i + 2, ";") || op(i + 2, "=")))
            return i;
        const int sym =
            add(PhpSymbolKind::EnumCase, i + 1, std::string(text(i + 1)), classSymbol());
        m_out.symbols[size_t(sym)].signature =
            collapse(span(i + 1, skipExpression(i + 2) - 1), 120);
        return i + 1;
    }

    int use(int i)
    {
        if (inClassBody()) {
            const int cls = classSymbol();
            int k = i + 1;
            for (; valid(k) && !op(k, ";") && !op(k, "{"); ++k)
                if (cls >= 0 && tk(k).kind == PhpTok::Name)
                    m_out.symbols[size_t(cls)].uses.push_back(resolveClass(text(k)));
            return k - 1;
        }
        if (!atNamespaceLevel() || op(i - 1, ")"))
            return i;
        int k = i + 1;
        PhpImport::Kind kind = PhpImport::Class;
        if (kw(k, "function")) {
            kind = PhpImport::Function;
            ++k;
        } else if (kw(k, "const")) {
            kind = PhpImport::Constant;
            ++k;
        }
        while (valid(k) && !op(k, ";") && tk(k).kind != PhpTok::CloseTag) {
            if (tk(k).kind != PhpTok::Name) {
                ++k;
                continue;
            }
            std::string prefix(text(k));
            if (!prefix.empty() && prefix.front() == '\\')
                prefix.erase(0, 1);
            if (op(k + 1, "\\") && op(k + 2, "{")) {
                int g = k + 3;
                while (valid(g) && !op(g, "}")) {
                    PhpImport::Kind itemKind = kind;
                    if (kw(g, "function")) {
                        itemKind = PhpImport::Function;
                        ++g;
                    } else if (kw(g, "const")) {
                        itemKind = PhpImport::Constant;
                        ++g;
                    }
                    if (valid(g) && tk(g).kind == PhpTok::Name)
                        g = importItem(g, prefix + "\\" + std::string(text(g)), itemKind);
                    else
                        ++g;
                }
                k = g + 1;
                continue;
            }
            k = importItem(k, prefix, kind);
        }
        return k - 1;
    }

    // One `Name [as Alias]` of an import; returns the token after it.
    int importItem(int k, std::string name, PhpImport::Kind kind)
    {
        PhpImport imp;
        imp.kind = kind;
        imp.ns = m_nsSymbol;
        std::string alias =
            name.substr(name.rfind('\\') == std::string::npos ? 0 : name.rfind('\\') + 1);
        ++k;
        if (kw(k, "as") && simpleName(k + 1)) {
            alias = std::string(text(k + 1));
            k += 2;
        }
        imp.alias = std::move(alias);
        imp.name = std::move(name);
        m_out.imports.push_back(std::move(imp));
        while (valid(k) && op(k, ","))
            ++k;
        return k;
    }

    int define(int i)
    {
        std::string value;
        if (!op(i + 1, "(") || !valid(i + 2) || !PlainStringValue(m_s, tk(i + 2), value) ||
            !op(i + 3, ",") || kw(i - 1, "function") || kw(i - 1, "new") || kw(i - 1, "const") ||
            value.empty())
            return i;
        if (value.front() == '\\')
            value.erase(0, 1);
        const int sym = add(PhpSymbolKind::Constant, i + 2, value, containerForTopLevel());
        const int end = skipExpression(i + 4);
        m_out.symbols[size_t(sym)].signature = collapse(
            value + " = " + std::string(valid(end) ? span(i + 4, end - 1) : std::string_view()),
            120);
        m_out.symbols[size_t(sym)].column += 1; // past the quote
        return i + 2;
    }

    static std::vector<Tok> &tokenBuffer()
    {
        thread_local std::vector<Tok> buffer;
        return buffer;
    }

    std::string_view m_s;
    std::vector<Tok> &m_t;
    std::vector<PhpToken> m_docs;
    std::uint32_t m_lastLine = 1;
    std::vector<Scope> m_scopes;
    Scope m_pending{ScopeKind::Block, -1};
    std::uint8_t m_mods = 0;
    int m_doc = -1;
    int m_skipTo = -1;
    std::string m_ns;
    int m_nsSymbol = -1;
    bool m_nsUnbraced = false;
    PhpFileSymbols m_out;
};

} // namespace

std::string PhpDocText(std::string_view source, const PhpSymbol &symbol)
{
    if (symbol.docLen < 5 || size_t(symbol.docPos) + symbol.docLen > source.size())
        return {};
    std::string_view d = source.substr(symbol.docPos, symbol.docLen);
    if (d.substr(0, 3) != "/**" || d.substr(d.size() - 2) != "*/")
        return {};
    d.remove_prefix(3);
    d.remove_suffix(2);
    std::string out;
    while (!d.empty()) {
        const size_t nl = d.find('\n');
        std::string_view line = d.substr(0, nl);
        d.remove_prefix(nl == std::string_view::npos ? d.size() : nl + 1);
        while (!line.empty() &&
               (line.front() == ' ' || line.front() == '\t' || line.front() == '*'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const bool tag = line.front() == '@';
        if (!tag && out.size() >= MaxDocBytes)
            continue;
        if (!out.empty())
            out.push_back('\n');
        out.append(line.substr(0, tag ? 200 : MaxDocBytes));
    }
    return out;
}

PhpFileSymbols ExtractPhpSymbols(std::string_view source)
{
    return Extractor(source).run();
}
