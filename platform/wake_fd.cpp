#include "platform/wake_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace orvandel {

WakeFd::WakeFd() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_fd.Valid()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

void WakeFd::Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_fd.Get(), &one, sizeof one);
}

void WakeFd::Clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_fd.Get(), &count, sizeof count);
}

}  // namespace orvandel
