#include "localization/row_view.h"

#include "localization/device_details.h"
#include "localization/display_text.h"
#include "localization/reachability_tip.h"
#include "localization/ui_strings.h"
#include "text/utf.h"

namespace orvandel {
namespace {

constexpr char16_t kWordJoiner = u'\u2060';

std::u16string AccessibleName(const std::u16string& name, const std::u16string& model,
                              const std::u16string& ip, const std::u16string& mac,
                              const DeviceDetailLabels& labels) {
    const std::u16string parts[] = {
        name,
        model,
        labels.ip + labels.separator + ip,
        labels.mac + labels.separator + mac,
    };
    std::u16string out;
    for (const std::u16string& part : parts) {
        if (part.empty()) {
            continue;
        }
        if (!out.empty()) {
            out += u", ";
        }
        out += part;
    }
    return out;
}

// `labels` with a word joiner after every character of each label: no line break
// inside a label or between it and its separator.
DeviceDetailLabels JoinedLabels(const DeviceDetailLabels& labels) {
    DeviceDetailLabels joined = labels;
    for (std::u16string DeviceDetailLabels::*label :
         {&DeviceDetailLabels::name, &DeviceDetailLabels::model, &DeviceDetailLabels::sub_model,
          &DeviceDetailLabels::firmware, &DeviceDetailLabels::daily_build,
          &DeviceDetailLabels::uboot_version, &DeviceDetailLabels::ip, &DeviceDetailLabels::mac,
          &DeviceDetailLabels::dhcp, &DeviceDetailLabels::mask, &DeviceDetailLabels::gateway,
          &DeviceDetailLabels::dns}) {
        std::u16string out;
        for (const char16_t c : labels.*label) {
            out += c;
            // Never between the halves of a surrogate pair.
            if (c < 0xD800 || c > 0xDBFF) {
                out += kWordJoiner;
            }
        }
        joined.*label = std::move(out);
    }
    return joined;
}

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

RowView MakeRowView(const FoundDevice& device, const UiStrings& strings) {
    const DeviceInfo& record = device.record;
    const DeviceDetailLabels& labels = strings.DetailLabels;
    const std::u16string name = DisplaySafeText(record.device_name);
    const std::u16string ip = DisplaySafeText(record.ip);
    const std::u16string mac = DisplaySafeText(ShownMac(record));

    RowView view;
    const auto icon = strings.DeviceIconNormal.find(ModelIndex(record.model));
    if (icon != strings.DeviceIconNormal.end()) {
        view.icon_path = icon->second.path;
    }
    std::u16string& ip_line = view.lines[1];
    std::u16string& mac_line = view.lines[2];
    ip_line = text::Cut(u"    IP: " + ip, kRowLineMaxUnits);
    mac_line = text::Cut(u"    MAC: " + mac, kRowLineMaxUnits);
    // The name gives way, so that the address lines, which the user came for, fit.
    view.lines[0] = text::Cut(name, kRowTextMaxUnits - 2 - ip_line.size() - mac_line.size());
    view.address = record.ip;
    view.accessible_name =
        AccessibleName(view.lines[0], DisplaySafeText(record.model), ip, mac, labels);
    view.copy_ip = ip;
    view.copy_mac = mac;
    view.details = DeviceDetailsText(record, labels);
    view.details_shown = DeviceDetailsText(record, JoinedLabels(labels));
    view.warning = ReachabilityTip(strings, record.ip, device.verdict);
    view.badge = device.verdict.status != ReachStatus::kOk;
    return view;
}

std::vector<RowView> MakeRowViews(const std::vector<FoundDevice>& devices,
                                  const UiStrings& strings) {
    std::vector<RowView> views;
    views.reserve(devices.size());
    for (const FoundDevice& device : devices) {
        if (!device.record.id.empty() && !device.record.ip.empty()) {
            views.push_back(MakeRowView(device, strings));
        }
    }
    return views;
}

}  // namespace orvandel
