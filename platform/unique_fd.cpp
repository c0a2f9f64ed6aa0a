#include "platform/unique_fd.h"

#include <unistd.h>

namespace orvandel {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::Reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool UniqueFd::Close() {
    const int fd = Release();
    return fd >= 0 && ::close(fd) == 0;
}

}  // namespace orvandel
