#include "scan/DisplayFormats.h"

#include <cstdio>
#include <ctime>
#include <limits>

namespace velmora::display {

namespace {

std::string format(const char* fmt, auto... args) {
    char buffer[256];
    int n = std::snprintf(buffer, sizeof buffer, fmt, args...);
    if (n < 0)
        return {};
    return std::string(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

std::string appendBits(uint32_t value, std::initializer_list<std::pair<uint32_t, const char*>> bits) {
    std::string out;
    for (auto& [bit, letters] : bits)
        if (value & bit)
            out += letters;
    return out;
}

std::string localText(int64_t seconds) {
    CalendarTime t;
    if (!localCalendar(seconds, t))
        return {};
    return dateTimeText(t.year, t.month, t.day, t.hour, t.minute);
}

} // namespace

std::string sizeText(uint64_t bytes) {
    double x = double(bytes);
    if (x / 1073741824.0 >= 1)
        return format("%.2f GB", x / 1073741824.0);
    if (x / 1048576.0 >= 1)
        return format("%.2f MB", x / 1048576.0);
    if (x / 1024.0 >= 1)
        return format("%.2f KB", x / 1024.0);
    return format("%lld Bytes", static_cast<long long>(bytes));
}

std::string dateTimeText(int year, int month, int day, int hour, int minute) {
    if (hour > 12)
        return format("%02d/%02d/%d  %02d:%02d PM", month, day, year, hour - 12, minute);
    return format("%02d/%02d/%d  %02d:%02d AM", month, day, year, hour, minute);
}

std::string dateText(int year, int month, int day) { return format("%02d/%02d/%d ", month, day, year); }

bool localCalendar(int64_t seconds, CalendarTime& out) {
    if (seconds < int64_t(std::numeric_limits<time_t>::min()) ||
        seconds > int64_t(std::numeric_limits<time_t>::max()))
        return false;
    time_t t = time_t(seconds);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        return false;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    return true;
}

int64_t fileTimeToUnix(uint64_t ntfsFiletime) {
    // Floor division so that times before 1970 round towards the past.
    int64_t ticks = int64_t(ntfsFiletime / 10000000ULL) - kFileTimeUnixEpoch / 10000000LL;
    return ticks;
}

int32_t fileTimeNanoseconds(uint64_t ntfsFiletime) { return int32_t(ntfsFiletime % 10000000ULL) * 100; }

uint64_t unixToFileTime(int64_t seconds) {
    int64_t ticksPerSecond = 10000000LL;
    if (seconds < -kFileTimeUnixEpoch / ticksPerSecond)
        return 0;
    return uint64_t(seconds + kFileTimeUnixEpoch / ticksPerSecond) * uint64_t(ticksPerSecond);
}

int64_t hfsTimeToUnix(uint32_t seconds) { return int64_t(seconds) - kHfsUnixEpochDelta; }

std::string fileTimeText(uint64_t ntfsFiletime) { return localText(fileTimeToUnix(ntfsFiletime)); }

std::string unixTimeText(int64_t seconds) { return localText(seconds); }

std::string hfsTimeText(uint32_t seconds) { return localText(hfsTimeToUnix(seconds)); }

CalendarTime fatCalendar(uint16_t date, uint16_t time) {
    CalendarTime t;
    t.year = (date >> 9) + 1980;
    t.month = (date >> 5) & 0x0F;
    t.day = date & 0x1F;
    t.hour = time >> 11;
    t.minute = (time >> 5) & 0x3F;
    t.second = (time & 0x1F) * 2;
    return t;
}

std::string fatDateTimeText(uint16_t date, uint16_t time) {
    CalendarTime t = fatCalendar(date, time);
    return dateTimeText(t.year, t.month, t.day, t.hour, t.minute);
}

std::string fatDateText(uint16_t date) {
    CalendarTime t = fatCalendar(date, 0);
    return dateText(t.year, t.month, t.day);
}

std::string exFatTimestampText(uint32_t timestamp) {
    return fatDateTimeText(uint16_t(timestamp >> 16), uint16_t(timestamp & 0xFFFF));
}

int64_t localTimeToUnix(int year, int month, int day, int hour, int minute, int second) {
    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return int64_t(mktime(&tm));
}

int64_t fatDateTimeToUnix(uint16_t date, uint16_t time) {
    CalendarTime t = fatCalendar(date, time);
    return localTimeToUnix(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string ntfsAttributeText(uint32_t flags) {
    return appendBits(flags & 0xFFFF, {{0x0001, "-R"}, {0x0002, "-H"}, {0x0200, "-S"},
                                       {0x0020, "-A"}, {0x0800, "-C"}, {0x4000, "-E"}});
}

std::string fatAttributeText(uint8_t attributes) {
    return appendBits(attributes, {{0x01, "-R"}, {0x02, "-H"}, {0x04, "-S"}, {0x20, "-A"}});
}

std::string extModeText(uint32_t mode) {
    return appendBits(mode & 0x1FF, {{0x001, "-OE"}, {0x002, "-OW"}, {0x004, "-OR"},
                                     {0x008, "-GE"}, {0x010, "-GW"}, {0x020, "-GR"},
                                     {0x040, "-UE"}, {0x080, "-UW"}, {0x100, "-UR"}});
}

std::string hfsModeText(uint32_t mode) {
    return appendBits(mode, {{0x040, "-Owner:X"}, {0x080, "-Owner:W"}, {0x100, "-Owner:R"},
                             {0x001, "-OX"}, {0x002, "-OW"}, {0x004, "-OR"},
                             {0x008, "-GX"}, {0x010, "-GW"}, {0x020, "-GR"}});
}

} // namespace velmora::display
