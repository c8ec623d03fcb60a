// Helpers shared by the NTFS tests: SHA-256 of files and the manifests the fixture builders write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fs/common/TreeWalk.h"

#include <map>

namespace velmora::test {

// Hex SHA-256 of a file's content; empty when it cannot be read.
std::string sha256File(const std::filesystem::path& file);
std::string sha256Bytes(const uint8_t* data, size_t size);

struct ManifestRow {
    std::string path;     // below the volume's root, "/"-separated
    std::string sha256;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    bool deleted = false;
};

std::vector<ManifestRow> readManifest(const std::filesystem::path& file);

// The path a recovered file gets below the output folder: each component trimmed of blanks.
std::string recoveredPath(const std::string& volumePath);

// Every file and folder reachable from ROOT, by "/"-separated path.
std::map<std::string, fs::WalkItem> listing(fs::VolumeParser& parser);

} // namespace velmora::test
