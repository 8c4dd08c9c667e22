#include "project/dos_stamp.h"

#include <QFileInfo>

DosStamp PackDosStamp(const QDateTime &localTime)
{
    const QDateTime local = localTime.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    if (!date.isValid() || date.year() < 1980)
        return PackDosStamp(QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::LocalTime));
    if (date.year() > 2107)
        return PackDosStamp(QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59), Qt::LocalTime));
    return static_cast<DosStamp>(time.second() / 2) | static_cast<DosStamp>(time.minute()) << 5 |
           static_cast<DosStamp>(time.hour()) << 11 | static_cast<DosStamp>(date.day()) << 16 |
           static_cast<DosStamp>(date.month()) << 21 |
           static_cast<DosStamp>(date.year() - 1980) << 25;
}

QDateTime UnpackDosStamp(DosStamp stamp)
{
    if (stamp == 0)
        return QDateTime();
    const QDate date(1980 + static_cast<int>(stamp >> 25), static_cast<int>((stamp >> 21) & 0xF),
                     static_cast<int>((stamp >> 16) & 0x1F));
    const QTime time(static_cast<int>((stamp >> 11) & 0x1F), static_cast<int>((stamp >> 5) & 0x3F),
                     static_cast<int>(stamp & 0x1F) * 2);
    return QDateTime(date, time, Qt::LocalTime);
}

std::optional<DosStamp> DosStampOfFile(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    // The time comes from the file system entry, so a file that is locked or
    // unreadable still has one.
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return PackDosStamp(modified);
}
