#include "tools/cli/monitor_options.h"

#include <cerrno>
#include <cstdlib>

#include "tools/cli/cli_output.h"

namespace orvandel::cli {

namespace {

constexpr int kDefaultMinimumIntervalMs = 5000;
constexpr int kMaximumIntervalMs = 86400 * 1000;
constexpr int kMaximumGoneAfter = 1000;
constexpr int kMaximumExpect = 100000;

struct OptionRule {
    std::string_view name;
    bool takes_value;
};

constexpr OptionRule kOptionRules[] = {
    {"watch", false},
    {"interval", true},
    {"gone-after", true},
    {"save-site", true},
    {"check-site", true},
    {"expect", true},
    {"prometheus", true},
    {"prometheus-targets", true},
    {"ansible-inventory", false},
    {"list", false},
    {"host", true},
    {"site", true},
};

std::optional<long> WholeNumber(const std::string& value, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || !(value[0] >= '0' && value[0] <= '9') || *end != '\0' || errno != 0 ||
        n < low || n > high) {
        return std::nullopt;
    }
    return n;
}

// Seconds with at most three decimals ("30", "0.5") as milliseconds.
std::optional<long> SecondsAsMs(const std::string& value) {
    const std::size_t dot = value.find('.');
    const std::string whole = value.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : value.substr(dot + 1);
    if (whole.empty() || whole.size() > 6 || fraction.size() > 3 ||
        whole.find_first_not_of("0123456789") != std::string::npos ||
        fraction.find_first_not_of("0123456789") != std::string::npos ||
        (dot != std::string::npos && fraction.empty())) {
        return std::nullopt;
    }
    fraction.resize(3, '0');
    return std::stol(whole) * 1000 + std::stol(fraction);
}

bool NeedFile(std::string_view name, const std::string& value, std::string& target,
              std::string& error) {
    if (value.empty()) {
        error = "--" + std::string(name) + " needs a file name";
        return false;
    }
    if (!target.empty()) {
        error = "--" + std::string(name) + " is given twice";
        return false;
    }
    target = value;
    return true;
}

}  // namespace

int MinimumIntervalMs() {
    // For tests only; see the header.
    if (const char* testing = std::getenv("ORVANDEL_TESTING_MIN_INTERVAL_MS")) {
        if (const auto ms = WholeNumber(testing, 1, kDefaultMinimumIntervalMs)) {
            return static_cast<int>(*ms);
        }
    }
    return kDefaultMinimumIntervalMs;
}

std::optional<bool> MonitorOptionTakesValue(std::string_view name) {
    for (const OptionRule& rule : kOptionRules) {
        if (rule.name == name) {
            return rule.takes_value;
        }
    }
    return std::nullopt;
}

bool ApplyMonitorOption(std::string_view name, const std::string& value, MonitorOptions& options,
                        std::string& error) {
    if (name == "watch") {
        options.watch = true;
    } else if (name == "interval") {
        const auto ms = SecondsAsMs(value);
        const int minimum = MinimumIntervalMs();
        if (!ms || *ms < minimum || *ms > kMaximumIntervalMs) {
            error = "--interval needs a number of seconds from " + std::to_string(minimum / 1000) +
                    (minimum % 1000 ? "." + std::to_string(minimum % 1000) : "") +
                    " to 86400, not " + QuotedForTerminal(value);
            return false;
        }
        options.interval_ms = static_cast<int>(*ms);
        options.interval_given = true;
    } else if (name == "gone-after") {
        const auto rounds = WholeNumber(value, 1, kMaximumGoneAfter);
        if (!rounds) {
            error = "--gone-after needs a number of rounds from 1 to 1000, not " +
                    QuotedForTerminal(value);
            return false;
        }
        options.gone_after = static_cast<int>(*rounds);
    } else if (name == "expect") {
        const auto count = WholeNumber(value, 1, kMaximumExpect);
        if (!count) {
            error = "--expect needs a number of devices from 1 to 100000, not " +
                    QuotedForTerminal(value);
            return false;
        }
        options.expect = static_cast<int>(*count);
    } else if (name == "save-site") {
        return NeedFile(name, value, options.save_site, error);
    } else if (name == "check-site") {
        return NeedFile(name, value, options.check_site, error);
    } else if (name == "prometheus") {
        return NeedFile(name, value, options.prometheus, error);
    } else if (name == "prometheus-targets") {
        return NeedFile(name, value, options.prometheus_targets, error);
    } else if (name == "site") {
        return NeedFile(name, value, options.site, error);
    } else if (name == "ansible-inventory") {
        options.ansible = true;
    } else if (name == "list") {
        options.ansible_list = true;
    } else if (name == "host") {
        if (options.ansible_host) {
            error = "--host is given twice";
            return false;
        }
        options.ansible_host = value;
    } else {
        error = "unknown option " + QuotedForTerminal("--" + std::string(name));
        return false;
    }
    return true;
}

bool MonitorOptionsConsistent(const MonitorOptions& o, bool stream, bool first, bool adapters,
                              std::string& error) {
    if (!o.Any() && !o.ansible_list && !o.ansible_host && !o.interval_given && o.gone_after == 2) {
        return true;
    }
    auto fail = [&](std::string message) {
        error = std::move(message);
        return false;
    };
    if (adapters || stream || first) {
        const char* mode = adapters ? "--adapters" : stream ? "--stream" : "--first";
        if (o.Any()) {
            return fail(std::string(mode) +
                        " does not go with --watch, the site file, the exports or the inventory");
        }
    }
    if ((o.ansible_list || o.ansible_host) && !o.ansible) {
        return fail("--list and --host belong to --ansible-inventory");
    }
    if (o.ansible) {
        if (o.ansible_list == o.ansible_host.has_value()) {
            return fail("--ansible-inventory needs --list or --host NAME (one of them)");
        }
        if (o.watch || !o.save_site.empty() || !o.check_site.empty() || !o.prometheus.empty() ||
            !o.prometheus_targets.empty()) {
            return fail("--ansible-inventory prints the inventory and does nothing else");
        }
    } else if (!o.site.empty()) {
        return fail("--site is the source of --ansible-inventory");
    }
    if ((o.interval_given || o.gone_after != 2) && !o.watch) {
        return fail("--interval and --gone-after belong to --watch");
    }
    if (o.watch && (!o.check_site.empty() || !o.save_site.empty() || o.expect > 0)) {
        return fail("--watch does not go with --save-site, --check-site or --expect");
    }
    if (!o.save_site.empty() && !o.check_site.empty()) {
        return fail("--save-site and --check-site: choose one");
    }
    return true;
}

}  // namespace orvandel::cli
