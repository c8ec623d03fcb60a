#include "disk/readWriteInterface.h"
#include "host/Host.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

FileReadSeek::~FileReadSeek() {
    if (handle >= 0)
        ::close(handle);
}

bool FileReadSeek::open(const std::string& path) {
    if (handle >= 0) {
        ::close(handle);
        handle = -1;
    }
    // Read-only, always: the source is never written, not even its access time if we can help it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        lastError = errno;
        if (dialogs_)
            dialogs_->showMessage("invalid handle ...");
        return false;
    }
    handle = fd;
    length = 0;
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        if (S_ISBLK(st.st_mode)) {
            blockDevice_ = true;
            uint64_t bytes = 0;
            if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0)
                length = bytes;
        } else if (S_ISREG(st.st_mode)) {
            length = uint64_t(st.st_size);
        } else {
            off_t end = ::lseek(fd, 0, SEEK_END);
            if (end > 0)
                length = uint64_t(end);
        }
    }
    position_ = 0;
    return true;
}

bool FileReadSeek::seek(uint32_t low, int32_t high, int origin) {
    if (handle < 0 || origin != 0) {
        lastError = EINVAL;
        return false;
    }
    int64_t off = int64_t((uint64_t(uint32_t(high)) << 32) | low);
    int64_t pos = 0;
    if (__builtin_add_overflow(off, baseOffset, &pos) || pos < 0) {
        lastError = EINVAL;
        return false;
    }
    position_ = pos;
    return true;
}

bool FileReadSeek::read(void* destination, uint32_t count) {
    if (count == 0)
        return true;
    if (handle < 0) {
        lastError = EBADF;
        return false;
    }
    auto* d = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(handle, d + done, count - done, position_ + int64_t(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastError = errno;
            break;
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    if (done == 0)
        return false;  // destination untouched
    if (done < count)
        std::memset(d + done, 0, count - done);
    position_ += int64_t(done);
    return done == count;
}

} // namespace velmora
