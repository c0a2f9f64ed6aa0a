#include "discovery/reachability.h"

#include <algorithm>

namespace orvandel {
namespace {

constexpr std::uint32_t kLinkLocalNet = 0xA9FE0000;  // 169.254.0.0/16
constexpr std::uint32_t kLinkLocalMask = 0xFFFF0000;

template <typename Char>
std::optional<std::uint32_t> ParseDotted(std::basic_string_view<Char> text) {
    std::uint32_t value = 0;
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t digits = 0;
        std::uint32_t part = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
            ++digits;
            ++i;
        }
        // "010" could be read as octal elsewhere; refuse it rather than guess.
        if (digits == 0 || digits > 3 || part > 255 || (digits > 1 && text[i - digits] == '0')) {
            return std::nullopt;
        }
        value = (value << 8) | part;
        if (++parts == 4) {
            break;
        }
        if (i >= text.size() || text[i] != '.') {
            return std::nullopt;
        }
        ++i;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Dotted(std::uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

bool PrefixUsable(int prefix) {
    return prefix >= 0 && prefix <= 32;
}

std::uint32_t Mask(int prefix) {
    // A shift by 32 is undefined, so /0 is spelled out.
    return prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
}

// Whether the adapter's subnet is known at all: an adapter without one can
// neither vouch for a device nor count against it.
bool SubnetKnown(const AdapterAddress& a) {
    return PrefixUsable(a.prefix_length) && ParseIpv4(a.address).has_value();
}

bool InSubnet(std::uint32_t ip, const AdapterAddress& a) {
    const auto net = ParseIpv4(a.address);
    if (!net || !PrefixUsable(a.prefix_length)) {
        return false;
    }
    const std::uint32_t mask = Mask(a.prefix_length);
    return (ip & mask) == (*net & mask);
}

bool IsLinkLocal(std::uint32_t ip) {
    return (ip & kLinkLocalMask) == kLinkLocalNet;
}

// MACs arrive as the device writes them; the same device never changes case
// between replies, but a case difference alone must not make a conflict.
std::u16string MacKey(std::u16string_view mac) {
    std::u16string key(mac);
    for (char16_t& c : key) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return key;
}

template <typename T>
void AddOnce(std::vector<T>& list, const T& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(item);
    }
}

}  // namespace

std::string_view StatusWord(ReachStatus status) {
    switch (status) {
        case ReachStatus::kOk:
            return "ok";
        case ReachStatus::kLinkLocal:
            return "link-local";
        case ReachStatus::kOtherNetwork:
            return "other-network";
        case ReachStatus::kConflict:
            return "conflict";
    }
    return "ok";
}

std::optional<std::uint32_t> ParseIpv4(std::u16string_view text) {
    return ParseDotted(text);
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
    return ParseDotted(text);
}

std::string SubnetText(const AdapterAddress& adapter) {
    const auto address = ParseIpv4(adapter.address);
    if (!address || !PrefixUsable(adapter.prefix_length)) {
        return {};
    }
    return Dotted(*address & Mask(adapter.prefix_length)) + "/" +
           std::to_string(adapter.prefix_length);
}

Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const std::vector<std::string>& own_addresses) {
    Reachability r;
    const std::optional<std::uint32_t> ip_value = ParseIpv4(ip);
    r.ip_valid = ip_value.has_value();

    std::vector<std::u16string> macs;
    for (const DeviceReply& reply : replies) {
        if (reply.record.ip != ip) {
            continue;
        }
        if (!reply.record.id.empty()) {
            AddOnce(macs, MacKey(reply.record.id));
        }
        for (const AdapterAddress& a : reply.adapters) {
            AddOnce(r.adapters, a);
        }
        const std::optional<std::uint32_t> source = ParseIpv4(reply.source);
        if (source && source != ip_value &&
            std::any_of(reply.adapters.begin(), reply.adapters.end(),
                        [&](const AdapterAddress& a) { return InSubnet(*source, a); })) {
            AddOnce(r.noted_sources, Dotted(*source));
        }
    }

    r.own_address =
        ip_value && std::any_of(own_addresses.begin(), own_addresses.end(),
                                [&](const std::string& own) { return ParseIpv4(own) == ip_value; });
    // Records without a MAC still prove that one device answered; they only add a
    // device when no record of the ip has a MAC at all.
    r.conflict_count =
        static_cast<int>(std::max<std::size_t>(macs.size(), 1)) + (r.own_address ? 1 : 0);
    if (ip_value) {
        for (const AdapterAddress& a : r.adapters) {
            if (InSubnet(*ip_value, a)) {
                r.matching.push_back(a);
            }
        }
    }

    // Precedence, most specific cause first:
    // - conflict: whichever network it is on, the page that opens may be another
    //   device's (or this computer's), and no subnet fix helps until the address
    //   is unique; the adapters seen may even belong to different devices.
    // - link-local: such an address is outside every ordinary subnet, so it would
    //   also read as other-network; "got no address from the router" names the
    //   cause and a different remedy (DHCP, restart) than a wrong static address.
    // - other-network before ok: ok needs one adapter whose subnet holds the ip, so
    //   a device answering on two adapters where one matches is ok.
    const bool any_known = std::any_of(r.adapters.begin(), r.adapters.end(), SubnetKnown);
    if (r.conflict_count >= 2) {
        r.status = ReachStatus::kConflict;
    } else if (!r.matching.empty() || !any_known) {
        // Without one adapter of known subnet there is nothing to judge by; a
        // warning needs evidence.
        r.status = ReachStatus::kOk;
    } else if (ip_value && IsLinkLocal(*ip_value) &&
               std::none_of(r.adapters.begin(), r.adapters.end(), [](const AdapterAddress& a) {
                   const auto v = ParseIpv4(a.address);
                   return v && IsLinkLocal(*v);
               })) {
        r.status = ReachStatus::kLinkLocal;
    } else {
        r.status = ReachStatus::kOtherNetwork;
    }
    return r;
}

std::vector<Reachability> JudgeDevices(const std::vector<DeviceInfo>& listed,
                                       const std::vector<DeviceReply>& replies,
                                       const std::vector<std::string>& own_addresses) {
    std::vector<Reachability> out;
    out.reserve(listed.size());
    for (const DeviceInfo& device : listed) {
        out.push_back(JudgeReachability(device.ip, replies, own_addresses));
    }
    return out;
}

}  // namespace orvandel
