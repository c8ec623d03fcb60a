// Naming the file system of a volume from its first sectors.
#pragma once

#include "disk/Bytes.h"

#include <cstdint>
#include <string>

namespace velmora {

class readWriteInterface;

struct FileSystemId {
    enum class Kind { None, Ntfs, Fat12, Fat16, Fat32, ExFat, Ext, HfsPlus };
    Kind kind = Kind::None;
    uint64_t sizeBytes = 0;  // volume size the file system records for itself

    bool recognised() const { return kind != Kind::None; }
    // The list's name: "NTFS", "FAT12", "FAT16", "FAT32", "FAT64", "extX", "HFS+"; empty for None.
    std::string name() const;
};

// Number of bytes at the start of a volume that identifyFileSystem looks at.
constexpr size_t kIdentifyBytes = 2048;

// `head` holds the first bytes of the volume (up to kIdentifyBytes; fewer is fine).
FileSystemId identifyFileSystem(Bytes head);

// Reads the first bytes at `sector` (relative to the reader's base) and identifies them.
FileSystemId identifyFileSystemAt(readWriteInterface& reader, int64_t sector);

// FAT type by cluster count; Kind::None when the BPB is not a sane FAT BPB.
FileSystemId::Kind fatKindFromBpb(Bytes bootSector, uint64_t* sizeBytes = nullptr);

} // namespace velmora
