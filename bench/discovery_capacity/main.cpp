// discovery_capacity: N simulated devices answer every browse command after a
// random 0-100 ms delay over a veth link; one full search per row. Reports devices
// found / N, the finder's CPU seconds for the search (start to collected list; of
// which network: start to stopped, i.e. without parsing and sorting) and the
// kernel's receive-buffer drops.
//
// The flood rows: 50 devices answer 50-400 ms after each command while another
// sender sends 120,000 junk datagrams as fast as it can after the first one.
//
// The user path rows come first and need no network: replies fed straight into a
// reply store (parse and store, as the receive threads do), then the found devices
// built from it (as the end of a search does), at 1,000 to 16,384 replies, and the
// flood and spoof cases. Times are reported with their ratios to two anchors
// measured in the same run: hashing every reply's bytes once, the least any store
// must do, and reading every shown field of every found device once, the least
// any view of them must do (it meets the caches as the user path does).
//
// The anchor row: orvandel-cli -p and the 40-line Python finder in
// bench/python_anchor search the same 5,000 simulated devices; their CPU seconds.
//
//   discovery_capacity [--counts 100,1000,2000] [--duration MS] [--runs K] [--flood N]
//                      [--anchor-devices N] [--user-path-only] [--anchor-only]
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/spawn_child.h"
#include "discovery/found_devices.h"
#include "discovery/ipv4.h"
#include "discovery/reply_parser.h"
#include "discovery/reply_store.h"
#include "discovery/search_engine.h"
#include "localization/row_view.h"
#include "localization/ui_strings.h"
#include "tools/devicesim/device_sim.h"
#include "tools/devicesim/net_lab.h"

// Allocations counted, so that the user path's rows can show that its work per
// device stays the same at every size.
namespace {
std::atomic<std::size_t> g_allocations{0};
}  // namespace

// Out of line: inlined into the library's deallocations, GCC would take the free
// below for a mismatch with the new it can see.
[[gnu::noinline]] void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace orvandel;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Udp RcvbufErrors of the calling thread's network namespace.
long ReceiveBufferErrors() {
    std::ifstream in("/proc/thread-self/net/snmp");
    std::string header;
    std::string values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Udp: ", 0) == 0) {
            if (header.empty()) {
                header = line;
            } else {
                values = line;
                break;
            }
        }
    }
    std::istringstream names(header);
    std::istringstream numbers(values);
    std::string name;
    std::string number;
    while (names >> name && numbers >> number) {
        if (name == "RcvbufErrors") {
            return std::stol(number);
        }
    }
    return -1;
}

// The simulator runs as its own process so that its CPU time is not counted.
class SimProcess {
public:
    SimProcess(const std::string& ns, const std::string& address, int count,
               const std::string& delay = "0-100", std::vector<std::string> extra = {}) {
        const std::string n = std::to_string(count);
        std::vector<std::string> args = {
            "ip",      "netns", "exec",    ns,   ORVANDEL_DEVICESIM_PATH, "--address", address,
            "--count", n,       "--delay", delay};
        args.insert(args.end(), extra.begin(), extra.end());
        int out = -1;
        pid_ = bench::SpawnWithStdout(std::move(args), out);
        if (pid_ > 0) {
            out_ = fdopen(out, "r");
        }
    }
    ~SimProcess() { Finish(); }

