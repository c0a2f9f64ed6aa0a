// The device list's rows: one per collected device that has both a MAC and an IP
// address, with the texts the list shows. Plain C++, so that the rule is tested and
// fuzzed without Qt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_info.h"

namespace orvandel {

// 0 for "TR400" or any leading part of it (empty included), 1 for "TR9100" or a
// leading part of it, otherwise 0.
int ModelIndex(std::u16string_view model);

struct DeviceRow {
    int model_index = 0;
    std::u16string name;      // device_name, cut so that the row text fits 511 units
    std::u16string ip;        // the record's ip, kept as the row's data
    std::u16string ip_line;   // "    IP: " + ip, cut at 63 units
    std::u16string mac_line;  // "    MAC: " + id, upper-cased (ASCII), cut at 63 units
};

// One row per record that has both id and ip, in list order.
std::vector<DeviceRow> BuildRows(const std::vector<DeviceInfo>& devices);

}  // namespace orvandel
