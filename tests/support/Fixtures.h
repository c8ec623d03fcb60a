// Test images built by the scripts in tests/fixtures with the real tools, cached on disk.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace velmora::test {

// Path of the built image `name` (for example "mbr-disk.img"), building it first when it is
// missing. Empty when it could not be built; `why` then says why.
std::filesystem::path fixture(const std::string& name, std::string* why = nullptr);

// A file below the shared folder beside the checkout (for example "fixtures/hfsplus/basic.hfs").
std::filesystem::path sharedFile(const std::string& relative);

std::filesystem::path sourceDir();
std::filesystem::path binaryDir();

// A fresh empty folder below the build tree, removed again by the caller's TempDir.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs a shell command, returns its exit status and (optionally) its stdout.
int run(const std::string& command, std::string* output = nullptr);

bool inCi();

} // namespace velmora::test

// Builds (or finds) a fixture; in CI a missing fixture fails, elsewhere it skips.
#define VELMORA_REQUIRE_FIXTURE(var, name)                                                              \
    std::filesystem::path var;                                                                          \
    do {                                                                                                \
        std::string why_;                                                                               \
        var = ::velmora::test::fixture(name, &why_);                                                    \
        if (var.empty()) {                                                                              \
            if (::velmora::test::inCi())                                                                \
                FAIL() << "fixture " << name << " could not be built: " << why_;                       \
            GTEST_SKIP() << "fixture " << name << " could not be built: " << why_;                     \
        }                                                                                               \
    } while (0)
