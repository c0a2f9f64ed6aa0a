// A device's details as plain "label: value" lines in the current language: the
// text of a device row's tooltip and of "Copy details".
#pragma once

#include <array>
#include <string>
#include <string_view>

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

// The same in two steps, for a caller that needs the text with more than one set of
// labels (or the values themselves): the fields' display-safe values in the order
// above, then the text from them. The values view the record (or copies of their
// own where the rule changes a field), so the record must outlive them; they
// cannot be copied or moved.
class DeviceDetailValues {
public:
    explicit DeviceDetailValues(const DeviceInfo& device);
    DeviceDetailValues(const DeviceDetailValues&) = delete;
    DeviceDetailValues& operator=(const DeviceDetailValues&) = delete;

    static constexpr std::size_t kCount = 12;
    std::u16string_view operator[](std::size_t i) const { return views_[i]; }

private:
    std::array<std::u16string_view, kCount> views_{};
    std::array<std::u16string, kCount> owned_{};  // what views_ cannot take from the record
    // The MAC upper-cased: in place when it has at most 24 units (the usual form
    // has 17), so that a list of thousands of rows allocates nothing for it; in
    // mac_ otherwise.
    std::array<char16_t, 24> mac_units_{};
    std::u16string mac_;
};
std::u16string DeviceDetailsText(const DeviceDetailValues& values,
                                 const DeviceDetailLabels& labels);
// The same text appended to `out`, and its length in units.
void AppendDeviceDetailsText(std::u16string& out, const DeviceDetailValues& values,
                             const DeviceDetailLabels& labels);
std::size_t DeviceDetailsTextSize(const DeviceDetailValues& values,
                                  const DeviceDetailLabels& labels);
// Indices into DeviceDetailValues.
inline constexpr std::size_t kDetailName = 0;
inline constexpr std::size_t kDetailModel = 1;
inline constexpr std::size_t kDetailIp = 6;
inline constexpr std::size_t kDetailMac = 7;

}  // namespace orvandel
