// orvandel-cli: runs one device search and prints what the window would list.
// Results go to stdout and nothing else does; every message goes to stderr.
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "build_config.h"
#include "discovery/diagnosis.h"
#include "discovery/reply_parser.h"
#include "discovery/search_engine.h"
#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/socket_check.h"
#include "platform/thread_heap.h"
#include "platform/udp_socket.h"
#include "text/join.h"
#include "tools/cli/cli_diagnosis.h"
#include "tools/cli/cli_json.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_output.h"
#include "tools/cli/monitor_run.h"
#include "tools/cli/watch.h"

namespace {

using orvandel::cli::Format;
using orvandel::cli::Options;

// Exit statuses.
constexpr int kFound = 0;
constexpr int kNoneFound = 1;
constexpr int kUsageError = 2;
constexpr int kCannotSearch = 3;
constexpr int kOutputFailed = 4;

std::atomic<bool> g_interrupted{false};

// The least time between two streamed batches.
constexpr int kBatchPauseUs = 1000;
// What the records taken from a burst of 1,000 replies and their lines take of
// the main thread's heap.
constexpr std::size_t kListeningHeapBytes = 2u << 20;

void OnInterrupt(int) {
    g_interrupted = true;
}

constexpr const char* kUsage =
    "Usage: orvandel-cli [OPTION]...\n"
    "Searches the local network for streaming devices on every usable adapter and\n"
    "lists them: model, name, IP address, MAC address.\n"
    "\n"
    "  -j, --json              print the result as JSON (schema in orvandel-cli(1))\n"
    "  -p, --parsable          tab-separated fields, no header, one line per device\n"
    "      --stream            print each device as soon as it answers, and a line\n"
    "                          for every later change (with --json: one object a line)\n"
    "      --first             end the search at the first device found\n"
    "  -t, --timeout MS        length of the search in milliseconds (default 5000);\n"
    "                          replies are gathered for at most the first 5000 ms\n"
    "  -i, --interface NAME    search only this adapter (repeatable)\n"
    "  -T, --target ADDRESS    also send the search to this address, or to the\n"
    "                          broadcast address of a subnet such as 192.168.20.0/24,\n"
    "                          to reach devices behind a router (repeatable)\n"
    "      --adapters          list the adapters a search would use, and why others\n"
    "                          are skipped (with --json: as JSON)\n"
    "      --diagnose          search, then say why nothing answered, as far as this\n"
    "                          computer can tell (with --json: as JSON)\n"
    "\n"
    "Watching and monitoring (see orvandel-cli(1)):\n"
    "      --watch             search again and again and print what appeared,\n"
    "                          changed or went\n"
    "      --interval SECONDS  time between searches of --watch (default 30, least 5)\n"
    "      --gone-after N      rounds a device may miss before it is gone (default 2)\n"
    "      --save-site FILE    save the devices found, keeping their labels and tags\n"
    "      --check-site FILE   compare the devices found with a saved site; exit\n"
    "                          status 0 only when every saved device is as saved\n"
    "      --expect N          end the search as soon as N devices answered\n"
    "      --prometheus FILE   write the devices as a node_exporter textfile\n"
    "      --prometheus-targets FILE  write the devices' pages as file_sd targets\n"
    "      --ansible-inventory (--list | --host NAME) [--site FILE]\n"
    "                          act as an Ansible inventory script\n"
    "\n"
    "  -h, --help              show this text\n"
    "  -V, --version           show the version\n"
    "\n"
    "Exit status: 0 a device found, 1 none found, 2 usage error, 3 the search could\n"
    "not run (no usable adapter, no socket, no route to a target), 4 the output\n"
    "could not be written, 5 a site or export file could not be read or written.\n"
    "SIGINT and SIGTERM end the search early; what was found\n"
    "is printed.\n";

void WriteStderr(const std::string& text) {
    // write() directly: the progress comes from the timer thread. A message that
    // cannot be written has nowhere else to go.
    std::string ignored;
    orvandel::cli::WriteFully(STDERR_FILENO, text, ignored);
}

void Message(const std::string& text) {
    WriteStderr("orvandel-cli: " + text + "\n");
}

// Standard output, written from the main thread only. The first failed write is
// reported once; a reader that went away or a full disk is exit status 4, never a
// silent success or a death by SIGPIPE.
class Output {
public:
    bool Write(const std::string& text) {
        std::string error;
        if (!failed_ && !orvandel::cli::WriteFully(STDOUT_FILENO, text, error, &g_interrupted)) {
            Fail(error);
        }
        return !failed_;
    }
    bool Failed() const { return failed_; }

