#include "tools/cli/monitor_run.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "discovery/search_engine.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/safe_file.h"
#include "platform/socket_check.h"
#include "platform/udp_socket.h"
#include "tools/cli/ansible_inventory.h"
#include "tools/cli/cli_json.h"
#include "tools/cli/cli_output.h"
#include "tools/cli/prometheus_export.h"
#include "tools/cli/site_file.h"
#include "tools/cli/watch.h"

namespace orvandel::cli {

namespace {

constexpr int kFound = 0;
constexpr int kNotAsExpected = 1;
constexpr int kCannotSearch = 3;
constexpr int kOutputFailed = 4;
constexpr int kFileFailed = 5;
// How often a wait looks at the stop flag: SIGINT ends a watch within this.
constexpr int kSliceMs = 50;

std::atomic<bool> g_stop{false};

void OnStop(int) {
    g_stop = true;
}

void Message(const std::string& text) {
    std::string ignored;
    WriteFully(STDERR_FILENO, "orvandel-cli: " + text + "\n", ignored);
}

std::string Shown(const std::string& name) {
    return "'" + EscapeForTerminal(std::string_view(name)) + "'";
}

std::int64_t WallSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Standard output: the first failed write is reported once, and ends the run.
class Output {
public:
    bool Write(const std::string& text) {
        std::string error;
        if (!failed_ && !WriteFully(STDOUT_FILENO, text, error, &g_stop)) {
            failed_ = true;
            Message("cannot write the output: " + error);
        }
        return !failed_;
    }
    bool Failed() const { return failed_; }
    int Finish(int status) {
        if (!failed_ && ::close(STDOUT_FILENO) != 0 && errno != EINTR) {
            failed_ = true;
            Message("cannot write the output: " + std::string(std::strerror(errno)));
        }
        return failed_ ? kOutputFailed : status;
    }

private:
    bool failed_ = false;
};

// The system's adapters, narrowed to the ones named with --interface.
class ChosenAdapters : public AdapterSource {
public:
    explicit ChosenAdapters(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<AdapterRecord> List() override {
        std::vector<AdapterRecord> chosen;
        for (AdapterRecord& record : SystemAdapters().List()) {
            if (names_.empty() ||
                std::find(names_.begin(), names_.end(), record.name) != names_.end()) {
                chosen.push_back(std::move(record));
            }
        }
        return chosen;
    }

private:
    std::vector<std::string> names_;
};

struct RoundResult {
    std::vector<FoundDevice> found;
    double seconds = 0;
    std::size_t dropped = 0;
    bool interrupted = false;
};

// Searches as the plain search does, once or again and again, on one engine.
class Rounds {
public:
    explicit Rounds(const Options& options) : options_(options), source_(options.interfaces) {}

    // Adapters and targets; false (after a message) when no search can run.
    bool Prepare() {
        const std::vector<std::string> usable = UsableAdapterAddresses(source_.List());
        if (usable.empty()) {
            Message("no usable network adapter to search ('orvandel-cli --adapters' says why)");
            return false;
        }
        std::vector<UnicastTarget> targets;
        for (const Target& target : options_.targets) {
            std::string error;
            const std::string from = RouteSource(target.address, kDiscoveryPort, error);
            if (from.empty() || std::find(usable.begin(), usable.end(), from) == usable.end()) {
                Message("cannot reach --target " + Shown(target.given) +
                        " from a searched adapter" + (error.empty() ? "" : ": " + error));
                return false;
            }
            targets.push_back({target.address, from, target.prefix_length});
        }
        engine_ = std::make_unique<SearchEngine>(source_, SystemClock());
        engine_->SetUnicastTargets(std::move(targets));
        engine_->SetOwnAddressSource(SystemAdapters());
        if (options_.monitor.expect > 0) {
            engine_->SetChangeListener([this] { Notify(changed_); });
        }
        return true;
    }

