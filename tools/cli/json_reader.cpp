#include "tools/cli/json_reader.h"

#include <algorithm>
#include <utility>

#include "text/utf.h"

namespace orvandel::cli {

namespace {

constexpr int kMaxDepth = 32;

class Reader {
public:
    Reader(std::string_view text, std::string_view list, const JsonItemSink* sink)
        : text_(text), list_(list), sink_(sink) {}

    std::optional<JsonValue> Document(std::string& error) {
        JsonValue value;
        Space();
        if (!Value(value, 0)) {
            error = error_ + " at " + Where();
            return std::nullopt;
        }
        Space();
        if (pos_ != text_.size()) {
            error = "text after the document at " + Where();
            return std::nullopt;
        }
        return value;
    }

private:
    // Where a person editing the file looks: line and column (in characters).
    std::string Where() const {
        const std::string_view before = text_.substr(0, std::min(pos_, text_.size()));
        const std::size_t line_start = before.rfind('\n') + 1;  // npos + 1 is 0
        std::size_t column = 1;
        for (const char c : before.substr(line_start)) {
            column += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
        return "line " + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) +
               ", column " + std::to_string(column);
    }
    bool Fail(const char* why) {
        error_ = why;
        return false;
    }
    // One more value held; false past the bound.
    bool Hold() {
        if (++held_ > kMaxJsonValues) {
            return Fail("too large: more than 65536 values at once");
        }
        return true;
    }
    void Space() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return Fail("unknown word");
        }
        pos_ += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxDepth) {
            return Fail("nested too deep");
        }
        if (pos_ >= text_.size()) {
            return Fail("unexpected end");
        }
        switch (text_[pos_]) {
            case 'n':
                out.type = JsonValue::Type::kNull;
                return Word("null");
            case 't':
                out.type = JsonValue::Type::kBool;
                out.boolean = true;
                return Word("true");
            case 'f':
                out.type = JsonValue::Type::kBool;
                return Word("false");
            case '"':
                out.type = JsonValue::Type::kString;
                return String(out.text);
            case '[':
                out.type = JsonValue::Type::kArray;
                return Array(out, depth);
            case '{':
                out.type = JsonValue::Type::kObject;
                return Object(out, depth);
            default:
                out.type = JsonValue::Type::kNumber;
                return Number(out.text);
        }
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        return pos_ > start;
    }

    bool Number(std::string& out) {
        const std::size_t start = pos_;
        if (text_[pos_] == '-') {
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '0') {
            ++pos_;
        } else if (!Digits()) {
            return Fail("not a value");
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!Digits()) {
                return Fail("a number needs digits after its point");
            }
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            if (!Digits()) {
                return Fail("a number needs digits in its exponent");
            }
        }
        out = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool Hex4(char32_t& unit) {
        if (text_.size() - pos_ < 4) {
            return Fail("a \\u escape needs four hex digits");
        }
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            unit <<= 4;
            if (c >= '0' && c <= '9') {
                unit |= static_cast<char32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                unit |= static_cast<char32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                unit |= static_cast<char32_t>(c - 'A' + 10);
            } else {
                return Fail("a \\u escape needs four hex digits");
            }
        }
        return true;
    }

    bool Escape(std::string& out) {
        if (pos_ >= text_.size()) {
            return Fail("unexpected end");
        }
        const char c = text_[pos_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return Fail("unknown escape");
        }
        char32_t unit = 0;
        if (!Hex4(unit)) {
            return false;
        }
        if (text::IsHighSurrogate(unit) && text_.substr(pos_, 2) == "\\u") {
            const std::size_t back = pos_;
            pos_ += 2;
            char32_t low = 0;
            if (!Hex4(low)) {
                return false;
            }
            if (text::IsLowSurrogate(low)) {
                text::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            pos_ = back;
        }
        // An unpaired surrogate cannot be UTF-8.
        text::AppendUtf8(out, text::IsSurrogate(unit) ? text::kReplacementChar : unit);
        return true;
    }

    bool String(std::string& out) {
        ++pos_;  // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c == '\\') {
                ++pos_;
                if (!Escape(out)) {
                    return false;
                }
                continue;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("a control character inside a string");
            }
            const text::Utf8Step step = text::DecodeUtf8At(text_, pos_);
            if (!step.valid) {
                return Fail("a string that is not UTF-8");
            }
            out.append(text_.substr(pos_, step.length));
            pos_ += step.length;
        }
        return Fail("a string without its closing quote");
    }

    // The brackets and commas of a list; `item` reads each item.
    template <typename ReadItem>
    bool List(ReadItem item) {
        ++pos_;
        Space();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        while (true) {
            Space();
            if (!item()) {
                return false;
            }
            Space();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    bool Array(JsonValue& out, int depth) {
        return List([&] { return Hold() && Value(out.items.emplace_back(), depth + 1); });
    }

    // The list's items, each handed over and let go as soon as it is read.
    bool Streamed(const JsonItemSink& sink) {
        return List([&] {
            const std::size_t held = held_;
            JsonValue item;
            if (!Hold() || !Value(item, 2)) {
                return false;
            }
            held_ = held;
            sink(std::move(item));
            return true;
        });
    }

    bool Object(JsonValue& out, int depth) {
        ++pos_;
        Space();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        while (true) {
            Space();
            if (pos_ >= text_.size() || text_[pos_] != '"') {
                return Fail("expected a key");
            }
            std::string key;
            if (!String(key)) {
                return false;
            }
            Space();
            if (pos_ >= text_.size() || text_[pos_] != ':') {
                return Fail("expected ':'");
            }
            ++pos_;
            Space();
            if (depth == 0 && sink_ != nullptr && key == list_ && pos_ < text_.size() &&
                text_[pos_] == '[') {
                const JsonItemSink& sink = *std::exchange(sink_, nullptr);  // the first only
                out.keys.push_back(std::move(key));
                out.items.emplace_back().type = JsonValue::Type::kArray;
                if (!Hold() || !Streamed(sink)) {
                    return false;
                }
            } else {
                out.keys.push_back(std::move(key));
                out.items.emplace_back();
                if (!Hold() || !Value(out.items.back(), depth + 1)) {
                    return false;
                }
            }
            Space();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    std::string_view text_;
    std::string_view list_;
    const JsonItemSink* sink_;
    std::size_t pos_ = 0;
    std::size_t held_ = 0;
    std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (type != Type::kObject) {
        return nullptr;
    }
    for (std::size_t i = 0; i < keys.size() && i < items.size(); ++i) {
        if (keys[i] == key) {
            return &items[i];
        }
    }
    return nullptr;
}

std::optional<JsonValue> ReadJson(std::string_view text, std::string& error) {
    return Reader(text, {}, nullptr).Document(error);
}

std::optional<JsonValue> ReadJson(std::string_view text, std::string& error, std::string_view list,
                                  const JsonItemSink& item) {
    return Reader(text, list, &item).Document(error);
}

}  // namespace orvandel::cli
