#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The 4-byte DOS packed date and time, least significant bit first: seconds/2
// (5 bits), minutes (6), hours (5), day (5), month (4), years since 1980 (7).
// Zero means "no time". Two times in the same two-second step pack equally,
// so comparing packed values compares the six fields.
using DosStamp = quint32;

// Packs a local date and time; dates outside 1980..2107 are clamped to the
// first or last representable moment.
DosStamp PackDosStamp(const QDateTime &localTime);

// The local date and time a stamp stands for; invalid for the zero stamp.
QDateTime UnpackDosStamp(DosStamp stamp);

// The last-modification stamp of the file at `path`, or nullopt when there is
// no such file or its time cannot be read. Never raises.
std::optional<DosStamp> DosStampOfFile(const QString &path);
