#include "platform/mini_json.h"

#include <cctype>
#include <cstdlib>

namespace orvandel {

const JsonValue* JsonValue::Get(std::string_view key) const {
    if (type != Type::kObject) {
        return nullptr;
    }
    auto it = members.find(std::string(key));
    return it == members.end() ? nullptr : &it->second;
}

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Document(JsonValue& out) {
        if (!Value(out, 0)) {
            return false;
        }
        Space();
        return at_ == text_.size();
    }

private:
    void Space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }
    bool Take(char c) {
        Space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) == word) {
            at_ += word.size();
            return true;
        }
        return false;
    }
    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool Hex4(unsigned& code) {
        if (at_ + 4 > text_.size()) {
            return false;
        }
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9') {
                code |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"')) {
            return false;
        }
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) {
                return false;
            }
            const char e = text_[at_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!Hex4(code)) {
                        return false;
                    }
                    if (code >= 0xD800 && code < 0xDC00 && Word("\\u")) {
                        unsigned low = 0;
                        if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                            return false;
                        }
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xD800 && code <= 0xDFFF) {
                        code = 0xFFFD;
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Number(double& out) {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        auto digits = [&] {
            const std::size_t from = at_;
            while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            }
            return at_ > from;
        };
        if (!digits()) {
            return false;
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits()) {
                return false;
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            if (!digits()) {
                return false;
            }
        }
        out = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
        return true;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxJsonDepth) {
            return false;
        }
        Space();
        if (at_ >= text_.size()) {
            return false;
        }
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            out.type = JsonValue::Type::kObject;
            if (Take('}')) {
                return true;
            }
            do {
                std::string key;
                if (!String(key) || !Take(':')) {
                    return false;
                }
                JsonValue member;
                if (!Value(member, depth + 1)) {
                    return false;
                }
                out.members[key] = std::move(member);
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++at_;
            out.type = JsonValue::Type::kArray;
            if (Take(']')) {
                return true;
            }
            do {
                if (!Value(out.items.emplace_back(), depth + 1)) {
                    return false;
                }
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') {
            out.type = JsonValue::Type::kString;
            return String(out.text);
        }
        if (Word("true")) {
            out.type = JsonValue::Type::kBool;
            out.boolean = true;
            return true;
        }
        if (Word("false")) {
            out.type = JsonValue::Type::kBool;
            return true;
        }
        if (Word("null")) {
            out.type = JsonValue::Type::kNull;
            return true;
        }
        out.type = JsonValue::Type::kNumber;
        return Number(out.number);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<JsonValue> ParseJson(std::string_view text) {
    JsonValue value;
    if (!Reader(text).Document(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace orvandel
