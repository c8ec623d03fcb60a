#include "fs/ntfs/NtfsRecord.h"

namespace velmora::ntfsfmt {

RecordHeader decodeRecordHeader(Bytes r) {
    RecordHeader h;
    h.isFile = bytesEqual(r, 0, "FILE");
    h.usaOffset = le16(r, 0x04);
    h.usaCount = le16(r, 0x06);
    h.sequence = le16(r, 0x10);
    h.firstAttribute = le16(r, 0x14);
    h.flags = le16(r, 0x16);
    h.usedBytes = le32(r, 0x18);
    h.baseReference = le64(r, 0x20);
    // Records of NTFS 3.1 keep their own number at 0x2C, before the update sequence array.
    h.hasRecordNumber = h.usaOffset >= 0x30 && fits(r, 0x2C, 4);
    h.recordNumber = h.hasRecordNumber ? le32(r, 0x2C) : 0;
    return h;
}

void applyFixupsInPlace(std::span<uint8_t> r) {
    size_t u = le16(Bytes(r), 0x04);
    size_t n = le16(Bytes(r), 0x06);
    for (size_t k = 1; k < n; ++k) {
        size_t target = 512 * k - 2;
        size_t source = u + 2 * k;
        if (target + 2 > r.size() || source + 2 > r.size())
            break;
        r[target] = r[source];
        r[target + 1] = r[source + 1];
    }
}

std::vector<uint8_t> applyFixups(Bytes record) {
    std::vector<uint8_t> copy(record.begin(), record.end());
    applyFixupsInPlace(copy);
    return copy;
}

} // namespace velmora::ntfsfmt
