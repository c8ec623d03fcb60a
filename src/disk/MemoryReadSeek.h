// A reader over bytes in memory, for tests and fuzzers. Same contract as FileReadSeek.
#pragma once

#include "disk/readWriteInterface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmora {

class MemoryReadSeek final : public readWriteInterface {
public:
    MemoryReadSeek() = default;
    explicit MemoryReadSeek(std::vector<uint8_t> bytes) : data(std::move(bytes)) { length = data.size(); }

    bool open(const std::string&) override {
        length = data.size();
        return true;
    }
    bool seek(uint32_t low, int32_t high, int origin) override {
        if (origin != 0)
            return false;
        int64_t off = int64_t((uint64_t(uint32_t(high)) << 32) | low);
        int64_t pos = 0;
        if (__builtin_add_overflow(off, baseOffset, &pos) || pos < 0)
            return false;
        position_ = pos;
        return true;
    }
    using readWriteInterface::seek;
    bool read(void* destination, uint32_t count) override {
        if (count == 0)
            return true;
        uint64_t size = std::min<uint64_t>(data.size(), limit);
        if (uint64_t(position_) >= size)
            return false;
        uint64_t n = std::min<uint64_t>(count, size - uint64_t(position_));
        auto* d = static_cast<uint8_t*>(destination);
        std::memcpy(d, data.data() + position_, n);
        std::memset(d + n, 0, count - n);
        position_ += int64_t(n);
        ++reads;
        return n == count;
    }

    std::vector<uint8_t> data;
    uint64_t limit = UINT64_MAX;  // pretend the medium ends here (short-read tests)
    int reads = 0;

private:
    int64_t position_ = 0;
};

} // namespace velmora
