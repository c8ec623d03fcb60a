// The parser on volumes made by mkntfs and filled (and partly deleted) through ntfs-3g.
#include "NtfsTestSupport.h"

#include "Fixtures.h"
#include "disk/MemoryReadSeek.h"
#include "disk/readWriteInterface.h"
#include "fs/common/OutputNames.h"
#include "fs/common/TreeWalk.h"
#include "fs/ntfs/ntfs.h"
#include "host/Host.h"
#include "ui/CXHtmlTree.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace velmora;
namespace sfs = std::filesystem;

namespace {

struct Scanned {
    FileReadSeek reader;
    ntfs parser;
    bool ok = false;
    explicit Scanned(const sfs::path& image, const std::string& sizeText = "") {
        parser.reader = &reader;
        parser.volume.sizeText = sizeText;
        if (reader.open(image.string()))
            ok = parser.scan();
    }
};

// Where a manifest file ended up: at its own path, or (its folder gone) below ORPHAN_ENTRY.
sfs::path findRecovered(const sfs::path& root, const test::ManifestRow& row) {
    sfs::path direct = root / test::recoveredPath(row.path);
    if (sfs::exists(direct))
        return direct;
    std::string base = test::recoveredPath(row.path.substr(row.path.rfind('/') + 1));
    if (sfs::exists(root / "ORPHAN_ENTRY"))
        for (auto& e : sfs::recursive_directory_iterator(root / "ORPHAN_ENTRY"))
            if (e.path().filename() == base && test::sha256File(e.path()) == row.sha256)
                return e.path();
    return {};
}

void expectAllRecovered(const sfs::path& out, const std::vector<test::ManifestRow>& rows, bool checkTimes) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        sfs::path got = findRecovered(out, row);
        ASSERT_FALSE(got.empty()) << "not recovered";
        EXPECT_EQ(sfs::file_size(got), row.size);
        EXPECT_EQ(test::sha256File(got), row.sha256);
        if (checkTimes) {
            struct stat st {};
            ASSERT_EQ(::stat(got.c_str(), &st), 0);
            EXPECT_EQ(int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, row.mtimeNs);
        }
    }
}

} // namespace

TEST(NtfsVolume, RecoversEveryFileByteForByteWithItsTimes) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    auto rows = test::readManifest(dir / "manifest.tsv");
    ASSERT_GT(rows.size(), 15u);
    Scanned s(dir / "volume.img");
    ASSERT_TRUE(s.ok);
    test::TempDir tmp;
    auto out = fs::OutputFolder::openRoot(tmp.path());
    ASSERT_TRUE(out);
    fs::RecoverSummary sum = fs::recoverTree(s.parser, *out, {});
    EXPECT_EQ(sum.failures, 0u);
    EXPECT_EQ(sum.unreadableBytes, 0u);
    expectAllRecovered(tmp.path(), rows, true);
    // The huge sparse file is written with holes, not with gigabytes of zeros.
    struct stat st {};
    ASSERT_EQ(::stat((tmp.path() / "big-sparse.bin").c_str(), &st), 0);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, 64ull << 20);
}

TEST(NtfsVolume, TreeShowsSystemFilesFirstOrphanFolderLastAndDeletedEntriesMarked) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    Scanned s(dir / "volume.img");
    ASSERT_TRUE(s.ok);
    auto top = s.parser.topLevelEntries();
    ASSERT_GE(top.size(), 6u);
    // Record order below the root: $MFTMirr (1) … $AttrDef (4) first; $MFT (0) and the root
    // itself (5) never; the orphan folder last.
    std::vector<std::string> first;
    for (size_t i = 0; i < 4; ++i)
        first.push_back(s.parser.entries[size_t(top[i])].name);
    EXPECT_EQ(first, (std::vector<std::string>{"$MFTMirr", "$LogFile", "$Volume", "$AttrDef"}));
    for (size_t i = 1; i < top.size(); ++i)
        EXPECT_LT(top[i - 1], top[i]);
    EXPECT_EQ(top.back(), s.parser.orphanIndex);
    for (int64_t t : top) {
        EXPECT_NE(t, 0);
        EXPECT_NE(t, s.parser.rootIndex);
    }

    auto all = test::listing(s.parser);
    auto rows = test::readManifest(dir / "manifest.tsv");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        auto it = all.find(row.path);
        if (it == all.end()) {
            // Only a deleted file may have lost its folder.
            ASSERT_TRUE(row.deleted);
            continue;
        }
        EXPECT_EQ(it->second.description.deleted, row.deleted);
        EXPECT_EQ(it->second.description.size, row.size);
        EXPECT_FALSE(it->second.description.directory);
        EXPECT_EQ(s.parser.fullPath(it->second.ref), row.path);
    }
    ASSERT_TRUE(all.count("trash/gone.bin"));
    EXPECT_TRUE(all.count("docs/deep/a/b/c"));
    EXPECT_TRUE(all.at("docs/deep/a/b/c").description.directory);
    EXPECT_EQ(all.at("hello.txt").description.sizeText, "19 Bytes");
    EXPECT_EQ(all.at("docs/report.bin").description.sizeText, "97.66 KB");
}

