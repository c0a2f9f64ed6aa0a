// Text output of the command-line finder: device names and other network data are
// printed as data, never as terminal control sequences.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/collection.h"
#include "discovery/device_info.h"

namespace orvandel::cli {

// UTF-16 (possibly ill-formed) to UTF-8 with C0/C1 controls, DEL, bidirectional
// overrides and backslash escaped (\n, \t, \xNN, \u{NNNN}, \\); unpaired surrogates
// become U+FFFD.
std::string EscapeForTerminal(std::u16string_view text);
// The same for narrow bytes that should be UTF-8 (interface names and aliases).
std::string EscapeForTerminal(std::string_view utf8);

// Terminal columns of escaped text (East Asian wide characters count 2).
std::size_t DisplayWidth(std::string_view utf8);

// An aligned table: model, name, IP, MAC; one line per row, with a header.
std::string FormatTable(const std::vector<DeviceRow>& rows);

// A JSON array with one object per device and every field.
std::string FormatJson(const std::vector<DeviceInfo>& devices);

struct Options {
    bool json = false;
    bool list_adapters = false;
    bool help = false;
    bool version = false;
    int timeout_ms = 5000;
};

// Parses the arguments; on error, nullopt and `error` holds the message.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error);

}  // namespace orvandel::cli
