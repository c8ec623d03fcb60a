#include "fs/ntfs/Lznt1.h"

#include <cstring>

namespace velmora {

size_t lznt1Decompress(Bytes in, uint8_t* out, size_t capacity, bool* ok) {
    size_t ip = 0, op = 0;
    bool good = true;
    while (ip + 1 < in.size()) {
        uint16_t header = le16(in.data() + ip);
        if (header == 0)
            break;  // end of the unit's data
        size_t size = size_t(header & 0x0FFF) + 1;
        size_t chunkEnd = ip + 2 + size;
        if (chunkEnd > in.size()) {
            good = false;
            break;
        }
        ip += 2;
        size_t chunkStart = op;
        if (!(header & 0x8000)) {
            // Stored as is.
            if (op + size > capacity) {
                good = false;
                break;
            }
            std::memcpy(out + op, in.data() + ip, size);
            op += size;
            ip = chunkEnd;
        } else {
            while (ip < chunkEnd && good) {
                uint8_t flags = in[ip++];
                for (int bit = 0; bit < 8 && ip < chunkEnd; ++bit, flags >>= 1) {
                    if (!(flags & 1)) {
                        if (op >= capacity) {
                            good = false;
                            break;
                        }
                        out[op++] = in[ip++];
                        continue;
                    }
                    if (ip + 2 > chunkEnd) {
                        good = false;
                        break;
                    }
                    uint16_t token = le16(in.data() + ip);
                    ip += 2;
                    size_t pos = op - chunkStart;
                    if (pos == 0) {
                        good = false;  // a reference before any byte of the chunk
                        break;
                    }
                    unsigned shift = 0;
                    for (size_t p = pos - 1; p >= 0x10; p >>= 1)
                        ++shift;
                    size_t offset = size_t(token >> (12 - shift)) + 1;
                    size_t length = size_t(token & (0x0FFF >> shift)) + 3;
                    if (offset > pos) {
                        good = false;
                        break;
                    }
                    for (size_t k = 0; k < length; ++k) {
                        if (op >= capacity) {
                            good = false;
                            break;
                        }
                        out[op] = out[op - offset];
                        ++op;
                    }
                    if (!good)
                        break;
                }
            }
            if (!good)
                break;
            ip = chunkEnd;
        }
        // A short chunk still stands for a whole 4096 bytes when more data follows.
        if (ip + 1 < in.size() && le16(in.data() + ip) != 0) {
            size_t full = chunkStart + kLznt1ChunkBytes;
            if (full > capacity)
                full = capacity;
            if (op < full) {
                std::memset(out + op, 0, full - op);
                op = full;
            }
        }
    }
    if (ok)
        *ok = good;
    return op;
}

} // namespace velmora