    int Finish(int status) {
        // A file on a network file system may report a failed write only here.
        if (!failed_ && ::close(STDOUT_FILENO) != 0 && errno != EINTR) {
            Fail(std::strerror(errno));
        }
        return failed_ ? kOutputFailed : status;
    }

private:
    void Fail(const std::string& error) {
        failed_ = true;
        Message("cannot write the output: " + error);
    }
    bool failed_ = false;
};

int Emit(const std::string& results, int status) {
    Output out;
    out.Write(results);
    return out.Finish(status);
}

// The columns of the terminal standard output is, or 0 when it is none (a pipe or
// a file gets whole lines).
std::size_t TerminalColumns() {
    if (::isatty(STDOUT_FILENO) != 1) {
        return 0;
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    const char* columns = std::getenv("COLUMNS");
    const long parsed = columns != nullptr ? std::strtol(columns, nullptr, 10) : 0;
    return parsed > 0 && parsed < 100000 ? static_cast<std::size_t>(parsed) : 0;
}

// A search that cannot run says why on stderr and, with --json, in the document a
// script waits for (one line for --stream, like its other lines).
int CannotSearch(const Options& options, const std::string& why) {
    Message(why);
    if (options.format == Format::kJson && !options.diagnose) {
        return Emit(orvandel::cli::FormatResultJson({}, {}, {}, false, why, !options.stream),
                    kCannotSearch);
    }
    return kCannotSearch;
}

// A standard descriptor that was closed at start would be taken by the next file
// or socket opened, and the results or messages would go there. Hold its place:
// stdout read-only, so that writing the results fails as it should.
void HoldStandardDescriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int held = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

bool Named(const orvandel::AdapterRecord& record, const std::vector<std::string>& names) {
    return names.empty() || std::find(names.begin(), names.end(), record.name) != names.end();
}

// The system's adapters, narrowed to the ones named with --interface.
class ChosenAdapters : public orvandel::AdapterSource {
public:
    explicit ChosenAdapters(std::vector<std::string> names) : names_(std::move(names)) {}
    std::vector<orvandel::AdapterRecord> List() override {
        std::vector<orvandel::AdapterRecord> chosen;
        for (orvandel::AdapterRecord& record : orvandel::SystemAdapters().List()) {
            if (Named(record, names_)) {
                chosen.push_back(std::move(record));
            }
        }
        return chosen;
    }

private:
    std::vector<std::string> names_;
};

// Says which names given with --interface match no adapter at all.
void ReportUnknownInterfaces(const Options& options,
                             const std::vector<orvandel::AdapterRecord>& records) {
    for (const std::string& name : options.interfaces) {
        const bool known = std::any_of(records.begin(), records.end(),
                                       [&](const auto& record) { return record.name == name; });
        if (!known) {
            Message("no adapter is named '" + orvandel::cli::EscapeForTerminal(name) + "'");
        }
    }
}

constexpr const char* kNotChosen = "not chosen with --interface";

// The engine judges every adapter; those --interface left out are skipped too,
// and the no-adapter verdict says so rather than that there were none.
void NameTheAdaptersNotChosen(const Options& options,
                              const std::vector<orvandel::AdapterRecord>& records,
                              std::vector<orvandel::Verdict>& verdicts) {
    std::vector<std::string> not_chosen;
    const auto judged = orvandel::JudgeAdapters(records);
    for (std::size_t i = 0; i < judged.size() && i < records.size(); ++i) {
        if (!judged[i].address.empty() && !Named(records[i], options.interfaces)) {
            not_chosen.push_back(judged[i].name + ": " + kNotChosen);
        }
    }
    for (orvandel::Verdict& verdict : verdicts) {
        if (verdict.code != orvandel::VerdictCode::kNoAdapter || not_chosen.empty()) {
            continue;
        }
        std::vector<std::string> skipped = not_chosen;
        if (const std::string before = verdict.Value("skipped"); !before.empty()) {
            skipped.insert(skipped.begin(), before);
        }
        const std::size_t count =
            not_chosen.size() + static_cast<std::size_t>(std::atoi(verdict.Value("count").c_str()));
        verdict.variant = orvandel::VerdictVariant::kPlain;
        verdict.values = {{"count", std::to_string(count)},
                          {"skipped", orvandel::text::Joined(skipped, "; ")}};
    }
}

int ListAdapters(const Options& options) {
    using orvandel::cli::EscapeForTerminal;
    const auto records = orvandel::SystemAdapters().List();
    ReportUnknownInterfaces(options, records);
    const auto verdicts = orvandel::JudgeAdapters(records);
    std::vector<orvandel::cli::AdapterListing> listing;
    for (std::size_t i = 0; i < verdicts.size() && i < records.size(); ++i) {
        orvandel::cli::AdapterListing entry;
        entry.name = verdicts[i].name;
        entry.description = records[i].description;
        entry.address = verdicts[i].address;
        entry.prefix_length = verdicts[i].prefix_length;
        entry.reason = verdicts[i].reason;
        if (!Named(records[i], options.interfaces)) {
            entry.address.clear();
            entry.reason = kNotChosen;
        }
        listing.push_back(std::move(entry));
    }
    if (listing.empty()) {
        WriteStderr("No network adapter found.\n");
    }
    if (options.format == Format::kJson) {
        return Emit(orvandel::cli::FormatAdaptersJson(listing), kFound);
    }
    std::string out;
    for (const auto& entry : listing) {
        out += EscapeForTerminal(std::string_view(entry.name));
        if (entry.description != entry.name) {
            out += " (" + EscapeForTerminal(std::string_view(entry.description)) + ")";
        }
        out +=
            entry.address.empty() ? "  skipped: " + entry.reason : "  searched: " + entry.address;
        out += "\n";
    }
    return Emit(out, kFound);
}

// Wakes the main thread when a batch of changed devices is waiting in the engine,
// or when the search ends: at most one wake-up per batch, however many datagrams.
class Wakeup {
public:
    void Notify() {
        {
            std::lock_guard lock(mutex_);
            if (std::exchange(due_, true)) {
                return;  // already due: the waiter has not taken the last one yet
            }
        }
        wake_.notify_one();
    }
    // Waits up to `ms` for Notify.
    void Wait(int ms) {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return due_; });
        due_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool due_ = false;
};

// What a streamed search has listed. The engine gives a record only when it differs
// from the one it gave before for that ip, so no copies are kept to compare.
struct Listed {
    std::unordered_set<std::u16string> ips;
    std::optional<orvandel::DeviceInfo> first;  // the first device listed, for --first
};

// Where each target is sent from: the searched adapter whose route reaches it.
// False with `failure` saying why when a target has no searched adapter.
bool ResolveTargets(const Options& options, const std::vector<std::string>& searched,
                    std::vector<orvandel::UnicastTarget>& targets, std::string& failure) {
    for (const orvandel::cli::Target& target : options.targets) {
        std::string error;
        const std::string from =
            orvandel::RouteSource(target.address, orvandel::kDiscoveryPort, error);
        const std::string shown = "'" + orvandel::cli::EscapeForTerminal(target.given) + "'";
        if (from.empty()) {
            failure = "cannot reach --target " + shown + ": " + error;
            return false;
        }
        if (std::find(searched.begin(), searched.end(), from) == searched.end()) {
            failure = "--target " + shown + " is reached from " + from +
                      ", which is not a searched adapter ('orvandel-cli --adapters' says why)";
            return false;
        }
        targets.push_back({target.address, from, target.prefix_length});
    }
    return true;
}

int Search(const Options& options) {
    ChosenAdapters source(options.interfaces);
    const auto all = orvandel::SystemAdapters().List();
    ReportUnknownInterfaces(options, all);
    const auto records = source.List();
    const std::vector<std::string> usable = orvandel::UsableAdapterAddresses(records);
    if (usable.empty()) {
        const int status = CannotSearch(
            options, "no usable network adapter to search ('orvandel-cli --adapters' says why)");
        if (options.diagnose) {
            // No search ran: the verdicts of an engine that searched nothing.
            auto verdicts =
                orvandel::SearchEngine(orvandel::SystemAdapters(), orvandel::SystemClock())
                    .Diagnose(0);
            NameTheAdaptersNotChosen(options, all, verdicts);
            const auto entries = orvandel::cli::DiagnosisEntries(verdicts);
            return Emit(options.format == Format::kJson
                            ? orvandel::cli::FormatDiagnosisJson({}, 0, entries)
                            : orvandel::cli::FormatDiagnosisTable(entries, 0),
                        kCannotSearch);
        }
        return status;
    }
    std::vector<orvandel::UnicastTarget> targets;
    if (std::string failure; !ResolveTargets(options, usable, targets, failure)) {
        return CannotSearch(options, failure);
    }

    // Without SA_RESTART, so that a write to a stalled reader returns to be ended.
    struct sigaction interrupt {};
    interrupt.sa_handler = OnInterrupt;
    sigemptyset(&interrupt.sa_mask);
    ::sigaction(SIGINT, &interrupt, nullptr);
    ::sigaction(SIGTERM, &interrupt, nullptr);
    const bool progress = ::isatty(STDERR_FILENO) == 1 && !options.stream;
    const bool listening = options.stream || options.first;
    Wakeup wakeup;
    std::atomic<bool> timed_out{false};
    // The engine's threads start with SIGINT and SIGTERM blocked, so the signal
    // reaches this thread and interrupts a write to a stalled reader.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    auto engine = std::make_unique<orvandel::SearchEngine>(source, orvandel::SystemClock());
    engine->SetUnicastTargets(targets);
    // Every address of this computer counts against a device, chosen adapter or not.
    engine->SetOwnAddressSource(orvandel::SystemAdapters());
    if (listening) {
        engine->SetChangeListener([&wakeup] { wakeup.Notify(); });
        // Lines are written as replies arrive: the copies and lines of a burst
        // find this thread's heap ready, as the receive threads find theirs.
        orvandel::WarmThreadHeap(kListeningHeapBytes);
    }
    orvandel::SearchTiming timing;
    timing.duration_ms = options.timeout_ms;
    engine->Start(
        timing,
        [progress](int frame) {
            if (progress) {
                static constexpr char kSpinner[] = {'|', '/', '-', '\\'};
                WriteStderr(std::string("\rSearching for devices... ") + kSpinner[frame % 4]);
            }
        },
        [&](std::uint64_t) {
            timed_out = true;
            wakeup.Notify();
        });
    ::pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);

