// The on-disk decoders (run lists, fix-ups, LZNT1), entry linking on hand-made records, and
// the output helpers that keep names from the volume inside the chosen folder.
#include "NtfsTestSupport.h"

#include "Fixtures.h"
#include "disk/MemoryReadSeek.h"
#include "disk/readWriteInterface.h"
#include "fs/common/OutputFiles.h"
#include "fs/common/OutputNames.h"
#include "fs/common/TreeWalk.h"
#include "fs/ntfs/Lznt1.h"
#include "fs/ntfs/NtfsAttributes.h"
#include "fs/ntfs/NtfsBootSector.h"
#include "fs/ntfs/NtfsRecord.h"
#include "fs/ntfs/NtfsRunList.h"
#include "fs/ntfs/ntfs.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;
namespace sfs = std::filesystem;

namespace {

std::vector<NtfsRun> runs(std::vector<uint8_t> bytes, uint64_t limit = UINT64_MAX) {
    return decodeRunList(bytes, limit);
}

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

struct Name {
    std::u16string text;
    uint64_t parent;     // record number | sequence << 48
    uint8_t nameSpace = 1;
    uint32_t flags = 0;  // 0x10000000 for a directory
};

// A 1024-byte MFT record as a volume holds it: update sequence 0x0101 at both sector ends.
std::vector<uint8_t> makeRecord(uint16_t flags, const std::vector<Name>& names, uint16_t sequence = 1) {
    std::vector<uint8_t> r(1024, 0);
    std::memcpy(r.data(), "FILE", 4);
    put16(r, 0x04, 0x30);
    put16(r, 0x06, 3);
    put16(r, 0x10, sequence);
    put16(r, 0x14, 0x38);
    put16(r, 0x16, flags);
    put32(r, 0x1C, 1024);
    size_t at = 0x38;
    for (const Name& n : names) {
        size_t content = 0x42 + 2 * n.text.size();
        size_t length = (0x18 + content + 7) & ~size_t(7);
        put32(r, at, 0x30);
        put32(r, at + 4, uint32_t(length));
        put32(r, at + 0x10, uint32_t(content));
        put16(r, at + 0x14, 0x18);
        size_t c = at + 0x18;
        put64(r, c, n.parent);
        put32(r, c + 0x38, n.flags);
        r[c + 0x40] = uint8_t(n.text.size());
        r[c + 0x41] = n.nameSpace;
        for (size_t i = 0; i < n.text.size(); ++i)
            put16(r, c + 0x42 + 2 * i, uint16_t(n.text[i]));
        at += length;
    }
    put32(r, at, 0xFFFFFFFF);
    put32(r, 0x18, uint32_t(at + 8));
    // Protect the sector ends as NTFS does: save the real words, write the sequence number.
    put16(r, 0x30, 0x0101);
    for (int k = 1; k <= 2; ++k) {
        r[0x30 + 2 * k] = r[512 * k - 2];
        r[0x30 + 2 * k + 1] = r[512 * k - 1];
        put16(r, 512 * k - 2, 0x0101);
    }
    return r;
}

constexpr uint32_t kDir = 0x10000000;

// An entry table over hand-made records, as the MFT walk leaves it, then the build pass.
struct HandVolume {
    MemoryReadSeek reader;
    ntfs parser;
    explicit HandVolume(const std::vector<std::vector<uint8_t>>& records) {
        for (const auto& r : records)
            reader.data.insert(reader.data.end(), r.begin(), r.end());
        reader.length = reader.data.size();
        parser.reader = &reader;
        parser.volumeBytes = reader.data.size();
        for (size_t i = 0; i < records.size(); ++i) {
            NtfsEntry e;
            std::memcpy(e.signature, records[i].data(), 4);
            e.recordOffset = i * 1024;
            e.selfIndex = int64_t(i);
            parser.entries.push_back(e);
        }
        parser.mftReady = true;
        parser.buildTree();
    }
    std::vector<std::string> names(const std::vector<int64_t>& refs) const {
        std::vector<std::string> out;
        for (int64_t r : refs)
            out.push_back(parser.entries[size_t(r)].name);
        return out;
    }
};

} // namespace

