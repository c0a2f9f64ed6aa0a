// cli_stream_latency: N devices answer one browse command, one after another,
// by multicast over a veth link; `orvandel-cli --stream --parsable` runs in the
// finder's namespace. For every device: the time from its reply's sendto() to the
// moment its line could be read from the finder's stdout (one monotonic clock for
// both namespaces). Reports the median, the 99th percentile and the maximum.
//
//   cli_stream_latency [--devices N] [--spacing-us US] [--runs K] [--cli PATH] [--first 1]
//
//   cli_stream_latency --flood 1 [--cli PATH]
//
//   cli_stream_latency --stalled 1 [--runs K] [--cli PATH]
//
// --flood 1: `orvandel-cli -p` searches while a second namespace floods it with
// 131,077 datagrams (16,384 forged replies, each from 8 senders, then 5 devices):
// once to its 5 s time-out and once ended by SIGTERM after 2 s; the time from the
// end of its window (or the signal) to its exit, and its CPU time.
//
// --stalled 1: `orvandel-cli --stream -p` whose stdout is never read while 5
// devices send their replies 80,000 times each (400,000 repeats); SIGINT after
// them: its peak resident memory and the time it took to end.
//
// --cli runs another build of the finder (an earlier one, to compare). --first 1
// runs `orvandel-cli --first -p` instead: the exit column is then the time from
// the first reply's sendto() to the finder's exit (its wait4() returning).
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/spawn_child.h"
#include "platform/udp_socket.h"
#include "tools/devicesim/device_sim.h"
#include "tools/devicesim/net_lab.h"

namespace {

using Clock = std::chrono::steady_clock;
using orvandel::bench::CpuSeconds;
using orvandel::bench::SpawnWithStdout;
using orvandel::sim::NetLab;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string DeviceName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "Bench %04d", i);
    return name;
}

// Waits in the device namespace for the first browse command, then sends each
// device's reply to the group, `spacing` apart, noting when each left.
void AnswerOnce(int devices, std::chrono::microseconds spacing,
                const std::vector<std::string>& sources, std::vector<Clock::time_point>& sent,
                std::atomic<int>& state) {
    const std::string address = NetLab::DeviceAddress(1);
    orvandel::UniqueFd listen = orvandel::OpenGroupSocket(address, 8888, "234.8.8.8", 1 << 20);
    // Devices have addresses of their own; the finder stores at most 64 distinct
    // replies per sender.
    std::vector<orvandel::UniqueFd> senders;
    for (const std::string& source : sources) {
        senders.push_back(orvandel::OpenAdapterSocket(source, 0, 0));
        if (!senders.back().Valid()) {
            state = -1;
            return;
        }
    }
    if (!listen.Valid() || senders.empty()) {
        state = -1;
        return;
    }
    std::vector<std::string> replies;
    for (int i = 0; i < devices; ++i) {
        replies.push_back(orvandel::sim::MakeReply(
            DeviceName(i), "TR400",
            "02:00:00:" + std::to_string(10 + i / 10000) + ":" +
                std::to_string(10 + (i / 100) % 100) + ":" + std::to_string(10 + i % 100),
            "10.200." + std::to_string(i / 250) + "." + std::to_string(1 + i % 250)));
    }
    state = 1;
    char buffer[1500];
    for (;;) {
        pollfd ready{listen.Get(), POLLIN, 0};
        if (::poll(&ready, 1, 10000) <= 0) {
            state = -1;
            return;
        }
        const ssize_t n = ::recv(listen.Get(), buffer, sizeof buffer, 0);
        if (n > 0 && std::string_view(buffer, static_cast<std::size_t>(n)).find("browse") !=
                         std::string_view::npos) {
            break;
        }
    }
    auto next = Clock::now();
    for (int i = 0; i < devices; ++i) {
        std::this_thread::sleep_until(next);
        sent[static_cast<std::size_t>(i)] = Clock::now();
        orvandel::SendDatagram(senders[static_cast<std::size_t>(i) % senders.size()].Get(),
                               "234.8.8.8", 8888, replies[static_cast<std::size_t>(i)]);
        next += spacing;
    }
    state = 2;
}

struct Figures {
    std::size_t found = 0;
    double first = 0;  // the first device's latency
    double burst = 0;  // from the first reply's send to the last one's
    double cpu = 0;    // the finder's CPU time over its whole run (user + system)
    double exit = 0;   // from the first reply's send to the finder's exit
    double median = 0;
    double p99 = 0;
    double max = 0;
};

double CpuMs(const rusage& usage) {
    return CpuSeconds(usage) * 1e3;
}

