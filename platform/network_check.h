// Whether the machine has a network to search on.
#pragma once

#include <vector>

#include "platform/adapters.h"

namespace orvandel {

// True when an adapter other than loopback is up and running and has an IPv4
// address.
bool IsNetworkAlive(const std::vector<AdapterRecord>& adapters);

// The rule over SystemAdapters().
bool IsNetworkAlive();

}  // namespace orvandel
