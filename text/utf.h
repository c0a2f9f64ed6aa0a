// UTF-16 and UTF-8 rules shared by every layer: surrogate checks, cuts that keep a
// surrogate pair whole, decoding, encoding and code-point iteration. Text from the
// network may be ill-formed; nothing here rejects it, each rule says what it does
// with a bad unit or byte.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace orvandel::text {

inline constexpr char16_t kReplacementChar = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// Cuts `text` to at most `max_units` units. A surrogate pair is never split: a
// high surrogate left without its partner by the cut is dropped as well.
void CutToUnits(std::u16string& text, std::size_t max_units);
// The same cut as a copy.
std::u16string Cut(std::u16string_view text, std::size_t max_units);
// How many units of `text` the cut keeps.
std::size_t CutLength(std::u16string_view text, std::size_t max_units);

// Upper-cases ASCII a-z only, whatever the locale.
constexpr char16_t AsciiUpper(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}
void AsciiUpper(std::span<char16_t> text);
inline void AsciiUpper(std::u16string& text) {
    AsciiUpper(std::span<char16_t>(text));
}

// One step of UTF-8 decoding at `bytes[pos]` (pos < bytes.size()). A well-formed,
// shortest-form sequence gives its code point and length; otherwise `valid` is
// false and `length` is that of the maximal ill-formed subpart (at least 1), which
// stands for one U+FFFD. Overlong forms, encoded surrogates and values above
// U+10FFFF are ill-formed.
struct Utf8Step {
    char32_t code_point = kReplacementChar;
    std::size_t length = 1;
    bool valid = false;
};
Utf8Step DecodeUtf8At(std::string_view bytes, std::size_t pos);

// UTF-8 to UTF-16; ill-formed sequences become U+FFFD; at most `max_units` units,
// and a character that does not fit entirely ends the text.
std::u16string DecodeUtf8(std::string_view bytes, std::size_t max_units);

// Appends `code_point` (at most U+10FFFF, not a surrogate) encoded.
void AppendUtf8(std::string& out, char32_t code_point);
void AppendUtf16(std::u16string& out, char32_t code_point);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, so that a bad text can
// never turn into a different, valid one.
std::string ToUtf8(std::u16string_view text);

// Calls fn(char32_t) for each code point of UTF-16 text; an unpaired surrogate
// comes as U+FFFD.
template <typename Fn>
void ForEachCodePoint(std::u16string_view text, Fn&& fn) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            fn(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
               (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsSurrogate(unit)) {
            fn(static_cast<char32_t>(kReplacementChar));
        } else {
            fn(static_cast<char32_t>(unit));
        }
    }
}

}  // namespace orvandel::text
