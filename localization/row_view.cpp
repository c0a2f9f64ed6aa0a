#include "localization/row_view.h"

#include "localization/device_details.h"
#include "localization/display_text.h"
#include "localization/reachability_tip.h"
#include "localization/ui_strings.h"
#include "text/utf.h"

namespace orvandel {

// Puts a RowView's texts together in its one buffer, part by part.
class RowViewAssembler {
public:
    explicit RowViewAssembler(std::size_t reserve) { view_.text_.reserve(reserve); }

    std::u16string& Text() { return view_.text_; }
    std::size_t Begin() const { return view_.text_.size(); }
    // Ends part `i`, begun at `begin`, cut to `max_units` (a surrogate pair stays
    // whole); returns its length.
    std::size_t End(RowView::PartIndex i, std::size_t begin, std::size_t max_units = kWhole) {
        std::u16string& text = view_.text_;
        text.resize(begin + text::CutLength(std::u16string_view(text).substr(begin), max_units));
        view_.spans_[i] = {static_cast<std::uint32_t>(begin),
                           static_cast<std::uint32_t>(text.size() - begin)};
        return text.size() - begin;
    }
    void Add(RowView::PartIndex i, std::u16string_view part) {
        const std::size_t begin = Begin();
        view_.text_.append(part);
        End(i, begin);
    }
    void SetBadge(bool badge) { view_.badge_ = badge; }
    RowView Take() && { return std::move(view_); }

private:
    static constexpr std::size_t kWhole = static_cast<std::size_t>(-1);
    RowView view_;
};

RowView::RowView(const RowTexts& texts) {
    RowViewAssembler row(0);
    row.Add(kIconPath, texts.icon_path);
    for (std::size_t i = 0; i < 3; ++i) {
        row.Add(static_cast<PartIndex>(kName + i), texts.lines[i]);
    }
    row.Add(kAddress, texts.address);
    row.Add(kAccessibleName, texts.accessible_name);
    row.Add(kCopyIp, texts.copy_ip);
    row.Add(kCopyMac, texts.copy_mac);
    row.Add(kDetails, texts.details);
    row.Add(kDetailsShown, texts.details_shown);
    row.Add(kWarning, texts.warning);
    row.SetBadge(texts.badge);
    *this = std::move(row).Take();
}

RowTexts RowView::Texts() const {
    RowTexts texts;
    texts.icon_path = IconPath();
    for (std::size_t i = 0; i < 3; ++i) {
        texts.lines[i] = Line(i);
    }
    texts.address = Address();
    texts.accessible_name = AccessibleName();
    texts.copy_ip = CopyIp();
    texts.copy_mac = CopyMac();
    texts.details = Details();
    texts.details_shown = DetailsShown();
    texts.warning = Warning();
    texts.badge = badge_;
    return texts;
}

bool RowView::operator==(const RowView& other) const {
    for (std::size_t i = 0; i < kPartCount; ++i) {
        if (Part(static_cast<PartIndex>(i)) != other.Part(static_cast<PartIndex>(i))) {
            return false;
        }
    }
    return badge_ == other.badge_;
}

namespace {

constexpr char16_t kWordJoiner = u'\u2060';

// Appends the accessible name: name, model, IP and MAC, the last two labelled.
void AppendAccessibleName(std::u16string& out, std::u16string_view name, std::u16string_view model,
                          std::u16string_view ip, std::u16string_view mac,
                          const DeviceDetailLabels& labels) {
    const std::size_t begin = out.size();
    auto add = [&](std::u16string_view part) {
        if (part.empty()) {
            return;
        }
        if (out.size() > begin) {
            out += u", ";
        }
        out += part;
    };
    auto add_labelled = [&](const std::u16string& label, std::u16string_view value) {
        if (label.empty() && labels.separator.empty() && value.empty()) {
            return;
        }
        if (out.size() > begin) {
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
    const std::u16string_view model = values[kDetailModel];
    const std::u16string_view ip = values[kDetailIp];
    const std::u16string_view mac = values[kDetailMac];
    std::u16string_view icon_path;
    const auto icon = strings.DeviceIconNormal.find(ModelIndex(record.model));
    if (icon != strings.DeviceIconNormal.end()) {
        icon_path = icon->second.path;
    }
    const std::size_t details_size = DeviceDetailsTextSize(values, labels);
    const std::size_t shown_size = DeviceDetailsTextSize(values, joined);
    const std::size_t accessible_size = name.size() + model.size() + ip.size() + mac.size() +
                                        labels.ip.size() + labels.mac.size() +
                                        2 * labels.separator.size() + 6;
    std::u16string warning;
    if (device.verdict.status != ReachStatus::kOk || !device.verdict.noted_sources.empty()) {
        warning = ReachabilityTip(strings, record.ip, device.verdict);
    }
    RowViewAssembler row(icon_path.size() + 17 + 2 * (ip.size() + mac.size()) + name.size() +
                         record.ip.size() + accessible_size + details_size + shown_size +
                         warning.size());

    row.Add(RowView::kIconPath, icon_path);
    std::size_t begin = row.Begin();
    row.Text().append(u"    IP: ").append(ip);
    const std::size_t ip_line = row.End(RowView::kIpLine, begin, kRowLineMaxUnits);
    begin = row.Begin();
    row.Text().append(u"    MAC: ").append(mac);
    const std::size_t mac_line = row.End(RowView::kMacLine, begin, kRowLineMaxUnits);
    // The name gives way, so that the address lines, which the user came for, fit.
    const std::u16string_view shown_name =
        name.substr(0, text::CutLength(name, kRowTextMaxUnits - 2 - ip_line - mac_line));
    row.Add(RowView::kName, shown_name);
    row.Add(RowView::kAddress, record.ip);
    begin = row.Begin();
    AppendAccessibleName(row.Text(), shown_name, model, ip, mac, labels);
    row.End(RowView::kAccessibleName, begin);
    row.Add(RowView::kCopyIp, ip);
    row.Add(RowView::kCopyMac, mac);
    begin = row.Begin();
    AppendDeviceDetailsText(row.Text(), values, labels);
    row.End(RowView::kDetails, begin);
    begin = row.Begin();
    AppendDeviceDetailsText(row.Text(), values, joined);
    row.End(RowView::kDetailsShown, begin);
    row.Add(RowView::kWarning, warning);
    row.SetBadge(device.verdict.status != ReachStatus::kOk);
    return std::move(row).Take();
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
