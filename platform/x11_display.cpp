#include "platform/x11_display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/udp_socket.h"

namespace orvandel {
namespace {
constexpr int kPollMs = 50;

bool Connects(const std::string& name, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;  // abstract names start with a NUL
    if (name.size() + offset >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + offset, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                               name.size() + (abstract ? 0 : 1));
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        return false;
    }
    return ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0;
}
}  // namespace

std::optional<std::string> X11SocketPath(std::string_view display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view host = display.substr(0, colon);
    if (!host.empty() && host != "unix") {
        return std::nullopt;
    }
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.size() > 5 ||
        number.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return "/tmp/.X11-unix/X" + std::string(number);
}

bool UnixSocketAccepts(const std::string& path) {
    return Connects(path, true) || Connects(path, false);
}

bool WaitForUnixSocket(const std::string& path, int timeout_ms, Clock& clock) {
    const std::int64_t end = clock.NowMs() + timeout_ms;
    while (!UnixSocketAccepts(path)) {
        const std::int64_t left = end - clock.NowMs();
        if (left <= 0) {
            return false;
        }
        clock.SleepMs(static_cast<int>(std::min<std::int64_t>(left, kPollMs)));
    }
    return true;
}

}  // namespace orvandel
