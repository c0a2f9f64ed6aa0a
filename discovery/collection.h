// From stored replies to the sorted, de-duplicated devices that the window and the
// command-line finder list.
#pragma once

#include <string>
#include <vector>

#include "discovery/device_info.h"

namespace orvandel {

// Parses every non-empty reply, sorts by ip (UTF-16 units, stable), keeps the last
// record of each ip group, drops records with an empty ip.
std::vector<DeviceInfo> CollectDevices(const std::vector<std::string>& replies);

}  // namespace orvandel
