#include "Fixtures.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace velmora::test {

static fs::path envPath(const char* name, const fs::path& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? fs::path(v) : fallback;
}

fs::path sourceDir() { return envPath("VELMORA_SOURCE_DIR", VELMORA_DEFAULT_SOURCE_DIR); }
fs::path binaryDir() { return envPath("VELMORA_BINARY_DIR", VELMORA_DEFAULT_BINARY_DIR); }

bool inCi() {
    const char* v = std::getenv("CI");
    return v && std::string(v) == "true";
}

int run(const std::string& command, std::string* output) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        if (output)
            output->append(buf.data(), n);
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path fixture(const std::string& name, std::string* why) {
    fs::path dir = envPath("VELMORA_FIXTURE_DIR", VELMORA_DEFAULT_FIXTURE_DIR);
    fs::path image = dir / name;
    if (fs::exists(image))
        return image;
    std::error_code ec;
    fs::create_directories(dir, ec);
    // One builder at a time: ctest runs test processes in parallel.
    std::string cmd = "flock '" + (dir / ".lock").string() + "' bash '" +
                      (sourceDir() / "tests/fixtures/build-fixture").string() + "' '" + name + "' '" +
                      dir.string() + "' 2>&1";
    std::string out;
    int rc = run(cmd, &out);
    if (rc == 0 && fs::exists(image))
        return image;
    if (why)
        *why = "builder exit " + std::to_string(rc) + ": " + out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    return {};
}

fs::path sharedFile(const std::string& relative) {
    return envPath("VELMORA_SHARED_DIR", VELMORA_DEFAULT_SHARED_DIR) / relative;
}

TempDir::TempDir() {
    std::random_device rd;
    path_ = binaryDir() / "tmp" / ("t" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

} // namespace velmora::test
