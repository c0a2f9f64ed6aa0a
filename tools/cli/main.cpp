// orvandel-cli: runs one device search and prints what the window would list.
// Results go to stdout and nothing else does; every message goes to stderr.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "build_config.h"
#include "discovery/search_engine.h"
#include "platform/adapters.h"
#include "platform/socket_check.h"
#include "tools/cli/cli_output.h"

namespace {

// Exit statuses.
constexpr int kFound = 0;
constexpr int kNoneFound = 1;
constexpr int kUsageError = 2;
constexpr int kOutputFailed = 4;

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
    "Exit status: 0 devices found, 1 none found, 2 usage error, 4 the output could\n"
    "not be written.\n";

void WriteStderr(const std::string& text) {
    // write() directly: the progress comes from the timer thread. A message that
    // cannot be written has nowhere else to go.
    std::string ignored;
    orvandel::cli::WriteFully(STDERR_FILENO, text, ignored);
}

void Message(const std::string& text) {
    WriteStderr("orvandel-cli: " + text + "\n");
}

// Writes the results; a reader that went away or a full disk is exit status 4,
// never a silent success or a death by SIGPIPE.
int Emit(const std::string& results, int status) {
    std::string error;
    if (!orvandel::cli::WriteFully(STDOUT_FILENO, results, error)) {
        Message("cannot write the output: " + error);
        return kOutputFailed;
    }
    // A file on a network file system may report a failed write only here.
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR) {
        Message("cannot write the output: " + std::string(std::strerror(errno)));
        return kOutputFailed;
    }
    return status;
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

int ListAdapters() {
    using orvandel::cli::EscapeForTerminal;
    const auto records = orvandel::SystemAdapters().List();
    const auto verdicts = orvandel::JudgeAdapters(records);
    std::string out;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const auto& v = verdicts[i];
        out += EscapeForTerminal(std::string_view(v.name));
        if (records[i].description != records[i].name) {
            out += " (" + EscapeForTerminal(std::string_view(records[i].description)) + ")";
        }
        out += v.address.empty() ? "  skipped: " + v.reason : "  searched: " + v.address;
        out += "\n";
    }
    if (verdicts.empty()) {
        WriteStderr("No network adapter found.\n");
    }
    return Emit(out, kFound);
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
        return Emit("orvandel-cli " ORVANDEL_VERSION_STRING "\n", kFound);
    }
    if (options->list_adapters) {
        return ListAdapters();
    }
    if (!orvandel::SocketsAvailable()) {
        Message("cannot create a UDP socket");
        return kNoneFound;
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
    const std::size_t dropped = engine.DroppedReplies();
    // Every record with an IP address is a device found, with or without a MAC
    // address: the window, too, leaves the not-found page for such a record.
    const std::vector<orvandel::DeviceInfo> devices = engine.Collect();
    if (dropped > 0) {
        Message("note: " + std::to_string(dropped) +
                " replies were dropped over the reply store's bounds");
    }
    if (devices.empty()) {
        WriteStderr("No device found.\n");
    }
    const int status = devices.empty() ? kNoneFound : kFound;
    if (options->json) {
        return Emit(orvandel::cli::FormatJson(devices), status);
    }
    return Emit(devices.empty() ? std::string() : orvandel::cli::FormatTable(devices), status);
}
