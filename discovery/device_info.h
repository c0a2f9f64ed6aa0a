// One device as parsed from its reply. Only device_name, model, id (the MAC
// address) and ip are read by the rest of the program; the others are kept for
// the command-line finder's --json output.
#pragma once

#include <cstddef>
#include <string>

namespace orvandel {

inline constexpr std::size_t kRawTextCapacity = 4096;  // units, with terminator
inline constexpr std::size_t kFieldCapacity = 1024;    // units, with terminator

struct DeviceInfo {
    std::u16string raw_text;
    std::u16string command;
    std::u16string device_name;
    std::u16string org;
    std::u16string model;
    std::u16string master_version;
    std::u16string daily;
    std::u16string uboot_version;
    std::u16string sub_model;
    std::u16string id;  // MAC address
    std::u16string dhcp;
    std::u16string name;
    std::u16string ip;  // dotted IPv4 address; sort and duplicate key
    std::u16string mask;
    std::u16string gateway;
    std::u16string dns;

    bool operator==(const DeviceInfo&) const = default;
};

}  // namespace orvandel