    // One search of --timeout; with `expect`, it ends as soon as that many
    // devices answered.
    RoundResult Run(int expect) {
        RoundResult result;
        const auto start = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(mutex_);
            timed_out_ = false;
            changed_ = false;
        }
        SearchTiming timing;
        timing.duration_ms = options_.timeout_ms;
        // The engine's threads start with the stop signals blocked, so that they
        // reach this thread.
        sigset_t ending;
        sigemptyset(&ending);
        sigaddset(&ending, SIGINT);
        sigaddset(&ending, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
        engine_->Start(timing, nullptr, [this](std::uint64_t) { Notify(timed_out_); });
        ::pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
        std::set<std::string> answered;
        while (!g_stop) {
            bool timed_out = false;
            bool changed = false;
            {
                // A signal cannot wake this wait: it ends within a slice.
                std::unique_lock lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(kSliceMs),
                               [this] { return timed_out_ || changed_; });
                timed_out = timed_out_;
                changed = changed_;
                changed_ = false;
            }
            if (timed_out) {
                break;
            }
            if (expect > 0 && changed) {
                for (const DeviceInfo& device : engine_->TakeChanged()) {
                    answered.insert(DeviceIdentity(device));
                }
                if (static_cast<int>(answered.size()) >= expect) {
                    break;
                }
            }
        }
        if (g_stop) {
            // Ended early: no pauses for late replies; what came is kept.
            engine_->Abandon();
            result.interrupted = true;
        } else {
            engine_->Stop();
        }
        result.dropped = engine_->DroppedReplies();
        result.found = engine_->CollectFound();
        MarkClaimConflicts(result.found);
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

private:
    // From the engine's threads: quick, and never into the engine.
    void Notify(bool& flag) {
        {
            std::lock_guard lock(mutex_);
            flag = true;
        }
        wake_.notify_one();
    }

