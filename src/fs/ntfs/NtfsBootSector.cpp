#include "fs/ntfs/NtfsBootSector.h"

namespace velmora::ntfsfmt {

uint64_t clusterSizeFrom(uint16_t bytesPerSector, uint8_t spc) {
    uint64_t sectors = 0;
    if (spc == 0)
        return 0;
    if (spc <= 0x80) {
        sectors = spc;
    } else {
        unsigned shift = 256u - spc;
        if (shift > 31)
            return 0;
        sectors = uint64_t(1) << shift;
    }
    uint64_t bytes = uint64_t(bytesPerSector) * sectors;
    if (bytes < 256 || bytes > kMaxClusterBytes || (bytes & (bytes - 1)) != 0)
        return 0;
    return bytes;
}

BootSector decodeBootSector(Bytes s) {
    BootSector b;
    b.valid = bytesEqual(s, 3, "NTFS");
    b.bytesPerSector = le16(s, 0x0B);
    b.sectorsPerClusterField = u8(s, 0x0D);
    b.clusterBytes = clusterSizeFrom(b.bytesPerSector, b.sectorsPerClusterField);
    b.totalSectors = le64(s, 0x28);
    b.mftCluster = le64(s, 0x30);
    b.mftMirrorCluster = le64(s, 0x38);
    // Record size: a positive byte counts clusters, a negative one is a power of two in bytes.
    int8_t perRecord = int8_t(u8(s, 0x40));
    uint64_t record = 0;
    if (perRecord > 0)
        record = b.clusterBytes * uint64_t(perRecord);
    else if (perRecord < 0 && perRecord >= -31)
        record = uint64_t(1) << unsigned(-perRecord);
    if (record == 1024 || record == 2048 || record == 4096)
        b.recordBytes = uint32_t(record);
    return b;
}

} // namespace velmora::ntfsfmt