    bool WaitReady() {
        char line[256];
        return out_ != nullptr && fgets(line, sizeof line, out_) != nullptr &&
               std::string(line) == "ready\n";
    }
    // Stops the simulator and returns its closing line.
    std::string Finish() {
        std::string last;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            char line[256];
            while (out_ != nullptr && fgets(line, sizeof line, out_) != nullptr) {
                last = line;
            }
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (out_ != nullptr) {
            fclose(out_);
            out_ = nullptr;
        }
        return last;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

struct Mode {
    const char* name;
    ReceiveLoop loop;
    int buffer;
};

std::vector<int> ParseCounts(const std::string& text) {
    std::vector<int> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        out.push_back(std::stoi(item));
    }
    return out;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Datagram {
    std::string bytes;
    std::uint32_t sender = 0;
};

// The best of five runs of feeding `datagrams` to a store, building the found
// devices and their row views; returns the found devices of the last run.
// A digest of every text of the found devices and their row views: two builds of
// the user path that differ in speed only print the same digest.
std::uint64_t Digest(const std::vector<FoundDevice>& found, const std::vector<RowView>& views) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](std::u16string_view text) {
        h = (h ^ std::hash<std::u16string_view>()(text)) * 1099511628211ull;
    };
    auto mix8 = [&](std::string_view text) {
        h = (h ^ std::hash<std::string_view>()(text)) * 1099511628211ull;
    };
    for (const FoundDevice& d : found) {
        for (const DeviceField& field : kDeviceFields) {
            mix(d.record.*field.member);
        }
        mix8(StatusWord(d.verdict.status));
        mix8(std::to_string(d.verdict.conflict_count) + (d.verdict.own_address ? "o" : "") +
             (d.verdict.ip_valid ? "v" : ""));
        for (const auto* list : {&d.verdict.adapters, &d.verdict.matching}) {
            for (const AdapterAddress& a : *list) {
                mix8(a.name + "/" + a.address + "/" + std::to_string(a.prefix_length));
            }
        }
        for (const std::string& s : d.verdict.noted_sources) {
            mix8(s);
        }
        for (const std::uint32_t s : d.sources) {
            mix8(ipv4::Format(s));
        }
    }
    for (const RowView& v : views) {
        for (const std::u16string_view text :
             {v.IconPath(), v.Line(0), v.Line(1), v.Line(2), v.Address(), v.AccessibleName(),
              v.CopyIp(), v.CopyMac(), v.Details(), v.DetailsShown(), v.Warning()}) {
            mix(text);
        }
        mix8(v.Badge() ? "b" : "-");
    }
    return h;
}

// Best-of-five seconds of each part of the user path, and of its two anchors.
struct UserPathTimes {
    double store = 1e9;
    double found = 1e9;
    double rows = 1e9;
    double anchor = 1e9;          // one hash of every datagram's bytes
    double read = 1e9;            // one read of every shown field of every found device
    std::size_t allocations = 0;  // by the found devices and row views, in one run
};

std::vector<FoundDevice> TimeUserPath(const std::vector<Datagram>& datagrams, UserPathTimes& times,
                                      std::size_t& dropped, std::uint64_t& digest) {
    times = {};
    // English texts; no settings file is read.
    static const UiStrings strings("/nonexistent/setting.cfg");
    std::vector<FoundDevice> found;
    const std::vector<AdapterAddress> searched = {{"veth0", "10.55.0.1", 16}};
    JudgeContext context;
    context.own_addresses = {"10.55.0.1"};
    for (int run = 0; run < 5; ++run) {
        std::size_t sink = 0;
        times.anchor = std::min(times.anchor, Seconds([&] {
                                    for (const Datagram& d : datagrams) {
                                        sink += std::hash<std::string_view>()(d.bytes);
                                    }
                                }));
        ReplyStore store;
        dropped = 0;
        times.store = std::min(
            times.store, Seconds([&] {
                for (const Datagram& d : datagrams) {
                    if (!store.Repeat(d.bytes, d.sender, 0) && !store.Refuses(d.bytes, d.sender)) {
                        store.Add(d.bytes, ParseReply(d.bytes), d.sender, 0);
                    }
                }
            }));
        dropped = store.Dropped();
        // The previous run's results go outside the timed part.
        found.clear();
        found.shrink_to_fit();
        const std::size_t allocations_before = g_allocations.load();
        times.found = std::min(times.found, Seconds([&] {
                                   found = BuildFoundDevices(std::move(store), searched, context);
                               }));
        std::vector<RowView> views;  // empty: nothing is destroyed in the timed part
        times.rows = std::min(times.rows, Seconds([&] { views = MakeRowViews(found, strings); }));
        times.allocations = g_allocations.load() - allocations_before;
        // The memory anchor: every unit of every field a view shows, read once from
        // the found devices, in their order, right after the rows. Any view of the
        // devices reads at least this much of the records; it scales with the
        // caches as the user path does, where the hash above streams.
        times.read = std::min(times.read, Seconds([&] {
                                  for (const FoundDevice& d : found) {
                                      for (const DeviceField& field : kReplyKeyFields) {
                                          for (const char16_t c : d.record.*field.member) {
                                              sink += c;
                                          }
                                      }
                                  }
                              }));
        if (sink == 42) {
            std::printf(" ");
        }
        digest = Digest(found, views);
    }
    return found;
}

