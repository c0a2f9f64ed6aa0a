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

std::string SubnetText(const AdapterAddress& adapter) {
    const auto address = Parse(adapter.address);
    return address ? ipv4::SubnetText(*address, adapter.prefix_length) : std::string();
}

Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const std::vector<std::string>& own_addresses) {
    Reachability r;
    const std::optional<std::uint32_t> ip_value = Parse(ip);
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
        const std::optional<std::uint32_t> source = Parse(reply.source);
        if (source && source != ip_value &&
            std::any_of(reply.adapters.begin(), reply.adapters.end(),
                        [&](const AdapterAddress& a) { return InSubnet(*source, a); })) {
            AddOnce(r.noted_sources, ipv4::Format(*source));
        }
    }

    r.own_address =
        ip_value && std::any_of(own_addresses.begin(), own_addresses.end(),
                                [&](const std::string& own) { return Parse(own) == ip_value; });
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
                   const auto v = Parse(a.address);
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
