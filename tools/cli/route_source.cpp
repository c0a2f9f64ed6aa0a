#include "tools/cli/route_source.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/udp_socket.h"

namespace orvandel::cli {

std::string RouteSource(const std::string& address, std::uint16_t port, std::string& error) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) {
        error = "not an IPv4 address";
        return {};
    }
    UniqueFd scratch(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!scratch.Valid()) {
        error = std::strerror(errno);
        return {};
    }
    // A subnet broadcast address is refused by connect() without it.
    const int on = 1;
    ::setsockopt(scratch.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (::connect(scratch.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        error = std::strerror(errno);
        return {};
    }
    sockaddr_in from{};
    socklen_t length = sizeof from;
    char text[INET_ADDRSTRLEN] = {};
    if (::getsockname(scratch.Get(), reinterpret_cast<sockaddr*>(&from), &length) != 0 ||
        ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text) == nullptr) {
        error = std::strerror(errno);
        return {};
    }
    return text;
}

}  // namespace orvandel::cli
