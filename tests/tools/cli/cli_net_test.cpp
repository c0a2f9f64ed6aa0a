// The command-line finder as a process, against simulated devices in network
// namespaces: what it lists, which stream each text goes to, and its exit status
// when the results cannot be written.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "tests/tools/cli/schema_check.h"
#include "tools/devicesim/net_lab.h"

extern char** environ;

namespace orvandel {
namespace {

using sim::NetLab;
using sim::RunningSim;

// Where the finder's stdout goes.
enum class Stdout {
    kCaptured,
    kDevFull,
    kClosedPipe,      // a pipe whose reader is gone before the finder starts
    kClosed,          // no descriptor 1 at all
    kReadThenClosed,  // a 4 KiB pipe whose reader takes `read_limit` bytes, then leaves
    kStalled,         // a 4 KiB pipe that is never read
    kTerminal,        // a terminal 60 columns wide
};

struct CliRun {
    bool exited = false;  // false: killed by a signal (or not started)
    int status = -1;
    int signal = 0;
    std::string out;
    std::string err;
    // Each line of stdout with the time it arrived, and the time the finder's
    // stdout and stderr closed: ms since the start.
    std::vector<std::pair<double, std::string>> lines;
    double ended_ms = 0;
    double term_ms = 0;  // when SIGTERM went, when it was asked for
};

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Reads `fd` until end of file or until `limit` bytes are in `text`.
bool Drain(int fd, std::string& text, std::size_t limit) {
    char buffer[4096];
    const std::size_t room = std::min(sizeof buffer, limit - text.size());
    const ssize_t n = ::read(fd, buffer, room);
    if (n > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return n > 0 && text.size() < limit;
}

// Runs the finder from the calling thread, which is in the finder's namespace, so
// that the child is too. SIGPIPE is set to its default in the child, as a shell
// would leave it, so that a finder that does not handle it dies by it. With
// `term_after_ms` >= 0 it gets SIGTERM then; a finder still running 20 s after its
// last output is killed.
CliRun RunCli(const std::vector<std::string>& args, Stdout where = Stdout::kCaptured,
              std::size_t read_limit = std::string::npos, int term_after_ms = -1) {
    CliRun run;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(err, O_CLOEXEC) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    switch (where) {
        case Stdout::kCaptured:
        case Stdout::kReadThenClosed:
        case Stdout::kClosedPipe:
        case Stdout::kStalled:
            if (::pipe2(out, O_CLOEXEC) != 0) {
                return run;
            }
            if (where == Stdout::kReadThenClosed || where == Stdout::kStalled) {
                ::fcntl(out[0], F_SETPIPE_SZ, 4096);
            }
            if (where == Stdout::kClosedPipe) {
                ::close(out[0]);
                out[0] = -1;
            }
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
            break;
        case Stdout::kTerminal: {
            winsize size{};
            size.ws_col = 60;
            size.ws_row = 24;
            if (::openpty(&out[0], &out[1], nullptr, nullptr, &size) != 0) {
                return run;
            }
            termios mode{};
            ::tcgetattr(out[1], &mode);
            mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // "\n" stays "\n"
            ::tcsetattr(out[1], TCSANOW, &mode);
            ::fcntl(out[0], F_SETFD, FD_CLOEXEC);
            ::fcntl(out[1], F_SETFD, FD_CLOEXEC);
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
            break;
        }
        case Stdout::kDevFull:
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
            break;
        case Stdout::kClosed:
            posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
            break;
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> words{ORVANDEL_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int spawned =
        ::posix_spawn(&pid, ORVANDEL_CLI_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(err[1]);
    if (out[1] >= 0) {
        ::close(out[1]);
    }
    if (spawned == 0) {
        const std::size_t out_limit =
            where == Stdout::kReadThenClosed ? read_limit : std::string::npos;
        bool out_open = out[0] >= 0 && where != Stdout::kStalled;
        bool err_open = true;
        bool hung = false;
        std::size_t line_start = 0;
        while (out_open || err_open) {
            pollfd fds[2] = {{out_open ? out[0] : -1, POLLIN, 0}, {err[0], POLLIN, 0}};
            fds[1].fd = err_open ? err[0] : -1;
            int wait_ms = 20000;
            if (term_after_ms >= 0 && run.term_ms == 0) {
                wait_ms = std::max(0, term_after_ms - static_cast<int>(MsSince(start)));
            }
            const int ready = ::poll(fds, 2, wait_ms);
            if (ready == 0 && term_after_ms >= 0 && run.term_ms == 0) {
                run.term_ms = MsSince(start);
                ::kill(pid, SIGTERM);
                continue;
            }
            if (ready <= 0) {
                hung = true;  // the checks on its status fail
                break;
            }
            if (out_open && fds[0].revents != 0) {
                const std::size_t before = run.out.size();
                const bool more = Drain(out[0], run.out, out_limit);
                for (std::size_t end = run.out.find('\n', before); end != std::string::npos;
                     end = run.out.find('\n', end + 1)) {
                    run.lines.emplace_back(MsSince(start),
                                           run.out.substr(line_start, end - line_start));
                    line_start = end + 1;
                }
                if (!more) {
                    out_open = false;
                    ::close(out[0]);  // the reader leaves here
                    out[0] = -1;
                }
            }
            if (err_open && fds[1].revents != 0 && !Drain(err[0], run.err, std::string::npos)) {
                err_open = false;
            }
        }
        run.ended_ms = MsSince(start);
        if (hung) {
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid) {
            run.exited = WIFEXITED(status);
            run.status = run.exited ? WEXITSTATUS(status) : -1;
            run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    }
    if (out[0] >= 0) {
        ::close(out[0]);
    }
    ::close(err[0]);
    return run;
}

constexpr const char* kTimeout = "--timeout=700";
const std::string kWriteFailed = "orvandel-cli: cannot write the output: ";

class CliNet : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = NetLab::Unavailable();
        if (!why.empty()) {
            GTEST_SKIP() << "SKIPPED: " << why;
        }
        std::string error;
        if (!lab_.Create(1, error)) {
            GTEST_SKIP() << "SKIPPED: " << error;
        }
        ASSERT_TRUE(lab_.EnterFinder());
    }

    // A simulator on the link answering every command with these replies.
    std::unique_ptr<RunningSim> Answer(std::vector<std::string> replies) {
        sim::SimOptions options;
        options.replies = std::move(replies);
        auto device = std::make_unique<RunningSim>(lab_, 1, std::move(options));
        EXPECT_TRUE(device->Ready());
        return device;
    }

    NetLab lab_;
};

TEST_F(CliNet, ReplyWithAnIpButNoMacIsAFoundDevice) {
    // One reply gives an empty "id", the other none at all.
    const auto device = Answer({sim::MakeReply("No MAC", "TR9100", "", "10.77.1.20"),
                                "{\"device_name\": \"Bare\", \"ip\": \"10.77.1.21\"}"});
    const CliRun table = RunCli({kTimeout});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out,
              "MODEL   NAME    IP          MAC  STATUS\n"
              "TR9100  No MAC  10.77.1.20  -    ok\n"
              "-       Bare    10.77.1.21  -    ok\n");
    EXPECT_EQ(table.err, "");

    const CliRun json = RunCli({"--json", kTimeout});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"name\": \"No MAC\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"ip\": \"10.77.1.21\""), std::string::npos) << json.out;
    std::size_t nulls = 0;
    for (std::size_t at = 0; (at = json.out.find("\"mac\": null,", at)) != std::string::npos;
         ++at) {
        ++nulls;
    }
    EXPECT_EQ(nulls, 2u) << json.out;
    EXPECT_EQ(json.err, "");
    EXPECT_EQ(test::SchemaErrors({{".json", json.out}}), "");
}

// A device of another subnet on the finder's link (the finder's namespace routes
// everything over that link, as a desktop does) and one that shares an address with
// the finder: the table's STATUS column and the JSON fields say so.
TEST_F(CliNet, StatusColumnAndJsonFieldsSayWhichPagesCannotOpen) {
    ASSERT_TRUE(NetLab::Ip(lab_.DeviceNamespace(1),
                           "addr add 192.168.0.57/24 dev " + lab_.DeviceInterface(1)));
    ASSERT_TRUE(
        NetLab::Ip(lab_.FinderNamespace(), "route add default dev " + lab_.FinderInterface(1)));
    sim::SimOptions options;
    options.replies = {sim::MakeReply("Other", "TR400", "02:00:00:00:00:01", "192.168.0.57"),
                       sim::MakeReply("Mine", "TR400", "02:00:00:00:00:02", "10.77.1.1")};
    options.sources = {"192.168.0.57", NetLab::DeviceAddress(1)};
    RunningSim device(lab_, 1, options);
    ASSERT_TRUE(device.Ready());
    const CliRun table = RunCli({kTimeout});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out,
              "MODEL  NAME   IP            MAC                STATUS\n"
              "TR400  Mine   10.77.1.1     02:00:00:00:00:02  conflict\n"
              "TR400  Other  192.168.0.57  02:00:00:00:00:01  other-network\n");

