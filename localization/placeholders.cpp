#include "localization/placeholders.h"

#include <vector>

#include "text/display_safe.h"
#include "text/utf.h"

namespace orvandel {
namespace {

// A value loses what could break a line, hide text or reorder it on screen, and
// cannot start markup.
std::u16string Clean(std::u16string_view value, std::size_t capacity = kPlaceholderValueCapacity) {
    std::u16string out = text::MakeDisplaySafe(value, text::UnsafeChars::kDrop);
    for (char16_t& c : out) {
        if (c == u'<' || c == u'>' || c == u'&') {
            c = static_cast<char16_t>(c - 0x20 + 0xFF00);  // U+FF1C, U+FF1E, U+FF06
        }
    }
    text::CutToUnits(out, capacity);
    return out;
}

std::u16string Decimal(std::int32_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// One pass over `text`, each known name replaced by its filled value.
std::u16string Replace(std::u16string_view text, std::span<const std::u16string_view> names,
                       std::span<const std::u16string> filled) {
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
    text::CutToUnits(out, kFilledTextCapacity);
    return out;
}

}  // namespace

std::u16string FillPlaceholders(std::u16string_view text, const PlaceholderValues& values) {
    const std::u16string_view names[] = {u"{ip}", u"{subnet}", u"{interface}", u"{count}",
                                         u"{source}"};
    const std::u16string filled[] = {Clean(values.ip), Clean(values.subnet),
                                     Clean(values.interface_name), Decimal(values.count),
                                     Clean(values.source)};
    return Replace(text, names, filled);
}

std::u16string FillNamedPlaceholders(std::u16string_view text, std::span<const NamedValue> values) {
    std::vector<std::u16string_view> names;
    std::vector<std::u16string> filled;
    for (const NamedValue& v : values) {
        names.push_back(v.name);
        filled.push_back(Clean(v.value, kNamedValueCapacity));
    }
    return Replace(text, names, filled);
}

}  // namespace orvandel
