#include "text/utf.h"

namespace orvandel::text {

std::size_t CutLength(std::u16string_view text, std::size_t max_units) {
    if (text.size() <= max_units) {
        return text.size();
    }
    std::size_t keep = max_units;
    if (keep > 0 && IsHighSurrogate(text[keep - 1])) {
        --keep;
    }
    return keep;
}

void CutToUnits(std::u16string& text, std::size_t max_units) {
    text.resize(CutLength(text, max_units));
}

std::u16string Cut(std::u16string_view text, std::size_t max_units) {
    return std::u16string(text.substr(0, CutLength(text, max_units)));
}

void AsciiUpper(std::span<char16_t> text) {
    for (char16_t& unit : text) {
        unit = AsciiUpper(unit);
    }
}

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

Utf8Step DecodeUtf8At(std::string_view bytes, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t length = 0;
    // The second byte's range rules out overlong forms, surrogates and values
    // above U+10FFFF.
    unsigned char second_min = 0x80;
    unsigned char second_max = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            second_min = 0xA0;
        } else if (lead == 0xED) {
            second_max = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) {
            second_min = 0x90;
        } else if (lead == 0xF4) {
            second_max = 0x8F;
        }
    } else {
        return {};
    }
    std::size_t taken = 1;
    while (taken < length) {
        if (pos + taken >= bytes.size()) {
            return {kReplacementChar, taken, false};
        }
        const auto byte = static_cast<unsigned char>(bytes[pos + taken]);
        const bool in_range =
            taken == 1 ? (byte >= second_min && byte <= second_max) : IsContinuation(byte);
        if (!in_range) {
            return {kReplacementChar, taken, false};
        }
        value = (value << 6) | (byte & 0x3F);
        ++taken;
    }
    return {value, length, true};
}

std::u16string DecodeUtf8(std::string_view bytes, std::size_t max_units) {
    std::u16string out;
    out.reserve(bytes.size() < max_units ? bytes.size() : max_units);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const Utf8Step step = DecodeUtf8At(bytes, pos);
        pos += step.length;
        const char32_t code_point = step.valid ? step.code_point : kReplacementChar;
        // A character that does not fit entirely ends the text.
        if (out.size() + (code_point >= 0x10000 ? 2 : 1) > max_units) {
            break;
        }
        AppendUtf16(out, code_point);
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        const char32_t offset = cp - 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachCodePoint(text, [&out](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

}  // namespace orvandel::text
