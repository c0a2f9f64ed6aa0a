#include "localization/display_text.h"

#include <algorithm>

namespace orvandel {
namespace {

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool BreaksLine(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Controls and the characters that are not seen but change how the rest reads.
bool Hidden(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x180E ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

// U+E0000..U+E007F: the high surrogate DB40 followed by DC00..DC7F.
bool IsTag(char16_t high, char16_t low) {
    return high == 0xDB40 && low <= 0xDC7F;
}

}  // namespace

std::u16string DisplaySafeText(std::u16string_view text) {
    std::u16string out;
    out.reserve(std::min(text.size(), kDisplayValueCapacity));
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            const char16_t low = text[++i];
            if (!IsTag(c, low)) {
                out += c;
                out += low;
            }
        } else if (IsHigh(c) || IsLow(c) || c == 0xFFFE || c == 0xFFFF) {
            out += char16_t{0xFFFD};
        } else if (BreaksLine(c)) {
            out += u' ';
        } else if (!Hidden(c)) {
            out += c;
        }
    }
    const std::size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
        return {};
    }
    out.erase(0, first);
    out.erase(out.find_last_not_of(u' ') + 1);
    if (out.size() > kDisplayValueCapacity) {
        std::size_t n = kDisplayValueCapacity;
        if (IsHigh(out[n - 1])) {
            --n;
        }
        out.resize(n);
        out.erase(out.find_last_not_of(u' ') + 1);
    }
    return out;
}

}  // namespace orvandel
