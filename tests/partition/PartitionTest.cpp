#include "disk/MemoryReadSeek.h"
#include "disk/readWriteInterface.h"
#include "host/Host.h"
#include "partition/FileSystemId.h"
#include "partition/Partition.h"
#include "Fixtures.h"

#include <cstring>
#include <random>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct Row {
    std::string fs, size;
    int64_t start;
};

class StatusRecorder final : public ProgressSink {
public:
    std::vector<std::string> texts;
    void setRange(int64_t, int64_t) override {}
    void setPosition(int64_t) override {}
    void setStatus(const std::string& t) override { texts.push_back(t); }
};

std::vector<VolumeInfo> scan(readWriteInterface& r, bool gpt, StatusRecorder* status = nullptr) {
    std::vector<VolumeInfo> v;
    Partition p;
    p.gptFormat = gpt;
    p.ownerVolumes = &v;
    p.statusSink = status;
    p.scanTables(r);
    return v;
}

void expectRows(const std::vector<VolumeInfo>& got, const std::vector<Row>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(got[i].fsName, want[i].fs);
        EXPECT_EQ(got[i].sizeText, want[i].size);
        EXPECT_EQ(got[i].startSector, want[i].start);
        EXPECT_EQ(got[i].volumeName, "");
    }
}

// A synthetic disk: MBR/EBR tables written by the test, volumes left empty.
struct Disk {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(4 << 20, 0);
    void entry(int64_t tableSector, int slot, uint8_t type, uint32_t first, uint32_t count) {
        uint8_t* e = bytes.data() + tableSector * 512 + 0x1BE + 16 * slot;
        e[4] = type;
        for (int k = 0; k < 4; ++k) {
            e[8 + k] = uint8_t(first >> (8 * k));
            e[12 + k] = uint8_t(count >> (8 * k));
        }
        bytes[tableSector * 512 + 510] = 0x55;
        bytes[tableSector * 512 + 511] = 0xAA;
    }
};

} // namespace

TEST(PartitionFixture, MbrWithExtendedChainAndPrimariesAfterIt) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    FileReadSeek r;
    ASSERT_TRUE(r.open(image.string()));
    StatusRecorder status;
    auto v = scan(r, false, &status);
    // Table order, logical volumes where their extended partition stands; exFAT typed 0x83
    // is named by its boot sector.
    expectRows(v, {{"FAT16", "32   MB", 2048},
                   {"NTFS", "16   MB", 69632},
                   {"FAT32", "40   MB", 104448},
                   {"extX", "8   MB", 188416},
                   {"FAT64", "8   MB", 204800},
                   {"FAT12", "4   MB", 221184}});
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_EQ(v[i].volumeId, std::to_string(i));
    EXPECT_EQ(status.texts, (std::vector<std::string>{"found FAT 16...", "found NTFS...", "found FAT 32...",
                                                      "found extx...", "found FAT64..."}));
}

TEST(PartitionFixture, GptWithUnusedEntryBetweenUsedOnes) {
    VELMORA_REQUIRE_FIXTURE(image, "gpt-disk.img");
    FileReadSeek r;
    ASSERT_TRUE(r.open(image.string()));
    StatusRecorder status;
    auto v = scan(r, true, &status);
    // Entry 2 is unused; the Microsoft reserved partition is never listed; the unformatted
    // partition keeps its GPT name; FAT16 is found by its cluster count.
    expectRows(v, {{"NTFS", "15   MB", 2048},
                   {"FAT32", "40  MB", 34816},
                   {"extX", "8", 116736},
                   {"FAT64", "8  MB", 133120},
                   {"scratch space", "2", 182272},
                   {"FAT16", "32  MB", 186368}});
    EXPECT_EQ(status.texts, (std::vector<std::string>{"found NTFS 1...", "found FAT 32...", "found FAT 64...",
                                                      "found FAT 16..."}));
}

TEST(PartitionFixture, GptDiskReadAsMbrShowsTheProtectiveEntry) {
    VELMORA_REQUIRE_FIXTURE(image, "gpt-disk.img");
    FileReadSeek r;
    ASSERT_TRUE(r.open(image.string()));
    EXPECT_TRUE(Partition::hasProtectiveMbrOnly(r));
    auto v = scan(r, false);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].fsName, "Unknown");
    EXPECT_EQ(v[0].startSector, 1);
}

TEST(PartitionFixture, HfsPlusInsideGptIsNamedByItsVolumeHeader) {
    auto image = test::sharedFile("fixtures/hfsplus/gpt-hfs.img");
    if (!std::filesystem::exists(image)) {
        if (test::inCi())
            FAIL() << "missing " << image;
        GTEST_SKIP() << "shared HFS+ images not present";
    }
    FileReadSeek r;
    ASSERT_TRUE(r.open(image.string()));
    Partition p;
    EXPECT_TRUE(p.isHfsPlusAt(r, 2048));
    EXPECT_FALSE(p.isHfsPlusAt(r, 0));
    auto v = scan(r, true);
    expectRows(v, {{"HFS+", "16", 2048}});
}

