// Text output of the command-line finder: device names and other network data are
// printed as data, never as terminal control sequences.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// An aligned table with a header and one line per device: the model as reported,
// the name, the IP address and the MAC address in upper case, as the window shows
// it. An empty model or MAC address is shown as "-".
std::string FormatTable(const std::vector<DeviceInfo>& devices);

// A JSON array with one object per device and every field under its reply key;
// "id" (the MAC address) is null when the reply gave none.
std::string FormatJson(const std::vector<DeviceInfo>& devices);

// Writes all of `text` to `fd`, through short writes, EINTR and a non-blocking
// descriptor. On failure returns false and `error` says why (EPIPE comes back as
// an error only when SIGPIPE is ignored).
bool WriteFully(int fd, std::string_view text, std::string& error);

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
