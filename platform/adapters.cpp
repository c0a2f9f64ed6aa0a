#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
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

class IfaddrsSource final : public AdapterSource {
public:
    std::vector<AdapterRecord> List() override {
        ifaddrs* raw = nullptr;
        if (getifaddrs(&raw) != 0) {
            return {};
        }
        std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> list(raw, &freeifaddrs);
        std::vector<AdapterRecord> out;
        auto record_for = [&out](const char* name) -> AdapterRecord& {
            auto it = std::find_if(out.begin(), out.end(),
                                   [name](const AdapterRecord& r) { return r.name == name; });
            if (it != out.end()) {
                return *it;
            }
            AdapterRecord& r = out.emplace_back();
            r.name = name;
            return r;
        };
        for (const ifaddrs* ifa = list.get(); ifa != nullptr; ifa = ifa->ifa_next) {
            if (ifa->ifa_name == nullptr) {
                continue;
            }
            AdapterRecord& r = record_for(ifa->ifa_name);
            r.up = (ifa->ifa_flags & IFF_UP) != 0;
            r.running = (ifa->ifa_flags & IFF_RUNNING) != 0;
            if (ifa->ifa_addr == nullptr) {
                continue;
            }
            if (ifa->ifa_addr->sa_family == AF_PACKET) {
                sockaddr_ll ll{};
                std::memcpy(&ll, ifa->ifa_addr, sizeof ll);
                r.hw_addr_len = ll.sll_halen;
            } else if (ifa->ifa_addr->sa_family == AF_INET) {
                sockaddr_in in{};
                std::memcpy(&in, ifa->ifa_addr, sizeof in);
                char text[INET_ADDRSTRLEN] = {};
                if (inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) != nullptr) {
                    r.ipv4.emplace_back(text);
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
};

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
        if (!a.up) {
            v.reason = "interface is down";
            continue;
        }
        for (std::string_view excluded : kExcludedTexts) {
            if (v.reason.empty() && !a.description.empty() && Contains(a.description, excluded)) {
                v.reason = "description contains \"" + std::string(excluded) + "\"";
            }
            if (v.reason.empty() && !a.name.empty() && Contains(a.name, excluded)) {
                v.reason = "name contains \"" + std::string(excluded) + "\"";
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
    }
    return out;
}

std::vector<std::string> UsableAdapterAddresses(const std::vector<AdapterRecord>& adapters) {
    std::vector<std::string> out;
    for (AdapterVerdict& v : JudgeAdapters(adapters)) {
        if (!v.address.empty()) {
            out.push_back(std::move(v.address));
        }
    }
    return out;
}

}  // namespace orvandel