TEST(NtfsRunList, DecodesLengthsOffsetsSparseRunsAndStopsWhereItMust) {
    // Two normal runs, the second 0x10 clusters back from the first.
    auto r = runs({0x21, 0x08, 0x00, 0x10, 0x11, 0x04, 0xF0, 0x00});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].lcn, 0x1000);
    EXPECT_EQ(r[0].count, 8u);
    EXPECT_EQ(r[1].lcn, 0x1000 - 0x10);
    EXPECT_EQ(r[1].vcn, 8u);
    EXPECT_FALSE(r[1].sparse);

    // A sparse run (no offset field) between two runs: its lcn is 0 and the running cluster
    // number is unchanged for the next run.
    r = runs({0x11, 0x02, 0x20, 0x01, 0x03, 0x11, 0x01, 0x05, 0x00});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_TRUE(r[1].sparse);
    EXPECT_EQ(r[1].lcn, 0);
    EXPECT_EQ(r[1].count, 3u);
    EXPECT_EQ(r[2].lcn, 0x25);
    EXPECT_EQ(r[2].vcn, 5u);

    // Eight-byte fields are read whole: a 2^40-cluster run at a cluster beyond 2^32.
    r = runs({0x88, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x00});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].count, uint64_t(1) << 40);
    EXPECT_EQ(r[0].lcn, int64_t(2) << 32);
    // A negative eight-byte offset.
    r = runs({0x11, 1, 0x40, 0x81, 1, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].lcn, 0x40 - 0x10);
    // A three-byte negative offset sign-extends from its last byte.
    r = runs({0x31, 0x01, 0x00, 0x00, 0x10, 0x31, 0x01, 0x00, 0x00, 0xFF});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].lcn, 0x100000 - 0x10000);

    // The limit keeps only the runs that fit in the attribute's virtual cluster range.
    r = runs({0x11, 0x04, 0x10, 0x11, 0x04, 0x10, 0x11, 0x04, 0x10}, 8);
    EXPECT_EQ(r.size(), 2u);
    r = runs({0x11, 0x04, 0x10, 0x11, 0x05, 0x10}, 8);
    EXPECT_EQ(r.size(), 1u);

    // Ends: a zero header, no bytes, a field wider than eight bytes, fields past the end,
    // an overflowing cluster number.
    EXPECT_TRUE(runs({0x00, 0x11, 0x01, 0x01}).empty());
    EXPECT_TRUE(runs({}).empty());
    EXPECT_TRUE(runs({0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1}).empty());
    EXPECT_TRUE(runs({0x22, 0x01}).empty());
    r = runs({0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F});
    EXPECT_EQ(r.size(), 1u);
}

TEST(NtfsRecord, FixupsRestoreBothSectorEndsAndIgnoreArraysOutsideTheRecord) {
    auto rec = makeRecord(1, {{u"x", 5}});
    rec[300] = 0xAB;
    put16(rec, 0x32, 0x1234);  // the real words at 510 and 1022
    put16(rec, 0x34, 0x5678);
    auto fixed = ntfsfmt::applyFixups(rec);
    EXPECT_EQ(le16(Bytes(fixed), 510), 0x1234);
    EXPECT_EQ(le16(Bytes(fixed), 1022), 0x5678);
    EXPECT_EQ(fixed[300], 0xAB);
    // A torn record (sector end not carrying the sequence number) is fixed up all the same.
    auto torn = rec;
    put16(torn, 1022, 0x9999);
    EXPECT_EQ(le16(Bytes(ntfsfmt::applyFixups(torn)), 1022), 0x5678);
    // An update sequence array that reaches past the record, or a huge count, changes
    // nothing outside and does not crash.
    auto bad = rec;
    put16(bad, 0x04, 1022);
    put16(bad, 0x06, 0xFFFF);
    auto f = ntfsfmt::applyFixups(bad);
    EXPECT_EQ(f.size(), 1024u);
    EXPECT_EQ(le16(Bytes(f), 510), le16(Bytes(bad), 510));
}

