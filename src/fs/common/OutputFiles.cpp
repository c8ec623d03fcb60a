#include "fs/common/OutputFiles.h"
#include "fs/common/OutputNames.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::fs {

namespace {

std::string errnoText(const std::string& what, int err) { return what + ": " + std::strerror(err); }

timespec toTimespec(const std::optional<UnixTime>& t) {
    timespec ts{};
    if (!t) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    ts.tv_sec = time_t(t->seconds);
    ts.tv_nsec = long(t->nanoseconds);
    return ts;
}

} // namespace

std::optional<UnixTime> fromFileTime(uint64_t ft) {
    if (ft == 0)
        return std::nullopt;
    constexpr int64_t kEpochDelta = 11644473600LL; // seconds from 1601 to 1970
    int64_t secs = int64_t(ft / 10000000ULL) - kEpochDelta;
    uint32_t ns = uint32_t(ft % 10000000ULL) * 100u;
    return UnixTime{secs, ns};
}

std::string isoUtcText(const UnixTime& t) {
    time_t s = time_t(t.seconds);
    tm parts{};
    if (!gmtime_r(&s, &parts))
        return "";
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &parts);
    std::string out = buf;
    if (t.nanoseconds) {
        char frac[16];
        std::snprintf(frac, sizeof frac, ".%09u", t.nanoseconds);
        out += frac;
    }
    return out + "Z";
}

bool setFileTimes(int fd, const std::optional<UnixTime>& access, const std::optional<UnixTime>& modification) {
    timespec ts[2] = {toTimespec(access), toTimespec(modification)};
    return ::futimens(fd, ts) == 0;
}

bool setFileTimesAt(int dirFd, const std::string& name, const std::optional<UnixTime>& access,
                    const std::optional<UnixTime>& modification) {
    timespec ts[2] = {toTimespec(access), toTimespec(modification)};
    return ::utimensat(dirFd, name.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

bool writeAllAt(int fd, const void* data, size_t size, uint64_t offset) {
    auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

OutputFolder::~OutputFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

OutputFolder::OutputFolder(OutputFolder&& o) noexcept : fd_(o.fd_), path_(std::move(o.path_)) { o.fd_ = -1; }

OutputFolder& OutputFolder::operator=(OutputFolder&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = o.fd_;
        path_ = std::move(o.path_);
        o.fd_ = -1;
    }
    return *this;
}

std::optional<OutputFolder> OutputFolder::openRoot(const std::filesystem::path& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // Why the folder could not be made says more than why it cannot be opened.
        if (error)
            *error = ec ? "cannot create " + dir.string() + ": " + ec.message()
                        : errnoText("cannot open " + dir.string(), errno);
        return std::nullopt;
    }
    return OutputFolder(fd, dir);
}

std::optional<OutputFolder> OutputFolder::subFolder(const std::string& name, std::string* error) const {
    std::string safe = safeName(name);
    // A file (or link) of that name already there: the folder gets a numbered name instead.
    for (unsigned n = 1; n < 1000; ++n) {
        std::string candidate = n == 1 ? safe : numberedName(safe, n);
        if (::mkdirat(fd_, candidate.c_str(), 0777) != 0 && errno != EEXIST) {
            if (error)
                *error = errnoText("cannot create folder " + (path_ / candidate).string(), errno);
            return std::nullopt;
        }
        int fd = ::openat(fd_, candidate.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
            return OutputFolder(fd, path_ / candidate);
        if (errno != ENOTDIR && errno != ELOOP) {
            if (error)
                *error = errnoText("cannot open folder " + (path_ / candidate).string(), errno);
            return std::nullopt;
        }
    }
    if (error)
        *error = "cannot create folder " + (path_ / safe).string();
    return std::nullopt;
}

int OutputFolder::createNewFile(const std::string& name, std::string* usedName, std::string* error) const {
    std::string safe = safeName(name);
    for (unsigned n = 1; n < 100000; ++n) {
        std::string candidate = n == 1 ? safe : numberedName(safe, n);
        int fd = ::openat(fd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (usedName)
                *usedName = candidate;
            return fd;
        }
        if (errno != EEXIST) {
            if (error)
                *error = errnoText("cannot create " + (path_ / candidate).string(), errno);
            return -1;
        }
    }
    if (error)
        *error = "too many files named " + (path_ / safe).string();
    return -1;
}

} // namespace velmora::fs