TEST(NtfsVolume, ZeroedBootSectorIsFoundThroughTheMftSearch) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    test::TempDir tmp;
    sfs::path image = tmp.path() / "badboot.img";
    ASSERT_EQ(test::run("cp --sparse=always '" + (dir / "volume.img").string() + "' '" + image.string() + "'"), 0);
    {
        std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
        std::vector<char> zeros(512, 0);
        f.write(zeros.data(), 512);
    }
    Scanned s(image, "64   MB");
    ASSERT_TRUE(s.ok);
    EXPECT_FALSE(s.parser.runFromFirstEntry);
    EXPECT_EQ(s.parser.clusterBytes, 4096u);
    auto out = fs::OutputFolder::openRoot(tmp.path() / "out");
    ASSERT_TRUE(out);
    fs::RecoverOptions opt;
    opt.paths = {"docs", "comp", "attrlist.bin", "sparse.bin"};
    fs::RecoverSummary sum = fs::recoverTree(s.parser, *out, opt);
    EXPECT_TRUE(sum.unmatchedPaths.empty());
    EXPECT_EQ(sum.failures, 0u);
    std::vector<test::ManifestRow> some;
    for (const auto& r : test::readManifest(dir / "manifest.tsv"))
        if (r.path.rfind("docs/", 0) == 0 || r.path.rfind("comp/", 0) == 0 || r.path == "attrlist.bin" ||
            r.path == "sparse.bin")
            some.push_back(r);
    ASSERT_EQ(some.size(), 8u);
    expectAllRecovered(tmp.path() / "out", some, true);
}

TEST(NtfsVolume, MftWhoseRunsContinueInExtensionRecords) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-mftlist");
    auto rows = test::readManifest(dir / "manifest.tsv");
    ASSERT_EQ(rows.size(), 8000u);
    test::TempDir tmp;
    sfs::path damaged = tmp.path() / "badboot.img";
    ASSERT_EQ(test::run("cp --sparse=always '" + (dir / "volume.img").string() + "' '" + damaged.string() + "'"), 0);
    {
        std::fstream f(damaged, std::ios::in | std::ios::out | std::ios::binary);
        std::vector<char> zeros(512, 0);
        f.write(zeros.data(), 512);
    }
    // Through the boot sector, and through the search (record 0 keeps even its name elsewhere).
    for (const sfs::path& image : {dir / "volume.img", damaged}) {
        SCOPED_TRACE(image.filename().string());
        Scanned s(image);
        ASSERT_TRUE(s.ok);
        auto out = fs::OutputFolder::openRoot(tmp.path() / image.stem());
        ASSERT_TRUE(out);
        fs::RecoverOptions opt;
        opt.paths = {"many"};
        fs::RecoverSummary sum = fs::recoverTree(s.parser, *out, opt);
        EXPECT_EQ(sum.files, 8000u);
        EXPECT_EQ(sum.failures, 0u);
        // Every file once, and a sample again after the search.
        std::vector<test::ManifestRow> check;
        for (size_t i = 0; i < rows.size(); i += image == damaged ? 97 : 1)
            check.push_back(rows[i]);
        expectAllRecovered(tmp.path() / image.stem(), check, true);
    }
}

