// The machine-wide "already running" lock: an abstract-namespace Unix socket bound under the
// lock's name. Any user's process on the machine sees it, and the kernel drops it when the
// holder dies, however it dies.
#pragma once

#include <string>

namespace velmora {

inline constexpr const char* kInstanceLockName = "Global\\{QUORLANDE}";

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const std::string& name = kInstanceLockName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Another process (of any user) holds the name.
    bool alreadyExists() const { return alreadyExists_; }
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool alreadyExists_ = false;
};

} // namespace velmora
