#include "app/SingleInstance.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora {

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
    // Close-on-exec: a browser started from the program must not inherit the lock.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return; // no lock to be had: run unguarded rather than not at all
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string prefixed = "velmora:" + name;
    size_t len = std::min(prefixed.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, prefixed.data(), len); // sun_path[0] = 0: abstract namespace
    socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + len);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) == 0) {
        fd_ = fd;
        return;
    }
    alreadyExists_ = errno == EADDRINUSE;
    ::close(fd);
}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace velmora