TEST(PartitionTables, EmptySlotsAreSkippedAndEveryPrimaryIsListed) {
    Disk d;
    d.entry(0, 1, 0x07, 2048, 4096);   // slot 0 empty
    d.entry(0, 2, 0x0B, 8192, 4096);
    MemoryReadSeek r(d.bytes);
    auto v = scan(r, false);
    // No boot sectors were written: the type byte names them.
    expectRows(v, {{"NTFS", "2   MB", 2048}, {"FAT32", "2   MB", 8192}});
}

TEST(PartitionTables, EbrChainLoopAndFourLogicalsAreBounded) {
    Disk d;
    d.entry(0, 0, 0x05, 100, 6000);
    // First EBR at 100: four logical volumes, no link. The scan must go on to slot 1 of the MBR.
    for (int i = 0; i < 4; ++i)
        d.entry(100, i, 0x83, 10 + 2048 * uint32_t(i), 2048);
    d.entry(0, 1, 0x05, 7000, 100);
    // Second extended: an EBR that links to itself.
    d.entry(7000, 0, 0x06, 1, 2048);
    d.entry(7000, 1, 0x05, 0, 1);
    MemoryReadSeek r(d.bytes);
    auto v = scan(r, false);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0].startSector, 110);
    EXPECT_EQ(v[3].startSector, 110 + 3 * 2048);
    EXPECT_EQ(v[4].startSector, 7001);
    EXPECT_EQ(v[4].fsName, "FAT16");
}

TEST(PartitionTables, LogicalVolumeStartsAreRelativeToTheirEbr) {
    Disk d;
    uint32_t e = 1000;
    d.entry(0, 0, 0x0F, e, 7000);
    d.entry(e, 0, 0x07, 63, 2048);          // first logical at E + 63
    d.entry(e, 1, 0x05, 3000, 3000);        // next EBR at E + 3000
    d.entry(e + 3000, 0, 0x07, 63, 4096);   // second logical at E + 3000 + 63
    d.entry(e + 3000, 1, 0x05, 5000, 1000); // third EBR at E + 5000
    d.entry(e + 5000, 0, 0x0C, 63, 2048);
    MemoryReadSeek r(d.bytes);
    auto v = scan(r, false);
    expectRows(v, {{"NTFS", "1   MB", 1063}, {"NTFS", "2   MB", 4063}, {"FAT32", "1   MB", 6063}});
}

TEST(PartitionTables, GptHeaderEntryArrayIsUsedAndBounded) {
    std::vector<uint8_t> disk(2 << 20, 0);
    uint8_t* h = disk.data() + 512;
    std::memcpy(h, "EFI PART", 8);
    auto put32 = [](uint8_t* p, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            p[k] = uint8_t(v >> (8 * k));
    };
    auto put64 = [&](uint8_t* p, uint64_t v) {
        put32(p, uint32_t(v));
        put32(p + 4, uint32_t(v >> 32));
    };
    put64(h + 0x48, 40);    // entries at LBA 40, not 2
    put32(h + 0x50, 200);   // more than 80 entries
    put32(h + 0x54, 256);   // larger entries
    auto entry = [&](int i, uint8_t firstTypeByte, uint64_t start, uint64_t end, const char* name) {
        uint8_t* e = disk.data() + 40 * 512 + 256 * i;
        e[0] = firstTypeByte;
        e[1] = 0x30;  // a type GUID starting with '0' bytes is fine
        put64(e + 0x20, start);
        put64(e + 0x28, end);
        for (int k = 0; name[k]; ++k)
            e[0x38 + 2 * k] = uint8_t(name[k]);
    };
    entry(0, 0x30, 2048, 4095, "first");
    entry(150, 0xAF, 3000, 3000 + 4095, "late");  // past entry 80, after 149 unused ones
    entry(199, 0xAF, 1, 100, "bad start");        // starts inside the GPT itself: ignored
    // Beyond the end of the disk: listed by its name, and the entries after it still count.
    entry(100, 0xAF, 1000000000, 1000000000 + 4095, "far");
    entry(120, 0xAF, uint64_t(1) << 62, (uint64_t(1) << 62) + 10, "absurd");  // no byte offset fits
    MemoryReadSeek r(disk);
    std::vector<VolumeInfo> v;
    Partition p;
    p.gptFormat = true;
    p.ownerVolumes = &v;
    EXPECT_NE(p.scanTables(r), 0);  // the unreadable entry is reported
    expectRows(v, {{"first", "1", 2048}, {"far", "2", 1000000000}, {"late", "2", 3000}});
}

