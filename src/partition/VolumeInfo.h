// One volume: a partition found on a disk, or a mounted volume.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct VolumeInfo {
    std::string fsName;      // "NTFS", "FAT12", "FAT16", "FAT32", "FAT64" (exFAT), "extX", "HFS+", "Unknown", or a GPT name
    std::string volumeName;  // root path of a mounted volume; empty for a partition
    std::string volumeId;    // device path of a mounted volume; the partition's number as text
    std::string sizeText;    // whole megabytes for display
    int64_t startSector = 0; // first 512-byte sector on the device

    bool operator==(const VolumeInfo&) const = default;
};

} // namespace velmora
