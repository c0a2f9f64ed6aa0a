// The tooltip of a device row whose page may not open: the texts of its verdict
// with the concrete addresses filled in, as plain text.
#pragma once

#include <string>
#include <string_view>

#include "discovery/reachability.h"
#include "localization/ui_strings.h"

namespace orvandel {

// Empty for an ok device whose replies came from its own address. Otherwise one
// paragraph per finding, separated by a blank line: the status text (for an
// address shared with this computer and with other devices, both conflict texts),
// then the first noted source. Values pass through FillPlaceholders.
std::u16string ReachabilityTip(const UiStrings& strings, std::u16string_view ip,
                               const Reachability& verdict);

}  // namespace orvandel
