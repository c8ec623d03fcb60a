// The NTFS boot sector: the fields that place the MFT and size the clusters.
#pragma once

#include "disk/Bytes.h"

#include <cstdint>

namespace velmora::ntfsfmt {

constexpr uint32_t kDefaultClusterBytes = 4096;
constexpr uint32_t kDefaultRecordBytes = 1024;
constexpr uint64_t kMaxClusterBytes = 2u << 20;  // 2 MiB, the largest NTFS cluster

struct BootSector {
    bool valid = false;              // "NTFS" at offset 3
    uint16_t bytesPerSector = 0;
    uint8_t sectorsPerClusterField = 0;
    uint64_t clusterBytes = 0;       // 0 when the fields give no usable cluster size
    uint64_t totalSectors = 0;
    uint64_t mftCluster = 0;
    uint64_t mftMirrorCluster = 0;
    uint32_t recordBytes = kDefaultRecordBytes;
};

// Cluster size from bytes per sector and the sectors-per-cluster byte; values above 0x80
// mean 2^(256 - value) sectors. 0 when the result is not a usable cluster size.
uint64_t clusterSizeFrom(uint16_t bytesPerSector, uint8_t sectorsPerCluster);

BootSector decodeBootSector(Bytes sector);

} // namespace velmora::ntfsfmt
