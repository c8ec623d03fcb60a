#include "scan/DisplayFormats.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace velmora::display;

namespace {

// Local-time conversions are checked in a fixed zone with daylight saving.
class LocalZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TZ");
        saved_ = old ? old : "";
        hadTz_ = old != nullptr;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadTz_ = false;
};

uint16_t fatDate(int y, int m, int d) { return uint16_t(((y - 1980) << 9) | (m << 5) | d); }
uint16_t fatTime(int h, int m, int s) { return uint16_t((h << 11) | (m << 5) | (s / 2)); }

} // namespace

TEST(DisplayFormats, SizeText) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {1073741824, "1.00 GB"},
        {4294967295ULL, "4.00 GB"},
        {5ULL << 40, "5120.00 GB"},
    };
    for (auto& c : cases)
        EXPECT_EQ(sizeText(c.bytes), c.text) << c.bytes;
}

TEST(DisplayFormats, TwelveHourClockKeepsNoonAsAm) {
    struct Case {
        int hour, minute;
        const char* text;
    } cases[] = {
        {0, 30, "03/07/2021  00:30 AM"},
        {12, 0, "03/07/2021  12:00 AM"},
        {12, 30, "03/07/2021  12:30 AM"},
        {13, 5, "03/07/2021  01:05 PM"},
        {23, 59, "03/07/2021  11:59 PM"},
    };
    for (auto& c : cases)
        EXPECT_EQ(dateTimeText(2021, 3, 7, c.hour, c.minute), c.text);
}

TEST(DisplayFormats, FatAndExFatFieldsAreShownAsStored) {
    EXPECT_EQ(fatDateTimeText(fatDate(2019, 12, 31), fatTime(12, 0, 58)), "12/31/2019  12:00 AM");
    EXPECT_EQ(fatDateTimeText(fatDate(1980, 1, 1), fatTime(15, 7, 0)), "01/01/1980  03:07 PM");
    EXPECT_EQ(fatDateText(fatDate(2024, 2, 29)), "02/29/2024 ");
    uint32_t ts = (uint32_t(fatDate(2023, 6, 5)) << 16) | fatTime(18, 45, 10);
    EXPECT_EQ(exFatTimestampText(ts), "06/05/2023  06:45 PM");
    // Garbage fields never crash and stay within the buffer.
    EXPECT_EQ(fatDateTimeText(0xFFFF, 0xFFFF), "15/31/2107  19:63 PM");
}

TEST_F(LocalZone, VolumeTimesAreShownInLocalTimeWithDaylightSaving) {
    // 2021-07-01 10:15:00 UTC is 12:15 in Berlin (summer time), shown as AM.
    int64_t summer = 1625134500;
    EXPECT_EQ(unixTimeText(summer), "07/01/2021  12:15 AM");
    EXPECT_EQ(fileTimeText(unixToFileTime(summer) + 1234567), "07/01/2021  12:15 AM");
    EXPECT_EQ(hfsTimeText(uint32_t(summer + kHfsUnixEpochDelta)), "07/01/2021  12:15 AM");
    // 2021-01-15 17:40 UTC is 18:40 in winter.
    EXPECT_EQ(unixTimeText(1610732400), "01/15/2021  06:40 PM");
    // HFS+ date 0 is 1904-01-01 00:00 UTC, shown in local time (Berlin was UTC+1 then).
    EXPECT_EQ(hfsTimeText(0), "01/01/1904  01:00 AM");
    // FAT times are local: reading them as local time gives back the same wall clock.
    int64_t t = fatDateTimeToUnix(fatDate(2021, 7, 1), fatTime(12, 15, 0));
    EXPECT_EQ(t, summer);
}

TEST(DisplayFormats, FileTimeConversions) {
    EXPECT_EQ(fileTimeToUnix(uint64_t(kFileTimeUnixEpoch)), 0);
    EXPECT_EQ(fileTimeToUnix(uint64_t(kFileTimeUnixEpoch) - 1), -1); // rounds towards the past
    EXPECT_EQ(fileTimeNanoseconds(uint64_t(kFileTimeUnixEpoch) + 1234567), 123456700);
    EXPECT_EQ(unixToFileTime(1), uint64_t(kFileTimeUnixEpoch) + 10000000);
    EXPECT_EQ(unixToFileTime(-20000000000LL), 0u); // before 1601
    EXPECT_EQ(hfsTimeToUnix(0), -kHfsUnixEpochDelta);
    // The largest FILETIME is far in the future but still converts without failing.
    EXPECT_NO_FATAL_FAILURE(fileTimeText(~0ULL));
}

TEST(DisplayFormats, AttributeLetters) {
    EXPECT_EQ(ntfsAttributeText(0x0023), "-R-H-A");
    EXPECT_EQ(ntfsAttributeText(0x0004), "");
    EXPECT_EQ(ntfsAttributeText(0x4A21), "-R-S-A-C-E");
    EXPECT_EQ(ntfsAttributeText(0x10000001), "-R"); // only the low 16 bits count
    EXPECT_EQ(fatAttributeText(0x27), "-R-H-S-A");
    EXPECT_EQ(fatAttributeText(0x10), "");
    EXPECT_EQ(extModeText(0100644), "-OR-GR-UW-UR");
    EXPECT_EQ(extModeText(0040755), "-OE-OR-GE-GR-UE-UW-UR");
    EXPECT_EQ(extModeText(0), "");
    EXPECT_EQ(hfsModeText(0100644), "-Owner:W-Owner:R-OR-GR");
    EXPECT_EQ(hfsModeText(0755), "-Owner:X-Owner:W-Owner:R-OX-OR-GX-GR");
}
