// Files whose layout is easy to get wrong (named streams, hard links, names in extension
// records, shrunk or partly initialized data, compression-unit ends, unusual names), and
// targeted damage to such a volume.
#include "NtfsTestSupport.h"

#include "Fixtures.h"
#include "disk/MemoryReadSeek.h"
#include "fs/common/OutputFiles.h"
#include "fs/common/TreeWalk.h"
#include "fs/ntfs/NtfsBootSector.h"
#include "fs/ntfs/ntfs.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
namespace sfs = std::filesystem;

namespace {

std::vector<uint8_t> readAll(const sfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

const std::string kLong(200, 'x');

// The files with unusual names hold their own name; the name they are saved under.
const std::pair<std::string, std::string> kOddNames[] = {
    {"colon:name.txt", "colon:name.txt"},
    {"back\\slash.txt", "back\\slash.txt"},
    {"ctl\x01\x1f.txt", "ctl\x01\x1f.txt"},
    {"new\nline.txt", "new\nline.txt"},
    {"tab\tname.txt", "tab\tname.txt"},
    {"star*quest?.txt", "star*quest?.txt"},
    {"surrogateX.txt", "surrogate\xEF\xBF\xBD.txt"},  // a lone surrogate becomes U+FFFD
};

} // namespace

TEST(NtfsEdge, EveryFileIsSavedByteForByteUnderEachOfItsNames) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-edge");
    auto rows = test::readManifest(dir / "manifest.tsv");
    ASSERT_EQ(rows.size(), 18u);
    FileReadSeek reader;
    ASSERT_TRUE(reader.open((dir / "volume.img").string()));
    ntfs p(&reader);
    ASSERT_TRUE(p.scan());
    test::TempDir tmp;
    auto out = fs::OutputFolder::openRoot(tmp.path());
    ASSERT_TRUE(out);
    fs::RecoverSummary sum = fs::recoverTree(p, *out, {});
    EXPECT_EQ(sum.failures, 0u);
    EXPECT_EQ(sum.unreadableBytes, 0u);
    // Only the unnamed stream is the file; both names of a hard link, and both names kept in
    // extension records, are saved where they are.
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        sfs::path got = tmp.path() / row.path;
        ASSERT_TRUE(sfs::is_regular_file(got)) << "not recovered";
        EXPECT_EQ(sfs::file_size(got), row.size);
        EXPECT_EQ(test::sha256File(got), row.sha256);
        struct stat st {};
        ASSERT_EQ(::stat(got.c_str(), &st), 0);
        EXPECT_EQ(int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, row.mtimeNs);
    }
    for (const auto& [name, saved] : kOddNames) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> content = readAll(tmp.path() / "odd" / saved);
        EXPECT_EQ(std::string(content.begin(), content.end()), name);
    }

    auto all = test::listing(p);
    // The hard link's second name is a second entry of the same file.
    ASSERT_TRUE(all.count("links/b/other.txt"));
    EXPECT_EQ(all.at("links/b/other.txt").description.size, 20u);
    EXPECT_EQ(p.fullPath(all.at("links/b/other.txt").ref), "links/b/other.txt");
    // A name found only in an extension record still gives the attribute letters.
    for (const char* n : {"1", "2"}) {
        const auto& w = all.at("xname/" + kLong + n);
        EXPECT_EQ(w.description.attributeText, "-A");
        EXPECT_FALSE(w.description.directory);
    }
    EXPECT_EQ(all.at("links/a/orig.txt").description.attributeText, "-A");
    EXPECT_EQ(all.at("comp/unit.txt").description.attributeText, "-A-C");
}

