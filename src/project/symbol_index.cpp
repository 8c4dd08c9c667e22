#include "project/symbol_index.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace {
// Files beyond this are generated data, not code worth indexing.
constexpr qint64 MaxIndexedBytes = 8 * 1024 * 1024;

bool readSource(const QString &path, std::string &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxIndexedBytes;
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    return ok;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}
} // namespace

std::unique_ptr<SymbolIndex> SymbolIndex::Build(const QStringList &paths, int workers,
                                                std::atomic<int> *done,
                                                const std::atomic<bool> *cancel)
{
    std::vector<std::shared_ptr<IndexedFile>> parsed(size_t(paths.size()));
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        std::string bytes;
        for (;;) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return;
            const qsizetype i = next.fetch_add(1);
            if (i >= paths.size())
                return;
            // Plain system calls: a Qt file object costs more than the parse of a small file.
            if (readSource(paths[i], bytes)) {
                auto file = std::make_shared<IndexedFile>();
                file->path = paths[i];
                file->symbols = ExtractPhpSymbols(bytes);
                parsed[size_t(i)] = std::move(file);
            }
            if (done)
                done->fetch_add(1, std::memory_order_relaxed);
        }
    };
    workers = std::max(1, workers);
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread &t : threads)
        t.join();

    auto index = std::make_unique<SymbolIndex>();
    index->m_files.reserve(paths.size());
    for (std::shared_ptr<IndexedFile> &file : parsed) {
        if (!file)
            continue;
        const IndexedFile *raw = file.get();
        index->m_files.insert(raw->path, std::move(file));
        index->addRefs(raw);
    }
    return index;
}

void SymbolIndex::setFile(const QString &path, PhpFileSymbols symbols)
{
    removeFile(path);
    auto file = std::make_shared<IndexedFile>();
    file->path = path;
    file->symbols = std::move(symbols);
    const IndexedFile *raw = file.get();
    m_files.insert(path, std::move(file));
    addRefs(raw);
}

void SymbolIndex::updateFromSource(const QString &path, std::string_view source)
{
    setFile(path, ExtractPhpSymbols(source));
}

void SymbolIndex::removeFile(const QString &path)
{
    const auto it = m_files.constFind(path);
    if (it == m_files.constEnd())
        return;
    removeRefs(it->get());
    m_files.erase(it);
}

const IndexedFile *SymbolIndex::file(const QString &path) const
{
    const auto it = m_files.constFind(path);
    return it == m_files.constEnd() ? nullptr : it->get();
}

void SymbolIndex::addRefs(const IndexedFile *file)
{
    const auto &symbols = file->symbols.symbols;
    m_symbolCount += symbols.size();
    for (size_t k = 0; k < symbols.size(); ++k) {
        const PhpSymbol &s = symbols[k];
        const SymbolRef ref{file, int(k)};
        if (IsClassLike(s.kind))
            m_classes[ToLowerAscii(s.name)].push_back(ref);
        else if (s.kind == PhpSymbolKind::Function)
            m_functions[ToLowerAscii(s.name)].push_back(ref);
        else if (s.kind == PhpSymbolKind::Constant)
            m_constants[s.name].push_back(ref);
    }
}

void SymbolIndex::removeRefs(const IndexedFile *file)
{
    const auto &symbols = file->symbols.symbols;
    m_symbolCount -= symbols.size();
    const auto drop = [file](std::unordered_map<std::string, std::vector<SymbolRef>> &map,
                             const std::string &key) {
        const auto it = map.find(key);
        if (it == map.end())
            return;
        auto &refs = it->second;
        refs.erase(std::remove_if(refs.begin(), refs.end(),
                                  [file](const SymbolRef &r) { return r.file == file; }),
                   refs.end());
        if (refs.empty())
            map.erase(it);
    };
    for (const PhpSymbol &s : symbols) {
        if (IsClassLike(s.kind))
            drop(m_classes, ToLowerAscii(s.name));
        else if (s.kind == PhpSymbolKind::Function)
            drop(m_functions, ToLowerAscii(s.name));
        else if (s.kind == PhpSymbolKind::Constant)
            drop(m_constants, s.name);
    }
}

