#include "tools/cli/cli_output.h"

#include <poll.h>
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

void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    text::ForEachCodePoint(text, [&out](char32_t cp) {
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
        // Controls are escaped even where JSON allows them raw, so that printing
        // the output on a terminal stays harmless.
        if (text::IsUnsafeForDisplay(cp)) {
            out += Hex("\\u%04x", static_cast<unsigned>(cp));
        } else {
            text::AppendUtf8(out, cp);
        }
    });
    out.push_back('"');
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

std::string FormatTable(const std::vector<DeviceInfo>& devices) {
    std::vector<std::array<std::string, 4>> cells;
    cells.push_back({"MODEL", "NAME", "IP", "MAC"});
    for (const DeviceInfo& device : devices) {
        std::u16string mac = device.id;
        text::AsciiUpper(mac);
        cells.push_back({OrDash(device.model), EscapeForTerminal(device.device_name),
                         OrDash(device.ip), OrDash(mac)});
    }
    std::array<std::size_t, 4> widths{};
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
        }
    }
    std::string out;
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            out += line[c];
            if (c + 1 < line.size()) {
                out.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
            }
        }
        out.push_back('\n');
    }
    return out;
}

std::string FormatJson(const std::vector<DeviceInfo>& devices) {
    std::string out = "[";
    for (std::size_t d = 0; d < devices.size(); ++d) {
        out += d == 0 ? "\n  {" : ",\n  {";
        for (std::size_t f = 0; f < kDeviceFields.size(); ++f) {
            out += f == 0 ? "\n    \"" : ",\n    \"";
            out += kDeviceFields[f].key;
            out += "\": ";
            const std::u16string& value = devices[d].*kDeviceFields[f].member;
            // A record without a MAC address is still a device; null tells it
            // apart from a value the reply did give.
            if (kDeviceFields[f].member == &DeviceInfo::id && value.empty()) {
                out += "null";
            } else {
                AppendJsonString(out, value);
            }
        }
        out += "\n  }";
    }
    out += devices.empty() ? "]\n" : "\n]\n";
    return out;
}

bool WriteFully(int fd, std::string_view text, std::string& error) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) {
                continue;
            }
        }
        error = n == 0 ? "nothing was written" : std::strerror(errno);
        return false;
    }
    return true;
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--adapters") {
            options.list_adapters = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--timeout" || arg.starts_with("--timeout=")) {
            std::string value;
            if (arg == "--timeout") {
                if (i + 1 >= args.size()) {
                    error = "--timeout needs a value in milliseconds";
                    return std::nullopt;
                }
                value = args[++i];
            } else {
                value = arg.substr(std::string("--timeout=").size());
            }
            char* end = nullptr;
            errno = 0;
            const long ms = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || ms < 1 || ms > 600000) {
                error = "--timeout needs a whole number of milliseconds from 1 to 600000, not '" +
                        EscapeForTerminal(std::string_view(value)) + "'";
                return std::nullopt;
            }
            options.timeout_ms = static_cast<int>(ms);
        } else {
            error = (arg.starts_with("-") ? "unknown option '" : "unexpected argument '") +
                    EscapeForTerminal(std::string_view(arg)) + "'";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace orvandel::cli
