// The settings reader's rule written plainly over the whole text, for the fuzz
// targets to compare the streaming reader with.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "localization/language.h"
#include "localization/settings_file.h"

namespace orvandel::fuzz {

inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Whole tokens of what lies before the limit; the last one is dropped when the
// byte after the limit continues it.
inline std::optional<LanguageId> Model(std::string_view bytes) {
    const std::string_view seen = bytes.substr(0, kMaxSettingsBytes);
    std::vector<std::string_view> tokens;
    for (std::size_t i = 0; i < seen.size();) {
        if (IsSpace(seen[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < seen.size() && !IsSpace(seen[end])) {
            ++end;
        }
        tokens.push_back(seen.substr(i, end - i));
        i = end;
    }
    if (bytes.size() > seen.size() && !IsSpace(bytes[seen.size()]) && !seen.empty() &&
        !IsSpace(seen.back())) {
        tokens.pop_back();
    }
    std::size_t key = 0;
    while (key < tokens.size() && tokens[key] != "LANGUAGE") {
        ++key;
    }
    if (key + 1 >= tokens.size()) {
        return std::nullopt;
    }
    std::string_view value = tokens[key + 1];
    const bool negative = value.front() == '-';
    if (value.front() == '+' || value.front() == '-') {
        value.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
        ++digits;
    }
    value = value.substr(0, digits);
    while (value.size() > 1 && value.front() == '0') {
        value.remove_prefix(1);
    }
    if (value.empty() || value.size() > 10) {
        return std::nullopt;
    }
    const long long magnitude = std::stoll(std::string(value));
    const long long signed_value = negative ? -magnitude : magnitude;
    if (signed_value < std::numeric_limits<std::int32_t>::min() ||
        signed_value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<LanguageId>(signed_value);
}

}  // namespace orvandel::fuzz
