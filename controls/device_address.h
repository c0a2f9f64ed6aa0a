// Device addresses come off the network: only a plain IPv4 address may become a URL.
#pragma once

#include <QString>

namespace orvandel {

// Exactly four decimal numbers 0-255 joined by dots, no signs, spaces or leading
// zeros (a leading zero reads as octal to some resolvers).
bool IsDottedDecimalIPv4(const QString& text);

}  // namespace orvandel
