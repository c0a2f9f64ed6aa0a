// Feeds arbitrary bytes to the reply parser and checks the record's limits; the
// same bytes, split at NUL, also go through the collection and the rows.
//
// Where the bytes are well-formed JSON, an independent reader (nlohmann-json, in
// strict mode) says what every field must hold, and the parser must agree
// exactly. The text ends at its first NUL byte, for the reader as for the parser.
// The comparison covers every text up to there that the reader accepts (objects
// are what devices send, but any JSON text is fine) of at most 4,095 bytes, so
// that the raw text is never cut; that is: valid UTF-8 only, no lone surrogate
// escape, no malformed escape, no float that overflows, an optional byte order
// mark at the start. Within that, a field holds:
//  - the value of the last occurrence of its key, at any depth, whose value is a
//    non-empty string, a number or true/false (numbers and literals as written),
//    or an array whose first element is a non-empty string (that string);
//  - cut to whole characters within 1,023 UTF-16 units;
//  - empty when no occurrence gives one (null, "", objects and other arrays give
//    nothing; a key's value is never read as a key).
#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/collection.h"
#include "discovery/discovery_transport.h"
#include "discovery/reply_parser.h"
#include "localization/row_view.h"
#include "localization/ui_strings.h"
#include "text/utf.h"

namespace {

using orvandel::DeviceInfo;
using Json = nlohmann::json;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

using StoredField = orvandel::DeviceField;

// The reply keys that fill a field. The parser also knows keys it skips ("sku",
// "nic", "enable", "isConnected"); to the oracle they are like any unknown key.
constexpr auto kFields = orvandel::kReplyKeyFields;

// No field over its capacity, and no surrogate left without its partner.
void CheckText(const std::u16string& text, std::size_t max_units) {
    Check(text.size() <= max_units);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (orvandel::text::IsHighSurrogate(text[i])) {
            Check(i + 1 < text.size() && orvandel::text::IsLowSurrogate(text[i + 1]));
            ++i;
        } else {
            Check(!orvandel::text::IsLowSurrogate(text[i]));
        }
    }
}

void CheckRecord(const DeviceInfo& info) {
    CheckText(info.raw_text, orvandel::kRawTextCapacity - 1);
    for (const StoredField& field : kFields) {
        CheckText(info.*field.member, orvandel::kFieldCapacity - 1);
    }
}