TEST(FileSystemIdentification, FatTypeFollowsTheClusterCount) {
    auto bpb = [](uint16_t bps, uint8_t spc, uint16_t reserved, uint8_t fats, uint16_t rootEntries,
                  uint32_t total, uint32_t fatSize, bool fat32Layout) {
        std::vector<uint8_t> b(512, 0);
        b[0] = 0xEB;
        b[1] = 0x3C;
        std::memcpy(&b[3], "mkfs.fat", 8);
        b[0x0B] = uint8_t(bps);
        b[0x0C] = uint8_t(bps >> 8);
        b[0x0D] = spc;
        b[0x0E] = uint8_t(reserved);
        b[0x10] = fats;
        b[0x11] = uint8_t(rootEntries);
        b[0x12] = uint8_t(rootEntries >> 8);
        b[0x15] = 0xF8;
        for (int k = 0; k < 4; ++k)
            b[0x20 + k] = uint8_t(total >> (8 * k));
        if (fat32Layout)
            for (int k = 0; k < 4; ++k)
                b[0x24 + k] = uint8_t(fatSize >> (8 * k));
        else {
            b[0x16] = uint8_t(fatSize);
            b[0x17] = uint8_t(fatSize >> 8);
        }
        return b;
    };
    using K = FileSystemId::Kind;
    struct Case {
        std::vector<uint8_t> b;
        K want;
    } cases[] = {
        {bpb(512, 4, 1, 2, 512, 16000, 200, false), K::Fat12},    // 200 sectors per FAT, yet few clusters
        {bpb(512, 1, 1, 2, 512, 60000, 256, false), K::Fat16},
        {bpb(512, 1, 32, 2, 0, 140000, 1100, true), K::Fat32},
        {bpb(512, 3, 1, 2, 512, 70000, 256, false), K::None},     // cluster size not a power of two
        {bpb(500, 1, 1, 2, 512, 70000, 256, false), K::None},     // bytes per sector
        {bpb(512, 1, 1, 2, 512, 100, 256, false), K::None},       // metadata beyond the volume
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(identifyFileSystem(cases[i].b).kind, cases[i].want) << "case " << i;
}

namespace {

// The real image with some bytes changed, without copying it.
class PatchedReader final : public readWriteInterface {
public:
    explicit PatchedReader(readWriteInterface& base) : base_(base) { length = base.length; }
    bool open(const std::string&) override { return true; }
    bool seek(uint32_t low, int32_t high, int origin) override {
        if (origin != 0)
            return false;
        int64_t off = int64_t((uint64_t(uint32_t(high)) << 32) | low) + baseOffset;
        if (off < 0)
            return false;
        pos_ = off;
        return true;
    }
    using readWriteInterface::seek;
    bool read(void* dest, uint32_t count) override {
        bool ok = base_.readAt(pos_, dest, count);
        auto* d = static_cast<uint8_t*>(dest);
        for (auto& [at, value] : patches)
            if (at >= pos_ && at < pos_ + int64_t(count))
                d[at - pos_] = value;
        pos_ += count;
        return ok;
    }
    std::vector<std::pair<int64_t, uint8_t>> patches;

private:
    readWriteInterface& base_;
    int64_t pos_ = 0;
};

} // namespace

TEST(PartitionRobustness, DamagedTablesGiveBoundedResults) {
    VELMORA_REQUIRE_FIXTURE(mbr, "mbr-disk.img");
    VELMORA_REQUIRE_FIXTURE(gpt, "gpt-disk.img");
    struct Target {
        std::filesystem::path image;
        bool gpt;
        std::vector<int64_t> tableBytes;  // where the tables live
    };
    std::vector<int64_t> mbrBytes, gptBytes;
    for (int64_t s : {0, 67584, 102400, 186368})  // the MBR and the three EBRs
        for (int k = 0x1BE; k < 0x200; ++k)
            mbrBytes.push_back(s * 512 + k);
    // Boot sectors and superblocks, which name the file systems.
    for (int64_t s : {2048, 69632, 104448, 188416, 204800, 221184})
        for (int k : {0, 1, 3, 4, 0x0B, 0x0C, 0x0D, 0x0E, 0x10, 0x11, 0x13, 0x15, 0x16, 0x20, 0x24, 0x28, 0x48, 0x6C,
                      1024 + 0x18, 1024 + 0x38, 1024 + 0x39, 1024 + 0x60})
            mbrBytes.push_back(s * 512 + k);
    for (int64_t k = 512; k < 512 * 34; ++k)
        gptBytes.push_back(k);
    for (int64_t s : {2048, 34816, 116736, 133120, 186368})
        for (int k = 0; k < 0x70; ++k)
            gptBytes.push_back(s * 512 + k);
    std::vector<Target> targets = {{mbr, false, mbrBytes}, {gpt, true, gptBytes}};
    std::mt19937 rng(20261211);
    for (const auto& t : targets) {
        FileReadSeek base;
        ASSERT_TRUE(base.open(t.image.string()));
        for (int round = 0; round < 150; ++round) {
            PatchedReader r(base);
            int n = 1 + int(rng() % 24);
            for (int i = 0; i < n; ++i)
                r.patches.push_back({t.tableBytes[rng() % t.tableBytes.size()], uint8_t(rng())});
            auto v = scan(r, t.gpt);
            EXPECT_LE(v.size(), size_t(Partition::kMaxExtendedLinks * 4 + Partition::kMaxGptEntries)) << round;
        }
    }
}
