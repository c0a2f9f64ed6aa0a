// A strict reader of small JSON documents (the site file, written by people as
// well as by this program): RFC 8259 values, nesting at most 32 deep, strings
// checked to be UTF-8 and their escapes decoded. No number arithmetic: numbers
// keep their text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvandel::cli {

struct JsonValue {
    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    std::string text;  // a string's UTF-8, or a number as written
    // An array's values; an object's values, in document order, with their keys
    // in `keys` (two vectors: a vector of a type being defined is allowed, a pair
    // holding it is not).
    std::vector<JsonValue> items;
    std::vector<std::string> keys;

    // The first member called `key`; nullptr when there is none or this is no object.
    const JsonValue* Find(std::string_view key) const;
};

// The document, or nullopt with `error` saying where and why it is not JSON.
std::optional<JsonValue> ReadJson(std::string_view text, std::string& error);

}  // namespace orvandel::cli
