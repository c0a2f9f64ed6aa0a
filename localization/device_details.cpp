#include "localization/device_details.h"

#include <iterator>
#include <optional>

#include "discovery/device_info.h"
#include "localization/display_text.h"

namespace orvandel {

DeviceDetailValues::DeviceDetailValues(const DeviceInfo& device) : mac_(ShownMac(device)) {
    const std::u16string* const fields[kCount] = {
        &device.device_name, &device.model,         &device.sub_model, &device.master_version,
        &device.daily,       &device.uboot_version, &device.ip,        &mac_,
        &device.dhcp,        &device.mask,          &device.gateway,   &device.dns,
    };
    for (std::size_t i = 0; i < kCount; ++i) {
        if (const std::optional<std::u16string_view> view = DisplaySafeView(*fields[i])) {
            views_[i] = *view;
        } else {
            owned_[i] = DisplaySafeText(*fields[i]);
            views_[i] = owned_[i];
        }
    }
}

std::u16string DeviceDetailsText(const DeviceDetailValues& values,
                                 const DeviceDetailLabels& labels) {
    const std::u16string* const names[] = {
        &labels.name,        &labels.model,         &labels.sub_model, &labels.firmware,
        &labels.daily_build, &labels.uboot_version, &labels.ip,        &labels.mac,
        &labels.dhcp,        &labels.mask,          &labels.gateway,   &labels.dns,
    };
    static_assert(std::size(names) == DeviceDetailValues::kCount);
    std::size_t size = 0;
    for (std::size_t i = 0; i < DeviceDetailValues::kCount; ++i) {
        if (!values[i].empty()) {
            size += 1 + names[i]->size() + labels.separator.size() + values[i].size();
        }
    }
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < DeviceDetailValues::kCount; ++i) {
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
    return DeviceDetailsText(DeviceDetailValues(device), labels);
}

}  // namespace orvandel