TEST(NtfsRecord, AttributesAndNamesOutsideTheirBoundsAreLeftOut) {
    auto good = makeRecord(1, {{u"name.txt", 5}});
    auto attrs = ntfsfmt::collectAttributes(ntfsfmt::applyFixups(good));
    ASSERT_EQ(attrs.size(), 1u);
    ASSERT_TRUE(attrs[0].contentInside);
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        int width;
        size_t expectAttrs;
        bool expectName;
    } cases[] = {
        {"attribute length past the record", 0x38 + 4, 5000, 4, 0, false},
        {"attribute length too small", 0x38 + 4, 8, 4, 0, false},
        {"first attribute offset at the end", 0x14, 1020, 2, 0, false},
        {"content offset outside the attribute", 0x38 + 0x14, 0x300, 2, 1, false},
        {"content length outside the attribute", 0x38 + 0x10, 0x1000, 4, 1, false},
        {"name longer than the content", 0x38 + 0x18 + 0x40, 200, 1, 1, false},
    };
    for (const Case& c : cases) {
        auto r = good;
        if (c.width == 1)
            r[c.at] = uint8_t(c.value);
        else if (c.width == 2)
            put16(r, c.at, uint16_t(c.value));
        else
            put32(r, c.at, c.value);
        auto fixed = ntfsfmt::applyFixups(r);
        auto a = ntfsfmt::collectAttributes(fixed);
        EXPECT_EQ(a.size(), c.expectAttrs) << c.what;
        bool named = !a.empty() && a[0].contentInside && ntfsfmt::decodeFileName(a[0].content(fixed)).has_value();
        EXPECT_EQ(named, c.expectName) << c.what;
    }
}

TEST(NtfsBootSector, ClusterSizesIncludingTheLargeEncoding) {
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 8), 4096u);
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 0x80), 65536u);
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 0xF8), 512u * 256);     // 2^(256 - 0xF8) sectors
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(4096, 0xF7), 2048u * 1024);  // 2 MiB
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 0), 0u);
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 0x01) , 512u);
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(512, 0x81), 0u);  // 2^127 sectors: nonsense
    EXPECT_EQ(ntfsfmt::clusterSizeFrom(0, 8), 0u);
}

TEST(Lznt1, DecompressesWhatNtfs3gCompressed) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    std::ifstream orig(dir / "comp-text.orig", std::ios::binary);
    std::vector<uint8_t> original((std::istreambuf_iterator<char>(orig)), {});
    ASSERT_EQ(original.size(), 300000u);

    FileReadSeek reader;
    ASSERT_TRUE(reader.open((dir / "volume.img").string()));
    ntfs p(&reader);
    ASSERT_TRUE(p.scan());
    int64_t comp = -1, text = -1;
    for (int64_t c : p.topLevelEntries())
        if (p.entries[size_t(c)].name == "comp")
            comp = c;
    ASSERT_GE(comp, 0);
    for (int64_t c : p.childrenOf(comp))
        if (p.entries[size_t(c)].name == "text.txt")
            text = c;
    ASSERT_GE(text, 0);
    NtfsDataStream s = p.dataStream(text);
    ASSERT_TRUE(s.compressed());
    ASSERT_EQ(s.unitShift, 4);
    // Every unit from its stored clusters, decompressed on its own.
    const size_t unitBytes = 16 * 4096;
    size_t checked = 0;
    for (size_t u = 0; u * unitBytes < original.size(); ++u) {
        std::vector<uint8_t> in;
        for (const NtfsRun& r : s.runs)
            if (!r.sparse && r.vcn >= u * 16 && r.vcn < (u + 1) * 16)
                for (uint64_t k = 0; k < r.count; ++k) {
                    std::vector<uint8_t> c(4096);
                    ASSERT_TRUE(reader.readAt(int64_t((uint64_t(r.lcn) + k) * 4096), c.data(), 4096));
                    in.insert(in.end(), c.begin(), c.end());
                }
        ASSERT_LT(in.size(), unitBytes) << "unit " << u << " is not compressed";
        std::vector<uint8_t> out(unitBytes);
        bool ok = false;
        size_t n = lznt1Decompress(in, out.data(), out.size(), &ok);
        EXPECT_TRUE(ok);
        size_t want = std::min(unitBytes, original.size() - u * unitBytes);
        ASSERT_GE(n, want);
        EXPECT_EQ(std::memcmp(out.data(), original.data() + u * unitBytes, want), 0) << "unit " << u;
        ++checked;
    }
    EXPECT_EQ(checked, 5u);
}