    const CliRun json = RunCli({"--json", kTimeout});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"status\": \"other-network\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"status\": \"conflict\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"conflict_count\": 2"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"192.168.0.57\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"prefix_length\": 24"), std::string::npos) << json.out;
    EXPECT_EQ(test::SchemaErrors({{".json", json.out}}), "");
}

TEST_F(CliNet, ModelColumnShowsWhatTheDeviceReported) {
    const auto device =
        Answer({sim::MakeReply("A", "TR400", "02:00:00:00:00:01", "10.77.1.31"),
                sim::MakeReply("B", "TR9100", "02:00:00:00:00:02", "10.77.1.32"),
                sim::MakeReply("C", "", "02:00:00:00:00:03", "10.77.1.33"),
                sim::MakeReply("D", "TR400 Pro", "02:00:00:00:00:04", "10.77.1.34"),
                sim::MakeReply("E", "TR9\x1b[5m", "02:00:00:00:00:05", "10.77.1.35")});
    const CliRun table = RunCli({kTimeout});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out,
              "MODEL       NAME  IP          MAC                STATUS\n"
              "TR400       A     10.77.1.31  02:00:00:00:00:01  ok\n"
              "TR9100      B     10.77.1.32  02:00:00:00:00:02  ok\n"
              "-           C     10.77.1.33  02:00:00:00:00:03  ok\n"
              "TR400 Pro   D     10.77.1.34  02:00:00:00:00:04  ok\n"
              "TR9\\x1B[5m  E     10.77.1.35  02:00:00:00:00:05  ok\n");
}

