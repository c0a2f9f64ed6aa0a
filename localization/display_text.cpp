#include "localization/display_text.h"

#include <algorithm>

#include "text/display_safe.h"
#include "text/utf.h"

namespace orvandel {
namespace {

// Line breaks and tabs part words, so they become spaces rather than vanish.
bool BreaksLine(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

}  // namespace

std::optional<std::u16string_view> DisplaySafeView(std::u16string_view text) {
    if (!std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x20 && c <= 0x7E; })) {
        return std::nullopt;
    }
    const std::size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return std::u16string_view();
    }
    const std::u16string_view kept = text.substr(first, kDisplayValueCapacity);
    return kept.substr(0, kept.find_last_not_of(u' ') + 1);
}

std::u16string DisplaySafeText(std::u16string_view text) {
    // Printable ASCII, as nearly every device sends, has nothing to replace or
    // drop: only the trim and the cut apply. A list of thousands of rows runs this
    // for every field.
    if (const std::optional<std::u16string_view> view = DisplaySafeView(text)) {
        return std::u16string(*view);
    }
    std::u16string spaced(text);
    for (char16_t& c : spaced) {
        if (BreaksLine(c)) {
            c = u' ';
        } else if (c == 0xFFFE || c == 0xFFFF) {
            c = text::kReplacementChar;  // non-characters: shown as a character that says so
        }
    }
    std::u16string out = text::MakeDisplaySafe(spaced, text::UnsafeChars::kDrop);
    const std::size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
        return {};
    }
    out.erase(0, first);
    out = text::Cut(out, kDisplayValueCapacity);
    out.erase(out.find_last_not_of(u' ') + 1);
    return out;
}

}  // namespace orvandel
