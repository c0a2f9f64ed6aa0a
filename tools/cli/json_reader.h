// A strict reader of small JSON documents (the site file, written by people as
// well as by this program): RFC 8259 values, nesting at most 32 deep, strings
// checked to be UTF-8 and their escapes decoded. No number arithmetic: numbers
// keep their text. At most kMaxJsonValues values are held at once, so that a
// document of many small values cannot take a hundred times its size in memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvandel::cli {

inline constexpr std::size_t kMaxJsonValues = 65536;

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

// The document, or nullopt with `error` saying where and why it is not JSON (or,
// starting "too large:", that it holds more than kMaxJsonValues values at once).
std::optional<JsonValue> ReadJson(std::string_view text, std::string& error);

// As ReadJson, but each item of the array that is the first member `list` of the
// top-level object goes to `item` as soon as it is read and is not kept (that
// array stays empty in the document): a long list costs the memory of one item.
// `item` sees the items in order; it keeps what it needs.
using JsonItemSink = std::function<void(JsonValue&& item)>;
std::optional<JsonValue> ReadJson(std::string_view text, std::string& error, std::string_view list,
                                  const JsonItemSink& item);

}  // namespace orvandel::cli
