#include "disk/MemoryReadSeek.h"
#include "disk/readWriteInterface.h"
#include "host/Host.h"
#include "Fixtures.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

// A file whose byte i is (i * 7 + i / 512) & 0xFF, so every position is recognisable.
fs::path makePatternFile(const fs::path& dir, size_t size) {
    fs::path p = dir / "pattern.bin";
    std::ofstream out(p, std::ios::binary);
    for (size_t i = 0; i < size; ++i)
        out.put(char((i * 7 + i / 512) & 0xFF));
    return p;
}

uint8_t patternAt(int64_t i) { return uint8_t((i * 7 + i / 512) & 0xFF); }

} // namespace

TEST(FileReadSeek, ExactSizeAndReadOnlyOpen) {
    test::TempDir tmp;
    auto p = makePatternFile(tmp.path(), 5000);  // not a multiple of 512
    FileReadSeek r;
    ASSERT_TRUE(r.open(p.string()));
    EXPECT_EQ(r.length, 5000u);
    EXPECT_EQ(r.totalSectors(), 5000 / 512);
    // The descriptor must be read-only.
    EXPECT_EQ(fcntl(r.handle, F_GETFL) & O_ACCMODE, O_RDONLY);
}

TEST(FileReadSeek, ShortReadZeroFillsAndReportsFalse) {
    test::TempDir tmp;
    auto p = makePatternFile(tmp.path(), 1000);
    FileReadSeek r;
    ASSERT_TRUE(r.open(p.string()));
    std::vector<uint8_t> buf(1024, 0xAA);
    ASSERT_TRUE(r.seek(512));
    EXPECT_FALSE(r.read(buf.data(), 1024));
    for (int i = 0; i < 488; ++i)
        ASSERT_EQ(buf[i], patternAt(512 + i)) << i;
    for (int i = 488; i < 1024; ++i)
        ASSERT_EQ(buf[i], 0) << i;
}

TEST(FileReadSeek, NothingDeliveredLeavesBufferAndZeroByteReadIsTrue) {
    test::TempDir tmp;
    auto p = makePatternFile(tmp.path(), 1024);
    FileReadSeek r;
    ASSERT_TRUE(r.open(p.string()));
    std::vector<uint8_t> buf(512, 0xAA);
    ASSERT_TRUE(r.seek(4096));
    EXPECT_FALSE(r.read(buf.data(), 512));
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xAA), 512);
    EXPECT_TRUE(r.read(buf.data(), 0));
}

TEST(FileReadSeek, BaseOffsetIsAddedToEverySeek) {
    test::TempDir tmp;
    auto p = makePatternFile(tmp.path(), 2100 * 512);
    FileReadSeek r;
    ASSERT_TRUE(r.open(p.string()));
    uint8_t b[512];
    struct Case {
        int64_t base, offset;
    } cases[] = {{2048 * 512, 512}, {-4096, 8192 + 512}, {0, 0}, {int64_t(1) << 20, -(int64_t(1) << 19)}};
    for (auto c : cases) {
        r.baseOffset = c.base;
        ASSERT_TRUE(r.seek(c.offset));
        ASSERT_TRUE(r.read(b, 512));
        EXPECT_EQ(b[0], patternAt(c.base + c.offset)) << c.base << "+" << c.offset;
        EXPECT_EQ(b[511], patternAt(c.base + c.offset + 511));
    }
    // A position before the start of the medium is refused.
    r.baseOffset = -4096;
    EXPECT_FALSE(r.seek(512));
}

TEST(FileReadSeek, SixtyFourBitOffsetsReachPast4GiB) {
    test::TempDir tmp;
    fs::path p = tmp.path() / "sparse.bin";
    int64_t at = (int64_t(5) << 30) + 512;  // 5 GiB + 512
    {
        std::ofstream out(p, std::ios::binary);
        out.seekp(at);
        out << "FAR";
    }
    FileReadSeek r;
    ASSERT_TRUE(r.open(p.string()));
    EXPECT_EQ(r.length, uint64_t(at + 3));
    char b[512];
    ASSERT_TRUE(r.seek(uint32_t(at & 0xFFFFFFFF), int32_t(at >> 32), 0));
    EXPECT_FALSE(r.read(b, 512));  // only 3 bytes there
    EXPECT_EQ(std::string(b, 3), "FAR");
    EXPECT_EQ(b[3], 0);
}

TEST(FileReadSeek, MissingPathShowsInvalidHandle) {
    ScriptedDialogs dialogs;
    FileReadSeek r(&dialogs);
    EXPECT_FALSE(r.open("/nonexistent/velmora.img"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "invalid handle ...");
    uint8_t b[16];
    EXPECT_FALSE(r.read(b, 16));
}

TEST(FileReadSeek, BlockDeviceSizeComesFromTheDevice) {
    test::TempDir tmp;
    fs::path img = tmp.path() / "dev.img";
    if (test::run("truncate -s 3000000 '" + img.string() + "'") != 0)
        GTEST_SKIP();
    std::string dev;
    if (test::run("losetup --find --show --read-only '" + img.string() + "' 2>/dev/null", &dev) != 0 || dev.empty()) {
        if (test::inCi())
            FAIL() << "losetup is needed in CI";
        GTEST_SKIP() << "no loop device";
    }
    while (!dev.empty() && dev.back() == '\n')
        dev.pop_back();
    {
        FileReadSeek r;
        ASSERT_TRUE(r.open(dev));
        EXPECT_TRUE(r.isBlockDevice());
        // A loop device rounds down to whole sectors.
        EXPECT_EQ(r.length, 3000000u / 512 * 512);
    }
    test::run("losetup -d " + dev);
}

TEST(MemoryReadSeek, FollowsTheSameContract) {
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    MemoryReadSeek r(bytes);
    std::vector<uint8_t> buf(512, 0xAA);
    r.baseOffset = 512;
    ASSERT_TRUE(r.seek(0));
    EXPECT_FALSE(r.read(buf.data(), 512));
    EXPECT_EQ(buf[0], uint8_t(512 & 0xFF));
    EXPECT_EQ(buf[487], uint8_t(999 & 0xFF));
    EXPECT_EQ(buf[488], 0);
    std::fill(buf.begin(), buf.end(), 0xAA);
    ASSERT_TRUE(r.seek(1024));
    EXPECT_FALSE(r.read(buf.data(), 512));
    EXPECT_EQ(buf[0], 0xAA);
    EXPECT_TRUE(r.read(buf.data(), 0));
}
