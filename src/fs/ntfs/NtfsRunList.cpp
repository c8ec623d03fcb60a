#include "fs/ntfs/NtfsRunList.h"

namespace velmora {

std::vector<NtfsRun> decodeRunList(Bytes b, uint64_t limit, uint64_t firstVcn) {
    std::vector<NtfsRun> runs;
    size_t pos = 0;
    int64_t lcn = 0;
    uint64_t total = 0;
    while (pos < b.size()) {
        uint8_t h = b[pos];
        unsigned lenSize = h & 0x0F;
        unsigned offSize = h >> 4;
        if (lenSize == 0)
            break;
        if (lenSize > 8 || offSize > 8 || !fits(b, pos + 1, lenSize + offSize))
            break;
        uint64_t length = 0;
        for (unsigned i = 0; i < lenSize; ++i)
            length |= uint64_t(b[pos + 1 + i]) << (8 * i);
        int64_t delta = 0;
        if (offSize > 0) {
            uint64_t raw = 0;
            for (unsigned i = 0; i < offSize; ++i)
                raw |= uint64_t(b[pos + 1 + lenSize + i]) << (8 * i);
            if (offSize < 8 && (raw >> (8 * offSize - 1)) & 1)
                raw |= ~uint64_t(0) << (8 * offSize);  // sign-extend from the last byte's top bit
            delta = int64_t(raw);
        }
        pos += 1 + lenSize + offSize;

        NtfsRun run;
        run.count = length;
        if (offSize == 0) {
            run.sparse = true;
            run.lcn = 0;
        } else {
            if (__builtin_add_overflow(lcn, delta, &lcn))
                break;
            run.lcn = lcn;
        }
        uint64_t newTotal = 0;
        if (__builtin_add_overflow(total, length, &newTotal) || newTotal > limit)
            break;  // totals only grow: nothing after this can fit either
        run.vcn = firstVcn + total;
        total = newTotal;
        if (length > 0)
            runs.push_back(run);
    }
    return runs;
}

} // namespace velmora
