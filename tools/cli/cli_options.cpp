#include "tools/cli/cli_options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "discovery/ipv4.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {

namespace {

constexpr std::size_t kMaxInterfaceName = 15;  // IFNAMSIZ without its terminator

// Why `address` cannot be sent to; empty when it can.
std::string Refusal(ipv4::Address address) {
    switch (ipv4::Classify(address)) {
        case ipv4::Kind::kLoopback:
            return "a loopback address: devices are never on this computer's loopback";
        case ipv4::Kind::kMulticast:
            return "a multicast address: the search already sends to the multicast group";
        case ipv4::Kind::kReserved:
            return "a reserved or the limited broadcast address: give a device's address or its "
                   "subnet";
        case ipv4::Kind::kThisNetwork:
            return "not an address of a host or a subnet";
        case ipv4::Kind::kLinkLocal:
        case ipv4::Kind::kUnicast:
            break;
    }
    return {};
}

bool ParseTimeout(const std::string& value, int& timeout_ms, std::string& error) {
    char* end = nullptr;
    errno = 0;
    const long ms = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || ms < 1 || ms > 600000 ||
        !(value[0] >= '0' && value[0] <= '9')) {
        error = "--timeout needs a whole number of milliseconds from 1 to 600000, not " +
                QuotedForTerminal(value);
        return false;
    }
    timeout_ms = static_cast<int>(ms);
    return true;
}

struct Parser {
    Options options;
    bool timeout_given = false;
    bool json = false;
    bool parsable = false;
    std::string error;

    // Applies one option; `value` is set for the options that take one.
    bool Apply(char short_name, const std::string& value) {
        switch (short_name) {
            case 'j':
                json = true;
                return true;
            case 'p':
                parsable = true;
                return true;
            case 'a':
                options.list_adapters = true;
                return true;
            case 's':
                options.stream = true;
                return true;
            case '1':
                options.first = true;
                return true;
            case 'D':
                options.diagnose = true;
                return true;
            case 'h':
                options.help = true;
                return true;
            case 'V':
                options.version = true;
                return true;
            case 't':
                if (timeout_given) {
                    error = "--timeout is given twice";
                    return false;
                }
                timeout_given = true;
                return ParseTimeout(value, options.timeout_ms, error);
            case 'i':
                if (value.empty() || value.size() > kMaxInterfaceName) {
                    error = "--interface needs an interface name of 1 to 15 bytes, not " +
                            QuotedForTerminal(value);
                    return false;
                }
                options.interfaces.push_back(value);
                return true;
            case 'T': {
                auto target = ParseTarget(value, error);
                if (!target) {
                    return false;
                }
                options.targets.push_back(std::move(*target));
                return true;
            }
            default:
                return false;
        }
    }

    bool Conflicts() {
        if (!MonitorOptionsConsistent(options.monitor, options.stream, options.first,
                                      options.list_adapters, error)) {
            return true;
        }
        if (json && parsable) {
            error = "--json and --parsable are two different outputs: choose one";
            return true;
        }
        if (options.diagnose && (options.stream || options.first || parsable)) {
            error = std::string("--diagnose prints its own report and does not go with ") +
                    (options.stream  ? "--stream"
                     : options.first ? "--first"
                                     : "--parsable");
            return true;
        }
        if (options.list_adapters) {
            const char* search_only = options.stream             ? "--stream"
                                      : options.first            ? "--first"
                                      : !options.targets.empty() ? "--target"
                                      : timeout_given            ? "--timeout"
                                      : parsable                 ? "--parsable"
                                      : options.diagnose         ? "--diagnose"
                                                                 : nullptr;
            if (search_only != nullptr) {
                error =
                    std::string("--adapters runs no search and does not go with ") + search_only;
                return true;
            }
        }
        return false;
    }
};

struct LongOption {
    std::string_view name;
    char short_name;
    bool takes_value;
};

constexpr LongOption kLongOptions[] = {
    {"json", 'j', false},    {"parsable", 'p', false}, {"adapters", 'a', false},
    {"stream", 's', false},  {"first", '1', false},    {"help", 'h', false},
    {"version", 'V', false}, {"timeout", 't', true},   {"interface", 'i', true},
    {"target", 'T', true},   {"diagnose", 'D', false},
};

// Letters that have a short form; the others are long options only.
constexpr std::string_view kShortFlags = "jphV";
constexpr std::string_view kShortWithValue = "tiT";

