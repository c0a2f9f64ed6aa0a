// discovery_capacity: N simulated devices answer every browse command after a
// random 0-100 ms delay over a veth link; one full search per row. Reports devices
// found / N, the finder's CPU seconds for the search (start to collected list; of
// which network: start to stopped, i.e. without parsing and sorting) and the
// kernel's receive-buffer drops.
//
// The flood rows: 50 devices answer 50-400 ms after each command while another
// sender sends 120,000 junk datagrams as fast as it can after the first one.
//
//   discovery_capacity [--counts 100,1000,2000] [--duration MS] [--runs K] [--flood N]
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "discovery/search_engine.h"
#include "tools/devicesim/net_lab.h"

extern char** environ;

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
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string n = std::to_string(count);
        std::vector<std::string> args = {
            "ip",      "netns", "exec",    ns,   ORVANDEL_DEVICESIM_PATH, "--address", address,
            "--count", n,       "--delay", delay};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "ip", &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts = {100, 1000, 2000};
    int duration = 5000;
    int runs = 1;
    int flood_count = 120000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
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
        const std::size_t found = engine.Collect().size();
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
