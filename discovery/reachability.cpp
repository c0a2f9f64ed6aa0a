#include "discovery/reachability.h"

#include <algorithm>

#include "discovery/ipv4.h"

namespace orvandel {
namespace {

using ipv4::Parse;

// Whether the adapter's subnet is known at all: an adapter without one can
// neither vouch for a device nor count against it.
bool SubnetKnown(const AdapterAddress& a) {
    return ipv4::PrefixUsable(a.prefix_length) && Parse(a.address).has_value();
}

bool InSubnet(std::uint32_t ip, const AdapterAddress& a) {
    const auto net = Parse(a.address);
    return net && ipv4::InSubnet(ip, *net, a.prefix_length);
}

bool IsLinkLocal(std::uint32_t ip) {
    return ipv4::Classify(ip) == ipv4::Kind::kLinkLocal;
}

// The value of a MAC written xx:xx:xx:xx:xx:xx in hexadecimal digits of either
// case; nothing for any other text. Two such texts are equal without regard to
// case exactly when their values are.
std::optional<std::uint64_t> MacValue(std::u16string_view mac) {
    if (mac.size() != 17) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char16_t c = mac[i];
        if (i % 3 == 2) {
            if (c != u':') {
                return std::nullopt;
            }
            continue;
        }
        std::uint64_t digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = c - u'0';
        } else if (c >= u'a' && c <= u'f') {
            digit = c - u'a' + 10;
        } else if (c >= u'A' && c <= u'F') {
            digit = c - u'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
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

void AddOnce(AdapterList& list, const AdapterAddress& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) {
        list.PushBack(item);
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
        case ReachStatus::kRouted:
            return "routed";
    }
    return "ok";
}

std::string SubnetText(const AdapterAddress& adapter) {
    const auto address = Parse(adapter.address);
    return address ? ipv4::SubnetText(*address, adapter.prefix_length) : std::string();
}

ReachabilityTally::ReachabilityTally(std::u16string_view ip) : ip_value_(Parse(ip)) {}

ReachabilityTally::ReachabilityTally(std::optional<std::uint32_t> ip_value) : ip_value_(ip_value) {}

void ReachabilityTally::Add(const DeviceInfo& record, const std::vector<AdapterAddress>& adapters,
                            std::span<const std::uint32_t> sources) {
    if (record.id.empty()) {
        mac_less_ = true;
    } else if (const auto value = MacValue(record.id)) {
        mac_values_.Insert(*value);
    } else {
        mac_texts_.Insert(MacKey(record.id));
    }
    for (const AdapterAddress& a : adapters) {
        AddOnce(r_.adapters, a);
    }
    for (const std::uint32_t source : sources) {
        if (source == 0 || source == ip_value_) {
            continue;
        }
        if (std::any_of(adapters.begin(), adapters.end(),
                        [&](const AdapterAddress& a) { return InSubnet(source, a); }) &&
            noted_.Insert(source)) {
            r_.noted_sources.push_back(ipv4::Format(source));
        }
    }
}

std::size_t ReachabilityTally::Devices() const {
    // Each MAC is a device. A record without one proves that one device answered;
    // beside records with a MAC it is one more device, since a device that sends
    // its MAC sends it in every reply.
    const std::size_t macs = mac_values_.Size() + mac_texts_.Size();
    return std::max<std::size_t>(macs, 1) + (mac_less_ && macs > 0 ? 1 : 0);
}

Reachability ReachabilityTally::Judge(const JudgeContext& context) const& {
    return Judged(r_, ip_value_, Devices(), context);
}

Reachability ReachabilityTally::Judge(const JudgeContext& context) && {
    return Judged(std::move(r_), ip_value_, Devices(), context);
}

Reachability ReachabilityTally::Judged(Reachability r, const std::optional<std::uint32_t>& ip_value,
                                       std::size_t devices, const JudgeContext& context) {
    r.ip_valid = ip_value.has_value();
    r.own_address =
        ip_value && std::any_of(context.own_addresses.begin(), context.own_addresses.end(),
                                [&](const std::string& own) { return Parse(own) == ip_value; });
    r.conflict_count = static_cast<int>(devices) + (r.own_address ? 1 : 0);
    if (ip_value) {
        for (const AdapterAddress& a : r.adapters) {
            if (InSubnet(*ip_value, a)) {
                r.matching.PushBack(a);
            }
        }
    }
    const bool routed =
        ip_value &&
        std::any_of(context.routed.begin(), context.routed.end(), [&](const RoutedTarget& t) {
            const auto target = Parse(t.address);
            return target && ipv4::InSubnet(*ip_value, *target, t.prefix_length);
        });

    // Precedence, most specific cause first:
    // - conflict: whichever network it is on, the page that opens may be another
    //   device's (or this computer's), and no subnet fix helps until the address
    //   is unique; the adapters seen may even belong to different devices.
    // - ok before the rest: ok needs one adapter whose subnet holds the ip, so a
    //   device answering on two adapters where one matches is ok.
    // - routed: the device is where a command was sent through a router, so its
    //   page opens through that router too.
    // - link-local: such an address is outside every ordinary subnet, so it would
    //   also read as other-network; "got no address from the router" names the
    //   cause and a different remedy (DHCP, restart) than a wrong static address.
    const bool any_known = std::any_of(r.adapters.begin(), r.adapters.end(), SubnetKnown);
    if (r.conflict_count >= 2) {
        r.status = ReachStatus::kConflict;
    } else if (!r.matching.empty() || !any_known) {
        // Without one adapter of known subnet there is nothing to judge by; a
        // warning needs evidence.
        r.status = ReachStatus::kOk;
    } else if (routed) {
        r.status = ReachStatus::kRouted;
    } else if (ip_value && IsLinkLocal(*ip_value) &&
               std::none_of(r.adapters.begin(), r.adapters.end(), [](const AdapterAddress& a) {
                   const auto v = Parse(a.address);
                   return v && IsLinkLocal(*v);
               })) {
        r.status = ReachStatus::kLinkLocal;
    } else {
        r.status = ReachStatus::kOtherNetwork;
    }
    return r;
}

Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const JudgeContext& context) {
    ReachabilityTally tally(ip);
    for (const DeviceReply& reply : replies) {
        if (reply.record.ip == ip) {
            const std::optional<std::uint32_t> source = Parse(reply.source);
            const std::uint32_t sources[1] = {source.value_or(0)};
            tally.Add(reply.record, reply.adapters, sources);
        }
    }
    return std::move(tally).Judge(context);
}

Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const std::vector<std::string>& own_addresses) {
    JudgeContext context;
    context.own_addresses = own_addresses;
    return JudgeReachability(ip, replies, context);
}

}  // namespace orvandel
