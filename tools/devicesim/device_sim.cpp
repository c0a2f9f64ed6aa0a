#include "tools/devicesim/device_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <queue>
#include <random>
#include <string_view>

#include "discovery/reply_parser.h"
#include "platform/udp_socket.h"

namespace orvandel::sim {

std::string MakeReply(const std::string& device_name, const std::string& model,
                      const std::string& mac, const std::string& ip) {
    return "{\n\t\"command\": \"browse\",\n\t\"device_name\": \"" + device_name +
           "\",\n\t\"org\": \"Orvandel Lab\",\n\t\"model\": \"" + model +
           "\",\n\t\"master_version\": \"1.0.7\",\n\t\"daily\": \"20261201\",\n"
           "\t\"uboot_version\": \"2.1\",\n\t\"sku\": 3,\n\t\"sub_model\": \"A\",\n"
           "\t\"nic\": [{\n\t\t\"enable\": 1,\n\t\t\"id\": \"" +
           mac + "\",\n\t\t\"dhcp\": \"on\",\n\t\t\"name\": \"eth0\",\n\t\t\"ip\": \"" + ip +
           "\",\n\t\t\"mask\": \"255.255.0.0\",\n\t\t\"gateway\": \"10.200.0.1\",\n"
           "\t\t\"dns\": \"10.200.0.1\"\n\t}],\n\t\"isConnected\": 1\n}";
}

std::vector<std::string> GenerateReplies(int count, int first) {
    std::vector<std::string> out;
    for (int n = first; n < first + count; ++n) {
        char name[32];
        char mac[32];
        char ip[32];
        std::snprintf(name, sizeof name, "Sim Device %04d", n);
        std::snprintf(mac, sizeof mac, "02:5a:%02x:%02x:%02x:%02x", (n >> 24) & 0xff,
                      (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff);
        std::snprintf(ip, sizeof ip, "10.200.%d.%d", (n / 250) % 256, n % 250 + 1);
        out.push_back(MakeReply(name, n % 2 == 0 ? "TR400" : "TR9100", mac, ip));
    }
    return out;
}

DeviceSimulator::DeviceSimulator(SimOptions options) : options_(std::move(options)) {}

std::string MakeJunk(SimOptions::Junk kind, std::size_t n) {
    switch (kind) {
        case SimOptions::Junk::kEmptyObject:
            return "{}";
        case SimOptions::Junk::kWithIp:
            return "{\"id\": \"02:ff:00:00:00:00\", \"ip\": \"10.250." +
                   std::to_string(n / 250 % 256) + "." + std::to_string(n % 250 + 1) +
                   "\", \"n\": " + std::to_string(n) + "}";
        case SimOptions::Junk::kMixed:
            break;
    }
    return n % 10 == 9 ? "junk datagram " + std::to_string(n)
                       : "{\"noise\": " + std::to_string(n) + ", \"pad\": \"" +
                             std::string(n % 200, 'x') + "\"}";
}

DeviceSimulator::~DeviceSimulator() {
    for (int fd : source_fds_) {
        ::close(fd);
    }
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
    }
    if (send_fd_ >= 0) {
        ::close(send_fd_);
    }
}

namespace {

// Bound to 0.0.0.0:port and joined to the group on `address`: takes the commands
// sent to the group, to the device's address and to a broadcast address.
UniqueFd OpenCommandSocket(const std::string& address, std::uint16_t port,
                           const std::string& group) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    ip_mreq join{};
    if (!fd.Valid() || setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
        inet_pton(AF_INET, group.c_str(), &join.imr_multiaddr) != 1 ||
        inet_pton(AF_INET, address.c_str(), &join.imr_interface) != 1 ||
        setsockopt(fd.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        return UniqueFd();
    }
    return fd;
}

}  // namespace

bool DeviceSimulator::Open() {
    UniqueFd listen =
        options_.listen_unicast
            ? OpenCommandSocket(options_.address, options_.port, options_.group)
            : OpenGroupSocket(options_.address, options_.port, options_.group, 1 << 20);
    // Port 0: the finder may run on the same address (one namespace), and a socket
    // bound to address:8888 here would take its unicast replies.
    UniqueFd send = OpenAdapterSocket(options_.address, 0, 0);
    if (!listen.Valid() || !send.Valid()) {
        return false;
    }
    const int off = 0;
    const int on = 1;
    std::vector<UniqueFd> sources;
    for (const std::string& address : options_.sources) {
        UniqueFd source = OpenAdapterSocket(address, 0, 0);
        if (!source.Valid()) {
            return false;
        }
        sources.push_back(std::move(source));
    }
    sources.insert(sources.begin(), std::move(send));
    for (const UniqueFd& fd : sources) {
        setsockopt(fd.Get(), IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off);
        setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    listen_fd_ = listen.Release();
    send_fd_ = sources.front().Release();
    for (std::size_t i = 1; i < sources.size(); ++i) {
        source_fds_.push_back(sources[i].Release());
    }
    return true;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Pending {
    SteadyClock::time_point due;
    std::size_t device;
    sockaddr_in to;
    bool operator>(const Pending& other) const { return due > other.due; }
};

}  // namespace

void DeviceSimulator::Run(const std::atomic<bool>& stop, int duration_ms) {
    if (listen_fd_ < 0) {
        return;
    }
    const auto start = SteadyClock::now();
    std::mt19937 random(options_.seed);
    std::uniform_int_distribution<int> delay(
        options_.min_delay_ms, std::max(options_.min_delay_ms, options_.max_delay_ms));
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending;
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(options_.port);
    inet_pton(AF_INET, options_.group.c_str(), &group.sin_addr);
    bool answered = false;
    char buffer[2048];

    sockaddr_in answer_to = group;
    const bool redirected =
        !options_.answer_to.empty() &&
        inet_pton(AF_INET, options_.answer_to.c_str(), &answer_to.sin_addr) == 1;
    auto send_to = [this](std::string_view bytes, const sockaddr_in& to, std::size_t device = 0) {
        const int fd = source_fds_.empty() ? send_fd_ : source_fds_[device % source_fds_.size()];
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    };

    while (!stop) {
        const auto now = SteadyClock::now();
        if (duration_ms >= 0 && now - start >= std::chrono::milliseconds(duration_ms)) {
            break;
        }
        while (!pending.empty() && pending.top().due <= now) {
            send_to(options_.replies[pending.top().device], pending.top().to, pending.top().device);
            ++replies_sent_;
            pending.pop();
        }
        int wait_ms = 20;
        if (!pending.empty()) {
            const auto until =
                std::chrono::duration_cast<std::chrono::milliseconds>(pending.top().due - now);
            wait_ms = std::clamp(static_cast<int>(until.count()), 0, wait_ms);
        }
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, wait_ms) <= 0) {
            continue;
        }
        for (;;) {
            sockaddr_in from{};
            socklen_t from_len = sizeof from;
            const ssize_t n = ::recvfrom(listen_fd_, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&from), &from_len);
            if (n < 0) {
                break;
            }
            if (std::string_view(buffer, static_cast<std::size_t>(n)) != kBrowseCommand) {
                continue;
            }
            ++commands_;
            if (options_.answer_once && answered) {
                continue;
            }
            if (options_.junk_count > 0 &&
                commands_ == static_cast<std::size_t>(options_.junk_on_command)) {
                for (std::size_t j = 0; j < options_.junk_count; ++j) {
                    send_to(MakeJunk(options_.junk, j), group);
                }
            }
            answered = true;
            const auto received = SteadyClock::now();
            for (std::size_t d = 0; d < options_.replies.size(); ++d) {
                const int ms =
                    d < options_.delays_ms.size() ? options_.delays_ms[d] : delay(random);
                pending.push(Pending{received + std::chrono::milliseconds(ms), d,
                                     redirected         ? answer_to
                                     : options_.unicast ? from
                                                        : group});
            }
        }
    }
}

}  // namespace orvandel::sim
