// From a search's stored replies to its found devices: one FoundDevice per ip,
// built in one pass over the store's replies (which it keeps by ip), sorted by ip
// as the window and the command-line finder list them.
#pragma once

#include <vector>

#include "discovery/found_device.h"
#include "discovery/reachability.h"
#include "discovery/reply_store.h"

namespace orvandel {

// `searched` are the adapters the ReplyOrigin indices name. Per ip: the listed
// record and the other claims (see FoundDevice), the verdict over all its replies,
// and the senders of its replies (first seen first, no repeats); per device, the
// other ips its MAC claimed (at most 8). Sorted by ip (UTF-16 units).
std::vector<FoundDevice> BuildFoundDevices(const ReplyStore& store,
                                           const std::vector<AdapterAddress>& searched,
                                           const JudgeContext& context);
// The same, moving the listed records out of `store` instead of copying them.
std::vector<FoundDevice> BuildFoundDevices(ReplyStore&& store,
                                           const std::vector<AdapterAddress>& searched,
                                           const JudgeContext& context);

}  // namespace orvandel