    Output out;
    Listed listed;
    const bool json = options.format == Format::kJson;
    const bool parsable = options.format == Format::kParsable;
    // Prints what changed, in one write; true once --first has its device.
    auto take = [&](std::vector<orvandel::DeviceInfo> changed) {
        std::string batch;
        bool first = false;
        for (orvandel::DeviceInfo& device : changed) {
            const bool added = listed.ips.insert(device.ip).second;
            if (options.stream) {
                if (json) {
                    batch += orvandel::cli::FormatStreamJson(device, {}, !added);
                } else if (parsable) {
                    batch += orvandel::cli::ParsableLine(device, {}, added ? "found" : "update");
                } else {
                    if (listed.ips.size() == 1 && added) {
                        batch += orvandel::cli::StreamTableHeader(false);
                    }
                    batch += orvandel::cli::StreamTableLine(device, {}, !added);
                }
            }
            if (options.first) {
                listed.first = std::move(device);
                first = true;
                break;
            }
        }
        if (!batch.empty() && !out.Failed()) {
            out.Write(batch);
        }
        return first;
    };
    bool first_found = false;
    while (listening && !timed_out && !g_interrupted && !first_found && !out.Failed()) {
        wakeup.Wait(50);
        std::vector<orvandel::DeviceInfo> changed = engine->TakeChanged();
        const bool some = !changed.empty();
        first_found = take(std::move(changed));
        if (some && !first_found) {
            // A burst is written in a few batches, not one per datagram: what
            // arrives in the next moment joins the next batch. A wake-up and a
            // write cost more than the devices of a batch.
            std::this_thread::sleep_for(std::chrono::microseconds(kBatchPauseUs));
        }
    }
    if (listening && !first_found && !out.Failed()) {
        engine->Stop();
        take(engine->TakeChanged());
    } else if (!listening) {
        while (!timed_out && !g_interrupted) {
            wakeup.Wait(50);
        }
        if (g_interrupted) {
            // Ended early: no pauses for late replies, the collection stops the rest.
            engine->Abandon();
        } else {
            engine->Stop();
        }
    }
    if (progress) {
        WriteStderr("\r\033[K");
    }
    std::vector<orvandel::DeviceInfo> devices;
    std::vector<orvandel::FoundDevice> found;  // a collected (not streamed) search
    std::vector<orvandel::cli::SearchedAdapter> searched;
    for (const auto& verdict : orvandel::JudgeAdapters(records)) {
        if (!verdict.address.empty()) {
            searched.push_back(
                {verdict.interface_name.empty() ? verdict.name : verdict.interface_name,
                 verdict.address, verdict.prefix_length});
        }
    }
    // How many devices were found: a streamed search printed them as they came and
    // keeps none but the first.
    std::size_t device_count = 0;
    if (listening) {
        device_count = listed.ips.size();
        if (listed.first) {
            device_count = 1;
            devices.push_back(std::move(*listed.first));
        }
    } else {
        const std::size_t dropped = engine->DroppedReplies();
        // Every record with an IP address is a device found, with or without a MAC
        // address: the window, too, leaves the not-found page for such a record.
        found = engine->CollectFound();
        orvandel::cli::MarkClaimConflicts(found);
        for (const orvandel::FoundDevice& device : found) {
            devices.push_back(device.record);
        }
        device_count = devices.size();
        if (dropped > 0) {
            Message("note: " + std::to_string(dropped) +
                    " replies were dropped over the reply store's bounds");
        }
    }
    std::vector<orvandel::cli::DiagnosisEntry> diagnosis;
    if (options.diagnose || (device_count == 0 && !g_interrupted)) {
        diagnosis = orvandel::cli::DiagnosisEntries(engine->Diagnose(device_count));
    }
    if (device_count == 0) {
        WriteStderr("No device found.\n");
        if (!options.diagnose && !diagnosis.empty()) {
            Message(orvandel::cli::FirstVerdictLine(diagnosis));
        }
    }
    const int status = device_count == 0 ? kNoneFound : kFound;
    if (options.diagnose) {
        out.Write(json ? orvandel::cli::FormatDiagnosisJson(searched, device_count, diagnosis)
                       : orvandel::cli::FormatDiagnosisTable(diagnosis, device_count));
        return out.Finish(status);
    }
    if (options.stream) {
        // Everything was printed as it came; the end decides nothing new.
        return out.Finish(status);
    }
    std::vector<orvandel::cli::DeviceFacts> facts;
    std::vector<std::string> statuses;
    for (const orvandel::FoundDevice& device : found) {
        facts.push_back(orvandel::cli::FactsOf(device));
        statuses.emplace_back(orvandel::StatusWord(device.verdict.status));
    }
    if (json) {
        out.Write(orvandel::cli::FormatResultJson(searched, devices, facts, g_interrupted.load()));
    } else if (parsable) {
        // The parsable fields stay as scripts know them; the status is in --json.
        for (const auto& device : devices) {
            out.Write(orvandel::cli::ParsableLine(device));
        }
    } else if (!devices.empty()) {
        out.Write(orvandel::cli::FormatTable(devices, statuses, TerminalColumns()));
    }
    return out.Finish(status);
}

}  // namespace

int main(int argc, char** argv) {
    HoldStandardDescriptors();
    // A closed pipe must come back from write() as EPIPE, to be reported.
    std::signal(SIGPIPE, SIG_IGN);
    std::string error;
    const auto options = orvandel::cli::ParseArguments(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), error);
    if (!options) {
        WriteStderr("orvandel-cli: " + error + "\nTry 'orvandel-cli --help'.\n");
        return kUsageError;
    }
    if (options->help) {
        return Emit(kUsage, kFound);
    }
    if (options->version) {
        return Emit("orvandel-cli " ORVANDEL_RELEASE_VERSION "\n", kFound);
    }
    if (options->list_adapters) {
        return ListAdapters(*options);
    }
    if (options->monitor.Any()) {
        return orvandel::cli::RunMonitor(*options);
    }
    if (!orvandel::SocketsAvailable()) {
        return CannotSearch(*options, "cannot create a UDP socket");
    }
    return Search(*options);
}
