// Whether the socket layer is usable at all.
#pragma once

namespace orvandel {

// True when a UDP IPv4 socket can be created.
bool SocketsAvailable();

}  // namespace orvandel
