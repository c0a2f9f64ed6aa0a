// Options of the long-running and file-writing modes of the command-line finder:
// watch, site file, Prometheus export and Ansible inventory. Kept apart from the
// plain search's options so that each set of rules stays readable.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvandel::cli {

struct MonitorOptions {
    bool watch = false;
    int interval_ms = 30000;
    bool interval_given = false;
    int gone_after = 2;
    std::string save_site;                    // --save-site FILE
    std::string check_site;                   // --check-site FILE
    int expect = 0;                           // --expect N (0: not given)
    std::string prometheus;                   // --prometheus FILE
    std::string prometheus_targets;           // --prometheus-targets FILE
    bool ansible = false;                     // --ansible-inventory
    bool ansible_list = false;                // --list
    std::optional<std::string> ansible_host;  // --host NAME
    std::string site;                         // --site FILE: the inventory's source

    // Whether any option of this set was given.
    bool Any() const {
        return watch || !save_site.empty() || !check_site.empty() || expect > 0 ||
               !prometheus.empty() || !prometheus_targets.empty() || ansible || !site.empty();
    }
};

// The shortest --interval a user may give. A test lowers it with the environment
// variable ORVANDEL_TESTING_MIN_INTERVAL_MS (for tests only: a search every few
// hundred milliseconds is no use on a real network).
int MinimumIntervalMs();

// Whether `name` (without "--") is an option of this set, and whether it takes a
// value.
std::optional<bool> MonitorOptionTakesValue(std::string_view name);

// Applies option `name` with `value` (empty for a flag); false with `error` set
// when the value is not valid.
bool ApplyMonitorOption(std::string_view name, const std::string& value, MonitorOptions& options,
                        std::string& error);

// Options of this set that contradict each other or the search's options; false
// with `error` set. `stream`, `first` and `adapters` are the search's own modes.
bool MonitorOptionsConsistent(const MonitorOptions& options, bool stream, bool first, bool adapters,
                              std::string& error);

}  // namespace orvandel::cli
