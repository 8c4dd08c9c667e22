#include "foundation/errors.h"
#include "project/publish_exclusions.h"

#include <gtest/gtest.h>

namespace {

struct MatchCase {
    QStringList patterns;
    const char *path;
    const char *excludedBy; // "" when the file is published
};

std::string describe(const MatchCase &c)
{
    return QStringLiteral("[%1] on %2")
        .arg(c.patterns.join(QStringLiteral(" | ")), c.path)
        .toStdString();
}

} // namespace

TEST(PublishExclusions, MatchesLikeGitignore)
{
    const QStringList defaults{".git/", "node_modules/", "*.wdx", ".env"};
    const std::vector<MatchCase> cases{
        // The defaults a user types, at the top and deeper down.
        {defaults, "site.wdx", "*.wdx"},
        {defaults, "backup/old.wdx", "*.wdx"},
        {defaults, "site.wdx.txt", ""},
        {defaults, ".git/config", ".git/"},
        {defaults, "theme/.git/objects/ab/cdef", ".git/"},
        {defaults, "js/node_modules/lib/index.js", "node_modules/"},
        {defaults, ".env", ".env"},
        {defaults, "config/.env", ".env"},
        {defaults, ".env.example", ""},
        {defaults, "index.php", ""},
        // A closing '/' names folders only, never a file of that name.
        {{".git/"}, ".git", ""},
        {{"cache/"}, "cache", ""},
        {{"cache"}, "cache", "cache"},
        {{"cache"}, "a/cache/x.html", "cache"},
        // A '/' inside anchors the pattern at the project folder.
        {{"/.env"}, ".env", "/.env"},
        {{"/.env"}, "config/.env", ""},
        {{"doc/build"}, "doc/build/x.html", "doc/build"},
        {{"doc/build"}, "src/doc/build/x.html", ""},
        {{"sub/*.php"}, "sub/a.php", "sub/*.php"},
        {{"sub/*.php"}, "sub/deep/a.php", ""},
        {{"sub/*.php"}, "x/sub/a.php", ""},
        // Double stars.
        {{"**/cache"}, "cache/a", "**/cache"},
        {{"**/cache"}, "a/b/cache/x", "**/cache"},
        {{"**/cache"}, "a/cachex", ""},
        {{"logs/**"}, "logs/a/b.txt", "logs/**"},
        {{"logs/**"}, "logs", ""},
        {{"a/**/b.php"}, "a/b.php", "a/**/b.php"},
        {{"a/**/b.php"}, "a/x/y/b.php", "a/**/b.php"},
        {{"a/**/b.php"}, "ab.php", ""},
        {{"a/**/b.php"}, "c/a/b.php", ""},
        {{"*"}, "any/thing.php", "*"},
        // Wildcards never cross a '/'.
        {{"?.txt"}, "a.txt", "?.txt"},
        {{"?.txt"}, "ab.txt", ""},
        {{"a?b"}, "a/b", ""},
        {{"a*b"}, "a/b", ""},
        {{"*.min.*"}, "js/app.min.js", "*.min.*"},
        // Character classes.
        {{"[abc].css"}, "b.css", "[abc].css"},
        {{"[abc].css"}, "d.css", ""},
        {{"[!abc].css"}, "d.css", "[!abc].css"},
        {{"[!abc].css"}, "a.css", ""},
        {{"[a-c]x"}, "bx", "[a-c]x"},
        {{"[a-c]x"}, "dx", ""},
        {{"x[]]"}, "x]", "x[]]"},
        {{"x[-a]"}, "x-", "x[-a]"},
        {{"x[.]php"}, "x.php", "x[.]php"},
        {{"x[.]php"}, "xaphp", ""},
        // Negation: the last pattern that matches decides.
        {{"*.php", "!keep.php"}, "keep.php", ""},
        {{"*.php", "!keep.php"}, "other.php", "*.php"},
        {{"!keep.php", "*.php"}, "keep.php", "*.php"},
        {{"vendor/", "!vendor/autoload.php"}, "vendor/autoload.php", ""},
        {{"vendor/", "!vendor/autoload.php"}, "vendor/lib/x.php", "vendor/"},
        // Letter case counts.
        {{"*.PHP"}, "x.php", ""},
        {{"Readme"}, "readme", ""},
        // Comments, blank lines, escapes, trailing blanks.
        {{"# *.php", "", "   "}, "x.php", ""},
        {{"\\#notes"}, "#notes", "\\#notes"},
        {{"\\!important"}, "!important", "\\!important"},
        {{"*.log  "}, "x.log", "*.log  "},
        {{"a\\ "}, "a ", "a\\ "},
        {{"a\\*"}, "a*", "a\\*"},
        {{"a\\*"}, "ab", ""},
        // Regular expression characters are themselves.
        {{"a+b(1).php"}, "a+b(1).php", "a+b(1).php"},
        {{"a.php"}, "axphp", ""},
        // Nothing outside the project folder, nothing without a name.
        {{"*"}, "../x.php", ""},
        {{"*"}, "", ""},
    };
    for (const MatchCase &c : cases) {
        const PublishExclusions exclusions(c.patterns);
        EXPECT_EQ(exclusions.excludedBy(QString::fromUtf8(c.path)).toStdString(),
                  std::string(c.excludedBy))
            << describe(c);
        EXPECT_EQ(exclusions.excludes(QString::fromUtf8(c.path)), *c.excludedBy != 0)
            << describe(c);
    }
}

TEST(PublishExclusions, InvalidPatternsAreNamedAndKeepThePreviousOnes)
{
    for (const char *bad : {"[abc", "x[!", "ends\\", "!", "/", "!/", "[z-a].php"}) {
        EXPECT_FALSE(PublishExclusions::patternError(QString::fromUtf8(bad)).isEmpty()) << bad;
        PublishExclusions exclusions({"*.wdx"});
        try {
            exclusions.setPatterns({"*.bak", QString::fromUtf8(bad)});
            ADD_FAILURE() << "accepted " << bad;
        } catch (const AppError &error) {
            EXPECT_TRUE(error.message().contains(QStringLiteral("\"%1\"").arg(bad)))
                << error.message().toStdString();
        }
        EXPECT_EQ(exclusions.patterns(), QStringList{"*.wdx"}) << bad;
        EXPECT_TRUE(exclusions.excludes("a.wdx")) << bad;
        EXPECT_FALSE(exclusions.excludes("a.bak")) << bad;
    }
    for (const char *good : {"", "# [abc", "*.php", "[]]", "a\\[b", "!x/"})
        EXPECT_TRUE(PublishExclusions::patternError(QString::fromUtf8(good)).isEmpty()) << good;
    EXPECT_THROW(PublishExclusions({"ok", "[bad"}), AppError);
}
