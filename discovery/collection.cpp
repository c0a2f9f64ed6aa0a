#include "discovery/collection.h"

#include <algorithm>
#include <string_view>

#include "discovery/reply_parser.h"
#include "discovery/utf_text.h"

namespace orvandel {
namespace {

constexpr std::size_t kRowLineMaxUnits = 63;
// A row's whole text (name, line feed, IP line, line feed, MAC line) holds this many
// units at most.
constexpr std::size_t kRowTextMaxUnits = 511;

}  // namespace

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

int ModelIndex(std::u16string_view model) {
    if (std::u16string_view(u"TR400").starts_with(model)) {
        return 0;
    }
    if (std::u16string_view(u"TR9100").starts_with(model)) {
        return 1;
    }
    return 0;
}

std::vector<DeviceRow> BuildRows(const std::vector<DeviceInfo>& devices) {
    std::vector<DeviceRow> rows;
    for (const DeviceInfo& device : devices) {
        if (device.id.empty() || device.ip.empty()) {
            continue;
        }
        DeviceRow row;
        row.model_index = ModelIndex(device.model);
        row.name = device.device_name;
        row.ip = device.ip;
        row.ip_line = u"    IP: " + device.ip;
        CutToUnits(row.ip_line, kRowLineMaxUnits);
        row.mac_line = u"    MAC: " + device.id;
        CutToUnits(row.mac_line, kRowLineMaxUnits);
        AsciiUpper(row.mac_line);
        // The name gives way, so that the address lines always fit the row text.
        CutToUnits(row.name, kRowTextMaxUnits - 2 - row.ip_line.size() - row.mac_line.size());
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace orvandel
