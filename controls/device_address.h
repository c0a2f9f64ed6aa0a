// Device addresses come off the network: only a plain unicast IPv4 address may
// become a URL.
#pragma once

#include <QString>

namespace orvandel {

// The QString face of the rules in discovery/ipv4.h: ipv4::Parse and
// ipv4::IsOpenableText.
bool IsDottedDecimalIPv4(const QString& text);
bool IsOpenableDeviceAddress(const QString& text);

}  // namespace orvandel
