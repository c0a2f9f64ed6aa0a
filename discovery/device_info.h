// One device as parsed from its reply. Only device_name, model, id (the MAC
// address) and ip are read by the rest of the program; the others are kept for
// the command-line finder's --json output.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "text/utf.h"

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

// Every field with its name (the reply key, and the name in the command-line
// finder's --json output) and its capacity in units, terminator included.
struct DeviceField {
    std::string_view key;
    std::u16string DeviceInfo::*member;
    std::size_t capacity;
};

inline constexpr std::array<DeviceField, 16> kDeviceFields{{
    {"raw_text", &DeviceInfo::raw_text, kRawTextCapacity},
    {"command", &DeviceInfo::command, kFieldCapacity},
    {"device_name", &DeviceInfo::device_name, kFieldCapacity},
    {"org", &DeviceInfo::org, kFieldCapacity},
    {"model", &DeviceInfo::model, kFieldCapacity},
    {"master_version", &DeviceInfo::master_version, kFieldCapacity},
    {"daily", &DeviceInfo::daily, kFieldCapacity},
    {"uboot_version", &DeviceInfo::uboot_version, kFieldCapacity},
    {"sub_model", &DeviceInfo::sub_model, kFieldCapacity},
    {"id", &DeviceInfo::id, kFieldCapacity},
    {"dhcp", &DeviceInfo::dhcp, kFieldCapacity},
    {"name", &DeviceInfo::name, kFieldCapacity},
    {"ip", &DeviceInfo::ip, kFieldCapacity},
    {"mask", &DeviceInfo::mask, kFieldCapacity},
    {"gateway", &DeviceInfo::gateway, kFieldCapacity},
    {"dns", &DeviceInfo::dns, kFieldCapacity},
}};

// The MAC address as every view shows it (row, details, table, JSON): the id with
// its ASCII letters upper-cased.
inline std::u16string ShownMac(const DeviceInfo& device) {
    std::u16string mac = device.id;
    text::AsciiUpper(mac);
    return mac;
}

// The fields read from a reply's keys: all but raw_text, which is the reply itself.
inline constexpr std::span<const DeviceField> kReplyKeyFields =
    std::span<const DeviceField>(kDeviceFields).subspan(1);

}  // namespace orvandel
