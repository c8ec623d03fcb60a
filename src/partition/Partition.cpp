#include "partition/Partition.h"

#include "disk/Bytes.h"
#include "disk/readWriteInterface.h"
#include "host/Host.h"
#include "partition/FileSystemId.h"

#include <array>
#include <cerrno>
#include <set>

namespace velmora {

namespace {

constexpr size_t kEntryTable = 0x1BE;

struct TableEntry {
    uint8_t type;
    uint32_t first;
    uint32_t count;
};

TableEntry tableEntry(const uint8_t* sector, int i) {
    const uint8_t* e = sector + kEntryTable + 16 * i;
    return {e[4], le32(e + 8), le32(e + 12)};
}

bool isExtendedType(uint8_t t) { return t == 0x05 || t == 0x0F || t == 0x85; }


// The type byte, when the boot sector says nothing we recognise.
std::string nameForType(uint8_t type) {
    switch (type) {
    case 0x01: return "FAT12";
    case 0x04:
    case 0x06:
    case 0x0E: return "FAT16";
    case 0x07:
    case 0x42: return "NTFS";
    case 0x0B:
    case 0x0C: return "FAT32";
    case 0x83: return "extX";
    default: return "Unknown";
    }
}

int errorOf(readWriteInterface& r) { return r.lastError ? r.lastError : EIO; }

} // namespace

void Partition::status(const std::string& text) {
    if (statusSink)
        statusSink->setStatus(text);
}

void Partition::add(VolumeInfo v) {
    v.volumeId = std::to_string(volumeNumber_++);
    if (ownerVolumes)
        ownerVolumes->push_back(std::move(v));
}

bool Partition::isExFatAt(readWriteInterface& reader, int64_t sector) {
    uint8_t b[512];
    if (!reader.seek(sector * kSectorSize) || !reader.read(b, sizeof b))
        return false;
    return b[0] == 0xEB && (b[1] == 0x3C || b[1] == 0x58 || b[1] == 0x76) && b[3] == 'E' && b[4] == 'X' &&
           b[5] == 'F' && b[6] == 'A';
}

bool Partition::isHfsPlusAt(readWriteInterface& reader, int64_t sector) {
    uint8_t b[512];
    if (!reader.seek((sector + 2) * kSectorSize) || !reader.read(b, sizeof b))
        return false;
    return b[0] == 'H' && b[1] == '+' && b[2] == 0;
}

std::vector<VolumeInfo> Partition::listVolumes(readWriteInterface& reader, bool gpt, ProgressSink* status,
                                               int* result) {
    std::vector<VolumeInfo> volumes;
    Partition scanner;
    scanner.gptFormat = gpt;
    scanner.statusSink = status;
    scanner.ownerVolumes = &volumes;
    int rc = scanner.scanTables(reader);
    if (result)
        *result = rc;
    // Rows are numbered by their place, whatever numbers the scan used up.
    for (size_t i = 0; i < volumes.size(); ++i)
        volumes[i].volumeId = std::to_string(i);
    return volumes;
}

bool Partition::hasProtectiveMbrOnly(readWriteInterface& reader) {
    uint8_t s[512];
    if (!reader.readAt(0, s, sizeof s))
        return false;
    int used = 0;
    bool protective = false;
    for (int i = 0; i < 4; ++i) {
        TableEntry e = tableEntry(s, i);
        if (e.type == 0)
            continue;
        ++used;
        protective = protective || e.type == 0xEE;
    }
    return used == 1 && protective;
}

int Partition::scanTables(readWriteInterface& reader) {
    volumeNumber_ = 0;
    ntfsCount_ = 0;
    std::array<uint8_t, 1024> head{};
    if (gptFormat && reader.readAt(0, head.data(), uint32_t(head.size())))
        return scanGpt(reader, head.data() + 512);
    return scanMbr(reader);
}

int Partition::scanGpt(readWriteInterface& reader, const uint8_t* header) {
    uint64_t entryLba = le64(header + 0x48);
    uint32_t count = le32(header + 0x50);
    uint32_t size = le32(header + 0x54);
    // Headers that do not carry sane values are still read the way most tools write them.
    if (size < 128 || size > 4096 || size % 8 != 0)
        size = 128;
    if (count == 0 || count > kMaxGptEntries)
        count = 128;
    if (entryLba < 2 || entryLba > (uint64_t(1) << 40))
        entryLba = 2;
    std::vector<uint8_t> entries(size_t(count) * size, 0);
    if (!reader.readAt(int64_t(entryLba) * kSectorSize, entries.data(), uint32_t(entries.size()))) {
        // A short array still gives the entries that were delivered (the rest are zeros).
    }
    static const std::array<uint8_t, 16> msReserved = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                                       0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};
    int firstError = 0;
    for (uint32_t i = 0; i < count && !stopRequested; ++i) {
        Bytes e(entries.data() + size_t(i) * size, size);
        bool unused = true;
        for (int k = 0; k < 16; ++k)
            unused = unused && e[k] == 0;
        if (unused)
            continue;
        int64_t start = int64_t(le64(e, 0x20));
        int64_t end = int64_t(le64(e, 0x28));
        if (start <= 2 || end < start || start > kMaxSector || end > kMaxSector)
            continue;
        size_t nameUnits = 0;
        while (nameUnits < 36 && le16(e, 0x38 + 2 * nameUnits) != 0)
            ++nameUnits;
        std::string name = utf16leToUtf8(e, 0x38, nameUnits);
        if (name == "Microsoft reserved partition" || std::equal(msReserved.begin(), msReserved.end(), e.begin()))
            continue;

        // An entry whose first sector cannot be read is listed by its name, and the entries
        // after it are still read; the error is reported at the end.
        std::vector<uint8_t> head(kIdentifyBytes, 0);
        FileSystemId id;
        if (reader.readAt(start * kSectorSize, head.data(), 512)) {
            reader.readAt(start * kSectorSize + 512, head.data() + 512, uint32_t(kIdentifyBytes - 512));
            id = identifyFileSystem(head);
        } else {
            firstError = firstError ? firstError : errorOf(reader);
        }

        VolumeInfo v;
        v.startSector = start;
        using K = FileSystemId::Kind;
        switch (id.kind) {
        case K::Ntfs: {
            int number = volumeNumber_++;  // used up even when the volume is dropped
            if ((id.sizeBytes >> 20) > 0) {
                status("found NTFS " + std::to_string(++ntfsCount_) + "...");
                v.fsName = "NTFS";
                v.sizeText = std::to_string(id.sizeBytes >> 20) + "   MB";
                v.volumeId = std::to_string(number);
                if (ownerVolumes)
                    ownerVolumes->push_back(v);
            }
            continue;
        }
        case K::Fat12:
        case K::Fat16:
        case K::Fat32:
        case K::ExFat:
            if (id.kind == K::Fat16)
                status("found FAT 16...");
            else if (id.kind == K::Fat32)
                status("found FAT 32...");
            else if (id.kind == K::ExFat)
                status("found FAT 64...");
            if ((id.sizeBytes >> 20) > 0) {
                v.fsName = id.name();
                v.sizeText = std::to_string(id.sizeBytes >> 20) + "  MB";
                add(v);
            }
            continue;
        case K::Ext:
        case K::HfsPlus:
            v.fsName = id.name();
            break;
        case K::None:
            v.fsName = name.empty() ? "Unknown" : name;
            break;
        }
        v.sizeText = std::to_string((end - start + 1) / 2048);  // the ending LBA is inclusive
        add(v);
    }
    return firstError;
}

