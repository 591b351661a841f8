#include "platform/TimeConversion.h"

#include <ctime>
#include <gtest/gtest.h>

#include "ScopedEnvironment.h"

using namespace tavrin::platform;

namespace {

// A wall-clock reading as local seconds (the fields counted as if in UTC).
std::int64_t Wall(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&fields));
}

} // namespace

TEST(LocalTimeShift, IsTheZoneOffsetOfNow)
{
    const struct {
        const char* zone;
        std::int64_t shift;
    } cases[] = {{"UTC0", 0}, {"EST5", -5 * 3600}, {"JST-9", 9 * 3600}};
    for (const auto& c : cases) {
        ScopedEnvironment tz("TZ", c.zone);
        EXPECT_EQ(LocalTimeShift(), c.shift) << c.zone;
        EXPECT_EQ(ShiftToLocal(1000000), 1000000 + c.shift) << c.zone;
    }
}

TEST(ToDosDateTime, PacksDateHighAndTimeLowWithinTheDosRange)
{
    const struct {
        std::int64_t local;
        std::uint32_t dos;
    } cases[] = {
        {Wall(2026, 12, 10, 13, 11, 41), 0x5D8A6974}, // odd second halved down
        {Wall(2001, 2, 3, 4, 5, 6), 0x2A4320A3},
        {Wall(1980, 1, 1, 0, 0, 0), 0x00210000},
        {Wall(1979, 12, 31, 23, 59, 59), 0x00210000}, // before DOS time: its first moment
        {Wall(1900, 6, 1, 12, 0, 0), 0x00210000},
        {Wall(2107, 12, 31, 23, 59, 59), 0xFF9FBF7D},
        {Wall(2150, 1, 1, 0, 0, 0), 0xFF9FBF7D}, // after: its last moment
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToDosDateTime(c.local), c.dos) << c.local;
}

TEST(ToClampedUnixSeconds, ClampsTheYearKeepsTheTimeOfDay)
{
    ScopedEnvironment tz("TZ", "UTC0");
    const struct {
        std::int64_t local;
        std::uint32_t seconds;
    } cases[] = {
        {Wall(2001, 2, 3, 4, 5, 6), 981173106},
        {Wall(1969, 7, 20, 20, 17, 40), 73060},       // 1970-01-01 20:17:40
        {Wall(1601, 1, 1, 0, 0, 1), 1},               // 1970-01-01 00:00:01
        {Wall(2040, 5, 6, 7, 8, 9), 2145856089},      // 2037-12-31 07:08:09
        {Wall(2037, 12, 31, 23, 59, 59), 2145916799}, // last moment kept as it is
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToClampedUnixSeconds(c.local), c.seconds) << c.local;
}

TEST(ToClampedUnixSeconds, ReadsTheFieldsAsLocalStandardTime)
{
    {
        ScopedEnvironment tz("TZ", "JST-9");
        EXPECT_EQ(ToClampedUnixSeconds(Wall(1969, 7, 20, 20, 17, 40)), 73060u - 9 * 3600);
        // 1 January 1970 05:00 in Tokyo is before the epoch: 0, not a wrapped value.
        EXPECT_EQ(ToClampedUnixSeconds(Wall(1960, 1, 1, 5, 0, 0)), 0u);
    }
    {
        // Daylight saving off: a summer reading counts as standard time (UTC+1).
        ScopedEnvironment tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(ToClampedUnixSeconds(Wall(2001, 7, 1, 12, 0, 0)), 993988800u - 3600);
        EXPECT_EQ(ToClampedUnixSeconds(Wall(2001, 1, 1, 12, 0, 0)), 978350400u - 3600);
    }
}
