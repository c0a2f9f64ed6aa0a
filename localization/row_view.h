// One device row as everyone who reads it gets it: the list paints its lines, a
// screen reader announces its accessible name, the clipboard takes its copy texts
// and the tooltip shows its warning and details. One pure function builds it, so
// the eye, the reader and the clipboard get the same strings from one rule.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/found_device.h"

namespace orvandel {

class UiStrings;

// A row's three painted lines together hold at most this many units.
inline constexpr std::size_t kRowTextMaxUnits = 511;
// The IP and MAC lines are each cut at this many units.
inline constexpr std::size_t kRowLineMaxUnits = 63;

// 0 for "TR400" or any leading part of it (empty included), 1 for "TR9100" or a
// leading part of it, otherwise 0.
int ModelIndex(std::u16string_view model);

// Every text is plain and already display-safe (DisplaySafeText): show it as
// plain text only, never as markup.
struct RowView {
    std::u16string icon_path;  // the model's normal icon; empty when the skin has none
    // The name, "    IP: " + ip and "    MAC: " + MAC. The name is the one the
    // accessible name and the details carry; it gives way first to the 511-unit
    // cut, so that the address lines stay whole.
    std::array<std::u16string, 3> lines;
    // The record's ip as received: the click opens "http://" + it only when the
    // address gate accepts it.
    std::u16string address;
    std::u16string accessible_name;  // name, model, IP, MAC
    std::u16string copy_ip;          // "Copy IP address" and Ctrl+C
    std::u16string copy_mac;         // "Copy MAC address", as the row shows it
    std::u16string details;          // "Copy details": the device's fields, one per line
    // The same lines as the tooltip shows them: each label's characters, and the
    // label with its separator, are held together by U+2060 WORD JOINER, so that a
    // long value never leaves part of a label ("名" of "名前") on a line of its own.
    std::u16string details_shown;
    std::u16string warning;  // the tooltip's first part; empty: nothing to warn of
    bool badge = false;      // the warning badge over the icon

    bool operator==(const RowView&) const = default;
};

RowView MakeRowView(const FoundDevice& device, const UiStrings& strings);

// One view per device that has both an ip and an id (MAC), in the given order;
// the others are counted by the search but not listed.
std::vector<RowView> MakeRowViews(const std::vector<FoundDevice>& devices,
                                  const UiStrings& strings);

}  // namespace orvandel
