// orvandel-cli: runs one device search and prints what the window would list.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "build_config.h"
#include "discovery/collection.h"
#include "discovery/search_engine.h"
#include "platform/adapters.h"
#include "platform/socket_check.h"
#include "tools/cli/cli_output.h"

namespace {

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted = true;
}

constexpr const char* kUsage =
    "Usage: orvandel-cli [--json] [--timeout MS] [--adapters] [--help] [--version]\n"
    "Searches the local network for streaming devices on every usable adapter and\n"
    "lists them: model, name, IP address, MAC address.\n"
    "\n"
    "  --json         print a JSON array with every field of each device\n"
    "  --timeout MS   length of the search in milliseconds (default 5000); replies\n"
    "                 are gathered for at most the first 5000 ms\n"
    "  --adapters     list the adapters a search would use, and why others are skipped\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 devices found, 1 none found, 2 usage error.\n";

void WriteStderr(const std::string& text) {
    // write() directly: the progress comes from the timer thread.
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

int ListAdapters() {
    using orvandel::cli::EscapeForTerminal;
    const auto records = orvandel::SystemAdapters().List();
    const auto verdicts = orvandel::JudgeAdapters(records);
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const auto& v = verdicts[i];
        std::string line = EscapeForTerminal(std::string_view(v.name));
        if (records[i].description != records[i].name) {
            line += " (" + EscapeForTerminal(std::string_view(records[i].description)) + ")";
        }
        line += v.address.empty() ? "  skipped: " + v.reason : "  searched: " + v.address;
        std::cout << line << "\n";
    }
    if (verdicts.empty()) {
        std::cout << "No network adapter found.\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = orvandel::cli::ParseArguments(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), error);
    if (!options) {
        std::cerr << "orvandel-cli: " << error << "\nTry 'orvandel-cli --help'.\n";
        return 2;
    }
    if (options->help) {
        std::cout << kUsage;
        return 0;
    }
    if (options->version) {
        std::cout << "orvandel-cli " << ORVANDEL_VERSION_MAJOR << '.' << ORVANDEL_VERSION_MINOR
                  << '.' << ORVANDEL_VERSION_PATCH << '.' << ORVANDEL_VERSION_TWEAK << "\n";
        return 0;
    }
    if (options->list_adapters) {
        return ListAdapters();
    }
    if (!orvandel::SocketsAvailable()) {
        std::cerr << "orvandel-cli: cannot create a UDP socket\n";
        return 1;
    }

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const bool progress = ::isatty(STDERR_FILENO) == 1;
    std::mutex mutex;
    std::condition_variable finished;
    bool timed_out = false;
    orvandel::SearchEngine engine;
    orvandel::SearchTiming timing;
    timing.duration_ms = options->timeout_ms;
    engine.Start(
        timing,
        [progress](int frame) {
            if (progress) {
                static constexpr char kSpinner[] = {'|', '/', '-', '\\'};
                WriteStderr(std::string("\rSearching for devices... ") + kSpinner[frame % 4]);
            }
        },
        [&](std::uint64_t) {
            std::lock_guard lock(mutex);
            timed_out = true;
            finished.notify_all();
        });
    {
        std::unique_lock lock(mutex);
        while (!timed_out && !g_interrupted) {
            finished.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    engine.Stop();
    if (progress) {
        WriteStderr("\r\033[K");
    }
    const std::vector<orvandel::DeviceInfo> devices = engine.Collect();
    const std::vector<orvandel::DeviceRow> rows = orvandel::BuildRows(devices);
    if (rows.empty()) {
        if (options->json) {
            std::cout << "[]\n";
            std::cerr << "No device found.\n";
        } else {
            std::cout << "No device found.\n";
        }
        return 1;
    }
    if (options->json) {
        // The same devices as the table: those with both an IP and a MAC address.
        std::vector<orvandel::DeviceInfo> listed;
        for (const auto& device : devices) {
            if (!device.id.empty() && !device.ip.empty()) {
                listed.push_back(device);
            }
        }
        std::cout << orvandel::cli::FormatJson(listed);
    } else {
        std::cout << orvandel::cli::FormatTable(rows);
    }
    return 0;
}