const LongOption* FindLong(char short_name) {
    for (const LongOption& option : kLongOptions) {
        if (option.short_name == short_name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Target> ParseTarget(std::string_view text, std::string& error) {
    const std::size_t slash = text.find('/');
    const std::string_view host = text.substr(0, slash);
    const auto address = ipv4::Parse(host);
    int prefix = 32;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        const bool plain = !digits.empty() && digits.size() <= 2 &&
                           digits.find_first_not_of("0123456789") == std::string_view::npos &&
                           !(digits.size() == 2 && digits[0] == '0');
        prefix = plain ? std::stoi(std::string(digits)) : -1;
    }
    if (!address || prefix < 0 || prefix > 32) {
        error = "--target needs an IPv4 address or a subnet such as 192.168.20.0/24, not " +
                QuotedForTerminal(text);
        return std::nullopt;
    }
    if (prefix == 31 || prefix < 8) {
        error = "--target " + QuotedForTerminal(text) +
                ": give a subnet from /8 to /30, or the device's own address";
        return std::nullopt;
    }
    Target target;
    target.given = std::string(text);
    ipv4::Address send_to = *address;
    ipv4::Address judged = *address;
    if (prefix < 32) {
        const ipv4::Address mask = ipv4::Mask(prefix);
        judged = *address & mask;  // the subnet's own address says what it is
        send_to = judged | ~mask;
        target.subnet = true;
    }
    const std::string why = Refusal(judged);
    if (!why.empty()) {
        error = "--target " + QuotedForTerminal(text) + " is " + why;
        return std::nullopt;
    }
    target.address = ipv4::Format(send_to);
    target.prefix_length = prefix;
    return target;
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Parser parser;
    auto fail = [&](std::string message) {
        error = message.empty() ? parser.error : std::move(message);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.starts_with("--") && arg.size() > 2) {
            const std::size_t equals = arg.find('=');
            const std::string_view name = std::string_view(arg).substr(2, equals - 2);
            const LongOption* option = nullptr;
            for (const LongOption& candidate : kLongOptions) {
                if (candidate.name == name) {
                    option = &candidate;
                }
            }
            if (option == nullptr) {
                const auto monitor_takes_value = MonitorOptionTakesValue(name);
                if (!monitor_takes_value) {
                    return fail("unknown option " +
                                QuotedForTerminal(std::string_view(arg).substr(0, equals)));
                }
                std::string value;
                if (!*monitor_takes_value && equals != std::string::npos) {
                    return fail("--" + std::string(name) + " takes no value");
                }
                if (*monitor_takes_value) {
                    if (equals != std::string::npos) {
                        value = arg.substr(equals + 1);
                    } else if (i + 1 < args.size()) {
                        value = args[++i];
                    } else {
                        return fail("--" + std::string(name) + " needs a value");
                    }
                }
                if (!ApplyMonitorOption(name, value, parser.options.monitor, parser.error)) {
                    return fail("");
                }
                continue;
            }
            std::string value;
            if (!option->takes_value && equals != std::string::npos) {
                return fail("--" + std::string(name) + " takes no value");
            }
            if (option->takes_value) {
                if (equals != std::string::npos) {
                    value = arg.substr(equals + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return fail("--" + std::string(name) + " needs a value");
                }
            }
            if (!parser.Apply(option->short_name, value)) {
                return fail("");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            for (std::size_t k = 1; k < arg.size(); ++k) {
                const char letter = arg[k];
                if (kShortFlags.find(letter) != std::string_view::npos) {
                    parser.Apply(letter, {});
                    continue;
                }
                if (kShortWithValue.find(letter) == std::string_view::npos) {
                    return fail("unknown option " +
                                QuotedForTerminal("-" + std::string(1, letter)) +
                                (k > 1 ? " in " + QuotedForTerminal(arg) : std::string()));
                }
                std::string value;
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return fail("-" + std::string(1, letter) + " (--" +
                                std::string(FindLong(letter)->name) + ") needs a value");
                }
                if (!parser.Apply(letter, value)) {
                    return fail("");
                }
                break;
            }
        } else {
            return fail((arg.starts_with("-") && arg.size() > 1 ? "unknown option "
                                                                : "unexpected argument ") +
                        QuotedForTerminal(arg));
        }
    }
    if (parser.Conflicts()) {
        return fail("");
    }
    parser.options.format = parser.json       ? Format::kJson
                            : parser.parsable ? Format::kParsable
                                              : Format::kTable;
    return parser.options;
}

}  // namespace orvandel::cli
