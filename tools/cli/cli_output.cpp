#include "tools/cli/cli_output.h"

#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/display_safe.h"
#include "text/utf.h"

namespace orvandel::cli {

namespace {

constexpr char32_t kInvalidByte = 0x110000;  // marks a byte that is not UTF-8; + byte value

// Code points of bytes that should be UTF-8; each byte of an ill-formed sequence
// is reported as kInvalidByte + its value.
template <typename Fn>
void ForEachUtf8(std::string_view text, Fn fn) {
    std::size_t i = 0;
    while (i < text.size()) {
        const text::Utf8Step step = text::DecodeUtf8At(text, i);
        if (step.valid) {
            fn(step.code_point);
        } else {
            for (std::size_t k = 0; k < step.length; ++k) {
                fn(kInvalidByte + static_cast<unsigned char>(text[i + k]));
            }
        }
        i += step.length;
    }
}

std::string Hex(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void AppendEscaped(std::string& out, char32_t cp) {
    if (cp >= kInvalidByte) {
        out += Hex("\\x%02X", static_cast<unsigned>(cp - kInvalidByte));
    } else if (cp == '\\') {
        out += "\\\\";
    } else if (cp == '\n') {
        out += "\\n";
    } else if (cp == '\t') {
        out += "\\t";
    } else if (cp == '\r') {
        out += "\\r";
    } else if (cp < 0x20 || cp == 0x7F) {
        out += Hex("\\x%02X", static_cast<unsigned>(cp));
    } else if (text::IsUnsafeForDisplay(cp)) {
        out += Hex("\\u{%04X}", static_cast<unsigned>(cp));
    } else {
        text::AppendUtf8(out, cp);
    }
}

void AppendJsonCodePoint(std::string& out, char32_t cp) {
    switch (cp) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\r':
            out += "\\r";
            return;
        default:
            break;
    }
    // Controls are escaped even where JSON allows them raw, so that printing the
    // output on a terminal stays harmless.
    if (cp >= kInvalidByte) {
        text::AppendUtf8(out, text::kReplacementChar);
    } else if (text::IsUnsafeForDisplay(cp)) {
        out += Hex("\\u%04x", static_cast<unsigned>(cp));
    } else {
        text::AppendUtf8(out, cp);
    }
}

bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

std::string OrDash(std::u16string_view text) {
    return text.empty() ? std::string("-") : EscapeForTerminal(text);
}

}  // namespace

std::string EscapeForTerminal(std::u16string_view text) {
    std::string out;
    text::ForEachCodePoint(text, [&out](char32_t cp) { AppendEscaped(out, cp); });
    return out;
}

std::string EscapeForTerminal(std::string_view utf8) {
    std::string out;
    ForEachUtf8(utf8, [&out](char32_t cp) { AppendEscaped(out, cp); });
    return out;
}

std::string QuotedForTerminal(std::string_view utf8) {
    return "'" + EscapeForTerminal(utf8) + "'";
}

std::string JsonString(std::u16string_view text) {
    std::string out = "\"";
    text::ForEachCodePoint(text, [&out](char32_t cp) { AppendJsonCodePoint(out, cp); });
    return out + "\"";
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    ForEachUtf8(utf8, [&out](char32_t cp) { AppendJsonCodePoint(out, cp); });
    return out + "\"";
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    ForEachUtf8(utf8, [&width](char32_t cp) {
        if (cp >= 0x300 && cp <= 0x36F) {
            return;  // combining marks sit on the previous character
        }
        width += IsWide(cp) ? 2 : 1;
    });
    return width;
}

std::string CutToWidth(std::string_view utf8, std::size_t width) {
    if (DisplayWidth(utf8) <= width) {
        return std::string(utf8);
    }
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < utf8.size() && width > 0;) {
        const std::size_t length = text::DecodeUtf8At(utf8, i).length;
        const std::string_view piece = utf8.substr(i, length);
        const std::size_t shown = DisplayWidth(piece);
        if (used + shown + 1 > width) {
            break;  // the rest would leave no room for the ellipsis
        }
        out += piece;
        used += shown;
        i += length;
    }
    return width > 0 ? out + "\u2026" : out;
}

std::string MacText(const DeviceInfo& device) {
    return EscapeForTerminal(std::u16string_view(ShownMac(device)));
}