TEST(Lznt1, StoredChunksBackReferencesAndMalformedInput) {
    // A stored chunk: header 0x3FFF (size 4096, not compressed), then the bytes as they are.
    std::vector<uint8_t> stored = {0xFF, 0x3F};
    for (int i = 0; i < 4096; ++i)
        stored.push_back(uint8_t(i * 13));
    std::vector<uint8_t> out(8192);
    bool ok = false;
    EXPECT_EQ(lznt1Decompress(stored, out.data(), out.size(), &ok), 4096u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out[100], uint8_t(100 * 13));

    // "abc" then a back reference of length 9 at offset 3: "abcabcabcabc".
    // Flag byte 0b1000: three literals, then a token; at position 3 the offset takes 4 bits.
    uint16_t token = uint16_t(((3 - 1) << 12) | (9 - 3));
    std::vector<uint8_t> comp = {0, 0, 0x08, 'a', 'b', 'c', uint8_t(token), uint8_t(token >> 8)};
    put16(comp, 0, uint16_t(0xB000 | (comp.size() - 3)));
    size_t n = lznt1Decompress(comp, out.data(), out.size(), &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(n, 12u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 12), "abcabcabcabc");

    struct Bad {
        const char* what;
        std::vector<uint8_t> in;
    } bad[] = {
        {"reference before the chunk's first byte", {0x02, 0xB0, 0x01, 0x00, 0x10}},
        {"chunk longer than the input", {0xFF, 0xBF, 0x00, 'a'}},
        {"token cut short", {0x02, 0xB0, 0x02, 'a', 0x10}},
    };
    for (const Bad& b : bad) {
        ok = true;
        lznt1Decompress(b.in, out.data(), out.size(), &ok);
        EXPECT_FALSE(ok) << b.what;
    }
    // Output capacity is never exceeded.
    std::vector<uint8_t> small(100);
    lznt1Decompress(stored, small.data(), small.size(), &ok);
    EXPECT_FALSE(ok);
}

TEST(NtfsLinking, ParentsLaterInTheMftRootRecordZeroOrphansAndNames) {
    const uint64_t seq1 = uint64_t(1) << 48;
    std::vector<std::vector<uint8_t>> recs(15, std::vector<uint8_t>(1024, 0));
    recs[0] = makeRecord(1, {{u"$MFT", 5 | seq1}});
    recs[3] = makeRecord(1, {{u"child.txt", 7 | seq1}});  // parsed before its parent
    recs[5] = makeRecord(3, {{u".", 5 | seq1, 3, kDir}});
    recs[6] = makeRecord(3, {{u"top", 5 | seq1, 1, kDir}});
    recs[7] = makeRecord(3, {{u"later", 6 | seq1, 1, kDir}});
    recs[8] = makeRecord(1, {{u"under-a-file", 9 | seq1}});
    recs[9] = makeRecord(1, {{u"plain.txt", 5 | seq1}});
    recs[10] = makeRecord(1, {{u"far", 999 | seq1}});
    // The short name comes first and names another folder; the long name and its parent win.
    recs[11] = makeRecord(1, {{u"LONGNA~1.TXT", 6 | seq1, 2}, {u"long name.txt", 5 | seq1, 1}});
    recs[12] = makeRecord(0, {{u"deleted.txt", 6 | seq1}});          // not in use
    recs[13] = makeRecord(1, {{u"stale", 6 | (uint64_t(7) << 48)}});  // folder slot reused since
    recs[14] = makeRecord(1, {{u"selfish", 14 | seq1}});
    std::string longName(255, 'n');
    recs[1] = makeRecord(1, {{std::u16string(longName.begin(), longName.end()), 5 | seq1}});
    HandVolume v(recs);
    const ntfs& p = v.parser;

    EXPECT_EQ(p.rootIndex, 5);
    EXPECT_EQ(p.orphanIndex, 15);
    EXPECT_EQ(v.names(p.topLevelEntries()),
              (std::vector<std::string>{longName, "top", "plain.txt", "long name.txt", "ORPHAN_ENTRY"}));
    EXPECT_EQ(v.names(p.childrenOf(6)), (std::vector<std::string>{"later", "deleted.txt"}));
    EXPECT_EQ(v.names(p.childrenOf(7)), (std::vector<std::string>{"child.txt"}));
    // Orphans, each put in front of those before it.
    EXPECT_EQ(v.names(p.childrenOf(p.orphanIndex)), (std::vector<std::string>{"selfish", "stale", "far", "under-a-file"}));
    EXPECT_TRUE(p.childrenOf(5).size() == p.topLevelEntries().size());
    for (int64_t c : p.childrenOf(5))
        EXPECT_NE(c, 5) << "the root is never its own child";
    EXPECT_EQ(p.fullPath(3), "top/later/child.txt");
    EXPECT_EQ(p.fullPath(10), "ORPHAN_ENTRY/far");
    EXPECT_FALSE(p.entries[12].inUse());
    EXPECT_EQ(p.entries[0].nextSibling, 0);
}