TEST_F(CliNet, StdoutCarriesOnlyResults) {
    {
        const CliRun none = RunCli({kTimeout});
        EXPECT_EQ(none.status, 1);
        EXPECT_EQ(none.out, "");
        EXPECT_EQ(none.err, "No device found.\n");
        const CliRun none_json = RunCli({"--json", kTimeout});
        EXPECT_EQ(none_json.status, 1);
        EXPECT_NE(none_json.out.find("\"devices\": []"), std::string::npos) << none_json.out;
        EXPECT_EQ(none_json.err, "No device found.\n");
        EXPECT_EQ(test::SchemaErrors({{".json", none_json.out}}), "");
    }
    const CliRun usage = RunCli({"--json", "--colour"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err, "orvandel-cli: unknown option '--colour'\nTry 'orvandel-cli --help'.\n");

    const CliRun adapters = RunCli({"--adapters"});
    EXPECT_EQ(adapters.status, 0);
    EXPECT_NE(adapters.out.find("  searched: " + NetLab::FinderAddress(1) + "\n"),
              std::string::npos)
        << adapters.out;
    EXPECT_EQ(adapters.err, "");

    const auto device = Answer({sim::MakeReply("A", "TR400", "02:00:00:00:00:01", "10.77.1.31")});
    const CliRun found = RunCli({kTimeout});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out.rfind("MODEL", 0), 0u) << found.out;
    EXPECT_EQ(found.err, "");
}

TEST_F(CliNet, ResultsThatCannotBeWrittenExitWithStatusFour) {
    {
        const CliRun version = RunCli({"--version"}, Stdout::kDevFull);
        EXPECT_EQ(version.status, 4);
        EXPECT_EQ(version.err, kWriteFailed + "No space left on device\n");
        // Even the empty result of a search that found nothing must reach stdout.
        const CliRun none_json = RunCli({"--json", kTimeout}, Stdout::kDevFull);
        EXPECT_EQ(none_json.status, 4);
        EXPECT_EQ(none_json.err, "No device found.\n" + kWriteFailed + "No space left on device\n");
    }
    const auto device = Answer({sim::MakeReply("A", "TR400", "02:00:00:00:00:01", "10.77.1.31")});
    const CliRun full = RunCli({kTimeout}, Stdout::kDevFull);
    EXPECT_EQ(full.status, 4);
    EXPECT_EQ(full.err, kWriteFailed + "No space left on device\n");

    const CliRun gone = RunCli({"--json", kTimeout}, Stdout::kClosedPipe);
    EXPECT_TRUE(gone.exited) << "killed by signal " << gone.signal;
    EXPECT_EQ(gone.status, 4);
    EXPECT_EQ(gone.err, kWriteFailed + "Broken pipe\n");

    // No descriptor 1 at all is an output that cannot be written, too.
    const CliRun closed = RunCli({kTimeout}, Stdout::kClosed);
    EXPECT_EQ(closed.status, 4);
    EXPECT_EQ(closed.err, kWriteFailed + "Bad file descriptor\n");
}

