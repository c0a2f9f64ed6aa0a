#include "localization/device_details.h"

#include "discovery/device_info.h"
#include "localization/display_text.h"

namespace orvandel {

DeviceDetailValues SafeDetailValues(const DeviceInfo& device) {
    return {
        DisplaySafeText(device.device_name), DisplaySafeText(device.model),
        DisplaySafeText(device.sub_model),   DisplaySafeText(device.master_version),
        DisplaySafeText(device.daily),       DisplaySafeText(device.uboot_version),
        DisplaySafeText(device.ip),          DisplaySafeText(ShownMac(device)),
        DisplaySafeText(device.dhcp),        DisplaySafeText(device.mask),
        DisplaySafeText(device.gateway),     DisplaySafeText(device.dns),
    };
}

std::u16string DeviceDetailsText(const DeviceDetailValues& values,
                                 const DeviceDetailLabels& labels) {
    const std::u16string* const names[] = {
        &labels.name,        &labels.model,         &labels.sub_model, &labels.firmware,
        &labels.daily_build, &labels.uboot_version, &labels.ip,        &labels.mac,
        &labels.dhcp,        &labels.mask,          &labels.gateway,   &labels.dns,
    };
    static_assert(std::size(names) == std::tuple_size_v<DeviceDetailValues>);
    std::size_t size = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i].empty()) {
            size += 1 + names[i]->size() + labels.separator.size() + values[i].size();
        }
    }
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].empty()) {
            continue;
        }
        if (!text.empty()) {
            text += u'\n';
        }
        text += *names[i];
        text += labels.separator;
        text += values[i];
    }
    return text;
}

std::u16string DeviceDetailsText(const DeviceInfo& device, const DeviceDetailLabels& labels) {
    return DeviceDetailsText(SafeDetailValues(device), labels);
}

}  // namespace orvandel
