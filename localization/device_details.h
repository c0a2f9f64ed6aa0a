// A device's details as plain "label: value" lines in the current language: the
// text of a device row's tooltip and of "Copy details".
#pragma once

#include <string>

namespace orvandel {

struct DeviceInfo;

// Filled by UiStrings for the current language.
struct DeviceDetailLabels {
    std::u16string separator;  // between label and value, e.g. ": "
    std::u16string name, model, sub_model, firmware, daily_build, uboot_version;
    std::u16string ip, mac, dhcp, mask, gateway, dns;
};

// One line per field, in this order: name (device_name), model, sub model,
// firmware (master_version), daily build, U-Boot version, IP, MAC (upper-case,
// as the device row shows it), DHCP, mask, gateway, DNS. Every value passes
// DisplaySafeText; a field that is empty after that is left out. Lines are joined
// by '\n', without one at the end; no field at all gives an empty text.
std::u16string DeviceDetailsText(const DeviceInfo& device, const DeviceDetailLabels& labels);

}  // namespace orvandel
