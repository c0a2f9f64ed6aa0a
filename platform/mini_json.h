// A small JSON reader for documents of the system's own tools (the nftables
// ruleset as `nft -j` prints it): a tree of values, bounded in depth and size.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvandel {

struct JsonValue {
    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
    Type type = Type::kNull;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;              // kArray
    std::map<std::string, JsonValue> members;  // kObject; a repeated key keeps the last

    // The member `key` of an object, or nullptr.
    const JsonValue* Get(std::string_view key) const;
    bool IsString(std::string_view value) const { return type == Type::kString && text == value; }
};

// Nesting deeper than this is refused: the reader recurses once per level.
inline constexpr int kMaxJsonDepth = 64;

// The document, or nullopt when it is not one well-formed JSON value (trailing
// white space allowed). \u escapes become UTF-8.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace orvandel
