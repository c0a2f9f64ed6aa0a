#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace orvandel {

namespace {

bool ToAddress(const std::string& text, in_addr& out) {
    return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

bool SetInt(int fd, int level, int option, int value) {
    return setsockopt(fd, level, option, &value, sizeof value) == 0;
}

void AskReceiveBuffer(int fd, int bytes) {
    if (bytes <= 0) {
        return;
    }
    // The forced form passes net.core.rmem_max when we may; otherwise the kernel
    // caps the request.
    if (!SetInt(fd, SOL_SOCKET, SO_RCVBUFFORCE, bytes)) {
        SetInt(fd, SOL_SOCKET, SO_RCVBUF, bytes);
    }
}

UniqueFd OpenBound(const in_addr& address, std::uint16_t port, int receive_buffer,
                   int* error = nullptr) {
    // errno is taken before the descriptor's close can change it.
    auto fail = [error] {
        if (error != nullptr) {
            *error = errno;
        }
        return UniqueFd();
    };
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (!fd.Valid() || !SetInt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, 1)) {
        return fail();
    }
    AskReceiveBuffer(fd.Get(), receive_buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr = address;
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return fail();
    }
    return fd;
}

}  // namespace

UniqueFd OpenGroupSocket(const std::string& adapter, std::uint16_t port, const std::string& group,
                         int receive_buffer, int* error) {
    in_addr adapter_address{};
    in_addr group_address{};
    if (!ToAddress(adapter, adapter_address) || !ToAddress(group, group_address)) {
        return {};
    }
    UniqueFd fd = OpenBound(group_address, port, receive_buffer, error);
    if (!fd.Valid()) {
        return {};
    }
    // Without this, a socket joined on one adapter also gets every other adapter's
    // group traffic.
    SetInt(fd.Get(), IPPROTO_IP, IP_MULTICAST_ALL, 0);
    ip_mreq join{};
    join.imr_multiaddr = group_address;
    join.imr_interface = adapter_address;
    // A failed join leaves a socket that receives nothing; it is kept all the same.
    setsockopt(fd.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join);
    return fd;
}

UniqueFd OpenAdapterSocket(const std::string& adapter, std::uint16_t port, int receive_buffer,
                           int* error) {
    in_addr adapter_address{};
    if (!ToAddress(adapter, adapter_address)) {
        return {};
    }
    UniqueFd fd = OpenBound(adapter_address, port, receive_buffer, error);
    if (fd.Valid()) {
        setsockopt(fd.Get(), IPPROTO_IP, IP_MULTICAST_IF, &adapter_address, sizeof adapter_address);
    }
    return fd;
}

UniqueFd OpenBroadcastSocket(const std::string& address, std::uint16_t port, int receive_buffer) {
    in_addr bound{};
    if (!ToAddress(address, bound)) {
        return {};
    }
    UniqueFd fd = OpenBound(bound, port, receive_buffer);
    // Without the arriving interface a broadcast from a link that is not searched
    // could not be told apart, so the socket is useless without it.
    if (fd.Valid() && !SetInt(fd.Get(), IPPROTO_IP, IP_PKTINFO, 1)) {
        return {};
    }
    return fd;
}

UniqueFd DuplicateFd(const UniqueFd& fd) {
    if (!fd.Valid()) {
        return {};
    }
    return UniqueFd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 0));
}