TEST_F(CliNet, ReaderLeavingMidTableIsAnErrorNotASilentDeath) {
    // 300 devices make a table of about 17 KB, more than the 4 KiB pipe holds, so
    // the reader leaves while the finder is still writing.
    // Each from one of eight addresses: the finder stores at most 64 distinct
    // replies per sender.
    sim::SimOptions options;
    options.replies = sim::GenerateReplies(300);
    options.sources = lab_.AddDeviceAddresses(1, 8);
    ASSERT_EQ(options.sources.size(), 8u);
    RunningSim devices(lab_, 1, options);
    ASSERT_TRUE(devices.Ready());
    const CliRun cut = RunCli({kTimeout}, Stdout::kReadThenClosed, 100);
    EXPECT_TRUE(cut.exited) << "killed by signal " << cut.signal;
    EXPECT_EQ(cut.status, 4);
    EXPECT_EQ(cut.err, kWriteFailed + "Broken pipe\n");
    EXPECT_EQ(cut.out.size(), 100u);
    EXPECT_EQ(cut.out.rfind("MODEL", 0), 0u) << cut.out;
}

// A reader that stopped reading: 100 devices' output fills the 4 KiB pipe, and
// SIGTERM still ends the finder within a second, whatever it was printing.
TEST_F(CliNet, StalledReaderDoesNotHoldTheStop) {
    sim::SimOptions options;
    options.replies = sim::GenerateReplies(100);
    options.sources = lab_.AddDeviceAddresses(1, 8);
    RunningSim devices(lab_, 1, options);
    ASSERT_TRUE(devices.Ready());
    char folder[] = "/tmp/orvandel-stalled-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string site = std::string(folder) + "/site.json";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-j", kTimeout},
                                                 {"--stream", "-j", kTimeout},
                                                 {"--watch", "-j", kTimeout, "--interval=5"},
                                                 {"--save-site", site, "-j", kTimeout}}) {
        const CliRun run = RunCli(args, Stdout::kStalled, std::string::npos, 1500);
        EXPECT_TRUE(run.exited) << args[0] << ": killed by signal " << run.signal;
        EXPECT_LT(run.ended_ms - run.term_ms, 1000) << args[0] << ": " << run.err;
        EXPECT_GT(run.term_ms, 0) << args[0];
    }
    std::filesystem::remove_all(folder);
}

// Targets on the link that nothing answers ARP for: each datagram to one waits
// about 3 s in the socket's buffer, and the search keeps its length and its stop.
TEST_F(CliNet, SilentTargetsKeepTheSearchsTimeAndItsStop) {
    const auto device = Answer({sim::MakeReply("A", "TR400", "02:00:00:00:00:01", "10.77.1.31")});
    // On the link, from the finder's address: 10.80.0.0/20 is asked for by ARP.
    ASSERT_TRUE(NetLab::Ip(lab_.FinderNamespace(), "route add 10.80.0.0/20 dev " +
                                                       lab_.FinderInterface(1) + " src " +
                                                       NetLab::FinderAddress(1)));
    auto targets = [](int count) {
        std::vector<std::string> args{"-p"};
        for (int i = 0; i < count; ++i) {
            args.push_back("-T");
            args.push_back("10.80." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
        }
        return args;
    };
    // Measured against the same search without targets: a busy machine adds to both.
    const CliRun plain = RunCli({"-p", kTimeout});
    std::vector<std::string> hundred = targets(100);
    hundred.push_back(kTimeout);
    const CliRun timed = RunCli(hundred);
    EXPECT_EQ(timed.status, 0) << timed.err;
    EXPECT_EQ(timed.out, "TR400\tA\t10.77.1.31\t02:00:00:00:00:01\n");
    EXPECT_LT(timed.ended_ms, plain.ended_ms + 400) << "without targets " << plain.ended_ms;

    std::vector<std::string> thousand = targets(1000);
    thousand.push_back("--timeout=5000");
    const CliRun stopped = RunCli(thousand, Stdout::kCaptured, std::string::npos, 600);
    EXPECT_TRUE(stopped.exited) << "killed by signal " << stopped.signal;
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_LT(stopped.ended_ms - stopped.term_ms, 1000);
}

// The finder's end of link k, as the lab names it.
std::string FinderInterface(int link) {
    return "ov" + std::to_string(::getpid()) + "f" + std::to_string(link);
}

// Lines of `out` (each without its newline).
std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(out.substr(start, end - start));
    }
    return lines;
}