Figures RunOnce(NetLab& lab, const std::string& cli, bool first, int devices,
                std::chrono::microseconds spacing, const std::vector<std::string>& sources) {
    std::vector<Clock::time_point> sent(static_cast<std::size_t>(devices));
    std::atomic<int> state{0};
    lab.RunIn(lab.DeviceNamespace(1), [&](bool entered) {
        if (entered) {
            AnswerOnce(devices, spacing, sources, sent, state);
        } else {
            state = -1;
        }
    });
    while (state == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int out = -1;
    const pid_t pid =
        state == 1
            ? SpawnWithStdout({cli, first ? "--first" : "--stream", "-p", "--timeout=5000"}, out)
            : -1;
    if (pid < 0) {
        lab.JoinAll();
        return {};
    }

    std::map<int, Clock::time_point> seen;
    std::string pending;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(out, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        const auto now = Clock::now();
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;
             pending.erase(0, end + 1)) {
            const std::size_t at = pending.find("Bench ");
            if (at < end) {
                seen.emplace(std::atoi(pending.c_str() + at + 6), now);
            }
        }
    }
    ::close(out);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto exited = Clock::now();
    lab.JoinAll();

    std::vector<double> latency;
    for (const auto& [index, when] : seen) {
        if (index >= 0 && index < devices) {
            latency.push_back(Ms(when - sent[static_cast<std::size_t>(index)]));
        }
    }
    Figures figures;
    figures.found = latency.size();
    if (seen.count(0) != 0) {
        figures.first = Ms(seen[0] - sent[0]);
    }
    figures.burst = Ms(sent.back() - sent.front());
    figures.exit = Ms(exited - sent.front());
    figures.cpu = CpuMs(usage);
    if (!latency.empty()) {
        std::sort(latency.begin(), latency.end());
        figures.median = latency[latency.size() / 2];
        figures.p99 = latency[std::min(latency.size() - 1, latency.size() * 99 / 100)];
        figures.max = latency.back();
    }
    return figures;
}

// Starts `plan` from the device namespace (it waits for the finder's first
// browse command) and enters the finder's namespace for what follows.
bool FloodTheFinder(NetLab& lab, orvandel::sim::FloodPlan plan, std::atomic<long>& sent,
                    std::atomic<bool>& done) {
    orvandel::sim::StartForgedFlood(lab, 1, std::move(plan), sent, done);
    return lab.EnterFinder();
}

// One search of `orvandel-cli -p` through the flood; SIGTERM `term_ms` after the
// start when term_ms > 0. Prints one row.
bool FloodRun(const std::string& cli, int timeout_ms, int term_ms) {
    NetLab lab;
    std::string error;
    if (!lab.Create(1, error)) {
        std::printf("SKIPPED: %s\n", error.c_str());
        return false;
    }
    const std::vector<std::string> addresses = lab.AddDeviceAddresses(1, 13);
    if (addresses.size() != 13) {
        std::printf("flood: no device addresses\n");
        return false;
    }
    orvandel::sim::FloodPlan plan;
    plan.forged_senders.assign(addresses.begin(), addresses.begin() + 8);
    plan.distinct = 16384;
    plan.devices.assign(addresses.begin() + 8, addresses.end());
    std::atomic<long> sent{0};
    std::atomic<bool> flood_done{false};
    if (!FloodTheFinder(lab, std::move(plan), sent, flood_done)) {
        return false;
    }
    int out = -1;
    const auto start = Clock::now();
    const pid_t pid = SpawnWithStdout({cli, "-p", "--timeout=" + std::to_string(timeout_ms)}, out);
    if (pid < 0) {
        return false;
    }
    Clock::time_point end_of_window = start + std::chrono::milliseconds(timeout_ms);
    std::thread terminator;
    if (term_ms > 0) {
        end_of_window = start + std::chrono::milliseconds(term_ms);
        terminator = std::thread([pid, end_of_window] {
            std::this_thread::sleep_until(end_of_window);
            ::kill(pid, SIGTERM);
        });
    }
    std::size_t lines = 0;
    char buffer[65536];
    for (ssize_t n; (n = ::read(out, buffer, sizeof buffer)) > 0;) {
        lines += static_cast<std::size_t>(std::count(buffer, buffer + n, '\n'));
    }
    ::close(out);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto exited = Clock::now();
    if (terminator.joinable()) {
        terminator.join();
    }
    lab.LeaveFinder();
    lab.JoinAll();
    std::printf("| %s | %ld | %zu | %d | %.0f | %.1f | %.1f |\n",
                term_ms > 0 ? "SIGTERM at 2 s" : "to its time-out", sent.load(), lines,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, Ms(exited - start),
                Ms(exited - end_of_window), CpuMs(usage));
    std::fflush(stdout);
    return true;
}

