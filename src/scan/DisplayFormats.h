// The texts of the result list that every parser and the scan results page agree on: sizes,
// date and time, and attribute or permission letters. Also the time conversions behind them.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::display {

// "%.2f GB" / "%.2f MB" / "%.2f KB" with binary units, else "%lld Bytes".
std::string sizeText(uint64_t bytes);

// "MM/DD/YYYY  hh:mm AM|PM". Hours above 12 are shown minus 12 with PM; 0 to 12 unchanged
// with AM (so 12:30 shows as 12:30 AM).
std::string dateTimeText(int year, int month, int day, int hour, int minute);
// "MM/DD/YYYY " (one trailing space): FAT's last-access date.
std::string dateText(int year, int month, int day);

// NTFS FILETIME (100 ns since 1601-01-01 UTC), shown in the local time zone. Empty when the
// value is beyond what the calendar conversion can represent.
std::string fileTimeText(uint64_t ntfsFiletime);
// Seconds since 1970-01-01 UTC (ext), shown in local time.
std::string unixTimeText(int64_t seconds);
// Seconds since 1904-01-01 UTC (HFS+), shown in local time.
std::string hfsTimeText(uint32_t seconds);
// FAT date and time words; FAT times are local already and shown as they are.
std::string fatDateTimeText(uint16_t date, uint16_t time);
std::string fatDateText(uint16_t date);
// exFAT timestamp: date in the high 16 bits, time in the low 16 bits, as FAT.
std::string exFatTimestampText(uint32_t timestamp);

// Attribute letters; each set bit appends its letters in a fixed order; nothing set gives "".
std::string ntfsAttributeText(uint32_t flags);   // low 16 bits of the file name flags
std::string fatAttributeText(uint8_t attributes); // FAT and exFAT
std::string extModeText(uint32_t mode);           // low 9 bits of i_mode
std::string hfsModeText(uint32_t mode);           // BSD file mode

// Time conversions.
constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL; // 1970-01-01 as a FILETIME
constexpr int64_t kHfsUnixEpochDelta = 2082844800LL;          // seconds 1904-01-01 .. 1970-01-01
// Whole seconds since 1970 (rounded down; negative before 1970).
int64_t fileTimeToUnix(uint64_t ntfsFiletime);
// Nanoseconds below the second of a FILETIME (0 .. 999999900).
int32_t fileTimeNanoseconds(uint64_t ntfsFiletime);
uint64_t unixToFileTime(int64_t seconds);
int64_t hfsTimeToUnix(uint32_t seconds);
// A local calendar time (as FAT and exFAT store it) to seconds since 1970; the local time
// zone and its daylight-saving rule for that date apply.
int64_t localTimeToUnix(int year, int month, int day, int hour, int minute, int second);
// FAT date and time words (two-second resolution) to seconds since 1970, read as local time.
int64_t fatDateTimeToUnix(uint16_t date, uint16_t time);

struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// Seconds since 1970 to local calendar time; false when out of range.
bool localCalendar(int64_t seconds, CalendarTime& out);
// FAT words to calendar fields (no validation: corrupt fields give odd but harmless values).
CalendarTime fatCalendar(uint16_t date, uint16_t time);

} // namespace velmora::display
