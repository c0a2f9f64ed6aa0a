// Whether the machine has a network to search on.
#pragma once

namespace orvandel {

// True when an interface other than loopback is up and running and has an IPv4
// address.
bool IsNetworkAlive();

}  // namespace orvandel