std::vector<SymbolRef>
SymbolIndex::lookup(const std::unordered_map<std::string, std::vector<SymbolRef>> &map,
                    const std::string &key) const
{
    const auto it = map.find(key);
    return it == map.end() ? std::vector<SymbolRef>() : it->second;
}

std::vector<SymbolRef> SymbolIndex::classes(std::string_view name) const
{
    return lookup(m_classes, ToLowerAscii(name));
}

std::vector<SymbolRef> SymbolIndex::functions(std::string_view name) const
{
    return lookup(m_functions, ToLowerAscii(name));
}

std::vector<SymbolRef> SymbolIndex::constants(std::string_view name) const
{
    return lookup(m_constants, std::string(name));
}

std::vector<int> SymbolIndex::membersOf(const IndexedFile &file, int classIndex)
{
    std::vector<int> out;
    const auto &symbols = file.symbols.symbols;
    for (size_t k = size_t(classIndex) + 1; k < symbols.size(); ++k) {
        if (IsClassLike(symbols[k].kind) || symbols[k].kind == PhpSymbolKind::Namespace)
            break;
        if (symbols[k].container == classIndex)
            out.push_back(int(k));
    }
    return out;
}

std::string SymbolIndex::containerName(const SymbolRef &ref)
{
    const PhpSymbol &s = ref.symbol();
    if (s.container < 0)
        return {};
    return ref.file->symbols.symbols[size_t(s.container)].name;
}

namespace {
bool memberMatches(const PhpSymbol &s, std::string_view name, SymbolIndex::MemberKind kind)
{
    switch (kind) {
    case SymbolIndex::MemberKind::Method:
        return s.kind == PhpSymbolKind::Method && sameName(s.name, name);
    case SymbolIndex::MemberKind::Property:
        return s.kind == PhpSymbolKind::Property && s.name == name;
    case SymbolIndex::MemberKind::Constant:
        return (s.kind == PhpSymbolKind::ClassConstant || s.kind == PhpSymbolKind::EnumCase) &&
               s.name == name;
    }
    return false;
}
} // namespace

std::vector<SymbolRef> SymbolIndex::findMember(std::string_view className, std::string_view member,
                                               MemberKind kind) const
{
    // Breadth-first over the hierarchy: a level's finds hide the levels above.
    std::vector<std::string> level{ToLowerAscii(className)};
    std::unordered_set<std::string> seen;
    for (int depth = 0; depth < 32 && !level.empty(); ++depth) {
        std::vector<SymbolRef> found;
        std::vector<std::string> nextLevel;
        for (const std::string &name : level) {
            if (!seen.insert(name).second)
                continue;
            for (const SymbolRef &cls : lookup(m_classes, name)) {
                for (int m : membersOf(*cls.file, cls.index)) {
                    const SymbolRef ref{cls.file, m};
                    if (memberMatches(ref.symbol(), member, kind) &&
                        std::find(found.begin(), found.end(), ref) == found.end())
                        found.push_back(ref);
                }
                const PhpSymbol &c = cls.symbol();
                // Traits are part of the class itself.
                for (const std::string &t : c.uses)
                    for (const SymbolRef &trait : lookup(m_classes, ToLowerAscii(t)))
                        for (int m : membersOf(*trait.file, trait.index))
                            if (memberMatches(trait.file->symbols.symbols[size_t(m)], member, kind))
                                found.push_back({trait.file, m});
                for (const std::string &p : c.extends)
                    nextLevel.push_back(ToLowerAscii(p));
                for (const std::string &p : c.implements)
                    nextLevel.push_back(ToLowerAscii(p));
                for (const std::string &t : c.uses)
                    nextLevel.push_back(ToLowerAscii(t)); // traits using traits
            }
        }
        if (!found.empty())
            return found;
        level = std::move(nextLevel);
    }
    return {};
}