bool AllowBroadcast(const UniqueFd& fd) {
    const int on = 1;
    return fd.Valid() && ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool SendDatagram(int fd, const std::string& address, std::uint16_t port, std::string_view bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (fd < 0 || !ToAddress(address, to.sin_addr)) {
        return false;
    }
    ssize_t sent;
    do {
        sent = ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(bytes.size());
}

SendResult TrySendDatagram(int fd, const std::string& address, std::uint16_t port,
                           std::string_view bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (fd < 0 || !ToAddress(address, to.sin_addr)) {
        errno = EBADF;
        return SendResult::kRefused;
    }
    for (;;) {
        const ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent == static_cast<ssize_t>(bytes.size())) {
            return SendResult::kSent;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            return SendResult::kFull;
        }
        return SendResult::kRefused;
    }
}

bool WaitWritable(int fd, int timeout_ms) {
    pollfd ready{fd, POLLOUT, 0};
    return ::poll(&ready, 1, timeout_ms) > 0 && (ready.revents & POLLOUT) != 0;
}

void AskSendBuffer(int fd, int bytes) {
    if (!SetInt(fd, SOL_SOCKET, SO_SNDBUFFORCE, bytes)) {
        SetInt(fd, SOL_SOCKET, SO_SNDBUF, bytes);
    }
}

ReadResult ReadDatagram(int fd, std::span<char> buffer, std::size_t& length) {
    for (;;) {
        // MSG_TRUNC makes a UDP read return the datagram's real length, so a
        // datagram larger than the buffer is recognised instead of stored cut.
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n >= 0) {
            if (static_cast<std::size_t>(n) > buffer.size()) {
                return ReadResult::kTooLong;
            }
            length = static_cast<std::size_t>(n);
            return ReadResult::kDatagram;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadResult::kNothing;
        }
        return ReadResult::kError;
    }
}

ReadResult ReadDatagramsFrom(int fd, std::span<char> buffer, std::size_t slot_size,
                             std::span<DatagramSlot> slots, std::size_t& count) {
    constexpr std::size_t kMaxBatch = 64;
    const std::size_t n = std::min(
        {slots.size(), kMaxBatch, slot_size == 0 ? std::size_t{0} : buffer.size() / slot_size});
    if (n == 0) {
        return ReadResult::kNothing;
    }
    using Control = std::array<char, CMSG_SPACE(sizeof(in_pktinfo))>;
    // Only the first n entries are used, and each is cleared here: zeroing all
    // 64 would be several kilobytes per call, a call per datagram in one-per-pass
    // mode.
    std::array<sockaddr_in, kMaxBatch> from;
    std::array<iovec, kMaxBatch> data;
    alignas(cmsghdr) std::array<Control, kMaxBatch> control;
    std::array<mmsghdr, kMaxBatch> messages;
    for (std::size_t i = 0; i < n; ++i) {
        from[i] = {};
        control[i] = {};
        messages[i] = {};
        data[i] = {buffer.data() + i * slot_size, slot_size};
        msghdr& message = messages[i].msg_hdr;
        message.msg_name = &from[i];
        message.msg_namelen = sizeof from[i];
        message.msg_iov = &data[i];
        message.msg_iovlen = 1;
        message.msg_control = control[i].data();
        message.msg_controllen = control[i].size();
    }
    for (;;) {
        const int got = ::recvmmsg(fd, messages.data(), static_cast<unsigned>(n),
                                   MSG_DONTWAIT | MSG_TRUNC, nullptr);
        if (got > 0) {
            count = static_cast<std::size_t>(got);
            for (std::size_t i = 0; i < count; ++i) {
                DatagramSlot& slot = slots[i];
                msghdr& message = messages[i].msg_hdr;
                slot.too_long = messages[i].msg_len > slot_size;
                slot.length = slot.too_long ? 0 : messages[i].msg_len;
                slot.origin.source = ntohl(from[i].sin_addr.s_addr);
                slot.origin.interface_index = 0;
                for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr;
                     c = CMSG_NXTHDR(&message, c)) {
                    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                        in_pktinfo info{};
                        std::memcpy(&info, CMSG_DATA(c), sizeof info);
                        slot.origin.interface_index = info.ipi_ifindex;
                    }
                }
            }
            return ReadResult::kDatagram;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return ReadResult::kNothing;
        }
        return ReadResult::kError;
    }
}

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
    AllowBroadcast(scratch);
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

bool WaitReadable(std::span<const int> fds, std::span<bool> ready, int timeout_ms) {
    std::array<pollfd, 8> polled{};
    const std::size_t count = std::min(fds.size(), polled.size());
    for (std::size_t i = 0; i < count; ++i) {
        polled[i].fd = fds[i];  // poll ignores negative descriptors
        polled[i].events = POLLIN;
    }
    const int rc = ::poll(polled.data(), count, timeout_ms);
    for (std::size_t i = 0; i < ready.size(); ++i) {
        ready[i] = rc > 0 && i < count && (polled[i].revents & (POLLIN | POLLERR)) != 0;
    }
    return rc >= 0 || errno == EINTR;
}

}  // namespace orvandel
