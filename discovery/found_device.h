// One device as a search found it: the record that is listed, how its page can be
// reached from this computer, and where its replies came from. Built once per ip
// at the end of a search (or as replies arrive) and carried whole to every view:
// the window's row, the command-line table, its JSON and its streamed lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/inline_list.h"
#include "discovery/reachability.h"

namespace orvandel {

// One more device's claim of a listed ip: the record of its latest reply there
// and the senders of its replies, first seen first.
struct DeviceClaim {
    DeviceInfo record;
    InlineList<std::uint32_t, 2> sources;

    bool operator==(const DeviceClaim&) const = default;
};

// At most this many other ips (mac_elsewhere) or other claims a device names: a
// flood of one MAC or one ip from thousands of forged replies must not cost their
// square. Every claim still has a row of its own where rows are per claim.
inline constexpr std::size_t kMaxClaimsNamed = 8;

struct FoundDevice {
    // The listed record of this ip. The devices claiming it are told apart by MAC
    // (all replies without one count as one device); each one's latest reply is
    // its claim, and the claim whose MAC sorts first is listed, a MAC before none.
    // So every view lists the same record whatever order the replies came in.
    DeviceInfo record;
    Reachability verdict;  // status, conflict count and the arrival adapters
    // Datagram sources of all the ip's replies (host byte order; ipv4::Format
    // writes them), first seen first.
    InlineList<std::uint32_t, 2> sources;
    // The other devices' claims of this ip, in the same order; empty nearly always.
    std::vector<DeviceClaim> other_claims;
    // The other listed ips that a reply with the listed record's MAC claimed too
    // (compared without regard to ASCII case), in list order.
    std::vector<std::u16string> mac_elsewhere;

    bool operator==(const FoundDevice&) const = default;
};

}  // namespace orvandel