void Partition::addMbrVolume(readWriteInterface& reader, uint8_t type, int64_t start, uint64_t count,
                             bool logical) {
    FileSystemId id = identifyFileSystemAt(reader, start);
    std::string name = id.recognised() ? id.name() : nameForType(type);
    if (name == "FAT16")
        status("found FAT 16...");
    else if (name == "FAT32")
        status("found FAT 32...");
    else if (name == "FAT64")
        status("found FAT64...");
    else if (name == "NTFS") {
        ++ntfsCount_;
        if (type == 0x42 && !logical)
            status("NTFS...");
        else
            status(logical ? std::string("found NTFS...") : "found NTFS " + std::to_string(ntfsCount_) + "...");
    } else if (name == "extX")
        status(logical ? "found extx..." : "found ext2...");
    else if (name == "Unknown")
        status("found UNKNOWN...");
    VolumeInfo v;
    v.fsName = name;
    v.startSector = start;
    v.sizeText = std::to_string(count / 2048) + "   MB";
    add(v);
}

int Partition::scanMbr(readWriteInterface& reader) {
    uint8_t mbr[512];
    if (!reader.readAt(0, mbr, sizeof mbr))
        return errorOf(reader);
    for (int i = 0; i < 4 && !stopRequested; ++i) {
        TableEntry e = tableEntry(mbr, i);
        if (e.type == 0 || e.count == 0)
            continue;  // an empty slot, not the end of the table
        if (isExtendedType(e.type)) {
            if (int rc = walkExtended(reader, e.first))
                return rc;
            continue;
        }
        addMbrVolume(reader, e.type, e.first, e.count, false);
    }
    return 0;
}

int Partition::walkExtended(readWriteInterface& reader, uint32_t extendedBase) {
    reader.baseOffset = 0;
    std::set<uint64_t> visited;
    uint64_t ebr = extendedBase;
    for (int links = 0; links < kMaxExtendedLinks && !stopRequested; ++links) {
        if (!visited.insert(ebr).second)
            break;  // a loop in the chain
        uint8_t table[512];
        if (!reader.readAt(int64_t(ebr) * kSectorSize, table, sizeof table))
            return errorOf(reader);
        uint64_t next = 0;
        for (int i = 0; i < 4; ++i) {
            TableEntry e = tableEntry(table, i);
            if (e.type == 0 || e.count == 0)
                continue;
            if (isExtendedType(e.type)) {
                if (next == 0)
                    next = uint64_t(extendedBase) + e.first;
                continue;
            }
            addMbrVolume(reader, e.type, int64_t(ebr + e.first), e.count, true);
        }
        if (next == 0)
            break;
        ebr = next;
    }
    return 0;
}

} // namespace velmora
