#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>

namespace orvandel {

AdapterSource::~AdapterSource() = default;

namespace {

// Linux has no adapter description; the alias set with `ip link set NAME alias`
// is the closest thing.
std::string ReadAlias(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return {};
    }
    std::ifstream in("/sys/class/net/" + name + "/ifalias");
    std::string alias;
    std::getline(in, alias);
    return alias;
}

int PrefixLength(const sockaddr* netmask) {
    if (netmask == nullptr || netmask->sa_family != AF_INET) {
        return 32;
    }
    sockaddr_in mask{};
    std::memcpy(&mask, netmask, sizeof mask);
    return std::popcount(ntohl(mask.sin_addr.s_addr));
}

class IfaddrsSource final : public AdapterSource {
public:
    std::vector<AdapterRecord> List() override {
        ifaddrs* raw = nullptr;
        if (getifaddrs(&raw) != 0) {
            return {};
        }
        std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> list(raw, &freeifaddrs);
        return AdaptersFromIfaddrs(list.get());
    }
};

}  // namespace

std::vector<AdapterRecord> AdaptersFromIfaddrs(const ifaddrs* list) {
    std::vector<AdapterRecord> out;
    auto record_for = [&out](std::string_view name) -> AdapterRecord& {
        auto it = std::find_if(out.begin(), out.end(),
                               [name](const AdapterRecord& r) { return r.name == name; });
        if (it != out.end()) {
            return *it;
        }
        AdapterRecord& r = out.emplace_back();
        r.name = std::string(name);
        return r;
    };
    for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_name == nullptr) {
            continue;
        }
        // An address added with a label is listed under "eth1:0"; it is eth1's.
        const std::string_view full(ifa->ifa_name);
        const bool labelled = full.find(':') != std::string_view::npos;
        AdapterRecord& r = record_for(full.substr(0, full.find(':')));
        if (!labelled) {
            r.up = (ifa->ifa_flags & IFF_UP) != 0;
            r.running = (ifa->ifa_flags & IFF_RUNNING) != 0;
        }
        r.loopback = r.loopback || (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        if (r.interface_index == 0) {
            r.interface_index = static_cast<int>(if_nametoindex(r.name.c_str()));
        }
        if (ifa->ifa_addr == nullptr) {
            continue;
        }
        if (ifa->ifa_addr->sa_family == AF_PACKET) {
            sockaddr_ll ll{};
            std::memcpy(&ll, ifa->ifa_addr, sizeof ll);
            r.hw_addr_len = ll.sll_halen;
            r.interface_index = ll.sll_ifindex;
        } else if (ifa->ifa_addr->sa_family == AF_INET) {
            sockaddr_in in{};
            std::memcpy(&in, ifa->ifa_addr, sizeof in);
            char text[INET_ADDRSTRLEN] = {};
            if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) != nullptr) {
                r.ipv4.emplace_back(text);
                r.prefix_length.push_back(PrefixLength(ifa->ifa_netmask));
            }
        }
    }
    for (AdapterRecord& r : out) {
        r.description = ReadAlias(r.name);
        if (r.description.empty()) {
            r.description = r.name;
        }
    }
    return out;
}

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr std::string_view kExcludedTexts[] = {"Microsoft TV/Video Connection", "Virtual"};

}  // namespace

AdapterSource& SystemAdapters() {
    static IfaddrsSource source;
    return source;
}

std::vector<AdapterVerdict> JudgeAdapters(const std::vector<AdapterRecord>& adapters) {
    std::vector<AdapterVerdict> out;
    out.reserve(adapters.size());
    for (const AdapterRecord& a : adapters) {
        AdapterVerdict& v = out.emplace_back();
        v.name = a.name;
        if (a.loopback) {
            v.reason = "loopback";
            continue;
        }
        if (!a.up) {
            v.reason = "interface is down";
            continue;
        }
        for (std::string_view excluded : kExcludedTexts) {
            if (!v.reason.empty()) {
                break;
            }
            const bool in_name = !a.name.empty() && Contains(a.name, excluded);
            // Without an alias the description is the name itself: then it is the
            // name that matched.
            const bool in_description = !a.description.empty() && a.description != a.name &&
                                        Contains(a.description, excluded);
            const std::string quoted = "\"" + std::string(excluded) + "\"";
            if (in_name && in_description) {
                v.reason = "name and description contain " + quoted;
            } else if (in_name) {
                v.reason = "name contains " + quoted;
            } else if (in_description) {
                v.reason = "description contains " + quoted;
            }
        }
        if (!v.reason.empty()) {
            continue;
        }
        if (a.hw_addr_len == 0) {
            v.reason = "no hardware address";
            continue;
        }
        auto it = std::find_if(a.ipv4.begin(), a.ipv4.end(), [](const std::string& ip) {
            return ip != "0.0.0.0" && ip != "127.0.0.1";
        });
        if (it == a.ipv4.end()) {
            v.reason = a.ipv4.empty() ? "no IPv4 address" : "only 0.0.0.0 or 127.0.0.1";
            continue;
        }
        v.address = *it;
        const auto at = static_cast<std::size_t>(it - a.ipv4.begin());
        v.prefix_length = at < a.prefix_length.size() ? a.prefix_length[at] : 32;
        v.interface_name = a.name;
        v.interface_index = a.interface_index;
    }
    return out;
}

std::vector<AdapterVerdict> UsableAdapters(const std::vector<AdapterRecord>& adapters) {
    std::vector<AdapterVerdict> out;
    for (AdapterVerdict& v : JudgeAdapters(adapters)) {
        if (!v.address.empty()) {
            out.push_back(std::move(v));
        }
    }
    return out;
}

std::string SubnetBroadcast(const std::string& address, int prefix_length) {
    in_addr in{};
    if (prefix_length < 1 || prefix_length > 30 || inet_pton(AF_INET, address.c_str(), &in) != 1) {
        return {};
    }
    const std::uint32_t host_bits = (1u << (32 - prefix_length)) - 1;
    in.s_addr = htonl(ntohl(in.s_addr) | host_bits);
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &in, text, sizeof text) != nullptr ? std::string(text)
                                                                 : std::string();
}

std::vector<std::string> UsableAdapterAddresses(const std::vector<AdapterRecord>& adapters) {
    std::vector<std::string> out;
    for (AdapterVerdict& v : UsableAdapters(adapters)) {
        out.push_back(std::move(v.address));
    }
    return out;
}

}  // namespace orvandel