// `orvandel-cli --stream -p` whose reader never reads, while 5 devices send their
// replies 80,000 times each; SIGINT once the repeats are sent. Prints one row: the
// peak resident memory and how long the CLI took to end after the signal.
bool StalledRun(const std::string& cli) {
    NetLab lab;
    std::string error;
    if (!lab.Create(1, error)) {
        std::printf("SKIPPED: %s\n", error.c_str());
        return false;
    }
    orvandel::sim::FloodPlan plan;
    plan.devices = lab.AddDeviceAddresses(1, 5);
    plan.repeats = 80000;
    std::atomic<long> sent{0};
    std::atomic<bool> flood_done{false};
    if (!FloodTheFinder(lab, std::move(plan), sent, flood_done)) {
        return false;
    }
    int out = -1;
    const pid_t pid = SpawnWithStdout({cli, "--stream", "-p", "--timeout=20000"}, out);
    if (pid < 0) {
        return false;
    }
    const auto give_up = Clock::now() + std::chrono::seconds(15);
    while (!flood_done && Clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // What is still in the finder's socket buffer is read before the signal.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto signalled = Clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto exited = Clock::now();
    ::close(out);
    lab.LeaveFinder();
    lab.JoinAll();
    std::printf("| %ld | %ld | %.1f | %.1f |\n", sent.load(), usage.ru_maxrss,
                Ms(exited - signalled), CpuMs(usage));
    std::fflush(stdout);
    return true;
}

int FloodRows(const std::string& cli) {
    std::printf(
        "| run | datagrams sent | lines | exit status | exit after start, ms | exit after its "
        "window or the signal, ms | CPU ms |\n|---|---|---|---|---|---|---|\n");
    for (int run = 0; run < 2; ++run) {
        if (!FloodRun(cli, 5000, 0) || !FloodRun(cli, 5000, 2000)) {
            return 0;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int devices = 1000;
    int spacing_us = 3000;
    int runs = 3;
    std::string cli = ORVANDEL_CLI_PATH;
    bool first = false;
    bool flood = false;
    bool stalled = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--cli") {
            cli = argv[i + 1];
            continue;
        }
        if (flag == "--first") {
            first = std::atoi(argv[i + 1]) != 0;
            continue;
        }
        if (flag == "--flood") {
            flood = std::atoi(argv[i + 1]) != 0;
            continue;
        }
        if (flag == "--stalled") {
            stalled = std::atoi(argv[i + 1]) != 0;
            continue;
        }
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--devices") {
            devices = std::clamp(value, 1, 60000);
        } else if (flag == "--spacing-us") {
            spacing_us = std::max(0, value);
        } else if (flag == "--runs") {
            runs = std::max(1, value);
        }
    }
    const std::string why = NetLab::Unavailable();
    if (!why.empty()) {
        std::printf("SKIPPED: %s\n", why.c_str());
        return 0;
    }
    if (flood) {
        return FloodRows(cli);
    }
    if (stalled) {
        std::printf(
            "| datagrams sent | peak resident KB | exit after SIGINT, ms | CPU ms |\n"
            "|---|---|---|---|\n");
        for (int run = 0; run < runs && StalledRun(cli); ++run) {
        }
        return 0;
    }
    NetLab lab;
    std::string error;
    if (!lab.Create(1, error) || !lab.EnterFinder()) {
        std::printf("SKIPPED: %s\n", error.c_str());
        return 0;
    }
    const std::vector<std::string> sources = lab.AddDeviceAddresses(1, (devices + 63) / 64);
    std::printf("%d devices, one reply each, %d us apart, from %zu addresses\n", devices,
                spacing_us, sources.size());
    std::printf(
        "| run | lines / devices | sending ms | first ms | median ms | p99 ms | max ms | exit ms | "
        "CPU ms |\n|---|---|---|---|---|---|---|---|---|\n");
    for (int run = 1; run <= runs; ++run) {
        const Figures f =
            RunOnce(lab, cli, first, devices, std::chrono::microseconds(spacing_us), sources);
        std::printf("| %d | %zu / %d | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.1f |\n", run,
                    f.found, devices, f.burst, f.first, f.median, f.p99, f.max, f.exit, f.cpu);
        std::fflush(stdout);
    }
    return 0;
}