std::string Dotted(std::uint32_t a) {
    return ipv4::Format(a);
}

std::string DeviceReply(int i, std::uint32_t ip) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "0c:1a:%02x:%02x:%02x:%02x", (i >> 24) & 0xFF, (i >> 16) & 0xFF,
                  (i >> 8) & 0xFF, i & 0xFF);
    return sim::MakeReply("Sim Device " + std::to_string(i), "TR400", mac, Dotted(ip));
}

std::size_t CountIn(const std::vector<FoundDevice>& found, std::uint32_t first, int count,
                    bool* conflict = nullptr) {
    std::size_t listed = 0;
    for (const FoundDevice& d : found) {
        const auto ip = ipv4::Parse(d.record.ip);
        if (ip && *ip >= first && *ip < first + static_cast<std::uint32_t>(count)) {
            ++listed;
            if (conflict != nullptr && d.verdict.status == ReachStatus::kConflict) {
                *conflict = true;
            }
        }
    }
    return listed;
}

void UserPath() {
    std::printf(
        "User path: replies -> reply store -> found devices -> row views (best of 5; "
        "anchor: one hash of every datagram's bytes; read: one read of every shown field of "
        "every found device; new/dev: allocations of found devices and rows, per device)\n");
    std::printf("%-28s %9s %9s %9s %9s %9s %9s %10s %9s %9s %8s %10s %9s  %s\n", "case",
                "datagrams", "store ms", "found ms", "rows ms", "f+r ms", "anchor ms", "(f+r)/anc",
                "read ms", "(f+r)/rd", "new/dev", "us/reply", "listed", "digest");
    const std::uint32_t base = *ipv4::Parse("10.55.1.0");
    auto row = [&](const char* name, const std::vector<Datagram>& datagrams, const char* listed_of,
                   std::uint32_t first, int count) {
        UserPathTimes t;
        std::size_t dropped = 0;
        std::uint64_t digest = 0;
        const auto found = TimeUserPath(datagrams, t, dropped, digest);
        bool conflict = false;
        const std::size_t listed = CountIn(found, first, count, &conflict);
        char shown[64];
        std::snprintf(shown, sizeof shown, "%zu/%d%s%s", listed, count, listed_of,
                      conflict ? " (conflict)" : "");
        const double fr = t.found + t.rows;
        std::printf(
            "%-28s %9zu %9.2f %9.2f %9.2f %9.2f %9.3f %10.1f %9.3f %9.1f %8.1f %10.2f %9s  "
            "%016llx\n",
            name, datagrams.size(), t.store * 1e3, t.found * 1e3, t.rows * 1e3, fr * 1e3,
            t.anchor * 1e3, fr / t.anchor, t.read * 1e3, fr / t.read,
            static_cast<double>(t.allocations) /
                static_cast<double>(std::max<std::size_t>(found.size(), 1)),
            (t.store + fr) * 1e6 / static_cast<double>(datagrams.size()), shown,
            static_cast<unsigned long long>(digest));
        std::fflush(stdout);
    };
    // Growth: N devices, each answering five times from its own address.
    for (const int n : {1000, 2000, 5000, 16384}) {
        std::vector<Datagram> datagrams;
        std::vector<std::string> replies;
        for (int i = 0; i < n; ++i) {
            replies.push_back(DeviceReply(i, base + static_cast<std::uint32_t>(i)));
        }
        for (int copy = 0; copy < 5; ++copy) {
            for (int i = 0; i < n; ++i) {
                datagrams.push_back(
                    {replies[static_cast<std::size_t>(i)], base + static_cast<std::uint32_t>(i)});
            }
        }
        const std::string name = std::to_string(n) + " devices x 5";
        row(name.c_str(), datagrams, "", base, n);
    }
    const std::uint32_t real = *ipv4::Parse("10.200.0.1");
    // Flood: 16,384 distinct forged replies, each from 8 senders, then 5 devices.
    {
        std::vector<Datagram> datagrams;
        const std::uint32_t forged = *ipv4::Parse("10.99.0.0");
        for (int i = 0; i < 16384; ++i) {
            const std::string bytes =
                DeviceReply(100000 + i, forged + static_cast<std::uint32_t>(i));
            for (std::uint32_t s = 0; s < 8; ++s) {
                datagrams.push_back({bytes, *ipv4::Parse("10.66.0.1") + s});
            }
        }
        for (int d = 0; d < 5; ++d) {
            datagrams.push_back({DeviceReply(d, real + d), real + static_cast<std::uint32_t>(d)});
        }
        row("flood 16384 x 8 senders + 5", datagrams, "", real, 5);
    }
    // Spoof: 16,384 distinct replies from 256 forged senders, then 50 devices.
    {
        std::vector<Datagram> datagrams;
        for (int s = 0; s < 256; ++s) {
            for (int k = 0; k < 64; ++k) {
                const std::uint32_t claimed =
                    *ipv4::Parse("10.99.0.0") + static_cast<std::uint32_t>(s * 64 + k);
                datagrams.push_back({DeviceReply(200000 + s * 64 + k, claimed),
                                     *ipv4::Parse("10.66.0.0") + static_cast<std::uint32_t>(s)});
            }
        }
        for (int d = 0; d < 50; ++d) {
            datagrams.push_back({DeviceReply(d, real + d), real + static_cast<std::uint32_t>(d)});
        }
        row("spoof 256 senders + 50", datagrams, "", real, 50);
    }
    // Decoys: 64 distinct replies sent from a device's address before its own, half
    // claiming its address.
    {
        std::vector<Datagram> datagrams;
        for (int k = 0; k < 64; ++k) {
            const std::uint32_t claimed = k % 2 == 0 ? real : *ipv4::Parse("10.98.0.1") + k;
            datagrams.push_back({DeviceReply(300000 + k, claimed), real});
        }
        datagrams.push_back({DeviceReply(0, real), real});
        row("64 decoys from its address", datagrams, "", real, 1);
    }
    std::printf("\n");
}

