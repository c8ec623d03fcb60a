#include "Fixtures.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace velmora;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result cli(const std::string& args) {
    test::TempDir tmp;
    auto errFile = tmp.path() / "stderr";
    Result r;
    r.code = test::run(std::string(VELMORA_CLI) + " " + args + " 2>'" + errFile.string() + "'", &r.out);
    std::ifstream in(errFile);
    std::stringstream ss;
    ss << in.rdbuf();
    r.err = ss.str();
    return r;
}

} // namespace

TEST(CliPartitions, ListsTheRowsOfTheMbrDisk) {
    VELMORA_REQUIRE_FIXTURE(image, "mbr-disk.img");
    auto r = cli("partitions '" + image.string() + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "VOLUME\tFILE_SYSTEM\tVOLUME_SIZE\tSTART_SECTOR\n"
                     "0\tFAT16\t32   MB\t2048\n"
                     "1\tNTFS\t16   MB\t69632\n"
                     "2\tFAT32\t40   MB\t104448\n"
                     "3\textX\t8   MB\t188416\n"
                     "4\tFAT64\t8   MB\t204800\n"
                     "5\tFAT12\t4   MB\t221184\n");
    EXPECT_EQ(r.err, "");
}

TEST(CliPartitions, ProtectiveMbrSwitchesToGptAndSaysSo) {
    VELMORA_REQUIRE_FIXTURE(image, "gpt-disk.img");
    auto plain = cli("partitions '" + image.string() + "' --json");
    auto asked = cli("partitions --gpt --json '" + image.string() + "'");
    EXPECT_EQ(plain.code, 0);
    EXPECT_EQ(plain.out, asked.out);
    EXPECT_NE(plain.err.find("reading the GPT"), std::string::npos) << plain.err;
    EXPECT_EQ(asked.err, "");
    EXPECT_NE(asked.out.find("{\"volume\":1,\"fileSystem\":\"FAT32\",\"size\":\"40  MB\",\"startSector\":34816}\n"),
              std::string::npos)
        << asked.out;
}

TEST(CliPartitions, BundledSampleDiskShowsNtfsAndFat32) {
    auto sample = test::sourceDir() / "samples/sample-disk.img.xz";
    test::TempDir tmp;
    auto img = tmp.path() / "sample.img";
    ASSERT_EQ(test::run("xz -dc '" + sample.string() + "' > '" + img.string() + "'"), 0);
    auto r = cli("partitions '" + img.string() + "'");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "VOLUME\tFILE_SYSTEM\tVOLUME_SIZE\tSTART_SECTOR\n0\tNTFS\t40   MB\t2048\n1\tFAT32\t72   MB\t83968\n");
}

TEST(CliErrors, ExitCodesAndOneLineMessages) {
    struct Case {
        std::string args;
        int code;
    } cases[] = {
        {"partitions /nonexistent/disk.img", 1},
        {"partitions", 2},
        {"partitions --frobnicate x.img", 2},
        {"partitions a.img b.img", 2},
        {"drives --bogus", 2},
        {"nosuchcommand", 2},
        {"", 2},
    };
    for (const auto& c : cases) {
        auto r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        if (!c.args.empty()) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
            EXPECT_EQ(r.err.rfind("velmora-cli: ", 0), 0u) << r.err;
        }
    }
    for (std::string help : {"--help", "partitions --help", "drives --help"})
        EXPECT_EQ(cli(help).code, 0) << help;
}

TEST(CliDrives, ListsBothSectionsAndRunsWithoutPrivileges) {
    auto r = cli("drives");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("PHYSICAL DRIVES:\n"), std::string::npos);
    EXPECT_NE(r.out.find("VOLUMES:\n"), std::string::npos);
    auto j = cli("drives --json");
    EXPECT_EQ(j.code, 0);
    std::istringstream lines(j.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
}

TEST(CliRecover, SampleDiskNtfsVolumeIsRecoveredWholeAndSkipsWhatItMust) {
    VELMORA_REQUIRE_FIXTURE(image, "sample-disk.img");
    std::ifstream manifest(test::sourceDir() / "samples/sample-disk.manifest");
    struct Want {
        std::string sha, state, path;
    };
    std::vector<Want> wants;
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream f(line);
        Want w;
        std::string part;
        f >> w.sha >> w.state >> part;
        std::getline(f >> std::ws, w.path);
        if (part == "NTFS")
            wants.push_back(w);
    }
    ASSERT_EQ(wants.size(), 8u);
    for (bool skipDeleted : {false, true}) {
        test::TempDir out;
        auto r = cli("recover '" + image.string() + "' --volume 0 --out '" + out.path().string() + "'" +
                     (skipDeleted ? " --skip-deleted" : ""));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(" 0 failures"), std::string::npos) << r.out;
        for (const auto& w : wants) {
            auto p = out.path() / w.path;
            bool expected = !(skipDeleted && w.state == "deleted");
            ASSERT_EQ(std::filesystem::exists(p), expected) << w.path;
            if (expected) {
                std::string sum;
                test::run("sha256sum '" + p.string() + "'", &sum);
                EXPECT_EQ(sum.substr(0, 64), w.sha) << w.path;
            }
        }
        // The bad-cluster list is never written as a file.
        EXPECT_FALSE(std::filesystem::exists(out.path() / "$BadClus"));
    }
}
