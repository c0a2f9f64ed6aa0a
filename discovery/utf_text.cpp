#include "discovery/utf_text.h"

#include <string_view>

#include "discovery/reply_parser.h"

namespace orvandel {

void CutToUnits(std::u16string& text, std::size_t max_units) {
    if (text.size() <= max_units) {
        return;
    }
    std::size_t keep = max_units;
    if (keep > 0 && IsHighSurrogate(text[keep - 1])) {
        --keep;
    }
    text.resize(keep);
}

void AsciiUpper(std::u16string& text) {
    for (char16_t& unit : text) {
        if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        }
    }
}

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one well-formed sequence at `bytes[pos]` into `code_point` and returns
// its length, or returns the length of the maximal ill-formed subpart (at least
// 1), which stands for one U+FFFD.
std::size_t DecodeOne(std::string_view bytes, std::size_t pos, char32_t& code_point, bool& valid) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    valid = false;
    if (lead < 0x80) {
        code_point = lead;
        valid = true;
        return 1;
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
        return 1;
    }
    std::size_t taken = 1;
    while (taken < length) {
        if (pos + taken >= bytes.size()) {
            return taken;
        }
        const auto byte = static_cast<unsigned char>(bytes[pos + taken]);
        const bool in_range =
            taken == 1 ? (byte >= second_min && byte <= second_max) : IsContinuation(byte);
        if (!in_range) {
            return taken;
        }
        value = (value << 6) | (byte & 0x3F);
        ++taken;
    }
    code_point = value;
    valid = true;
    return length;
}

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes, std::size_t max_units) {
    std::u16string out;
    out.reserve(bytes.size() < max_units ? bytes.size() : max_units);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t code_point = 0;
        bool valid = false;
        pos += DecodeOne(bytes, pos, code_point, valid);
        if (!valid) {
            code_point = kReplacementChar;
        }
        // A character that does not fit entirely ends the text.
        if (code_point >= 0x10000) {
            if (out.size() + 2 > max_units) {
                break;
            }
            const char32_t offset = code_point - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        } else {
            if (out.size() + 1 > max_units) {
                break;
            }
            out.push_back(static_cast<char16_t>(code_point));
        }
    }
    return out;
}

}  // namespace orvandel
