#include "localization/device_details.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <span>

#include "discovery/device_info.h"
#include "localization/display_text.h"
#include "text/utf.h"

namespace orvandel {

DeviceDetailValues::DeviceDetailValues(const DeviceInfo& device) {
    std::u16string_view mac;
    if (device.id.size() <= mac_units_.size()) {
        const std::span<char16_t> units(mac_units_.data(), device.id.size());
        std::copy(device.id.begin(), device.id.end(), units.begin());
        text::AsciiUpper(units);
        mac = std::u16string_view(units.data(), units.size());
    } else {
        mac_ = ShownMac(device);
        mac = mac_;
    }
    const std::u16string_view fields[kCount] = {
        device.device_name, device.model,         device.sub_model, device.master_version,
        device.daily,       device.uboot_version, device.ip,        mac,
        device.dhcp,        device.mask,          device.gateway,   device.dns,
    };
    for (std::size_t i = 0; i < kCount; ++i) {
        if (const std::optional<std::u16string_view> view = DisplaySafeView(fields[i])) {
            views_[i] = *view;
        } else {
            owned_[i] = DisplaySafeText(fields[i]);
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