TEST_F(CliNet, ExitStatusesAndUsageErrors) {
    const CliRun version = RunCli({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "orvandel-cli " ORVANDEL_RELEASE_VERSION "\n");
    EXPECT_EQ(std::string(ORVANDEL_RELEASE_VERSION), "1.0.2");
    const CliRun help = RunCli({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--interface"), std::string::npos);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"-j", "-p"},
                                                 {"--adapters", "--stream"},
                                                 {"-x"},
                                                 {"-T", "127.0.0.1"},
                                                 {"-T", "234.8.8.8"},
                                                 {"--timeout=0"},
                                                 {"eth0"}}) {
        const CliRun usage = RunCli(args);
        EXPECT_EQ(usage.status, 2) << args[0];
        EXPECT_EQ(usage.out, "");
        EXPECT_NE(usage.err.find("Try 'orvandel-cli --help'."), std::string::npos) << usage.err;
    }

    // Nothing to search on: exit status 3, not "none found".
    const CliRun unknown = RunCli({"-i", "nosuch0", kTimeout});
    EXPECT_EQ(unknown.status, 3);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("no adapter is named 'nosuch0'"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("no usable network adapter"), std::string::npos) << unknown.err;
    const CliRun loopback_only = RunCli({"-i", "lo", kTimeout});
    EXPECT_EQ(loopback_only.status, 3) << loopback_only.err;
    // The finder's namespace has no default route: 192.0.2.1 cannot be reached.
    const CliRun unreachable = RunCli({"-T", "192.0.2.1", kTimeout});
    EXPECT_EQ(unreachable.status, 3);
    EXPECT_NE(unreachable.err.find("cannot reach --target '192.0.2.1'"), std::string::npos)
        << unreachable.err;

    // -j writes its document all the same, with the reason (--stream: on one line).
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-j", "-i", "lo", kTimeout},
          {"--first", "-j", "-i", "lo", kTimeout},
          {"--stream", "-j", "-i", "lo", kTimeout},
          {"-j", "-T", "192.0.2.1", kTimeout}}) {
        const CliRun json = RunCli(args);
        EXPECT_EQ(json.status, 3) << args[0];
        EXPECT_NE(json.out.find("\"devices\": []"), std::string::npos) << json.out;
        EXPECT_NE(json.out.find(args[1] == "-T" ? "\"error\": \"cannot reach --target"
                                                : "\"error\": \"no usable network adapter"),
                  std::string::npos)
            << json.out;
        EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n') == 1, args[0] == "--stream")
            << json.out;
        EXPECT_EQ(test::SchemaErrors({{".json", json.out}}), "");
    }
    // The diagnosis names the adapter --interface left out: no empty list.
    const CliRun diagnosis = RunCli({"--diagnose", "-j", "-i", "lo", kTimeout});
    EXPECT_EQ(diagnosis.status, 3);
    EXPECT_NE(diagnosis.out.find("\"skipped\": \"" + FinderInterface(1) +
                                 ": not chosen with --interface\""),
              std::string::npos)
        << diagnosis.out;
    EXPECT_EQ(diagnosis.out.find("skipped: ."), std::string::npos) << diagnosis.out;
    EXPECT_EQ(test::SchemaErrors({{".json", diagnosis.out}}), "");
}

TEST_F(CliNet, OnATerminalTheTableFitsItsWidth) {
    const std::string name(100, 'n');
    const auto device = Answer({sim::MakeReply(name, "TR400", "aa:bb:cc:dd:ee:01", "10.77.1.20")});
    const CliRun terminal = RunCli({kTimeout}, Stdout::kTerminal);
    EXPECT_EQ(terminal.status, 0) << terminal.err;
    ASSERT_EQ(terminal.lines.size(), 2u) << terminal.out;
    for (const auto& [ms, line] : terminal.lines) {
        const auto columns = std::count_if(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        });
        EXPECT_LE(columns, 60) << line;
    }
    EXPECT_NE(terminal.out.find("n\u2026  10.77.1.20"), std::string::npos) << terminal.out;
    // A pipe gets the name whole.
    EXPECT_NE(RunCli({kTimeout}).out.find(name + "  10.77.1.20"), std::string::npos);
}

TEST_F(CliNet, AdaptersAsJsonMatchTheSchema) {
    const CliRun adapters = RunCli({"--adapters", "-j"});
    EXPECT_EQ(adapters.status, 0) << adapters.err;
    EXPECT_NE(adapters.out.find("\"address\": \"" + NetLab::FinderAddress(1) + "\""),
              std::string::npos)
        << adapters.out;
    EXPECT_NE(adapters.out.find("\"kind\": \"adapters\""), std::string::npos);
    EXPECT_EQ(test::SchemaErrors({{".json", adapters.out}}), "");

    // Naming another adapter leaves this one out, and says so.
    const CliRun chosen = RunCli({"--adapters", "-i", "lo"});
    EXPECT_NE(chosen.out.find(FinderInterface(1) + "  skipped: not chosen with --interface"),
              std::string::npos)
        << chosen.out;
    EXPECT_NE(chosen.out.find("lo  skipped: "), std::string::npos) << chosen.out;
}