    const Options& options_;
    ChosenAdapters source_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool timed_out_ = false;  // guarded by mutex_
    bool changed_ = false;    // guarded by mutex_
    // Last: destroyed first, so that no callback outlives what it touches.
    std::unique_ptr<SearchEngine> engine_;
};

void InstallStopHandlers() {
    // Without SA_RESTART, so that a write to a stalled reader returns to be ended.
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
}

// Files other programs read at any moment: replaced whole, never written in place.
bool WriteWhole(const std::string& path, const std::string& bytes) {
    return ReplaceFile(path, bytes, {.always_rename = true}) == ReplaceResult::kReplaced;
}

// Writes the export files; false (after a message) when one could not be written.
bool WriteExports(const MonitorOptions& monitor, const std::vector<ExportedDevice>& devices,
                  const ExportStats& stats) {
    bool ok = true;
    if (!monitor.prometheus.empty() &&
        !WriteWhole(monitor.prometheus, FormatPrometheusText(devices, stats))) {
        Message("cannot write " + Shown(monitor.prometheus));
        ok = false;
    }
    if (!monitor.prometheus_targets.empty() &&
        !WriteWhole(monitor.prometheus_targets, FormatFileSdTargets(devices))) {
        Message("cannot write " + Shown(monitor.prometheus_targets));
        ok = false;
    }
    return ok;
}

// With `stamp`, a missing file is an empty site, and `stamp` says what was read.
std::optional<Site> ReadSite(const std::string& path, FileStamp* stamp = nullptr) {
    std::string why;
    const auto bytes = ReadFileBounded(path, kMaxSiteFileBytes + 1, stamp, &why);
    if (!bytes && stamp != nullptr && !stamp->exists) {
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
            return Site{};
        }
    }
    if (!bytes) {
        Message("cannot read the site file " + Shown(path) + ": " + why);
        return std::nullopt;
    }
    if (bytes->size() > kMaxSiteFileBytes) {
        Message("the site file " + Shown(path) + " is larger than 16 MiB");
        return std::nullopt;
    }
    std::string error;
    auto site = ParseSiteFile(*bytes, error);
    if (!site) {
        Message("the site file " + Shown(path) + " is not valid: " + error);
    }
    return site;
}

// Saves the search into the site file read as `read_as`. An edit made meanwhile is
// never lost: the search goes into the file as it is now, or (when that is no site
// file, or it keeps changing) the file is left as it is. False after a message
// when the file was not written.
bool SaveSite(const std::string& path, const std::vector<FoundDevice>& found, std::int64_t now,
              Site saved, FileStamp read_as) {
    constexpr int kAttempts = 4;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ReplaceResult result = ReplaceResult::kFailed;
        {
            const std::string text =
                FormatSiteFile(SiteFromFound(found, now, std::move(saved)), now);
            if (text.size() > kMaxSiteFileBytes) {
                Message("the site file " + Shown(path) +
                        " is left as it was: with this search it would be larger than 16 MiB");
                return false;
            }
            result = ReplaceFile(path, text, {.always_rename = true, .unchanged_since = &read_as});
        }
        if (result == ReplaceResult::kReplaced) {
            return true;
        }
        if (result == ReplaceResult::kFailed) {
            Message("cannot write the site file " + Shown(path));
            return false;
        }
        const std::uint64_t checksum = read_as.checksum;
        auto now_saved = ReadSite(path, &read_as);
        if (!now_saved) {
            Message("the site file " + Shown(path) +
                    " changed during the search and is left as it is now");
            return false;
        }
        if (read_as.checksum != checksum) {
            Message("the site file " + Shown(path) +
                    " changed during the search: the search is saved into it as it is now");
        }
        saved = std::move(*now_saved);
    }
    Message("the site file " + Shown(path) + " kept changing during the save and is left as it is");
    return false;
}

int Watch(const Options& options, Rounds& rounds) {
    const MonitorOptions& monitor = options.monitor;
    WatchState state(monitor.gone_after);
    Output out;
    std::uint64_t dropped_total = 0;
    bool header = false;
    while (!g_stop && !out.Failed()) {
        const auto round_start = std::chrono::steady_clock::now();
        RoundResult round = rounds.Run(0);
        if (round.interrupted) {
            break;
        }
        const std::int64_t now = WallSeconds();
        dropped_total += round.dropped;
        std::string batch;
        for (const WatchEvent& event : state.Round(round.found, now)) {
            if (options.format == Format::kJson) {
                batch += FormatEventJson(event, now);
            } else if (options.format == Format::kParsable) {
                batch += FormatEventParsable(event, now);
            } else {
                if (!header) {
                    batch += EventTableHeader();
                    header = true;
                }
                batch += FormatEventLine(event, now);
            }
        }
        if (!batch.empty()) {
            out.Write(batch);
        }
        if (!monitor.prometheus.empty() || !monitor.prometheus_targets.empty()) {
            std::vector<ExportedDevice> exported;
            for (const auto& [identity, seen] : state.Devices()) {
                exported.push_back({&seen.device, seen.missed == 0, seen.last_seen});
            }
            WriteExports(monitor, exported, {round.found.size(), round.seconds, dropped_total});
        }
        const auto next = round_start + std::chrono::milliseconds(monitor.interval_ms);
        while (!g_stop && std::chrono::steady_clock::now() < next) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::milliseconds(kSliceMs), next - std::chrono::steady_clock::now()));
        }
    }
    return out.Finish(kFound);
}

// The result of one search as the plain search prints it.
std::string ResultText(const Options& options, const RoundResult& round) {
    std::vector<DeviceInfo> devices;
    std::vector<DeviceFacts> facts;
    std::vector<std::string> statuses;
    for (const FoundDevice& device : round.found) {
        devices.push_back(device.record);
        facts.push_back(FactsOf(device));
        statuses.emplace_back(StatusWord(device.verdict.status));
    }
    if (options.format == Format::kJson) {
        return FormatResultJson({}, devices, facts, round.interrupted);
    }
    if (options.format == Format::kParsable) {
        std::string text;
        for (const DeviceInfo& device : devices) {
            text += ParsableLine(device);
        }
        return text;
    }
    return devices.empty() ? std::string() : FormatTable(devices, statuses);
}