// UTF-8 that the reader has validated, to UTF-16, keeping whole characters within
// `max_units`. Written here rather than taken from the product, so that the
// comparison does not lean on the code it checks.
std::u16string ToUtf16(std::string_view utf8, std::size_t max_units) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        Check(i + length <= utf8.size());
        char32_t cp = length == 1   ? lead
                      : length == 2 ? lead & 0x1F
                      : length == 3 ? lead & 0x0F
                                    : lead & 0x07;
        for (std::size_t k = 1; k < length; ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        const std::size_t units = cp >= 0x10000 ? 2 : 1;
        if (out.size() + units > max_units) {
            break;
        }
        if (units == 2) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// Follows the reader's events in document order and keeps, per field, the value
// the parser must give.
class Oracle : public nlohmann::json_sax<Json> {
public:
    std::array<std::u16string, kFields.size()> expected;

    bool key(string_t& text) override {
        after_key_ = true;
        key_field_ = Find(text);
        return true;
    }
    bool string(string_t& text) override {
        if (array_field_) {
            Store(*array_field_, text);
        } else if (after_key_) {
            Store(key_field_, text);
        }
        return Done();
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Literal(std::to_string(value));
    }
    // The reader gives a negative integer here and a non-negative one as unsigned,
    // so zero here was written "-0".
    bool number_integer(number_integer_t value) override {
        return Literal(value == 0 ? std::string("-0") : std::to_string(value));
    }
    bool number_float(number_float_t, const string_t& written) override { return Literal(written); }
    bool boolean(bool value) override { return Literal(value ? "true" : "false"); }
    bool null() override { return Done(); }
    bool binary(binary_t&) override { return Done(); }
    bool start_object(std::size_t) override { return Done(); }
    bool end_object() override { return Done(); }
    // After a stored key, a string first element is the value.
    bool start_array(std::size_t) override {
        const std::optional<std::size_t> field = after_key_ ? key_field_ : std::nullopt;
        Done();
        array_field_ = field;
        return true;
    }
    bool end_array() override { return Done(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    static std::optional<std::size_t> Find(std::string_view text) {
        for (std::size_t i = 0; i < kFields.size(); ++i) {
            if (kFields[i].key == text) {
                return i;
            }
        }
        return std::nullopt;
    }
    void Store(std::optional<std::size_t> field, std::string_view text) {
        if (field && !text.empty()) {
            expected[*field] = ToUtf16(text, orvandel::kFieldCapacity - 1);
        }
    }
    bool Literal(std::string_view written) {
        if (after_key_ && !array_field_) {
            Store(key_field_, written);
        }
        return Done();
    }
    // Any event ends a pending key and a pending first element.
    bool Done() {
        after_key_ = false;
        key_field_.reset();
        array_field_.reset();
        return true;
    }

    bool after_key_ = false;
    std::optional<std::size_t> key_field_;    // the pending key's field, if stored
    std::optional<std::size_t> array_field_;  // an array just opened after that key
};

void CheckAgainstReader(std::string_view bytes, const DeviceInfo& parsed) {
    bytes = bytes.substr(0, bytes.find('\0'));
    if (bytes.empty() || bytes.size() >= orvandel::kRawTextCapacity) {
        return;
    }
    Oracle oracle;
    bool accepted = false;
    try {
        accepted = Json::sax_parse(bytes.begin(), bytes.end(), &oracle);
    } catch (const Json::exception&) {
        accepted = false;
    }
    if (!accepted) {
        return;
    }
    Check(parsed.raw_text == ToUtf16(bytes, bytes.size()));
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        Check(parsed.*kFields[i].member == oracle.expected[i]);
    }
    // In well-formed JSON every key and its value lie before the closing brace of
    // their object, so the receive side's trim loses none of them.
    const DeviceInfo trimmed = orvandel::ParseReply(orvandel::TrimReply(bytes));
    for (const StoredField& field : kFields) {
        Check(trimmed.*field.member == parsed.*field.member);
    }
}

// Random bytes are seldom well-formed JSON, so an input whose first byte is one
// UTF-8 never uses (0xF8-0xFF) describes a reply instead: a document built from
// the rest, with the table's keys, every kind of
// value, escapes (an escaped key too), raw UTF-8 and white space between tokens.
class ReplyWriter {
public:
    explicit ReplyWriter(FuzzedDataProvider& input) : input_(input) {}

    std::string Write() {
        Object(0);
        return out_;
    }

private:
    void Space() {
        static constexpr std::string_view kSpaces[] = {"", "", " ", "\n\t", "\r\n"};
        out_ += kSpaces[input_.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpaces) - 1)];
    }
    void Utf8(char32_t cp) {
        if (cp < 0x80) {
            out_.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out_.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out_.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out_.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out_.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    void Escape(char32_t cp) {
        char hex[16];
        if (cp >= 0x10000) {
            std::snprintf(hex, sizeof hex, "\\u%04X\\u%04x",
                          static_cast<unsigned>(0xD800 + ((cp - 0x10000) >> 10)),
                          static_cast<unsigned>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(cp));
        }
        out_ += hex;
    }
    char32_t AnyCodePoint() {
        char32_t cp = input_.ConsumeIntegralInRange<char32_t>(0, 0x10FFFF);
        return cp >= 0xD800 && cp <= 0xDFFF ? cp - 0x800 : cp;
    }
    void Text(std::string_view plain) {
        out_.push_back('"');
        for (char c : plain) {
            if (input_.ConsumeIntegralInRange(0, 7) == 0) {
                Escape(static_cast<unsigned char>(c));
            } else {
                out_.push_back(c);
            }
        }
        const std::size_t count = input_.ConsumeIntegralInRange<std::size_t>(0, 6);
        for (std::size_t i = 0; i < count; ++i) {
            switch (input_.ConsumeIntegralInRange(0, 4)) {
                case 0:
                    out_.push_back(input_.ConsumeIntegralInRange<char>(0x20, 0x7E));
                    if (out_.back() == '"' || out_.back() == '\\') {
                        out_.back() = 'q';
                    }
                    break;
                case 1:
                    out_ += std::string_view("\\\"\\\\\\/\\b\\f\\n\\r\\t")
                                .substr(2 * input_.ConsumeIntegralInRange(0, 7), 2);
                    break;
                case 2:
                    Escape(AnyCodePoint());
                    break;
                default:
                    Utf8(std::max<char32_t>(AnyCodePoint(), 0x20));
                    break;
            }
        }
        out_.push_back('"');
    }
    void Value(int depth) {
        static constexpr std::string_view kLiterals[] = {"true",
                                                         "false",
                                                         "null",
                                                         "0",
                                                         "-0",
                                                         "7",
                                                         "-12",
                                                         "1.5",
                                                         "-1.5e3",
                                                         "1E+2",
                                                         "0.0e-0",
                                                         "18446744073709551615",
                                                         "18446744073709551616",
                                                         "-9223372036854775808",
                                                         "-9223372036854775809"};
        switch (input_.ConsumeIntegralInRange(0, 5)) {
            case 0:
                out_ += kLiterals[input_.ConsumeIntegralInRange<std::size_t>(
                    0, std::size(kLiterals) - 1)];
                break;
            case 1:
                if (depth < 3) {
                    Object(depth + 1);
                    break;
                }
                [[fallthrough]];
            case 2:
                if (depth < 3) {
                    Array(depth + 1);
                    break;
                }
                [[fallthrough]];
            default:
                Text("");
                break;
        }
    }
    void Array(int depth) {
        out_.push_back('[');
        const std::size_t count = input_.ConsumeIntegralInRange<std::size_t>(0, 3);
        for (std::size_t i = 0; i < count; ++i) {
            Space();
            Value(depth);
            Space();
            if (i + 1 < count) {
                out_.push_back(',');
            }
        }
        out_.push_back(']');
    }
    void Object(int depth) {
        out_.push_back('{');
        const std::size_t count = input_.ConsumeIntegralInRange<std::size_t>(0, 5);
        for (std::size_t i = 0; i < count; ++i) {
            Space();
            const std::size_t key =
                input_.ConsumeIntegralInRange<std::size_t>(0, kFields.size() + 2);
            Text(key < kFields.size() ? kFields[key].key : key == kFields.size() ? "nic" : "x");
            Space();
            out_.push_back(':');
            Space();
            Value(depth);
            Space();
            if (i + 1 < count) {
                out_.push_back(',');
            }
        }
        out_.push_back('}');
    }

    FuzzedDataProvider& input_;
    std::string out_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string written;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 1 && data[0] >= 0xF8) {
        FuzzedDataProvider input(data + 1, size - 1);
        written = ReplyWriter(input).Write();
        bytes = written;
    }
    const DeviceInfo parsed = orvandel::ParseReply(bytes);
    CheckRecord(parsed);
    // The receiver's shortcut never throws away a reply that gives an ip.
    Check(orvandel::MayGiveIp(bytes) || parsed.ip.empty());
    CheckAgainstReader(bytes, parsed);

    // A value written as the first element of an array reads as the plain value.
    std::string value;
    for (char c : bytes.substr(0, 900)) {
        if (c != '"' && c != '\\' && c != '\0') {
            value.push_back(c);
        }
    }
    const DeviceInfo plain = orvandel::ParseReply("{\"ip\": \"" + value + "\"}");
    const DeviceInfo in_array = orvandel::ParseReply("{\"ip\": [ \"" + value + "\", \"x\"]}");
    Check(plain.ip == in_array.ip);
    Check(value.empty() || !plain.ip.empty());

    std::vector<std::string> replies;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        replies.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    const std::vector<DeviceInfo> devices = orvandel::CollectDevices(replies);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        CheckRecord(devices[i]);
        Check(!devices[i].ip.empty());
        Check(i == 0 || devices[i - 1].ip < devices[i].ip);
    }
    // Never read or written: the texts are built in English without the file.
    static const orvandel::UiStrings strings("/nonexistent/setting.cfg");
    std::vector<orvandel::FoundDevice> found;
    for (const DeviceInfo& device : devices) {
        found.push_back({device, {}, {}, {}, {}});
    }
    for (const orvandel::RowView& view : orvandel::MakeRowViews(found, strings)) {
        Check(view.Line(1).size() <= 63 && view.Line(2).size() <= 63);
        Check(view.Line(0).size() + view.Line(1).size() + view.Line(2).size() + 2 <= 511);
        for (std::size_t i = 0; i < 3; ++i) {
            Check(view.Line(i).find(u'\n') == std::u16string_view::npos);
        }
        // The reader hears the painted name.
        Check(view.AccessibleName().starts_with(view.Line(0)));
        Check(!view.IconPath().empty());
    }
    return 0;
}