TEST_F(CliNet, ParsableKeepsOneDevicePerLineAndFieldsApart) {
    // A raw tab would end the value in the reply; the JSON escape "\t" is decoded
    // into a tab in the name, which the parsable line shows as the two characters
    // "\t", so fields stay apart. Spaces stay inside their field.
    const auto device =
        Answer({sim::MakeReply("Living Room", "TR400", "02:00:00:00:00:0a", "10.77.1.41"),
                sim::MakeReply("Tab\\there", "", "", "10.77.1.42")});
    const CliRun run = RunCli({"-p", kTimeout});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "TR400\tLiving Room\t10.77.1.41\t02:00:00:00:00:0A\n"
              "\tTab\\there\t10.77.1.42\t\n");
}

// Two devices on one link, the second answering 600 ms after the command; and a
// third whose record changes: "Old" at once, "New" from another simulator at the
// same address 300 ms later. Each answers one command only: a run of its own.
class CliNetStream : public CliNet {
protected:
    CliRun RunWithDevices(const std::vector<std::string>& args) {
        sim::SimOptions first;
        first.replies = {sim::MakeReply("Early", "TR400", "02:00:00:00:00:01", "10.77.1.51"),
                         sim::MakeReply("Late", "TR9100", "02:00:00:00:00:02", "10.77.1.52"),
                         sim::MakeReply("Old", "TR400", "02:00:00:00:00:03", "10.77.1.53")};
        first.delays_ms = {0, 600, 0};
        first.answer_once = true;
        RunningSim a(lab_, 1, first);
        sim::SimOptions second;
        second.replies = {sim::MakeReply("New", "TR400", "02:00:00:00:00:03", "10.77.1.53")};
        second.delays_ms = {300};
        second.answer_once = true;
        RunningSim b(lab_, 1, second);
        EXPECT_TRUE(a.Ready() && b.Ready());
        return RunCli(args);
    }
};

TEST_F(CliNetStream, JsonLinesComeAsDevicesAnswerAndOnChanges) {
    const CliRun run = RunWithDevices({"--stream", "-j", "--timeout=1500"});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 4u) << run.out;
    EXPECT_EQ(test::SchemaErrors({{".ndjson", run.out}}), "");
    std::vector<std::string> order;
    for (const auto& [ms, line] : run.lines) {
        order.push_back(line.substr(line.find("\"name\": ") + 9, 3) +
                        (line.find("\"event\": \"update\"") != std::string::npos ? "+" : ""));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Ear", "Old", "New+", "Lat"}));
    // Each line came while the search was still going, as the device answered.
    EXPECT_LT(run.lines[0].first, run.ended_ms - 1000);
    EXPECT_GT(run.lines[2].first - run.lines[0].first, 200);
    EXPECT_GT(run.lines[3].first - run.lines[0].first, 500);
    EXPECT_LT(run.lines[3].first, run.ended_ms - 500);
}

TEST_F(CliNetStream, TableAndParsableLinesStreamTheSameWay) {
    const CliRun table = RunWithDevices({"--stream", "--timeout=1000"});
    const auto rows = Lines(table.out);
    ASSERT_EQ(rows.size(), 5u) << table.out;
    EXPECT_EQ(rows[0].rfind("MODEL", 0), 0u);
    EXPECT_NE(rows[3].find("New"), std::string::npos);
    EXPECT_TRUE(rows[3].ends_with("  (updated)")) << rows[3];
    EXPECT_GT(table.lines[4].first - table.lines[1].first, 500);
    const CliRun parsable = RunWithDevices({"--stream", "-p", "--timeout=1000"});
    EXPECT_EQ(Lines(parsable.out),
              (std::vector<std::string>{"TR400\tEarly\t10.77.1.51\t02:00:00:00:00:01\tfound",
                                        "TR400\tOld\t10.77.1.53\t02:00:00:00:00:03\tfound",
                                        "TR400\tNew\t10.77.1.53\t02:00:00:00:00:03\tupdate",
                                        "TR9100\tLate\t10.77.1.52\t02:00:00:00:00:02\tfound"}));
    // Without --stream the result is the same devices, the later record kept.
    const CliRun result = RunWithDevices({"-p", "--timeout=1000"});
    EXPECT_EQ(result.out,
              "TR400\tEarly\t10.77.1.51\t02:00:00:00:00:01\n"
              "TR9100\tLate\t10.77.1.52\t02:00:00:00:00:02\n"
              "TR400\tNew\t10.77.1.53\t02:00:00:00:00:03\n");
}

