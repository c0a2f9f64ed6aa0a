// Fakes and loopback set-up shared by the transport and search engine tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_transport.h"
#include "discovery/found_device.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/udp_socket.h"

namespace orvandel::test {

class FixedAdapters final : public AdapterSource {
public:
    explicit FixedAdapters(std::vector<AdapterRecord> list = {}) : list_(std::move(list)) {}
    std::vector<AdapterRecord> List() override { return list_; }

private:
    std::vector<AdapterRecord> list_;
};

// Loopback stands in for an adapter: the adapter is 127.0.0.2 and the "group" is the
// loopback address 127.0.0.3, so every datagram of these tests stays on this host.
inline constexpr const char* kAdapter = "127.0.0.2";
inline constexpr const char* kGroup = "127.0.0.3";

inline AdapterRecord LoopbackAdapter() {
    AdapterRecord r;
    r.name = "lo";
    r.description = "lo";
    r.hw_addr_len = 6;
    r.ipv4 = {kAdapter};
    r.up = true;
    r.running = true;
    return r;
}

// A port nobody uses right now, so that tests can run in parallel.
inline std::uint16_t FreePort() {
    UniqueFd probe = OpenAdapterSocket(kAdapter, 0, 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    return ntohs(bound.sin_port);
}

inline TransportOptions LoopbackOptions() {
    TransportOptions options;
    options.port = FreePort();
    options.group = kGroup;
    return options;
}

// Sends datagrams to the adapter's port, as a device answering by unicast would.
class Device {
public:
    explicit Device(std::uint16_t port, const char* from = "127.0.0.1")
        : port_(port), socket_(OpenAdapterSocket(from, 0, 0)) {}
    void Send(std::string_view bytes, const char* to = kAdapter) {
        SendDatagram(socket_.Get(), to, port_, bytes);
    }

private:
    std::uint16_t port_;
    UniqueFd socket_;
};

// Counts the datagrams sent to the loopback "group". Opened after the transport's
// receive side, it is the socket bound last, so the kernel hands it every datagram
// to that unicast address instead of the transport's group socket.
class GroupListener {
public:
    explicit GroupListener(std::uint16_t port) : socket_(OpenBroadcastLikeGroup(port)) {}
    // Reads what is pending; returns every datagram received so far.
    const std::vector<std::string>& Received() {
        std::array<char, 2048> buffer{};
        std::size_t length = 0;
        while (ReadDatagram(socket_.Get(), buffer, length) == ReadResult::kDatagram) {
            received_.emplace_back(buffer.data(), length);
        }
        return received_;
    }

private:
    static UniqueFd OpenBroadcastLikeGroup(std::uint16_t port) {
        return OpenAdapterSocket(kGroup, port, 0);
    }
    UniqueFd socket_;
    std::vector<std::string> received_;
};

// Tells when nothing listens on address:port any more: a datagram sent there is
// then refused (the kernel's port unreachable, which a connected socket reports
// as ECONNREFUSED). A positive sign that a receiver closed its socket.
class RefusalProbe {
public:
    RefusalProbe(const char* address, std::uint16_t port)
        : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        ::connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    // Sends one datagram (not a reply: no brace) and reports a refusal of this
    // or an earlier one.
    bool Refused() {
        if (::send(socket_.Get(), "probe", 5, 0) < 0 && errno == ECONNREFUSED) {
            return true;
        }
        char byte = 0;
        return ::recv(socket_.Get(), &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNREFUSED;
    }

private:
    UniqueFd socket_;
};

// Polls `done` for up to `limit_ms` of real time.
inline bool WaitFor(const std::function<bool()>& done, int limit_ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The listed records of found devices, in their order.
inline std::vector<DeviceInfo> Records(const std::vector<FoundDevice>& found) {
    std::vector<DeviceInfo> out;
    for (const FoundDevice& device : found) {
        out.push_back(device.record);
    }
    return out;
}

}  // namespace orvandel::test
