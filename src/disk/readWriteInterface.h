// Byte-addressed, read-only access to a disk, volume or image, relative to a movable base.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace velmora {

class UserDialogs;

constexpr int64_t kSectorSize = 512;

class readWriteInterface {
public:
    virtual ~readWriteInterface() = default;

    virtual bool open(const std::string& path) = 0;

    // Reads `count` bytes at the current position. False when fewer were delivered; then the
    // delivered bytes are followed by zeros up to `count`, and when nothing at all was
    // delivered the destination is left untouched. A read of 0 bytes is true.
    virtual bool read(void* destination, uint32_t count) {
        (void)destination;
        (void)count;
        return true;
    }

    // Positions at the signed 64-bit offset (high:low) plus baseOffset. Origin is always 0
    // (from the beginning); other origins are refused.
    virtual bool seek(uint32_t low, int32_t high, int origin) {
        (void)low;
        (void)high;
        (void)origin;
        return true;
    }

    bool seek(int64_t offset) {
        return seek(uint32_t(uint64_t(offset) & 0xFFFFFFFFu), int32_t(uint64_t(offset) >> 32), 0);
    }

    // seek + read as one unit, safe to call from several threads.
    bool readAt(int64_t offset, void* destination, uint32_t count) {
        std::lock_guard lock(unitMutex_);
        if (!seek(offset))
            return false;
        return read(destination, count);
    }

    int64_t totalSectors() const { return int64_t(length / uint64_t(kSectorSize)); }

    int64_t baseOffset = 0;  // bytes added to every seek
    uint64_t length = 0;     // exact size of the opened object, 0 when unknown
    int lastError = 0;       // errno of the last failure

private:
    std::recursive_mutex unitMutex_;
};

// The reader for files and block devices. Always opened O_RDONLY.
class FileReadSeek final : public readWriteInterface {
public:
    explicit FileReadSeek(UserDialogs* dialogs = nullptr) : dialogs_(dialogs) {}
    ~FileReadSeek() override;
    FileReadSeek(const FileReadSeek&) = delete;
    FileReadSeek& operator=(const FileReadSeek&) = delete;

    bool open(const std::string& path) override;
    bool read(void* destination, uint32_t count) override;
    bool seek(uint32_t low, int32_t high, int origin) override;
    using readWriteInterface::seek;

    bool isOpen() const { return handle >= 0; }
    bool isBlockDevice() const { return blockDevice_; }

    int handle = -1;

private:
    UserDialogs* dialogs_;
    int64_t position_ = 0;
    bool blockDevice_ = false;
};

} // namespace velmora