std::vector<SymbolRef> SymbolIndex::allMembers(std::string_view className) const
{
    std::vector<SymbolRef> out;
    std::unordered_set<std::string> names;
    std::vector<std::string> level{ToLowerAscii(className)};
    std::unordered_set<std::string> seen;
    for (int depth = 0; depth < 32 && !level.empty(); ++depth) {
        std::vector<std::string> nextLevel;
        for (const std::string &name : level) {
            if (!seen.insert(name).second)
                continue;
            for (const SymbolRef &cls : lookup(m_classes, name)) {
                for (int m : membersOf(*cls.file, cls.index)) {
                    const PhpSymbol &s = cls.file->symbols.symbols[size_t(m)];
                    const std::string key =
                        std::string(PhpSymbolKindName(s.kind)) + ":" +
                        (s.kind == PhpSymbolKind::Method ? ToLowerAscii(s.name) : s.name);
                    if (names.insert(key).second)
                        out.push_back({cls.file, m});
                }
                const PhpSymbol &c = cls.symbol();
                for (const auto *list : {&c.uses, &c.extends, &c.implements})
                    for (const std::string &p : *list)
                        nextLevel.push_back(ToLowerAscii(p));
            }
        }
        level = std::move(nextLevel);
    }
    return out;
}

std::vector<SymbolIndex::NameOffer> SymbolIndex::namesWithin(std::string_view ns,
                                                             bool classesOnly) const
{
    const std::string within = ns.empty() ? std::string() : ToLowerAscii(ns) + "\\";
    std::vector<NameOffer> offers;
    // Views of the lower-case names offered (a namespace with its "\\"),
    // into the tables' keys or, for constants, into `lowered`.
    std::unordered_set<std::string_view> seen;
    std::deque<std::string> lowered;
    const auto walk = [&](const std::unordered_map<std::string, std::vector<SymbolRef>> &map,
                          bool lowerKeys) {
        for (const auto &[key, refs] : map) {
            // Constants are keyed with their case; namespaces match in any.
            if (refs.empty() || key.size() <= within.size() ||
                !std::equal(within.begin(), within.end(), key.begin(), [](char w, char k) {
                    return w == (k >= 'A' && k <= 'Z' ? char(k + 32) : k);
                }))
                continue;
            const size_t cut = key.find('\\', within.size());
            const size_t length =
                cut == std::string::npos ? std::string::npos : cut + 1 - within.size();
            std::string_view name = std::string_view(key).substr(within.size(), length);
            if (!lowerKeys)
                name = lowered.emplace_back(ToLowerAscii(name));
            if (!seen.insert(name).second) {
                if (!lowerKeys)
                    lowered.pop_back();
                continue;
            }
            const PhpSymbol &s = refs.front().symbol();
            NameOffer offer;
            offer.name = s.name.substr(within.size(), length);
            offer.symbol = cut == std::string::npos ? &s : nullptr;
            offers.push_back(std::move(offer));
        }
    };
    walk(m_classes, true);
    if (!classesOnly) {
        walk(m_functions, true);
        walk(m_constants, false);
    }
    return offers;
}

std::vector<SymbolIndex::NameOffer> SymbolIndex::shortNames(bool classesOnly) const
{
    std::vector<NameOffer> offers;
    std::unordered_set<std::string_view> seen;
    std::deque<std::string> lowered;
    const auto walk = [&](const std::unordered_map<std::string, std::vector<SymbolRef>> &map,
                          bool lowerKeys) {
        for (const auto &[key, refs] : map) {
            if (refs.empty())
                continue;
            const size_t cut = key.rfind('\\');
            std::string_view name =
                std::string_view(key).substr(cut == std::string::npos ? 0 : cut + 1);
            if (!lowerKeys)
                name = lowered.emplace_back(ToLowerAscii(name));
            if (!seen.insert(name).second) {
                if (!lowerKeys)
                    lowered.pop_back();
                continue;
            }
            const PhpSymbol &s = refs.front().symbol();
            offers.push_back({s.name.substr(cut == std::string::npos ? 0 : cut + 1), &s});
        }
    };
    walk(m_classes, true);
    if (!classesOnly) {
        walk(m_functions, true);
        walk(m_constants, false);
    }
    return offers;
}

void SymbolIndex::forEachFile(const std::function<void(const IndexedFile &)> &visit) const
{
    for (const auto &file : m_files)
        visit(*file);
}
