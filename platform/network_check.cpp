#include "platform/network_check.h"

#include <algorithm>

namespace orvandel {

bool IsNetworkAlive(const std::vector<AdapterRecord>& adapters) {
    return std::any_of(adapters.begin(), adapters.end(), [](const AdapterRecord& a) {
        return !a.loopback && a.up && a.running && !a.ipv4.empty();
    });
}

bool IsNetworkAlive() {
    return IsNetworkAlive(SystemAdapters().List());
}

}  // namespace orvandel
