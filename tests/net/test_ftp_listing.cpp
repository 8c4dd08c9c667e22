// Listings as servers write them: MLSD facts and LIST lines in the Unix and
// DOS layouts, read into names, kinds, sizes and times.

#include "net/ftp_client.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

namespace {
qint64 utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc())
        .toMSecsSinceEpoch();
}
} // namespace

TEST(FtpListing, LinesOfEveryLayoutGiveNameKindSizeAndTime)
{
    struct Case {
        bool mlsd;
        const char *line;
        std::optional<RemoteEntry> expected;
    };
    const QDate today(2026, 12, 9);
    const Case cases[] = {
        {true, "type=file;size=1234;modify=20231201120000; index.php",
         RemoteEntry{"index.php", false, 1234, utc(2023, 12, 1, 12)}},
        {true, "Type=File;Size=5;Modify=20231201120000.250;UNIX.mode=0644; a b.txt\r",
         RemoteEntry{"a b.txt", false, 5, utc(2023, 12, 1, 12) + 250}},
        {true, "type=dir;modify=20230101000000; sub",
         RemoteEntry{"sub", true, -1, utc(2023, 1, 1)}},
        {true, "type=cdir; .", std::nullopt},
        {true, "type=pdir; ..", std::nullopt},
        {true, "type=OS.unix=symlink; link", std::nullopt},
        {true, "no facts here", std::nullopt},
        {false, "-rw-r--r--    1 1000     1000         4321 Mar 05 14:07 page one.php",
         RemoteEntry{"page one.php", false, 4321, utc(2026, 3, 5, 14, 7)}},
        // A year-less date after today is last year's.
        {false, "-rw-r--r--   1 user group 10 Dec 24 10:00 x.php",
         RemoteEntry{"x.php", false, 10, utc(2025, 12, 24, 10)}},
        {false, "drwxr-xr-x   2 user group 4096 Jan  1  2020 img",
         RemoteEntry{"img", true, 4096, utc(2020, 1, 1)}},
        {false, "lrwxrwxrwx   1 user group 7 Jan  1  2020 link -> target", std::nullopt},
        {false, "drwxr-xr-x   2 user group 4096 Jan  1  2020 ..", std::nullopt},
        {false, "total 12", std::nullopt},
        {false, "12-05-23  10:15PM               1234 page.php",
         RemoteEntry{"page.php", false, 1234, utc(2023, 12, 5, 22, 15)}},
        {false, "01-02-2024  09:00AM       <DIR>          assets",
         RemoteEntry{"assets", true, -1, utc(2024, 1, 2, 9)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<RemoteEntry> entry =
            c.mlsd ? FtpClient::parseMlsdLine(c.line) : FtpClient::parseListLine(c.line, today);
        ASSERT_EQ(entry.has_value(), c.expected.has_value());
        if (entry) {
            EXPECT_EQ(entry->name, c.expected->name);
            EXPECT_EQ(entry->folder, c.expected->folder);
            EXPECT_EQ(entry->size, c.expected->size);
            EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(entry->modifiedMs, QTimeZone::utc()),
                      QDateTime::fromMSecsSinceEpoch(c.expected->modifiedMs, QTimeZone::utc()));
        }
    }
}