TEST_F(CliNet, FirstEndsTheSearchAtTheFirstDevice) {
    sim::SimOptions options;
    options.replies = {sim::MakeReply("One", "TR400", "02:00:00:00:00:01", "10.77.1.61"),
                       sim::MakeReply("Two", "TR400", "02:00:00:00:00:02", "10.77.1.62")};
    options.delays_ms = {300, 900};
    options.answer_once = true;
    for (const bool stream : {true, false}) {
        RunningSim device(lab_, 1, options);
        ASSERT_TRUE(device.Ready());
        const CliRun run =
            stream ? RunCli({"--first", "--stream", "-p"}) : RunCli({"--first", "-j"});
        EXPECT_EQ(run.status, 0) << run.err;
        ASSERT_FALSE(run.lines.empty());
        if (stream) {
            ASSERT_EQ(run.lines.size(), 1u) << run.out;
            EXPECT_EQ(run.lines[0].second, "TR400\tOne\t10.77.1.61\t02:00:00:00:00:01\tfound");
            EXPECT_LT(run.ended_ms - run.lines[0].first, 200) << "exit at " << run.ended_ms;
        } else {
            EXPECT_NE(run.out.find("\"name\": \"One\""), std::string::npos) << run.out;
            EXPECT_EQ(run.out.find("\"name\": \"Two\""), std::string::npos);
            EXPECT_EQ(test::SchemaErrors({{".json", run.out}}), "");
        }
        // The first reply left 300 ms after the command; the search ends well
        // before the second one.
        EXPECT_LT(run.ended_ms, 300 + 200 + 150) << (stream ? "--stream" : "-j");
    }
}

TEST_F(CliNet, StreamThatCannotBeWrittenEndsTheSearch) {
    const auto device = Answer({sim::MakeReply("A", "TR400", "02:00:00:00:00:01", "10.77.1.31")});
    const CliRun full = RunCli({"--stream", "-j"}, Stdout::kDevFull);
    EXPECT_EQ(full.status, 4);
    EXPECT_EQ(full.err, kWriteFailed + "No space left on device\n");
    EXPECT_LT(full.ended_ms, 2000);  // not the whole five seconds
    const CliRun parsable = RunCli({"-p", kTimeout}, Stdout::kDevFull);
    EXPECT_EQ(parsable.status, 4);
}

// Two links, a device on each: --interface searches only the named one.
TEST(CliNetTwoLinks, InterfaceSearchesOnlyTheNamedAdapters) {
    const std::string why = NetLab::Unavailable();
    if (!why.empty()) {
        GTEST_SKIP() << "SKIPPED: " << why;
    }
    NetLab lab;
    std::string error;
    ASSERT_TRUE(lab.Create(2, error)) << error;
    ASSERT_TRUE(lab.EnterFinder());
    sim::SimOptions one;
    one.replies = {sim::MakeReply("On1", "TR400", "02:00:00:00:01:01", "10.77.1.70")};
    RunningSim first(lab, 1, one);
    sim::SimOptions two;
    two.replies = {sim::MakeReply("On2", "TR400", "02:00:00:00:02:01", "10.77.2.70")};
    RunningSim second(lab, 2, two);
    ASSERT_TRUE(first.Ready() && second.Ready());

    const CliRun both = RunCli({"-p", kTimeout});
    EXPECT_EQ(Lines(both.out).size(), 2u) << both.out;
    const CliRun only2 = RunCli({"-p", "-i", FinderInterface(2), kTimeout});
    EXPECT_EQ(only2.status, 0) << only2.err;
    EXPECT_EQ(only2.out, "TR400\tOn2\t10.77.2.70\t02:00:00:00:02:01\n");
    const CliRun json = RunCli({"-j", "--interface=" + FinderInterface(1), kTimeout});
    EXPECT_NE(json.out.find("\"name\": \"" + FinderInterface(1) +
                            "\",\n      \"address\": \"10.77.1.1\",\n      \"prefix_length\": 24"),
              std::string::npos)
        << json.out;
    EXPECT_EQ(json.out.find("10.77.2."), std::string::npos) << json.out;
    const CliRun named_both =
        RunCli({"-p", "-i", FinderInterface(1), "-i", FinderInterface(2), kTimeout});
    EXPECT_EQ(Lines(named_both.out).size(), 2u) << named_both.out;

    // The route to link 2 leaves from an adapter that is not chosen.
    const CliRun refused = RunCli({"-i", FinderInterface(1), "-T", "10.77.2.70", kTimeout});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("is reached from 10.77.2.1, which is not a searched adapter"),
              std::string::npos)
        << refused.err;
}

