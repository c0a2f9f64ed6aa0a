// One device row as everyone who reads it gets it: the list paints its lines, a
// screen reader announces its accessible name, the clipboard takes its copy texts
// and the tooltip shows its warning and details. One pure function builds it, so
// the eye, the reader and the clipboard get the same strings from one rule.
#pragma once

#include <array>
#include <cstdint>
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

// The texts of one row, each on its own: what a RowView is made of when it is put
// together by hand (the list's own tests do), and what RowView::Texts gives back.
struct RowTexts {
    std::u16string icon_path;
    std::array<std::u16string, 3> lines;
    std::u16string address;
    std::u16string accessible_name;
    std::u16string copy_ip;
    std::u16string copy_mac;
    std::u16string details;
    std::u16string details_shown;
    std::u16string warning;
    bool badge = false;
};

// Every text is plain and already display-safe (DisplaySafeText): show it as
// plain text only, never as markup. The texts share one buffer: a list of
// thousands of rows is made with one allocation per row, not a dozen.
class RowView {
public:
    // The texts, in the order RowTexts lists them.
    enum PartIndex : std::size_t {
        kIconPath,
        kName,
        kIpLine,
        kMacLine,
        kAddress,
        kAccessibleName,
        kCopyIp,
        kCopyMac,
        kDetails,
        kDetailsShown,
        kWarning,
        kPartCount
    };

    RowView() = default;
    explicit RowView(const RowTexts& texts);

    // The model's normal icon; empty when the skin has none.
    std::u16string_view IconPath() const { return Part(kIconPath); }
    // 0: the name; 1: "    IP: " + ip; 2: "    MAC: " + MAC. The name is the one
    // the accessible name and the details carry; it gives way first to the
    // 511-unit cut, so that the address lines stay whole.
    std::u16string_view Line(std::size_t i) const {
        return Part(static_cast<PartIndex>(kName + (i < 3 ? i : 0)));
    }
    // The record's ip as received: the click opens "http://" + it only when the
    // address gate accepts it.
    std::u16string_view Address() const { return Part(kAddress); }
    // Name, model, IP and MAC, as a screen reader announces the row.
    std::u16string_view AccessibleName() const { return Part(kAccessibleName); }
    // What "Copy IP address" and Ctrl+C copy, and "Copy MAC address" (as the row
    // shows it).
    std::u16string_view CopyIp() const { return Part(kCopyIp); }
    std::u16string_view CopyMac() const { return Part(kCopyMac); }
    // "Copy details": the device's fields, one per line.
    std::u16string_view Details() const { return Part(kDetails); }
    // The same lines as the tooltip shows them: each label's characters, and the
    // label with its separator, are held together by U+2060 WORD JOINER, so that a
    // long value never leaves part of a label ("名" of "名前") on a line of its own.
    std::u16string_view DetailsShown() const { return Part(kDetailsShown); }
    // The tooltip's first part; empty: nothing to warn of.
    std::u16string_view Warning() const { return Part(kWarning); }
    bool Badge() const { return badge_; }  // the warning badge over the icon

    RowTexts Texts() const;
    bool operator==(const RowView& other) const;

private:
    friend class RowViewAssembler;
    struct Span {
        std::uint32_t begin = 0;
        std::uint32_t size = 0;
    };
    // Empty, never out of range, for a view whose text was moved away.
    std::u16string_view Part(PartIndex i) const {
        const std::u16string_view text(text_);
        return spans_[i].begin <= text.size() ? text.substr(spans_[i].begin, spans_[i].size)
                                              : std::u16string_view();
    }

    std::u16string text_;
    std::array<Span, kPartCount> spans_{};
    bool badge_ = false;
};

RowView MakeRowView(const FoundDevice& device, const UiStrings& strings);

// One view per device that has both an ip and an id (MAC), in the given order;
// the others are counted by the search but not listed.
std::vector<RowView> MakeRowViews(const std::vector<FoundDevice>& devices,
                                  const UiStrings& strings);

}  // namespace orvandel
