#include "localization/device_details.h"

#include <array>
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

namespace {

using LabelList = std::array<const std::u16string*, DeviceDetailValues::kCount>;

LabelList Labels(const DeviceDetailLabels& labels) {
    return {
        &labels.name,        &labels.model,         &labels.sub_model, &labels.firmware,
        &labels.daily_build, &labels.uboot_version, &labels.ip,        &labels.mac,
        &labels.dhcp,        &labels.mask,          &labels.gateway,   &labels.dns,
    };
}

}  // namespace

std::size_t DeviceDetailsTextSize(const DeviceDetailValues& values,
                                  const DeviceDetailLabels& labels) {
    const LabelList names = Labels(labels);
    std::size_t size = 0;
    for (std::size_t i = 0; i < DeviceDetailValues::kCount; ++i) {
        if (!values[i].empty()) {
            size +=
                (size > 0 ? 1 : 0) + names[i]->size() + labels.separator.size() + values[i].size();
        }
    }
    return size;
}

void AppendDeviceDetailsText(std::u16string& out, const DeviceDetailValues& values,
                             const DeviceDetailLabels& labels) {
    const LabelList names = Labels(labels);
    bool first = true;
    for (std::size_t i = 0; i < DeviceDetailValues::kCount; ++i) {
        if (values[i].empty()) {
            continue;
        }
        if (!first) {
            out += u'\n';
        }
        first = false;
        out += *names[i];
        out += labels.separator;
        out += values[i];
    }
}

std::u16string DeviceDetailsText(const DeviceDetailValues& values,
                                 const DeviceDetailLabels& labels) {
    std::u16string text;
    text.reserve(DeviceDetailsTextSize(values, labels));
    AppendDeviceDetailsText(text, values, labels);
    return text;
}

std::u16string DeviceDetailsText(const DeviceInfo& device, const DeviceDetailLabels& labels) {
    return DeviceDetailsText(DeviceDetailValues(device), labels);
}

}  // namespace orvandel
