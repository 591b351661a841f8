#include "platform/TimeConversion.h"

#include <ctime>

namespace tavrin::platform {

namespace {

std::tm CalendarFields(std::int64_t localSeconds)
{
    std::tm fields{};
    const std::time_t asTimeT = static_cast<std::time_t>(localSeconds);
    gmtime_r(&asTimeT, &fields);
    return fields;
}

} // namespace

void RefreshTimeZone()
{
    tzset();
}

std::int64_t LocalTimeShift()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<std::int64_t>(local.tm_gmtoff);
}

std::int64_t LocalNow()
{
    return ShiftToLocal(static_cast<std::int64_t>(std::time(nullptr)));
}

std::int64_t ShiftToLocal(std::int64_t utcSeconds)
{
    return utcSeconds + LocalTimeShift();
}

std::uint32_t ToDosDateTime(std::int64_t localSeconds)
{
    std::tm fields = CalendarFields(localSeconds);
    const int year = fields.tm_year + 1900;
    if (year < 1980) {
        fields = std::tm{};
        fields.tm_year = 80;
        fields.tm_mday = 1;
    } else if (year > 2107) {
        fields = std::tm{};
        fields.tm_year = 207;
        fields.tm_mon = 11;
        fields.tm_mday = 31;
        fields.tm_hour = 23;
        fields.tm_min = 59;
        fields.tm_sec = 58;
    }
    const auto dosDate = static_cast<std::uint32_t>(((fields.tm_year - 80) << 9) | ((fields.tm_mon + 1) << 5) | fields.tm_mday);
    const auto dosTime = static_cast<std::uint32_t>((fields.tm_hour << 11) | (fields.tm_min << 5) | (fields.tm_sec / 2));
    return (dosDate << 16) | dosTime;
}

std::uint32_t ToClampedUnixSeconds(std::int64_t localSeconds)
{
    std::tm fields = CalendarFields(localSeconds);
    const int year = fields.tm_year + 1900;
    if (year < 1970) {
        fields.tm_year = 70;
        fields.tm_mon = 0;
        fields.tm_mday = 1;
    } else if (year > 2037) {
        fields.tm_year = 137;
        fields.tm_mon = 11;
        fields.tm_mday = 31;
    }
    fields.tm_isdst = 0;
    const std::time_t seconds = std::mktime(&fields);
    if (seconds <= 0)
        return 0;
    if (seconds > 0xFFFFFFFF)
        return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(seconds);
}

} // namespace tavrin::platform
