#include "localization/row_view.h"

#include "localization/device_details.h"
#include "localization/display_text.h"
#include "localization/reachability_tip.h"
#include "localization/ui_strings.h"
#include "text/utf.h"

namespace orvandel {
namespace {

constexpr char16_t kWordJoiner = u'\u2060';

std::u16string AccessibleName(std::u16string_view name, std::u16string_view model,
                              std::u16string_view ip, std::u16string_view mac,
                              const DeviceDetailLabels& labels) {
    std::u16string out;
    out.reserve(name.size() + model.size() + ip.size() + mac.size() + labels.ip.size() +
                labels.mac.size() + 2 * labels.separator.size() + 6);
    auto add = [&out](std::u16string_view part) {
        if (part.empty()) {
            return;
        }
        if (!out.empty()) {
            out += u", ";
        }
        out += part;
    };
    auto add_labelled = [&](const std::u16string& label, std::u16string_view value) {
        if (label.empty() && labels.separator.empty() && value.empty()) {
            return;
        }
        if (!out.empty()) {
            out += u", ";
        }
        out += label;
        out += labels.separator;
        out += value;
    };
    add(name);
    add(model);
    add_labelled(labels.ip, ip);
    add_labelled(labels.mac, mac);
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

// `joined` is JoinedLabels(strings.DetailLabels), made once for a whole list.
RowView MakeView(const FoundDevice& device, const UiStrings& strings,
                 const DeviceDetailLabels& joined) {
    const DeviceInfo& record = device.record;
    const DeviceDetailLabels& labels = strings.DetailLabels;
    const DeviceDetailValues values(record);
    const std::u16string_view name = values[kDetailName];
    const std::u16string_view ip = values[kDetailIp];
    const std::u16string_view mac = values[kDetailMac];

    RowView view;
    const auto icon = strings.DeviceIconNormal.find(ModelIndex(record.model));
    if (icon != strings.DeviceIconNormal.end()) {
        view.icon_path = icon->second.path;
    }
    std::u16string& ip_line = view.lines[1];
    std::u16string& mac_line = view.lines[2];
    ip_line.reserve(8 + ip.size());
    ip_line.append(u"    IP: ").append(ip);
    text::CutToUnits(ip_line, kRowLineMaxUnits);
    mac_line.reserve(9 + mac.size());
    mac_line.append(u"    MAC: ").append(mac);
    text::CutToUnits(mac_line, kRowLineMaxUnits);
    // The name gives way, so that the address lines, which the user came for, fit.
    view.lines[0] = text::Cut(name, kRowTextMaxUnits - 2 - ip_line.size() - mac_line.size());
    view.address = record.ip;
    view.accessible_name = AccessibleName(view.lines[0], values[kDetailModel], ip, mac, labels);
    view.copy_ip = ip;
    view.copy_mac = mac;
    view.details = DeviceDetailsText(values, labels);
    view.details_shown = DeviceDetailsText(values, joined);
    if (device.verdict.status != ReachStatus::kOk || !device.verdict.noted_sources.empty()) {
        view.warning = ReachabilityTip(strings, record.ip, device.verdict);
    }
    view.badge = device.verdict.status != ReachStatus::kOk;
    return view;
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
    return MakeView(device, strings, JoinedLabels(strings.DetailLabels));
}

std::vector<RowView> MakeRowViews(const std::vector<FoundDevice>& devices,
                                  const UiStrings& strings) {
    std::vector<RowView> views;
    views.reserve(devices.size());
    const DeviceDetailLabels joined = JoinedLabels(strings.DetailLabels);
    for (const FoundDevice& device : devices) {
        if (!device.record.id.empty() && !device.record.ip.empty()) {
            views.push_back(MakeView(device, strings, joined));
        }
    }
    return views;
}

}  // namespace orvandel
