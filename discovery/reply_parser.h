// The discovery protocol's messages: the browse command and the reply parser.
#pragma once

#include <array>
#include <string_view>

#include "discovery/device_info.h"

namespace orvandel {

// "{\n\t\"Command\": \"browse\"\n}" — 24 bytes, no terminator.
inline constexpr std::string_view kBrowseCommand = "{\n\t\"Command\": \"browse\"\n}";
static_assert(kBrowseCommand.size() == 24);

// Decodes a reply (UTF-8, untrusted) and fills the record. Never fails.
DeviceInfo ParseReply(std::string_view bytes);

// A cheap test before ParseReply: false only when the parse is sure to give an
// empty ip (the key "ip" can only be read from the bytes "ip" in quotes, or from a
// text with escapes). Lets a receiver throw junk away without parsing it.
bool MayGiveIp(std::string_view bytes);

}  // namespace orvandel
