#include "localization/placeholders.h"

namespace orvandel {
namespace {

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Characters that would break a line, hide text or reorder it on screen.
bool Invisible(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

std::u16string Clean(std::u16string_view value) {
    std::u16string out;
    for (std::size_t i = 0; i < value.size() && out.size() < kPlaceholderValueCapacity; ++i) {
        const char16_t c = value[i];
        if (IsHigh(c) && i + 1 < value.size() && IsLow(value[i + 1])) {
            if (out.size() + 2 > kPlaceholderValueCapacity) {
                break;
            }
            out += c;
            out += value[++i];
        } else if (IsHigh(c) || IsLow(c)) {
            out += char16_t{0xFFFD};
        } else if (Invisible(c)) {
            continue;
        } else if (c == u'<' || c == u'>' || c == u'&') {
            out += static_cast<char16_t>(c - 0x20 + 0xFF00);  // U+FF1C, U+FF1E, U+FF06
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string Decimal(std::int32_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

}  // namespace

std::u16string FillPlaceholders(std::u16string_view text, const PlaceholderValues& values) {
    const std::u16string_view names[] = {u"{ip}", u"{subnet}", u"{interface}", u"{count}",
                                         u"{source}"};
    const std::u16string filled[] = {Clean(values.ip), Clean(values.subnet),
                                     Clean(values.interface_name), Decimal(values.count),
                                     Clean(values.source)};
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == u'{') {
            for (std::size_t k = 0; k < std::size(names); ++k) {
                if (text.substr(i).starts_with(names[k])) {
                    out += filled[k];
                    i += names[k].size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    if (out.size() > kFilledTextCapacity) {
        std::size_t n = kFilledTextCapacity;
        if (IsHigh(out[n - 1])) {
            --n;
        }
        out.resize(n);
    }
    return out;
}

}  // namespace orvandel
