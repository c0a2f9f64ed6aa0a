// A tolerant scanner rather than a JSON reader: devices send slightly different
// layouts, so it looks for a fixed set of keys anywhere in the text (nesting is
// ignored), honours JSON strings, and never rejects anything.
#include "discovery/reply_parser.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "text/utf.h"

namespace orvandel {
namespace {

bool SameKey(std::u16string_view token, std::string_view key) {
    return token.size() == key.size() && std::equal(key.begin(), key.end(), token.begin());
}

// The stored field a key names, or nullptr: the value of any other key ("sku",
// "nic", "enable", "isConnected" and unknown ones) is skipped.
const DeviceField* FindKey(std::u16string_view token) {
    for (const DeviceField& field : kReplyKeyFields) {
        if (SameKey(token, field.key)) {
            return &field;
        }
    }
    return nullptr;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsStructural(char16_t c) {
    return c == u'{' || c == u'}' || c == u'[' || c == u']' || c == u',' || c == u':';
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

class Scanner {
public:
    explicit Scanner(std::u16string_view text) : text_(text) {}

    void Run(DeviceInfo& info) {
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_];
            if (IsSpace(c) || IsStructural(c)) {
                ++pos_;
            } else if (c == u'"') {
                std::u16string token = ReadString();
                SkipSpace();
                if (pos_ < text_.size() && text_[pos_] == u':') {
                    ++pos_;
                    TakeValue(FindKey(token), info);
                }
            } else {
                ReadBare();
            }
        }
    }

private:
    // Reads the token right after a key's colon. A value is never read as a key,
    // whether its key is known, skipped or unknown.
    void TakeValue(const DeviceField* field, DeviceInfo& info) {
        SkipSpace();
        if (pos_ >= text_.size()) {
            return;
        }
        const char16_t c = text_[pos_];
        const bool stored_key = field != nullptr;
        if (c == u'[' && stored_key && FirstElementIsString()) {
            // ["10.0.0.19"]: the first element is the value; the rest of the array
            // is scanned as usual.
            ++pos_;
            SkipSpace();
        } else if (IsStructural(c)) {
            // Missing value, or an object/array: the scan goes on inside it.
            return;
        }
        std::u16string value;
        if (text_[pos_] == u'"') {
            value = ReadString();
        } else {
            value = ReadBare();
            if (value == u"null") {
                value.clear();
            }
        }
        if (field == nullptr || value.empty()) {
            return;
        }
        text::CutToUnits(value, field->capacity - 1);
        info.*(field->member) = std::move(value);
    }

    // `pos_` is on a '['.
    bool FirstElementIsString() const {
        std::size_t at = pos_ + 1;
        while (at < text_.size() && IsSpace(text_[at])) {
            ++at;
        }
        return at < text_.size() && text_[at] == u'"';
    }

    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            ++pos_;
        }
    }

    std::u16string ReadBare() {
        const std::size_t start = pos_;
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_];
            if (IsSpace(c) || IsStructural(c) || c == u'"') {
                break;
            }
            ++pos_;
        }
        return std::u16string(text_.substr(start, pos_ - start));
    }

    // Four hex digits at `at`, or -1.
    int ReadHex4(std::size_t at) const {
        if (at + 4 > text_.size()) {
            return -1;
        }
        int value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int digit = HexValue(text_[at + i]);
            if (digit < 0) {
                return -1;
            }
            value = value * 16 + digit;
        }
        return value;
    }

    // `pos_` is on the opening quote. An unterminated string runs to the end.
    // Malformed escapes are kept as written; a lone surrogate becomes U+FFFD.
    std::u16string ReadString() {
        std::u16string out;
        ++pos_;
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_];
            if (c == u'"') {
                ++pos_;
                return out;
            }
            if (c != u'\\' || pos_ + 1 >= text_.size()) {
                out.push_back(c);
                ++pos_;
                continue;
            }
            const char16_t escaped = text_[pos_ + 1];
            switch (escaped) {
                case u'"':
                case u'\\':
                case u'/':
                    out.push_back(escaped);
                    break;
                case u'b':
                    out.push_back(u'\b');
                    break;
                case u'f':
                    out.push_back(u'\f');
                    break;
                case u'n':
                    out.push_back(u'\n');
                    break;
                case u'r':
                    out.push_back(u'\r');
                    break;
                case u't':
                    out.push_back(u'\t');
                    break;
                case u'u':
                    ReadUnicodeEscape(out);
                    continue;
                default:
                    out.push_back(c);
                    out.push_back(escaped);
                    break;
            }
            pos_ += 2;
        }
        return out;
    }

    // `pos_` is on the backslash of "\u".
    void ReadUnicodeEscape(std::u16string& out) {
        const int unit = ReadHex4(pos_ + 2);
        if (unit < 0) {
            out.append(u"\\u");
            pos_ += 2;
            return;
        }
        pos_ += 6;
        const auto first = static_cast<char16_t>(unit);
        if (text::IsHighSurrogate(first)) {
            if (pos_ + 1 < text_.size() && text_[pos_] == u'\\' && text_[pos_ + 1] == u'u') {
                const int low = ReadHex4(pos_ + 2);
                if (low >= 0 && text::IsLowSurrogate(static_cast<char16_t>(low))) {
                    out.push_back(first);
                    out.push_back(static_cast<char16_t>(low));
                    pos_ += 6;
                    return;
                }
            }
            out.push_back(text::kReplacementChar);
            return;
        }
        out.push_back(text::IsLowSurrogate(first) ? text::kReplacementChar : first);
    }

    std::u16string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

bool MayGiveIp(std::string_view bytes) {
    return bytes.find("\"ip\"") != std::string_view::npos ||
           bytes.find('\\') != std::string_view::npos;
}

DeviceInfo ParseReply(std::string_view bytes) {
    DeviceInfo info;
    // The reply is handled as zero-terminated text: a NUL byte ends it.
    info.raw_text = text::DecodeUtf8(bytes.substr(0, bytes.find('\0')), kRawTextCapacity - 1);
    Scanner(info.raw_text).Run(info);
    return info;
}

}  // namespace orvandel
