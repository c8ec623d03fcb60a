#include "partition/FileSystemId.h"

#include "disk/readWriteInterface.h"

#include <vector>

namespace velmora {

std::string FileSystemId::name() const {
    switch (kind) {
    case Kind::Ntfs: return "NTFS";
    case Kind::Fat12: return "FAT12";
    case Kind::Fat16: return "FAT16";
    case Kind::Fat32: return "FAT32";
    case Kind::ExFat: return "FAT64";
    case Kind::Ext: return "extX";
    case Kind::HfsPlus: return "HFS+";
    case Kind::None: break;
    }
    return {};
}

static bool saneSectorSize(uint32_t bps) { return bps == 512 || bps == 1024 || bps == 2048 || bps == 4096; }
static bool powerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

FileSystemId::Kind fatKindFromBpb(Bytes b, uint64_t* sizeBytes) {
    using K = FileSystemId::Kind;
    if (b.size() < 512)
        return K::None;
    if (!(b[0] == 0xEB || b[0] == 0xE9))
        return K::None;
    uint32_t bps = le16(b, 0x0B);
    uint32_t spc = u8(b, 0x0D);
    uint32_t reserved = le16(b, 0x0E);
    uint32_t fats = u8(b, 0x10);
    uint32_t rootEntries = le16(b, 0x11);
    uint64_t total = le16(b, 0x13);
    if (total == 0)
        total = le32(b, 0x20);
    uint64_t fatSize = le16(b, 0x16);
    if (fatSize == 0)
        fatSize = le32(b, 0x24);
    uint8_t media = u8(b, 0x15);
    if (!saneSectorSize(bps) || !powerOfTwo(spc) || reserved == 0 || fats == 0 || fats > 4 || total == 0 ||
        fatSize == 0 || (media != 0xF0 && media < 0xF8))
        return K::None;
    uint64_t rootSectors = (uint64_t(rootEntries) * 32 + bps - 1) / bps;
    uint64_t meta = reserved + uint64_t(fats) * fatSize + rootSectors;
    if (meta >= total)
        return K::None;
    uint64_t clusters = (total - meta) / spc;
    if (sizeBytes)
        *sizeBytes = total * bps;
    if (clusters < 4085)
        return K::Fat12;
    if (clusters < 65525)
        return K::Fat16;
    return K::Fat32;
}

FileSystemId identifyFileSystem(Bytes b) {
    FileSystemId id;
    using K = FileSystemId::Kind;
    if (b.size() >= 512) {
        if (bytesEqual(b, 3, "NTFS    ")) {
            uint32_t bps = le16(b, 0x0B);
            uint32_t spc = u8(b, 0x0D);
            uint64_t total = le64(b, 0x28);
            if (saneSectorSize(bps) && spc != 0 && (spc <= 0x80 || spc >= 0xF4) && total != 0) {
                id.kind = K::Ntfs;
                id.sizeBytes = total * bps;
                return id;
            }
        }
        if (bytesEqual(b, 3, "EXFAT   ")) {
            uint32_t shift = u8(b, 0x6C);
            uint64_t length = le64(b, 0x48);
            if (shift >= 9 && shift <= 12 && length != 0) {
                id.kind = K::ExFat;
                id.sizeBytes = length << shift;
                return id;
            }
        }
        uint64_t fatBytes = 0;
        K fat = fatKindFromBpb(b, &fatBytes);
        if (fat != K::None) {
            id.kind = fat;
            id.sizeBytes = fatBytes;
            return id;
        }
    }
    if (b.size() >= 1024 + 0x40 && le16(b, 1024 + 0x38) == 0xEF53) {
        uint32_t logBlock = le32(b, 1024 + 0x18);
        if (logBlock <= 6) {
            uint64_t blocks = le32(b, 1024 + 0x04);
            uint32_t incompat = le32(b, 1024 + 0x60);
            if ((incompat & 0x80) && b.size() >= 1024 + 0x154)
                blocks |= uint64_t(le32(b, 1024 + 0x150)) << 32;
            id.kind = K::Ext;
            id.sizeBytes = blocks * (uint64_t(1024) << logBlock);
            return id;
        }
    }
    if (b.size() >= 1024 + 0x30 && b[1024] == 'H' && (b[1025] == '+' || b[1025] == 'X')) {
        id.kind = K::HfsPlus;
        id.sizeBytes = uint64_t(be32(b, 1024 + 0x28)) * be32(b, 1024 + 0x2C);
        return id;
    }
    return id;
}

FileSystemId identifyFileSystemAt(readWriteInterface& reader, int64_t sector) {
    std::vector<uint8_t> head(kIdentifyBytes, 0);
    if (!reader.readAt(sector * kSectorSize, head.data(), uint32_t(head.size()))) {
        // A volume shorter than the probe still identifies from what was delivered;
        // an unreadable one gives zeros and so nothing.
    }
    return identifyFileSystem(head);
}

} // namespace velmora
