// Whether a listed device's page can open from this computer, judged from where
// its replies came from, and whether its address is shared. Pure rules over
// records and addresses: nothing here decides what is listed, and the click still
// opens "http://" + ip whatever the verdict.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/inline_list.h"
#include "discovery/small_set.h"

namespace orvandel {

// One adapter of this computer as a reply arrived on it.
struct AdapterAddress {
    std::string name;       // interface name, e.g. "eth0"; display it as untrusted text
    std::string address;    // dotted IPv4 of the adapter
    int prefix_length = 0;  // 0..32; anything else means the subnet is unknown

    bool operator==(const AdapterAddress&) const = default;
};

// One stored reply: the parsed record, the adapter(s) it came in on and the
// datagram's source address (dotted IPv4; empty when unknown).
struct DeviceReply {
    DeviceInfo record;
    std::vector<AdapterAddress> adapters;
    std::string source;
};

enum class ReachStatus { kOk, kLinkLocal, kOtherNetwork, kConflict, kRouted };

// The fixed words of the command-line table and JSON: "ok", "link-local",
// "other-network", "conflict", "routed".
std::string_view StatusWord(ReachStatus status);

using AdapterList = InlineList<AdapterAddress, 1>;

struct Reachability {
    ReachStatus status = ReachStatus::kOk;
    // Devices that use the ip: distinct MACs of its records (at least 1), plus 1
    // for records without a MAC beside records with one, plus 1 when the ip is one
    // of this computer's own addresses. Status is kConflict
    // exactly when this is 2 or more.
    int conflict_count = 1;
    bool own_address = false;  // the ip is one of this computer's addresses
    bool ip_valid = false;     // the ip is a dotted IPv4 address
    // Every adapter the records of the ip came in on, first seen first, no repeats.
    // Nearly always one: it and the matching one are kept in place.
    AdapterList adapters;
    // Of those, the ones whose subnet holds the ip (empty unless kOk or kConflict).
    // kRouted: none holds it, but the command was also sent to the ip through a
    // router (--target), so its page opens through that router.
    AdapterList matching;
    // Datagram sources that differ from the ip and lie in the arrival adapter's
    // subnet: a device with two interfaces, or a host answering for another.
    std::vector<std::string> noted_sources;

    bool operator==(const Reachability&) const = default;
};

// An address or subnet the command was also sent to (the command-line finder's
// --target): `address` is the host, or any address of the subnet.
struct RoutedTarget {
    std::string address;
    int prefix_length = 32;
};

// What the verdicts know besides the replies.
struct JudgeContext {
    // Every IPv4 address of this computer, dotted, on searched and skipped adapters
    // alike; unparsable entries are ignored.
    std::vector<std::string> own_addresses;
    std::vector<RoutedTarget> routed;
};

// The replies of one ip, gathered one at a time, then judged: linear in the
// replies. When no reply of the ip came with an adapter of known subnet the
// verdict is kOk (or kConflict): a warning needs evidence.
class ReachabilityTally {
public:
    explicit ReachabilityTally(std::u16string_view ip);
    // The same for an ip already parsed (ipv4::Parse; nullopt when it is not a
    // dotted address).
    explicit ReachabilityTally(std::optional<std::uint32_t> ip_value);
    // One reply of the ip: its record, the adapters its copies came in on and their
    // senders (host byte order; 0 when unknown).
    void Add(const DeviceInfo& record, const std::vector<AdapterAddress>& adapters,
             std::span<const std::uint32_t> sources);
    Reachability Judge(const JudgeContext& context) const&;
    // The same, reusing what the tally gathered: the tally is spent.
    Reachability Judge(const JudgeContext& context) &&;

private:
    static Reachability Judged(Reachability r, const std::optional<std::uint32_t>& ip_value,
                               std::size_t devices, const JudgeContext& context);
    std::size_t Devices() const;

    std::optional<std::uint32_t> ip_value_;
    Reachability r_;  // adapters and noted sources so far
    // MACs compared without regard to ASCII case: those of the usual form
    // xx:xx:xx:xx:xx:xx as their 48-bit value, any other as lower-cased text.
    SmallSet<std::uint64_t, 2> mac_values_;
    SmallSet<std::u16string, 1> mac_texts_;
    bool mac_less_ = false;
    SmallSet<std::uint32_t> noted_;
};

// Judges the device listed under `ip` from `replies`, which may hold the replies
// of every ip (those of other ips are ignored).
Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const JudgeContext& context);
Reachability JudgeReachability(std::u16string_view ip, const std::vector<DeviceReply>& replies,
                               const std::vector<std::string>& own_addresses);

// "10.77.0.0/24" for 10.77.0.1 with prefix 24; empty when the address or the
// prefix is unusable.
std::string SubnetText(const AdapterAddress& adapter);

}  // namespace orvandel