namespace {

// Edits one MFT record of an image in place, keeping its update sequence valid.
void editRecord(std::vector<uint8_t>& image, uint64_t offset, const std::function<void(std::vector<uint8_t>&)>& edit) {
    std::vector<uint8_t> r = ntfsfmt::applyFixups(Bytes(image.data() + offset, 1024));
    edit(r);
    uint16_t usa = uint16_t(r[4] | r[5] << 8);
    for (int k = 1; k <= 2; ++k) {
        r[usa + 2 * k] = r[512 * k - 2];
        r[usa + 2 * k + 1] = r[512 * k - 1];
        r[512 * k - 2] = r[usa];
        r[512 * k - 1] = r[usa + 1];
    }
    std::memcpy(image.data() + offset, r.data(), 1024);
}

void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

// The first attribute of `type` in a fixed-up record.
ntfsfmt::Attribute attributeOf(const std::vector<uint8_t>& r, uint32_t type) {
    for (const auto& a : ntfsfmt::collectAttributes(r))
        if (a.type == type && a.nameLength == 0)
            return a;
    ADD_FAILURE() << "no attribute " << type;
    return {};
}

// Room for a longer run list: the attribute, the record's last, grows by `more` bytes.
void growLastAttribute(std::vector<uint8_t>& r, ntfsfmt::Attribute& a, uint32_t more) {
    ASSERT_EQ(uint32_t(r[a.offset + a.length] | r[a.offset + a.length + 1] << 8), 0xFFFFu);
    a.length += more;
    a.runListLength += more;
    r[a.offset + 4] = uint8_t(a.length);
    std::memset(r.data() + a.offset + a.length, 0xFF, 4);
    r[0x18] = uint8_t(a.offset + a.length + 8);
    r[0x19] = uint8_t((a.offset + a.length + 8) >> 8);
}

// A run list that fits into the attribute's run-list bytes.
void writeRuns(std::vector<uint8_t>& r, const ntfsfmt::Attribute& a, const std::vector<uint8_t>& runs) {
    ASSERT_TRUE(a.runListInside);
    ASSERT_LE(runs.size(), a.runListLength);
    std::memset(r.data() + a.runListOffset, 0, a.runListLength);
    std::memcpy(r.data() + a.runListOffset, runs.data(), runs.size());
}

} // namespace