std::string FormatTable(const std::vector<DeviceInfo>& devices,
                        const std::vector<std::string>& statuses, std::size_t max_width) {
    const bool with_status = !statuses.empty();
    const std::size_t columns = with_status ? 5 : 4;
    std::vector<std::array<std::string, 5>> cells;
    cells.push_back({"MODEL", "NAME", "IP", "MAC", "STATUS"});
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const DeviceInfo& device = devices[d];
        const std::string mac = MacText(device);
        cells.push_back({OrDash(device.model), EscapeForTerminal(device.device_name),
                         OrDash(device.ip), mac.empty() ? "-" : mac,
                         d < statuses.size() ? statuses[d] : std::string()});
    }
    std::array<std::size_t, 5> widths{};
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < columns; ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
        }
    }
    // Too wide for the terminal: the names give way, down to a few characters;
    // the other columns are short and cut would mislead.
    constexpr std::size_t kNarrowestName = 8;
    std::size_t total = 2 * (columns - 1);
    for (std::size_t c = 0; c < columns; ++c) {
        total += widths[c];
    }
    if (max_width > 0 && total > max_width && widths[1] > kNarrowestName) {
        const std::size_t excess = total - max_width;
        widths[1] =
            excess < widths[1] ? std::max(kNarrowestName, widths[1] - excess) : kNarrowestName;
        for (std::size_t row = 1; row < cells.size(); ++row) {
            cells[row][1] = CutToWidth(cells[row][1], widths[1]);
        }
    }
    std::string out;
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < columns; ++c) {
            out += line[c];
            if (c + 1 < columns) {
                out.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
            }
        }
        out.push_back('\n');
    }
    return out;
}

std::string ParsableLine(const DeviceInfo& device, std::string_view status,
                         std::string_view event) {
    std::string out = EscapeForTerminal(std::u16string_view(device.model));
    for (const std::string& field :
         {EscapeForTerminal(std::u16string_view(device.device_name)),
          EscapeForTerminal(std::u16string_view(device.ip)), MacText(device)}) {
        out += '\t' + field;
    }
    if (!status.empty()) {
        out += '\t' + std::string(status);
    }
    if (!event.empty()) {
        out += '\t' + std::string(event);
    }
    return out + '\n';
}

namespace {

// Column widths of the streamed table: the longest model, an ordinary name, a
// dotted address and a MAC address.
constexpr std::array<std::size_t, 4> kStreamWidths = {6, 20, 15, 17};

void AppendPadded(std::string& out, const std::string& cell, std::size_t width) {
    out += cell;
    const std::size_t shown = DisplayWidth(cell);
    out.append((shown < width ? width - shown : 0) + 2, ' ');
}

}  // namespace

std::string StreamTableHeader(bool with_status) {
    std::string out;
    AppendPadded(out, "MODEL", kStreamWidths[0]);
    AppendPadded(out, "NAME", kStreamWidths[1]);
    AppendPadded(out, "IP", kStreamWidths[2]);
    if (with_status) {
        AppendPadded(out, "MAC", kStreamWidths[3]);
        out += "STATUS";
    } else {
        out += "MAC";
    }
    return out + '\n';
}

std::string StreamTableLine(const DeviceInfo& device, std::string_view status, bool update) {
    std::string out;
    const std::string mac = MacText(device);
    AppendPadded(out, OrDash(device.model), kStreamWidths[0]);
    AppendPadded(out, EscapeForTerminal(std::u16string_view(device.device_name)), kStreamWidths[1]);
    AppendPadded(out, OrDash(device.ip), kStreamWidths[2]);
    if (!status.empty()) {
        AppendPadded(out, mac.empty() ? "-" : mac, kStreamWidths[3]);
        out += status;
    } else {
        out += mac.empty() ? "-" : mac;
    }
    if (update) {
        out += "  (updated)";
    }
    return out + '\n';
}

namespace {
// How often a write waiting on a stalled reader looks at the stop.
constexpr int kStopLookMs = 50;
}  // namespace

bool WriteFully(int fd, std::string_view text, std::string& error,
                const std::atomic<bool>* cancel) {
    // With a stop to give way to, a descriptor that can block (a pipe, a socket, a
    // terminal) is written only once poll says it has room, a pipe's free slot at
    // most, and the stop is looked at every 50 ms of a wait: a blocked write would
    // hold the stop for as long as the reader stalls. A reader that reads still
    // gets all of it after a stop (what was found is printed).
    struct stat info {};
    const bool guarded = cancel != nullptr && ::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode);
    const bool socket = guarded && S_ISSOCK(info.st_mode);
    auto stopped = [&] {
        if (cancel != nullptr && cancel->load()) {
            error = "interrupted while the reader was not reading";
            return true;
        }
        return false;
    };
    while (!text.empty()) {
        if (guarded) {
            pollfd ready{fd, POLLOUT, 0};
            const int rc = ::poll(&ready, 1, kStopLookMs);
            if (rc == 0 || (rc < 0 && errno == EINTR)) {
                if (stopped()) {
                    return false;
                }
                continue;
            }
            // An error or a hang-up is for the write to report.
        }
        const std::size_t piece =
            guarded && !socket ? std::min<std::size_t>(text.size(), PIPE_BUF) : text.size();
        const ssize_t n =
            socket ? ::send(fd, text.data(), piece, MSG_DONTWAIT) : ::write(fd, text.data(), piece);
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (stopped()) {
                return false;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            const int rc = ::poll(&ready, 1, cancel != nullptr ? kStopLookMs : -1);
            if (rc > 0) {
                continue;
            }
            if (rc == 0 || errno == EINTR) {
                if (stopped()) {
                    return false;
                }
                continue;
            }
        }
        error = n == 0 ? "nothing was written" : std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace orvandel::cli