TEST(NtfsLinking, EveryLongNameOfAFileShowsItInItsFolder) {
    const uint64_t seq1 = uint64_t(1) << 48;
    std::vector<std::vector<uint8_t>> recs(12, std::vector<uint8_t>(1024, 0));
    recs[5] = makeRecord(3, {{u".", 5 | seq1, 3, kDir}});
    recs[6] = makeRecord(3, {{u"a", 5 | seq1, 1, kDir}});
    recs[7] = makeRecord(3, {{u"b", 5 | seq1, 1, kDir}});
    // Hard links: a long name with its short one, a POSIX name in another folder (twice), and
    // a name whose folder slot was reused since.
    recs[8] = makeRecord(1, {{u"one.txt", 6 | seq1, 1},
                             {u"ONE~1.TXT", 6 | seq1, 2},
                             {u"two.txt", 7 | seq1, 0},
                             {u"two.txt", 7 | seq1, 0},
                             {u"stale.txt", 7 | (uint64_t(9) << 48), 0}});
    // A folder keeps to its first name.
    recs[9] = makeRecord(3, {{u"dir", 6 | seq1, 1, kDir}, {u"dir2", 7 | seq1, 1, kDir}});
    // Only the short name in the base record, the long one in an extension record.
    recs[10] = makeRecord(1, {{u"LONGER~1.TXT", 6 | seq1, 2}});
    recs[11] = makeRecord(1, {{u"longer name.txt", 6 | seq1, 1}});
    put64(recs[11], 0x20, 10 | seq1);
    HandVolume v(recs);
    const ntfs& p = v.parser;
    EXPECT_EQ(v.names(p.childrenOf(6)), (std::vector<std::string>{"one.txt", "dir", "longer name.txt"}));
    EXPECT_EQ(v.names(p.childrenOf(7)), (std::vector<std::string>{"two.txt"}));
    EXPECT_EQ(v.names(p.childrenOf(p.orphanIndex)), (std::vector<std::string>{"stale.txt"}));
    int64_t two = p.childrenOf(7).at(0);
    EXPECT_EQ(p.entries[size_t(two)].linkOf, 8);
    EXPECT_EQ(p.entries[size_t(two)].recordOffset, p.entries[8].recordOffset);
    EXPECT_EQ(p.fullPath(two), "b/two.txt");
    EXPECT_EQ(p.orphanIndex, int64_t(p.entries.size()) - 1);
}

TEST(NtfsLinking, LoopsInDamagedChainsEndEveryWalk) {
    const uint64_t seq1 = uint64_t(1) << 48;
    std::vector<std::vector<uint8_t>> recs(10, std::vector<uint8_t>(1024, 0));
    recs[5] = makeRecord(3, {{u".", 5 | seq1, 3, kDir}});
    recs[6] = makeRecord(3, {{u"a", 5 | seq1, 1, kDir}});
    recs[7] = makeRecord(3, {{u"b", 6 | seq1, 1, kDir}});
    recs[8] = makeRecord(1, {{u"f", 7 | seq1}});
    HandVolume v(recs);
    ntfs& p = v.parser;
    // Damage the links the way a hostile table could: a sibling chain that comes back on
    // itself, and a folder whose child is its own ancestor.
    p.entries[8].nextSibling = 8;
    p.entries[8].kind = 'D';
    p.entries[8].firstChild = 6;
    p.entries[6].nextSibling = 6;
    EXPECT_LE(p.childrenOf(7).size(), 1u);
    size_t visited = 0;
    fs::walkTree(p, [&](const fs::WalkItem&) { return ++visited < 100000; });
    EXPECT_LT(visited, 100u);
    EXPECT_FALSE(p.fullPath(8).empty());
}