TEST(NtfsEdge, TargetedDamageGivesFewerEntriesNeverACrashOrAHugeFile) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-edge");
    const std::vector<uint8_t> clean = readAll(dir / "volume.img");
    MemoryReadSeek cleanReader(clean);
    ntfs probe(&cleanReader);
    ASSERT_TRUE(probe.scan());
    auto all = test::listing(probe);
    auto recordAt = [&](const std::string& path) { return probe.entries[size_t(all.at(path).ref)].recordOffset; };
    const uint64_t ads = recordAt("streams/ads.txt");
    const uint64_t half = recordAt("sizes/half-initialized.bin");
    const uint64_t unit = recordAt("comp/unit.txt");
    const uint64_t xname = recordAt("xname/" + kLong + "1");
    const uint64_t record0 = probe.entries[0].recordOffset;
    ASSERT_EQ(probe.mftRuns.size(), 1u);
    const NtfsRun mft = probe.mftRuns[0];
    ASSERT_LT(mft.count, 128u);
    ASSERT_LT(mft.lcn, 128);

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* survivor;  // a file that must still be saved whole
    } cases[] = {
        {"attribute length 0",
         [&](std::vector<uint8_t>& img) {
             editRecord(img, ads, [](std::vector<uint8_t>& r) {
                 size_t first = size_t(r[0x14] | r[0x15] << 8);
                 std::memset(r.data() + first + 4, 0, 4);
             });
         },
         "comp/unit.txt"},
        {"attribute list pointing to its own record",
         [&](std::vector<uint8_t>& img) {
             // ntfs-3g keeps this list outside the record, in one cluster.
             std::vector<uint8_t> r = ntfsfmt::applyFixups(Bytes(img.data() + xname, 1024));
             auto list = attributeOf(r, ntfsfmt::kAttrAttributeList);
             ASSERT_TRUE(list.nonResident);
             auto runs = decodeRunList(list.runList(r), 1);
             ASSERT_EQ(runs.size(), 1u);
             uint64_t at = uint64_t(runs[0].lcn) * 4096, end = at + list.realSize;
             uint64_t self = (xname - record0) / 1024;
             while (at + 0x1A <= end) {
                 size_t len = size_t(img[at + 4] | img[at + 5] << 8);
                 if (len < 0x1A)
                     break;
                 put64(img, at + 0x10, self);
                 at += len;
             }
         },
         "links/a/orig.txt"},
        {"run list of 2^63 clusters",
         [&](std::vector<uint8_t>& img) {
             editRecord(img, half, [](std::vector<uint8_t>& r) {
                 auto data = attributeOf(r, ntfsfmt::kAttrData);
                 growLastAttribute(r, data, 16);
                 put64(r, data.offset + 0x18, (uint64_t(1) << 63) - 1);  // last virtual cluster
                 writeRuns(r, data, {0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x10, 0});
             });
         },
         "sizes/cluster-exact.bin"},
        {"compressed data claiming 16 TiB of clusters",
         [&](std::vector<uint8_t>& img) {
             editRecord(img, unit, [](std::vector<uint8_t>& r) {
                 auto data = attributeOf(r, ntfsfmt::kAttrData);
                 ASSERT_TRUE(data.nonResident && (data.flags & 1));
                 growLastAttribute(r, data, 16);
                 put64(r, data.offset + 0x18, (uint64_t(1) << 32) - 1);
                 for (size_t field : {0x28, 0x30, 0x38})
                     put64(r, data.offset + field, uint64_t(1) << 44);
                 writeRuns(r, data, {0x15, 0, 0, 0, 0, 1, 0x10, 0});
             });
         },
         "comp/two-units.txt"},
        {"MFT runs that overlap",
         [&](std::vector<uint8_t>& img) {
             editRecord(img, record0, [&](std::vector<uint8_t>& r) {
                 auto data = attributeOf(r, ntfsfmt::kAttrData);
                 put64(r, data.offset + 0x18, 2 * mft.count - 1);
                 writeRuns(r, data,
                           {0x11, uint8_t(mft.count), uint8_t(mft.lcn), 0x11, uint8_t(mft.count), 0x00, 0x00});
             });
         },
         "comp/two-units.txt"},
        {"absurd sectors per cluster", [](std::vector<uint8_t>& img) { img[0x0D] = 0x7F; }, "comp/noise-then-text.bin"},
        {"absurd bytes per sector",
         [](std::vector<uint8_t>& img) {
             img[0x0B] = 0xFF;
             img[0x0C] = 0xFF;
         },
         "sizes/tiny-nonresident.bin"},
        {"cluster size field of 2^127 sectors", [](std::vector<uint8_t>& img) { img[0x0D] = 0x81; }, "streams/ads.txt"},
    };
    auto rows = test::readManifest(dir / "manifest.tsv");
    test::TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image = clean;
        c.damage(image);
        MemoryReadSeek reader(image);
        ntfs p(&reader);
        p.scan();
        EXPECT_LE(p.entries.size(), image.size() / 1024 + 2);
        sfs::path out = tmp.path() / c.what;
        auto folder = fs::OutputFolder::openRoot(out);
        ASSERT_TRUE(folder);
        fs::recoverTree(p, *folder, {});
        // Whatever the damage claims, no file takes more room than the volume has.
        for (auto& e : sfs::recursive_directory_iterator(out))
            if (e.is_regular_file()) {
                struct stat st {};
                ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
                EXPECT_LE(uint64_t(st.st_blocks) * 512, image.size()) << e.path();
            }
        for (const auto& row : rows) {
            if (row.path == c.survivor) {
                EXPECT_EQ(test::sha256File(out / row.path), row.sha256) << row.path;
            }
        }
    }
}
