// A strict reader of small JSON documents (the site file, written by people as
// well as by this program): RFC 8259 values, nesting at most 32 deep, strings
// checked to be UTF-8 and their escapes decoded. No number arithmetic: numbers
// keep their text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvandel::cli {

struct JsonValue {
    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    std::string text;  // a string's UTF-8, or a number as written
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in document order

    // The first member called `key`; nullptr when there is none or this is no object.
    const JsonValue* Find(std::string_view key) const;
};

// The document, or nullopt with `error` saying where and why it is not JSON.
std::optional<JsonValue> ReadJson(std::string_view text, std::string& error);

}  // namespace orvandel::cli
