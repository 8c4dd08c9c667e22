#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

// Files a publish never uploads, named by gitignore-style patterns over a
// file's path relative to the project folder, with '/' separators:
//
// - blank lines and lines beginning with '#' are ignored; trailing blanks are
//   dropped unless escaped with '\'; "\#" and "\!" begin a pattern literally;
// - '!' before a pattern takes back what earlier patterns excluded; the last
//   pattern that matches decides, also for a file below an excluded folder;
// - a closing '/' matches folders only, and so everything below them;
// - a pattern holding a '/' anywhere but at its end is anchored at the
//   project folder ("/.env", "doc/build"); any other matches a file or a
//   folder of that name at any depth ("*.wdx", "node_modules/");
// - '*' is any run of characters but '/', '?' one character but '/',
//   "[a-z]" / "[!a-z]" a character class; "**/" at the start or "/**/"
//   within is any number of folders, "/**" at the end all below.
//
// Letter case counts, as it does for file names on this system.
class PublishExclusions {
public:
    PublishExclusions() = default;
    // Throws AppError naming the first invalid pattern and what is wrong.
    explicit PublishExclusions(const QStringList &patterns);

    // Replaces the patterns; on an invalid one throws AppError naming it and
    // keeps the previous ones.
    void setPatterns(const QStringList &patterns);
    const QStringList &patterns() const { return m_lines; }

    // What is wrong with one pattern line, in a sentence; empty when it is
    // valid (blank lines and comments are valid).
    static QString patternError(const QString &pattern);

    // The pattern line, as written, that excludes `relativePath`; empty when
    // the file is published. A path that leaves the project folder ("../")
    // or is empty is never excluded.
    QString excludedBy(const QString &relativePath) const;
    bool excludes(const QString &relativePath) const { return !excludedBy(relativePath).isEmpty(); }

    // What the last pattern matching this very path says, the folders above
    // it not looked at: a walk that enters folder by folder, as git does, has
    // settled those already. `isFolder` lets "name/" patterns match.
    enum class Verdict { None, Excluded, Included };
    Verdict verdictFor(const QString &relativePath, bool isFolder) const;
    // True when some pattern takes back ('!') what others exclude.
    bool hasNegations() const;

private:
    struct Rule {
        QString line;
        QRegularExpression expression;
        bool negated = false;
        bool foldersOnly = false;
        bool anchored = false; // matched against the whole path, else against names
    };
    // Compiles one line; false for blank and comment lines. Throws AppError
    // without the pattern's name when it is invalid.
    static bool compile(const QString &line, Rule &rule);

    QStringList m_lines;
    std::vector<Rule> m_rules;
};
