// velmora-cli list and recover on real NTFS volumes.
#include "NtfsTestSupport.h"

#include "Fixtures.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace velmora;
namespace sfs = std::filesystem;

namespace {

std::string cli() { return VELMORA_CLI; }

std::string q(const sfs::path& p) { return "'" + p.string() + "'"; }

// Exit status of a velmora-cli run; stdout into *out.
int runCli(const std::string& args, std::string* out = nullptr) {
    return test::run(cli() + " " + args + " 2>/dev/null", out);
}

std::string readText(const sfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string l;
    while (std::getline(ss, l))
        out.push_back(l);
    return out;
}

std::set<std::string> filesBelow(const sfs::path& root) {
    std::set<std::string> out;
    for (auto& e : sfs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out.insert(sfs::relative(e.path(), root).string());
    return out;
}

} // namespace

TEST(NtfsCli, RecoverFromAPartitionNeverOverwritesAndNumbersDuplicates) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-disk");
    test::TempDir tmp;
    std::string out;
    ASSERT_EQ(runCli("recover " + q(dir / "disk.img") + " --volume 1 --out " + q(tmp.path()), &out), 0);
    EXPECT_NE(out.find("recovered "), std::string::npos) << out;
    EXPECT_NE(out.find(" 0 failures"), std::string::npos) << out;
    // gonedir/lost.bin was deleted with its folder, whose record now holds reuse.txt.
    for (const auto& row : test::readManifest(dir / "manifest.tsv")) {
        std::string at = row.path == "gonedir/lost.bin" ? "ORPHAN_ENTRY/lost.bin" : row.path;
        EXPECT_EQ(test::sha256File(tmp.path() / at), row.sha256) << row.path;
    }
    EXPECT_FALSE(sfs::exists(tmp.path() / "gonedir"));
    EXPECT_EQ(readText(tmp.path() / "reuse.txt"), "reused\n");
    // The deleted data/dup.txt comes first in the folder; the live one gets the number.
    EXPECT_EQ(readText(tmp.path() / "data/dup.txt"), "one\n");
    EXPECT_EQ(readText(tmp.path() / "data/dup (2).txt"), "two\n");

    // A second run into the same folder keeps everything and adds numbered copies.
    auto before = filesBelow(tmp.path());
    ASSERT_EQ(runCli("recover " + q(dir / "disk.img") + " --volume 1 --out " + q(tmp.path()) + " data"), 0);
    auto after = filesBelow(tmp.path());
    for (const auto& f : before)
        EXPECT_TRUE(after.count(f)) << f;
    EXPECT_EQ(readText(tmp.path() / "data/dup.txt"), "one\n");
    EXPECT_TRUE(after.count("data/blob (2).bin"));
    EXPECT_TRUE(after.count("data/dup (3).txt"));
    EXPECT_EQ(after.size(), before.size() + 3);

    // The same volume given by hand.
    test::TempDir byHand;
    ASSERT_EQ(runCli("recover " + q(dir / "disk.img") + " --start-sector 10240 --fs NTFS --out " + q(byHand.path()) +
                     " readme.txt"),
              0);
    EXPECT_EQ(filesBelow(byHand.path()), (std::set<std::string>{"readme.txt"}));
}

TEST(NtfsCli, ListGivesTreeOrderRawValuesAndDeletedMarks) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    std::string text, json;
    ASSERT_EQ(runCli("list " + q(dir / "volume.img"), &text), 0);
    ASSERT_EQ(runCli("list " + q(dir / "volume.img") + " --json", &json), 0);
    auto t = lines(text), j = lines(json);
    ASSERT_EQ(t.size(), j.size());
    // A folder comes before what it holds; the orphan folder is the last top-level entry.
    size_t docs = 0, leaf = 0, orphan = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].rfind("docs\t", 0) == 0)
            docs = i;
        if (t[i].rfind("docs/deep/a/b/c/leaf.txt\t", 0) == 0)
            leaf = i;
        if (t[i].rfind("ORPHAN_ENTRY\t", 0) == 0)
            orphan = i;
    }
    EXPECT_LT(docs, leaf);
    EXPECT_GT(orphan, leaf);
    EXPECT_NE(text.find("trash/gone.bin\tf\tdeleted\t48.83 KB\t"), std::string::npos);
    EXPECT_NE(text.find("trash/keep.txt\tf\t-\t5 Bytes\t"), std::string::npos);
    EXPECT_NE(json.find("{\"path\":\"trash/gone.bin\",\"type\":\"f\",\"deleted\":true,\"size\":50000,"),
              std::string::npos);
    EXPECT_NE(json.find("\"modified\":\"2017-07-14T02:40:00Z\""), std::string::npos);
    EXPECT_NE(json.find("{\"path\":\"hello.txt\",\"type\":\"f\",\"deleted\":false,\"size\":19,"), std::string::npos);
    EXPECT_NE(json.find("\"modified\":\"2001-02-03T04:05:06.123456700Z\""), std::string::npos);
    EXPECT_NE(json.find("{\"path\":\"big-sparse.bin\",\"type\":\"f\",\"deleted\":false,\"size\":4295090753,"),
              std::string::npos);
    EXPECT_NE(json.find("{\"path\":\"olddir\",\"type\":\"d\",\"deleted\":true,"), std::string::npos);
}

