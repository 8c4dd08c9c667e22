#pragma once

#include "project/php_symbols.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The declarations of every PHP file of a project, looked up by name. Class,
// function and namespace names are matched without regard to case, constants
// and properties exactly, as PHP does. One thread changes it at a time; a
// whole new index is built on worker threads and then swapped in.

struct IndexedFile {
    QString path;
    PhpFileSymbols symbols;
};

struct SymbolRef {
    const IndexedFile *file = nullptr;
    int index = -1;
    const PhpSymbol &symbol() const { return file->symbols.symbols[size_t(index)]; }
    bool operator==(const SymbolRef &o) const { return file == o.file && index == o.index; }
};

class SymbolIndex {
public:
    SymbolIndex() = default;
    SymbolIndex(const SymbolIndex &) = delete;
    SymbolIndex &operator=(const SymbolIndex &) = delete;

    // Reads and indexes `paths` over `workers` threads. `done` counts files
    // finished; a set `cancel` stops early with what was read. Files that
    // cannot be read are left out.
    static std::unique_ptr<SymbolIndex> Build(const QStringList &paths, int workers,
                                              std::atomic<int> *done = nullptr,
                                              const std::atomic<bool> *cancel = nullptr);

    // Replaces a file's declarations (a new file is added).
    void setFile(const QString &path, PhpFileSymbols symbols);
    void updateFromSource(const QString &path, std::string_view source);
    void removeFile(const QString &path);
    const IndexedFile *file(const QString &path) const;

    // Top-level declarations by fully qualified name (no leading backslash).
    std::vector<SymbolRef> classes(std::string_view name) const;
    std::vector<SymbolRef> functions(std::string_view name) const;
    std::vector<SymbolRef> constants(std::string_view name) const;

    enum class MemberKind { Method, Property, Constant };
    // A member of a class as PHP finds it: the class itself, its traits, then
    // its parents and interfaces; the nearest declaration wins (each class of
    // that name counts when a name is declared more than once).
    std::vector<SymbolRef> findMember(std::string_view className, std::string_view member,
                                      MemberKind kind) const;
    // Every member of a class and its ancestors, nearest first, each name once.
    std::vector<SymbolRef> allMembers(std::string_view className) const;
    // The members declared by one class-like symbol.
    static std::vector<int> membersOf(const IndexedFile &file, int classIndex);
    // The class a member belongs to, qualified.
    static std::string containerName(const SymbolRef &ref);

    // What a name written with a namespace part can go on with: the classes
    // (and unless `classesOnly` the functions and constants) declared right
    // inside namespace `ns` (any case; empty: the global one), and the
    // namespaces one level below it, as "Name\\". Each name once.
    struct NameOffer {
        std::string name;                  // the part after `ns\\`, case as declared
        const PhpSymbol *symbol = nullptr; // null for a namespace
    };
    std::vector<NameOffer> namesWithin(std::string_view ns, bool classesOnly) const;
    // The short names (after the last "\\") of every class, and unless
    // `classesOnly` every function and constant, each name once.
    std::vector<NameOffer> shortNames(bool classesOnly) const;

    void forEachFile(const std::function<void(const IndexedFile &)> &visit) const;
    qsizetype fileCount() const { return m_files.size(); }
    size_t symbolCount() const { return m_symbolCount; }

private:
    void addRefs(const IndexedFile *file);
    void removeRefs(const IndexedFile *file);
    std::vector<SymbolRef>
    lookup(const std::unordered_map<std::string, std::vector<SymbolRef>> &map,
           const std::string &key) const;

    QHash<QString, std::shared_ptr<IndexedFile>> m_files;
    std::unordered_map<std::string, std::vector<SymbolRef>> m_classes;   // lower-case name
    std::unordered_map<std::string, std::vector<SymbolRef>> m_functions; // lower-case name
    std::unordered_map<std::string, std::vector<SymbolRef>> m_constants; // exact name
    size_t m_symbolCount = 0;
};
