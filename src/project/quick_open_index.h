#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// Quick Open's matching: the parts of a path the user types, as an
// abbreviation (FuzzyScore), over every entry of the project. A match in the
// file name ranks above one that needs the folders; blanks in the pattern are
// ignored. Typing on from the last pattern only looks again at what matched
// it, so each key costs less than the one before.
class QuickOpenIndex {
public:
    // The paths as shown (relative to the project folder); results are
    // indices into this list.
    void reset(const QStringList &paths);
    int size() const { return int(m_items.size()); }
    // The best `limit` entries for `pattern`, best first; ties keep list
    // order. An empty pattern gives the first `limit` entries.
    std::vector<int> find(const QString &pattern, size_t limit);

private:
    struct Item {
        std::string text;  // UTF-8
        std::string lower; // ASCII letters folded, for the quick test
        uint32_t nameAt;   // where the file name starts
    };
    std::vector<Item> m_items;
    std::string m_lastPattern;
    std::vector<int> m_lastMatches; // every entry that matched m_lastPattern
};
