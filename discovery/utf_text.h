// Small UTF-16 helpers shared by the reply parser and the device rows.
#pragma once

#include <cstddef>
#include <string>

namespace orvandel {

inline constexpr char16_t kReplacementChar = 0xFFFD;

inline bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Cuts `text` to at most `max_units` units. A surrogate pair is never split: a
// high surrogate left without its partner by the cut is dropped as well.
void CutToUnits(std::u16string& text, std::size_t max_units);

// Upper-cases ASCII a-z only, whatever the locale.
void AsciiUpper(std::u16string& text);

}  // namespace orvandel
