#include "localization/settings_file.h"

#include <cstdint>
#include <limits>

namespace orvandel {
namespace {

constexpr std::string_view kKey = "LANGUAGE";

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// What the byte source gives past its bytes: kEnd when the input is over, or
// ends cleanly at the read limit; kCut when the limit falls inside a token.
constexpr int kEnd = -1;
constexpr int kCut = -2;

// `next_byte` returns the next byte as 0..255, or -1 at the end. Tokens are never kept
// whole: only as much as can still match the key, and the value is converted as
// its digits arrive.
template <typename Next>
std::optional<LanguageId> Scan(Next next_byte) {
    std::size_t consumed = 0;
    int previous = ' ';
    // The byte after the limit is read only to tell whether the token the limit
    // ends is whole: "LANGUAGE\t31748" across the limit must not read as 317.
    auto next = [&]() -> int {
        if (consumed > kMaxSettingsBytes) {
            return kEnd;
        }
        const int c = next_byte();
        if (consumed++ < kMaxSettingsBytes) {
            previous = c;
            return c;
        }
        return c < 0 || IsSpace(c) || IsSpace(previous) ? kEnd : kCut;
    };
    int c = next();
    for (;;) {
        while (c >= 0 && IsSpace(c)) {
            c = next();
        }
        if (c < 0) {
            return std::nullopt;
        }
        std::size_t matched = 0;
        bool is_key = true;
        for (; c >= 0 && !IsSpace(c); c = next()) {
            if (is_key && matched < kKey.size() && c == static_cast<unsigned char>(kKey[matched])) {
                ++matched;
            } else {
                is_key = false;
            }
        }
        if (c == kCut) {
            return std::nullopt;  // the limit cut this token, and nothing follows it
        }
        if (is_key && matched == kKey.size()) {
            break;
        }
    }

    while (c >= 0 && IsSpace(c)) {
        c = next();
    }
    if (c < 0) {
        return std::nullopt;  // the key was the last token
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = next();
    }
    // Magnitude limit: 2^31 for a negative value, 2^31 - 1 otherwise.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    bool any_digit = false;
    for (; c >= '0' && c <= '9'; c = next()) {
        any_digit = true;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    if (!any_digit) {
        return std::nullopt;
    }
    // Letters after the digits are ignored, but only a whole token is a value.
    while (c >= 0 && !IsSpace(c)) {
        c = next();
    }
    if (c == kCut) {
        return std::nullopt;
    }
    return static_cast<LanguageId>(negative ? -magnitude : magnitude);
}

}  // namespace

std::string FormatLanguageLine(LanguageId id) {
    return std::string(kKey) + "\t" + std::to_string(id) + "\r\n";
}

std::optional<LanguageId> ParseLanguageSetting(std::string_view content) {
    std::size_t pos = 0;
    return Scan([&]() -> int {
        return pos < content.size() ? static_cast<unsigned char>(content[pos++]) : -1;
    });
}

std::optional<LanguageId> ParseLanguageSetting(std::istream& in) {
    std::streambuf* buf = in.rdbuf();
    if (buf == nullptr) {
        return std::nullopt;
    }
    return Scan([buf]() -> int {
        const auto c = buf->sbumpc();
        return std::char_traits<char>::eq_int_type(c, std::char_traits<char>::eof())
                   ? -1
                   : static_cast<unsigned char>(std::char_traits<char>::to_char_type(c));
    });
}

}  // namespace orvandel
