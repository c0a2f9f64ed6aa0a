#include "controls/device_rows.h"

#include "text/utf.h"

namespace orvandel {
namespace {

constexpr std::size_t kRowLineMaxUnits = 63;
// A row's whole text (name, line feed, IP line, line feed, MAC line) holds this many
// units at most.
constexpr std::size_t kRowTextMaxUnits = 511;

}  // namespace

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
        text::CutToUnits(row.ip_line, kRowLineMaxUnits);
        row.mac_line = u"    MAC: " + device.id;
        text::CutToUnits(row.mac_line, kRowLineMaxUnits);
        text::AsciiUpper(row.mac_line);
        // The name gives way, so that the address lines always fit the row text.
        text::CutToUnits(row.name, kRowTextMaxUnits - 2 - row.ip_line.size() - row.mac_line.size());
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace orvandel