// CPU seconds of a child run to its end (user + system).
double ChildCpu(std::vector<std::string> args, std::size_t* lines) {
    int out = -1;
    const pid_t pid = bench::SpawnWithStdout(std::move(args), out);
    if (pid < 0) {
        return -1;
    }
    std::size_t count = 0;
    char buffer[4096];
    for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) {
        count += static_cast<std::size_t>(std::count(buffer, buffer + n, '\n'));
    }
    close(out);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    *lines = count;
    return bench::CpuSeconds(usage);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts = {100, 1000, 2000};
    int duration = 5000;
    int runs = 1;
    int flood_count = 120000;
    int anchor_devices = 5000;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--user-path-only") {
            UserPath();
            return 0;
        }
    }
    UserPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--anchor-devices") {
            anchor_devices = std::stoi(argv[i + 1]);
        }
        if (arg == "--counts") {
            counts = ParseCounts(argv[i + 1]);
        } else if (arg == "--duration") {
            duration = std::stoi(argv[i + 1]);
        } else if (arg == "--flood") {
            flood_count = std::stoi(argv[i + 1]);
        } else if (arg == "--runs") {
            runs = std::stoi(argv[i + 1]);
        }
    }
    const std::string why = sim::NetLab::Unavailable();
    if (!why.empty()) {
        std::cout << "discovery_capacity: SKIPPED: " << why << "\n";
        return 0;
    }
    const Mode modes[] = {
        {"drain, 1 MiB buffer", ReceiveLoop::kDrain, kSocketReceiveBuffer},
        {"drain, default buffer", ReceiveLoop::kDrain, 0},
        {"one per 10 ms, default buffer", ReceiveLoop::kOnePerPass, 0},
    };
    std::printf("%-6s %-31s %14s %8s %10s %10s %12s\n", "N", "receive loop", "found/N", "found%",
                "CPU s", "of which", "rcvbuf drops");
    std::printf("%-6s %-31s %14s %8s %10s %10s %12s\n", "", "", "", "", "(search)", "(network)",
                "");
    // One search; `count` devices answer, `flood` junk datagrams (if any) are sent
    // as fast as the sender can right after the first command.
    auto run_row = [&](const Mode& mode, int count, const char* delay, int flood) -> bool {
        sim::NetLab lab;
        std::string error;
        if (!lab.Create(1, error) || !lab.EnterFinder()) {
            std::cout << "discovery_capacity: SKIPPED: " << error << "\n";
            return false;
        }
        // A real device answers from an address of its own; here 150 addresses
        // share the devices, so that none passes the finder's per-sender quota.
        std::vector<std::string> sources;
        for (const std::string& address : lab.AddDeviceAddresses(1, 150)) {
            sources.push_back("--source");
            sources.push_back(address);
        }
        SimProcess devices(lab.DeviceNamespace(1), sim::NetLab::DeviceAddress(1), count, delay,
                           sources);
        std::unique_ptr<SimProcess> flooder;
        if (flood > 0) {
            flooder = std::make_unique<SimProcess>(
                lab.DeviceNamespace(1), sim::NetLab::DeviceAddress(1), 0, "0",
                std::vector<std::string>{"--junk", std::to_string(flood)});
        }
        if (!devices.WaitReady() || (flooder && !flooder->WaitReady())) {
            std::cout << "discovery_capacity: the simulator did not start\n";
            return false;
        }
        TransportOptions options;
        options.loop = mode.loop;
        options.socket_receive_buffer = mode.buffer;
        SearchEngine engine(SystemAdapters(), SystemClock(), options);
        const long drops_before = ReceiveBufferErrors();
        const double cpu_before = CpuSeconds();
        std::mutex mutex;
        std::condition_variable timed_out;
        bool done = false;
        engine.Start(SearchTiming{duration, 175, 12}, nullptr, [&](std::uint64_t) {
            std::lock_guard lock(mutex);
            done = true;
            timed_out.notify_one();
        });
        {
            std::unique_lock lock(mutex);
            timed_out.wait(lock, [&] { return done; });
        }
        engine.Stop();
        const double cpu_network = CpuSeconds() - cpu_before;
        const std::size_t found = engine.CollectFound().size();
        const double cpu = CpuSeconds() - cpu_before;
        const long drops = ReceiveBufferErrors() - drops_before;
        devices.Finish();
        if (flooder) {
            flooder->Finish();
        }
        char label[64];
        std::snprintf(label, sizeof label, "%s%s", flood > 0 ? "flood, " : "", mode.name);
        std::printf("%-6d %-31s %7zu/%-6d %7.1f%% %10.3f %10.3f %12ld\n", count, label, found,
                    count, 100.0 * static_cast<double>(found) / count, cpu, cpu_network, drops);
        std::fflush(stdout);
        return true;
    };
    if (anchor_devices > 0) {
        // The CLI and the Python anchor, one after the other, against the same devices.
        sim::NetLab lab;
        std::string error;
        if (!lab.Create(1, error) || !lab.EnterFinder()) {
            std::cout << "discovery_capacity: SKIPPED: " << error << "\n";
            return 0;
        }
        std::vector<std::string> sources;
        for (const std::string& address : lab.AddDeviceAddresses(1, 150)) {
            sources.push_back("--source");
            sources.push_back(address);
        }
        SimProcess devices(lab.DeviceNamespace(1), sim::NetLab::DeviceAddress(1), anchor_devices,
                           "0-100", sources);
        if (!devices.WaitReady()) {
            std::cout << "discovery_capacity: the simulator did not start\n";
            return 0;
        }
        const std::string ms = std::to_string(duration);
        std::size_t cli_lines = 0;
        std::size_t py_lines = 0;
        const double cli = ChildCpu({ORVANDEL_CLI_PATH, "-p", "--timeout", ms}, &cli_lines);
        const double py = ChildCpu(
            {"python3", ORVANDEL_PYTHON_ANCHOR, sim::NetLab::FinderAddress(1), ms}, &py_lines);
        std::printf("Anchor: %d devices, %d ms search\n", anchor_devices, duration);
        std::printf("  orvandel-cli -p   %5zu found  CPU %.3f s\n", cli_lines, cli);
        std::printf("  python anchor     %5zu found  CPU %.3f s\n", py_lines, py);
        std::printf("  ratio CLI/anchor  %.2f\n\n", py > 0 ? cli / py : 0.0);
        std::fflush(stdout);
    }
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--anchor-only") {
            return 0;
        }
    }
    for (int count : counts) {
        for (const Mode& mode : modes) {
            for (int run = 0; run < runs; ++run) {
                if (!run_row(mode, count, "0-100", 0)) {
                    return 0;
                }
            }
        }
    }
    if (flood_count > 0) {
        for (int m = 0; m < 2; ++m) {
            for (int run = 0; run < runs; ++run) {
                if (!run_row(modes[m], 50, "50-400", flood_count)) {
                    return 0;
                }
            }
        }
    }
    return 0;
}
