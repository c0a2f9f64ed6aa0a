#include "localization/device_details.h"

#include "discovery/device_info.h"
#include "localization/display_text.h"

namespace orvandel {

std::u16string DeviceDetailsText(const DeviceInfo& device, const DeviceDetailLabels& labels) {
    const std::u16string mac = ShownMac(device);
    const std::pair<const std::u16string*, const std::u16string*> fields[] = {
        {&labels.name, &device.device_name},
        {&labels.model, &device.model},
        {&labels.sub_model, &device.sub_model},
        {&labels.firmware, &device.master_version},
        {&labels.daily_build, &device.daily},
        {&labels.uboot_version, &device.uboot_version},
        {&labels.ip, &device.ip},
        {&labels.mac, &mac},
        {&labels.dhcp, &device.dhcp},
        {&labels.mask, &device.mask},
        {&labels.gateway, &device.gateway},
        {&labels.dns, &device.dns},
    };
    std::u16string text;
    for (const auto& [label, value] : fields) {
        const std::u16string shown = DisplaySafeText(*value);
        if (shown.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += u'\n';
        }
        text += *label;
        text += labels.separator;
        text += shown;
    }
    return text;
}

}  // namespace orvandel
