// One device as a search found it: the record that is listed, how its page can be
// reached from this computer, and where its replies came from. Built once per ip
// at the end of a search (or as replies arrive) and carried whole to every view:
// the window's row, the command-line table, its JSON and its streamed lines.
#pragma once

#include <cstdint>

#include "discovery/device_info.h"
#include "discovery/inline_list.h"
#include "discovery/reachability.h"

namespace orvandel {

struct FoundDevice {
    DeviceInfo record;     // the listed record of this ip (the last one stored)
    Reachability verdict;  // status, conflict count and the arrival adapters
    // Datagram sources (host byte order; ipv4::Format writes them), first seen first.
    InlineList<std::uint32_t, 2> sources;

    bool operator==(const FoundDevice&) const = default;
};

}  // namespace orvandel
