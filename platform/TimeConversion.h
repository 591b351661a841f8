// Time conversions for ZIP headers.
//
// A "local seconds" value is a wall-clock reading of the local zone counted like a
// time_t: seconds since 1970-01-01 00:00 of that clock. Calendar fields are taken from
// it as they stand (no zone applied again). File times become local seconds by adding
// the zone's offset of the present moment, not the one in force at the file's date,
// which is how FAT-era tools stamp DOS times.
#pragma once

#include <cstdint>

namespace tavrin::platform {

// Re-reads the time-zone settings (TZ) that the conversions below depend on.
void RefreshTimeZone();

// Current local time minus UTC, in seconds (daylight saving included).
std::int64_t LocalTimeShift();

// The present moment as local seconds.
std::int64_t LocalNow();

// Seconds since 1970 (UTC) shifted to local seconds with the present offset.
std::int64_t ShiftToLocal(std::int64_t utcSeconds);

// DOS time and date of a local-seconds value: DOS date in the high word, DOS time in
// the low word (seconds halved). Values outside the DOS range are clamped to
// 1980-01-01 00:00:00 and 2107-12-31 23:59:58.
std::uint32_t ToDosDateTime(std::int64_t localSeconds);

// The 32-bit seconds value of a local-seconds value for extended time stamps: a year
// before 1970 becomes 1 January 1970 and a year after 2037 becomes 31 December 2037,
// the time of day kept; the fields are then converted by mktime as local time with
// daylight saving off. A result before the epoch (a zone east of UTC on 1 January
// 1970) is clamped to 0 rather than wrapped.
std::uint32_t ToClampedUnixSeconds(std::int64_t localSeconds);

} // namespace tavrin::platform