// The finder's link leads to a router namespace (the lab's device side of link 1,
// forwarding), and behind it a second subnet, 10.78.2.0/24, holds the device.
class CliNetRouted : public CliNet {
protected:
    void SetUp() override {
        CliNet::SetUp();
        if (IsSkipped()) {
            return;
        }
        behind_ = "orvt" + std::to_string(::getpid()) + "x";
        const std::string router = lab_.DeviceNamespace(1);
        const std::string left = "ov" + std::to_string(::getpid()) + "rl";
        const std::string right = "ov" + std::to_string(::getpid()) + "rr";
        const bool ok =
            Shell("ip netns add " + behind_) &&
            Shell("ip -n " + router + " link add " + left + " type veth peer name " + right +
                  " netns " + behind_) &&
            Ip(router, "addr add 10.78.2.1/24 dev " + left) &&
            Ip(router, "link set " + left + " up") &&
            Ip(behind_, "addr add 10.78.2.2/24 dev " + right) &&
            Ip(behind_, "link set " + right + " up") && Ip(behind_, "link set lo up") &&
            Ip(behind_, "route add default via 10.78.2.1") &&
            Ip(lab_.FinderNamespace(), "route add 10.78.2.0/24 via 10.77.1.2") &&
            Shell("ip netns exec " + router + " sysctl -qw net.ipv4.ip_forward=1") &&
            // A directed broadcast is forwarded only when all, the interface it
            // comes in on and the one it leaves by say so.
            Shell("ip netns exec " + router + " sysctl -qw net.ipv4.conf.all.bc_forwarding=1" +
                  " net.ipv4.conf." + left + ".bc_forwarding=1 net.ipv4.conf.ov" +
                  std::to_string(::getpid()) + "d1.bc_forwarding=1");
        ASSERT_TRUE(ok) << "could not set up the routed subnet";
    }
    void TearDown() override {
        stop_ = true;
        lab_.JoinAll();  // the simulator's thread ends once it sees the flag
        device_.reset();
        if (!behind_.empty()) {
            Shell("ip netns del " + behind_);
        }
    }

    static bool Shell(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    static bool Ip(const std::string& ns, const std::string& args) {
        return Shell("ip -n " + ns + " " + args);
    }

    // A device at 10.78.2.2 that answers whoever asked, by unicast, and takes
    // commands sent to its address or its subnet's broadcast address as well.
    void StartDevice() {
        sim::SimOptions options;
        options.address = "10.78.2.2";
        options.unicast = true;
        options.listen_unicast = true;
        options.replies = {sim::MakeReply("Routed", "TR9100", "02:00:00:00:78:02", "10.78.2.2")};
        device_ = std::make_unique<sim::DeviceSimulator>(options);
        lab_.RunIn(behind_, [this](bool entered) {
            if (!entered || !device_->Open()) {
                state_ = -1;
                return;
            }
            state_ = 1;
            device_->Run(stop_);
            state_ = 2;
        });
        while (state_ == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(state_, 1);
    }
    std::string behind_;
    std::unique_ptr<sim::DeviceSimulator> device_;
    std::atomic<bool> stop_{false};
    std::atomic<int> state_{0};
};

TEST_F(CliNetRouted, TargetReachesADeviceBehindARouter) {
    StartDevice();
    // Multicast does not cross the router.
    const CliRun plain = RunCli({"-p", kTimeout});
    EXPECT_EQ(plain.status, 1) << plain.out;
    EXPECT_EQ(plain.out, "");

    const CliRun unicast = RunCli({"-p", "-T", "10.78.2.2", kTimeout});
    EXPECT_EQ(unicast.status, 0) << unicast.err;
    EXPECT_EQ(unicast.out, "TR9100\tRouted\t10.78.2.2\t02:00:00:00:78:02\n");

    const CliRun subnet = RunCli({"-j", "--target=10.78.2.0/24", kTimeout});
    EXPECT_EQ(subnet.status, 0) << subnet.err;
    EXPECT_NE(subnet.out.find("\"ip\": \"10.78.2.2\""), std::string::npos) << subnet.out;
    // Outside the adapter's subnet, but its page opens through the router.
    EXPECT_NE(subnet.out.find("\"status\": \"routed\""), std::string::npos) << subnet.out;
    EXPECT_EQ(test::SchemaErrors({{".json", subnet.out}}), "");
    const CliRun table = RunCli({"-T", "10.78.2.2", kTimeout});
    EXPECT_NE(table.out.find("routed"), std::string::npos) << table.out;
}

}  // namespace
}  // namespace orvandel