int Once(const Options& options, Rounds& rounds) {
    const MonitorOptions& monitor = options.monitor;
    std::optional<Site> saved;
    FileStamp read_as;
    if (!monitor.check_site.empty() && !(saved = ReadSite(monitor.check_site))) {
        return kFileFailed;
    }
    if (!monitor.save_site.empty() && !(saved = ReadSite(monitor.save_site, &read_as))) {
        return kFileFailed;  // the user's labels and tags are never overwritten
    }
    const RoundResult round = rounds.Run(monitor.expect);
    const std::int64_t now = WallSeconds();
    Output out;
    int status = round.found.empty() ? kNotAsExpected : kFound;
    if (round.found.empty()) {
        std::string ignored;
        WriteFully(STDERR_FILENO, "No device found.\n", ignored);
    }
    if (monitor.expect > 0 && static_cast<int>(round.found.size()) < monitor.expect) {
        Message(std::to_string(round.found.size()) + " of " + std::to_string(monitor.expect) +
                " expected devices answered");
        status = kNotAsExpected;
    }
    if (!monitor.check_site.empty()) {
        const auto entries = CheckSite(*saved, round.found);
        const bool as_saved = SiteAsSaved(entries);
        out.Write(options.format == Format::kJson       ? FormatSiteCheckJson(entries, as_saved)
                  : options.format == Format::kParsable ? FormatSiteCheckParsable(entries)
                                                        : FormatSiteCheckTable(entries));
        const bool enough =
            monitor.expect == 0 || static_cast<int>(round.found.size()) >= monitor.expect;
        status = as_saved && enough ? kFound : kNotAsExpected;
    } else {
        out.Write(ResultText(options, round));
    }
    bool files_ok = true;
    if (!monitor.save_site.empty()) {
        if (round.found.empty() || round.interrupted) {
            Message("the site file " + Shown(monitor.save_site) + " is left as it was");
        } else {
            files_ok = SaveSite(monitor.save_site, round.found, now, std::move(*saved), read_as);
        }
    }
    // A series per claim: a device whose ip another claims still has its own.
    const std::vector<FoundDevice> claimed = ClaimedDevices(round.found);
    std::vector<ExportedDevice> exported;
    for (const FoundDevice& device : claimed) {
        exported.push_back({&device, true, now});
    }
    files_ok =
        WriteExports(monitor, exported, {round.found.size(), round.seconds, round.dropped}) &&
        files_ok;
    return out.Finish(files_ok ? status : kFileFailed);
}

int Inventory(const Options& options) {
    const MonitorOptions& monitor = options.monitor;
    std::vector<InventoryHost> hosts;
    if (!monitor.site.empty()) {
        const auto site = ReadSite(monitor.site);
        if (!site) {
            return kFileFailed;
        }
        hosts = HostsFromSite(*site);
    } else {
        Rounds rounds(options);
        if (!rounds.Prepare()) {
            return kCannotSearch;
        }
        hosts = HostsFromFound(rounds.Run(0).found);
    }
    Output out;
    out.Write(monitor.ansible_host ? FormatInventoryHost(hosts, *monitor.ansible_host)
                                   : FormatInventoryList(hosts));
    return out.Finish(kFound);
}

}  // namespace

int RunMonitor(const Options& options) {
    InstallStopHandlers();
    if (!(options.monitor.ansible && !options.monitor.site.empty()) && !SocketsAvailable()) {
        Message("cannot create a UDP socket");
        return kCannotSearch;
    }
    if (options.monitor.ansible) {
        return Inventory(options);
    }
    Rounds rounds(options);
    if (!rounds.Prepare()) {
        return kCannotSearch;
    }
    return options.monitor.watch ? Watch(options, rounds) : Once(options, rounds);
}

}  // namespace orvandel::cli