TEST(NtfsVolume, FirstTreeLevelAndTheSaveOfThePage) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    FileReadSeek reader;
    ASSERT_TRUE(reader.open((dir / "volume.img").string()));
    CXHtmlTree tree;
    ScriptedDialogs dialogs;
    ntfs p(&reader);
    p.tree = &tree;
    p.dialogs = &dialogs;
    ASSERT_TRUE(p.scan());

    TreeItem root = p.rootItem();
    EXPECT_EQ(tree.itemText(root), "ROOT");
    EXPECT_TRUE(tree.isExpandedMarked(root));
    auto items = tree.children(root);
    auto top = p.topLevelEntries();
    ASSERT_EQ(items.size(), top.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const NtfsEntry* e = p.entryFromItemData(tree.itemData(items[i]));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->selfIndex, top[i]);
        EXPECT_EQ(tree.itemText(items[i]), e->name);
        EXPECT_EQ(tree.itemTextColor(items[i]) == kDeletedColor, !e->inUse()) << e->name;
        EXPECT_EQ(tree.itemImage(items[i]) == kFolderImage, e->kind == 'D') << e->name;
    }
    EXPECT_EQ(tree.itemText(items.back()), "ORPHAN_ENTRY");
    EXPECT_EQ(p.entryFromItemData(12345), nullptr);

    // The page's save: the folder in outputPath, the entry's position as text; the name is
    // trimmed and an existing file replaced.
    int64_t named = -1, folder = -1;
    for (int64_t c : p.childrenOf(p.rootIndex)) {
        if (p.entries[size_t(c)].name == "hello.txt")
            named = c;
        if (p.entries[size_t(c)].name == "names")
            folder = c;
    }
    ASSERT_GE(named, 0);
    ASSERT_GE(folder, 0);
    int64_t blanks = -1;
    for (int64_t c : p.childrenOf(folder))
        if (p.entries[size_t(c)].name == " leading and trailing  ")
            blanks = c;
    ASSERT_GE(blanks, 0);
    test::TempDir tmp;
    std::ofstream(tmp.path() / "hello.txt") << "old content that is longer than the new one";
    p.outputPath = tmp.path().string() + "/";
    p.saveFile(std::to_string(named));
    EXPECT_EQ(p.outputPath, (tmp.path() / "hello.txt").string());
    EXPECT_EQ(sfs::file_size(tmp.path() / "hello.txt"), 19u);
    p.outputPath = tmp.path().string() + "/";
    p.saveFile(std::to_string(blanks));
    EXPECT_TRUE(sfs::exists(tmp.path() / "leading and trailing"));
    p.outputPath = tmp.path().string() + "/";
    p.saveFile(std::to_string(folder));
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), "This is  names directory .Please specify file names ");
    EXPECT_EQ(p.entrySizeText(named), "19 Bytes");
    NtfsEntryDetails d = p.entryDetails(named);
    EXPECT_EQ(d.attributeText, "-A");
    EXPECT_EQ(fs::fromFileTime(d.modification)->seconds, 981173106);
}

namespace {

// The fixture image in memory, with a stretch of the medium that cannot be read (an I/O error
// for every read that touches it).
class BadStretchReader final : public readWriteInterface {
public:
    BadStretchReader(std::vector<uint8_t> bytes, uint64_t badFrom, uint64_t badTo)
        : data_(std::move(bytes)), from_(badFrom), to_(badTo) {
        length = data_.size();
    }
    bool open(const std::string&) override { return true; }
    bool seek(uint32_t low, int32_t high, int origin) override {
        if (origin != 0)
            return false;
        pos_ = int64_t((uint64_t(uint32_t(high)) << 32) | low) + baseOffset;
        return pos_ >= 0;
    }
    using readWriteInterface::seek;
    bool read(void* destination, uint32_t count) override {
        uint64_t at = uint64_t(pos_);
        if (at < to_ && at + count > from_)
            return false;  // nothing delivered
        if (at >= data_.size())
            return false;
        uint64_t n = std::min<uint64_t>(count, data_.size() - at);
        std::memcpy(destination, data_.data() + at, n);
        std::memset(static_cast<uint8_t*>(destination) + n, 0, count - n);
        pos_ += int64_t(n);
        return n == count;
    }

private:
    std::vector<uint8_t> data_;
    uint64_t from_, to_;
    int64_t pos_ = 0;
};

} // namespace

TEST(NtfsVolume, UnreadableClustersBecomeZerosInTheirPlace) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    std::ifstream in(dir / "volume.img", std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    // Where docs/report.bin lies, from a clean scan.
    MemoryReadSeek clean(image);
    ntfs probe(&clean);
    ASSERT_TRUE(probe.scan());
    int64_t report = -1;
    for (int64_t c : probe.childrenOf(probe.rootIndex))
        if (probe.entries[size_t(c)].name == "docs")
            for (int64_t d : probe.childrenOf(c))
                if (probe.entries[size_t(d)].name == "report.bin")
                    report = d;
    ASSERT_GE(report, 0);
    NtfsDataStream s = probe.dataStream(report);
    ASSERT_EQ(s.runs.size(), 1u);
    ASSERT_GE(s.runs[0].count, 25u);
    const uint64_t first = uint64_t(s.runs[0].lcn) * 4096;
    test::TempDir tmp;
    ASSERT_EQ(probe.saveFile(tmp.path() / "good.bin", report).ok, true);

    // Clusters 3 and 4 of the file cannot be read.
    BadStretchReader bad(image, first + 3 * 4096 + 100, first + 4 * 4096 + 200);
    ntfs p(&bad);
    ASSERT_TRUE(p.scan());
    fs::SaveOutcome r = p.saveFile(tmp.path() / "holes.bin", report);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 100000u);
    EXPECT_EQ(r.unreadableBytes, 2u * 4096);
    std::ifstream g(tmp.path() / "good.bin", std::ios::binary), h(tmp.path() / "holes.bin", std::ios::binary);
    std::vector<uint8_t> good((std::istreambuf_iterator<char>(g)), {}), holes((std::istreambuf_iterator<char>(h)), {});
    ASSERT_EQ(holes.size(), good.size());
    for (size_t i = 0; i < good.size(); ++i) {
        bool unreadable = i >= 3 * 4096 && i < 5 * 4096;
        ASSERT_EQ(holes[i], unreadable ? 0 : good[i]) << "byte " << i;
    }
}
