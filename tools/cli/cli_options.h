// The command-line finder's arguments: what the user asked for, and the rules
// that turn an argument list into it or into a usage error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cli/monitor_options.h"

namespace orvandel::cli {

enum class Format { kTable, kJson, kParsable };

// Where --target sends the browse command besides the multicast group.
struct Target {
    std::string given;       // as typed, for messages
    std::string address;     // dotted IPv4: the host itself, or its subnet's broadcast address
    bool subnet = false;     // `address` is a subnet broadcast address
    int prefix_length = 32;  // of the subnet (32: the host alone)
};

struct Options {
    Format format = Format::kTable;
    bool list_adapters = false;
    bool help = false;
    bool version = false;
    bool stream = false;
    bool first = false;
    bool diagnose = false;  // search, then print why nothing (or what) was missed
    int timeout_ms = 5000;
    std::vector<std::string> interfaces;  // empty: every adapter
    std::vector<Target> targets;
    MonitorOptions monitor;  // watch, site file, exports, inventory
};

// Parses the arguments (long options, their "--name=value" form, and bundled
// short options as in "-jt 500"); on error, nullopt and `error` holds the message.
// Conflicting options are errors, never a silent choice.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error);

// A --target value: an IPv4 address, or a subnet "a.b.c.d/n" (8 <= n <= 30, or 32
// for the host itself) whose broadcast address is the target. Loopback,
// multicast, "this network" (0/8) and the reserved 240/4 range, broadcast
// included, are refused with a message saying why.
std::optional<Target> ParseTarget(std::string_view text, std::string& error);

}  // namespace orvandel::cli
