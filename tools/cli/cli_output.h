// Text output of the command-line finder: device names and other network data are
// printed as data, never as terminal control sequences.
#pragma once

#include <atomic>
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
// Escaped as above and in single quotes: how a message names what it refuses.
std::string QuotedForTerminal(std::string_view utf8);

// Terminal columns of escaped text (East Asian wide characters count 2).
std::size_t DisplayWidth(std::string_view utf8);
// At most `width` columns of `utf8`, whole characters, ending in "…" when cut.
std::string CutToWidth(std::string_view utf8, std::size_t width);

// A JSON string literal of UTF-16 (possibly ill-formed) or of bytes that should
// be UTF-8; unpaired surrogates and invalid bytes become U+FFFD. Controls,
// C1 controls and bidirectional overrides are escaped even where JSON allows them
// raw, so that printing the output on a terminal stays harmless.
std::string JsonString(std::u16string_view text);
std::string JsonString(std::string_view utf8);

// The MAC address as the table and the window show it: ASCII upper case.
std::string MacText(const DeviceInfo& device);

// An aligned table with a header and one line per device: the model as reported,
// the name, the IP address and the MAC address in upper case, as the window shows
// it, and a STATUS column when `statuses` (one per device) is not empty. An empty
// model or MAC address is shown as "-". With `max_width` (a terminal's columns),
// names are cut so that the lines fit, as far as names of 8 columns allow.
std::string FormatTable(const std::vector<DeviceInfo>& devices,
                        const std::vector<std::string>& statuses = {}, std::size_t max_width = 0);

// The table for scripts: the same fields, tab-separated, no header, no padding;
// escaped as on the terminal, so a tab or a newline inside a value reads "\t" or
// "\n" and every line is one device. An absent value is an empty field.
// `event` ("found" or "update", streaming only) is appended as a last field.
std::string ParsableLine(const DeviceInfo& device, std::string_view status = {},
                         std::string_view event = {});

// Lines of the table as devices arrive (the widths cannot wait for the last
// device): a header and rows padded to fixed widths; an update of a device listed
// before ends in "  (updated)".
std::string StreamTableHeader(bool with_status);
std::string StreamTableLine(const DeviceInfo& device, std::string_view status, bool update);

// Writes all of `text` to `fd`, through short writes, EINTR and a non-blocking
// descriptor. On failure returns false and `error` says why (EPIPE comes back as
// an error only when SIGPIPE is ignored). Once `cancel` is set it gives up within
// 50 ms, however long the reader stalls.
bool WriteFully(int fd, std::string_view text, std::string& error,
                const std::atomic<bool>* cancel = nullptr);

}  // namespace orvandel::cli
