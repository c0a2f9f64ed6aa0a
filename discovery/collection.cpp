#include "discovery/collection.h"

#include <algorithm>

#include "discovery/reply_parser.h"

namespace orvandel {

std::vector<DeviceInfo> CollectDevices(const std::vector<std::string>& replies) {
    std::vector<DeviceInfo> records;
    records.reserve(replies.size());
    for (const std::string& reply : replies) {
        if (!reply.empty()) {
            records.push_back(ParseReply(reply));
        }
    }
    // Stable, so that the record kept for an ip is the one stored last.
    std::stable_sort(records.begin(), records.end(),
                     [](const DeviceInfo& a, const DeviceInfo& b) { return a.ip < b.ip; });

    std::vector<DeviceInfo> devices;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool last_of_group = i + 1 == records.size() || records[i + 1].ip != records[i].ip;
        if (last_of_group && !records[i].ip.empty()) {
            devices.push_back(std::move(records[i]));
        }
    }
    return devices;
}

}  // namespace orvandel