TEST(NtfsCli, RecoverChoosesByPathAndPatternAndCanSkipDeleted) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    test::TempDir a, b;
    ASSERT_EQ(runCli("recover " + q(dir / "volume.img") + " --out " + q(a.path()) + " docs/deep trash"), 0);
    EXPECT_EQ(filesBelow(a.path()), (std::set<std::string>{"docs/deep/a/b/c/leaf.txt", "trash/keep.txt",
                                                           "trash/gone.bin", "trash/gone-small.txt"}));
    std::string out;
    ASSERT_EQ(runCli("recover " + q(dir / "volume.img") + " --out " + q(b.path()) +
                         " --skip-deleted --match '^(gone|keep|LEAF)' ",
                     &out),
              0);
    EXPECT_EQ(filesBelow(b.path()), (std::set<std::string>{"docs/deep/a/b/c/leaf.txt", "trash/keep.txt"}));
    EXPECT_NE(out.find("recovered 2 files, 10005 bytes, 0 failures"), std::string::npos) << out;
}

TEST(NtfsCli, UnusualNamesKeepToTheirLineAndNameTheirFileForRecover) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-edge");
    std::string text, json;
    ASSERT_EQ(runCli("list " + q(dir / "volume.img"), &text), 0);
    ASSERT_EQ(runCli("list " + q(dir / "volume.img") + " --json", &json), 0);
    auto t = lines(text);
    ASSERT_EQ(t.size(), lines(json).size());
    for (const auto& l : t)
        EXPECT_EQ(std::count(l.begin(), l.end(), '\t'), 7) << l;
    std::set<std::string> paths;
    for (const auto& l : t)
        paths.insert(l.substr(0, l.find('\t')));
    for (const char* p : {"odd/new\\x0aline.txt", "odd/tab\\x09name.txt", "odd/ctl\\x01\\x1f.txt",
                          "odd/back\\slash.txt", "odd/colon:name.txt", "links/a/orig.txt", "links/b/other.txt"})
        EXPECT_TRUE(paths.count(p)) << p;
    EXPECT_NE(json.find("{\"path\":\"odd/new\\nline.txt\""), std::string::npos);

    // Paths as the listing shows them, or as the volume records them; one that names nothing
    // is reported, and the run does not end as a success.
    test::TempDir tmp;
    std::string out;
    ASSERT_EQ(test::run(cli() + " recover " + q(dir / "volume.img") + " --out " + q(tmp.path()) +
                            " 'odd/new\\x0aline.txt' \"$(printf 'odd/tab\\tname.txt')\" links/b nothing/here 2>&1",
                        &out),
              3);
    EXPECT_EQ(filesBelow(tmp.path()),
              (std::set<std::string>{"odd/new\nline.txt", "odd/tab\tname.txt", "links/b/other.txt"}));
    EXPECT_NE(out.find("no entry at nothing/here"), std::string::npos) << out;
    EXPECT_NE(out.find("recovered 3 files, 44 bytes, 1 failures"), std::string::npos) << out;
}

TEST(NtfsCli, ExitCodes) {
    VELMORA_REQUIRE_FIXTURE(dir, "ntfs-files");
    test::TempDir tmp;
    std::string img = q(dir / "volume.img");
    sfs::path zeros = tmp.path() / "zeros.img";
    ASSERT_EQ(test::run("truncate -s 12M " + q(zeros)), 0);
    struct Case {
        std::string args;
        int code;
    } cases[] = {
        {"list --help", 0},
        {"recover --help", 0},
        {"recover " + img, 2},                                              // no --out
        {"recover " + img + " --out " + q(tmp.path() / "o") + " --match '('", 2},
        {"list " + img + " --bogus", 2},
        {"list " + img + " --volume 3", 2},                                // a bare volume has no table
        {"list " + img + " --volume 0 --fs ntfs", 2},
        {"list " + q(zeros), 2},                                           // nothing recognisable
        {"list " + q(zeros) + " --start-sector 0 --fs ntfs --size-mb 12", 1}, // not NTFS at all
        {"list " + q(zeros) + " --start-sector 0 --fs ext9", 2},
        {"list " + q(tmp.path() / "missing.img"), 1},
        // An output folder that cannot be made is found before the volume is read.
        {"recover " + q(zeros) + " --start-sector 0 --fs ntfs --out " + q(zeros / "sub"), 2},
        {"recover " + img + " --out " + q(zeros), 2},
        {"recover " + img + " --out " + q(tmp.path() / "all"), 0},         // everything saved
        {"recover " + img + " --out " + q(tmp.path() / "one") + " no/such/path", 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runCli(c.args), c.code) << c.args;
}
