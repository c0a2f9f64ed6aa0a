// Device addresses come off the network: only a plain unicast IPv4 address may
// become a URL.
#pragma once

#include <QString>

namespace orvandel {

// Exactly four decimal numbers 0-255 joined by dots, no signs, spaces or leading
// zeros (a leading zero reads as octal to some resolvers).
bool IsDottedDecimalIPv4(const QString& text);

// A dotted-decimal address that names one remote host: not in 0.0.0.0/8 ("this"
// network), 127.0.0.0/8 (this computer's own services), 224.0.0.0/4 (multicast) or
// 240.0.0.0/4 (reserved, 255.255.255.255 included). A reply may claim any of these;
// a click must not open them.
bool IsOpenableDeviceAddress(const QString& text);

}  // namespace orvandel