TEST(NtfsRobustness, DamagedMftRecordsGiveFewerEntriesNeverACrash) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    std::ifstream in(dir / "volume.img", std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(image.size(), 64u << 20);
    // Where the MFT lies: from the boot sector and record 0's runs.
    auto boot = ntfsfmt::decodeBootSector(Bytes(image.data(), 512));
    ASSERT_TRUE(boot.valid);
    const uint64_t mft = boot.mftCluster * boot.clusterBytes;
    test::TempDir tmp;
    int out = ::open((tmp.path() / "sink").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(out, 0);
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        MemoryReadSeek reader(image);
        uint32_t x = seed * 2654435761u;
        auto next = [&] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        // Records 0 .. 3000: damage bytes in headers, attribute headers and run lists.
        int hits = seed < 6 ? 400 : 4000;
        for (int k = 0; k < hits; ++k) {
            uint64_t rec = next() % 3000;
            uint64_t at = mft + rec * 1024 + (next() % 3 == 0 ? next() % 0x60 : next() % 1024);
            reader.data[at] = uint8_t(next());
        }
        ntfs p(&reader);
        p.scan();
        size_t files = 0;
        fs::walkTree(p, [&](const fs::WalkItem& w) -> bool {
            if (!w.description.directory && files < 400) {
                ++files;
                if (::ftruncate(out, 0) != 0)
                    return false;
                p.saveTo(out, w.ref);
            }
            return true;
        });
    }
    ::close(out);
}

TEST(OutputNames, SafeNamesStayOneComponentAndValidUtf8) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a/b", "a_b"},
        {"..", "_.."},
        {".", "_."},
        {"", "_"},
        {std::string("x\0y", 3), "x_y"},
        {"bad\xFF\xFE.txt", "bad\xEF\xBF\xBD\xEF\xBF\xBD.txt"},
        {"Ünïcödé.txt", "Ünïcödé.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fs::safeName(c.in), c.out) << c.in;
    // 300 Cyrillic letters (600 bytes) are cut at a character boundary, keeping ".txt".
    std::string longName;
    for (int i = 0; i < 300; ++i)
        longName += "ж";
    std::string s = fs::safeName(longName + ".txt");
    EXPECT_LE(s.size(), fs::kMaxNameBytes);
    EXPECT_EQ(s.substr(s.size() - 4), ".txt");
    EXPECT_EQ(fs::validUtf8(s), s);
    EXPECT_EQ(fs::numberedName("a.txt", 2), "a (2).txt");
    EXPECT_EQ(fs::numberedName(".bashrc", 3), ".bashrc (3)");
    EXPECT_EQ(fs::numberedName("archive.tar.gz", 2), "archive.tar (2).gz");
    EXPECT_LE(fs::numberedName(std::string(255, 'x'), 12).size(), fs::kMaxNameBytes);
}

TEST(OutputFolder, NeverFollowsLinksOutOfTheChosenFolder) {
    test::TempDir tmp;
    sfs::create_directories(tmp.path() / "outside");
    sfs::create_directories(tmp.path() / "out");
    sfs::create_directory_symlink(tmp.path() / "outside", tmp.path() / "out" / "docs");
    std::ofstream(tmp.path() / "out" / "taken") << "x";
    auto root = fs::OutputFolder::openRoot(tmp.path() / "out");
    ASSERT_TRUE(root);
    auto docs = root->subFolder("docs");
    ASSERT_TRUE(docs);
    EXPECT_EQ(docs->path().filename(), "docs (2)");
    std::string used;
    int fd = docs->createNewFile("../escape", &used);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(used, ".._escape");
    EXPECT_TRUE(sfs::is_empty(tmp.path() / "outside"));
    auto taken = root->subFolder("taken");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->path().filename(), "taken (2)");
    fd = root->createNewFile("taken", &used);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(used, "taken (3)");
}
