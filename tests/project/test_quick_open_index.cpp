#include "project/quick_open_index.h"

#include <gtest/gtest.h>

namespace {
QStringList shown(const QStringList &paths, const std::vector<int> &found)
{
    QStringList names;
    for (const int i : found)
        names << paths.at(i);
    return names;
}
} // namespace

TEST(QuickOpenIndex, RanksNamesAboveFoldersAndNarrowsAsTheUserTypes)
{
    const QStringList paths{"wp-admin/users.php",
                            "wp-includes/user.php",
                            "wp-content/users/list.php",
                            "README.md",
                            "wp-includes/class-wp-user-query.php",
                            "users.php"};
    QuickOpenIndex index;
    index.reset(paths);
    const struct {
        const char *typed;
        QStringList found;
    } steps[] = {
        // Typed on key by key, each narrowing the last: names that match
        // first, the shorter name and then the shorter path before others.
        {"u",
         {"wp-includes/user.php", "users.php", "wp-admin/users.php",
          "wp-includes/class-wp-user-query.php", "wp-content/users/list.php"}},
        {"users", {"users.php", "wp-admin/users.php", "wp-content/users/list.php"}},
        {"usersl", {"wp-content/users/list.php"}},
        // Backspace: no longer a narrowing, everything is looked at again.
        {"user",
         {"wp-includes/user.php", "users.php", "wp-admin/users.php",
          "wp-includes/class-wp-user-query.php", "wp-content/users/list.php"}},
        {"WPI CWUQ", {"wp-includes/class-wp-user-query.php"}},
        {"x", {}},
        // Nothing typed: the project's order.
        {"", {"wp-admin/users.php", "wp-includes/user.php", "wp-content/users/list.php"}},
    };
    for (const auto &step : steps)
        EXPECT_EQ(
            shown(paths, index.find(step.typed, step.typed[0] ? 10 : 3)).join(' ').toStdString(),
            step.found.join(' ').toStdString())
            << step.typed;
}
