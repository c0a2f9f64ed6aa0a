// The command-line finder as a process, against simulated devices in network
// namespaces: what it lists, which stream each text goes to, and its exit status
// when the results cannot be written.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

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
};

struct CliRun {
    bool exited = false;  // false: killed by a signal (or not started)
    int status = -1;
    int signal = 0;
    std::string out;
    std::string err;
};

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
// would leave it, so that a finder that does not handle it dies by it.
CliRun RunCli(const std::vector<std::string>& args, Stdout where = Stdout::kCaptured,
              std::size_t read_limit = std::string::npos) {
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
            if (::pipe2(out, O_CLOEXEC) != 0) {
                return run;
            }
            if (where == Stdout::kReadThenClosed) {
                ::fcntl(out[0], F_SETPIPE_SZ, 4096);
            }
            if (where == Stdout::kClosedPipe) {
                ::close(out[0]);
                out[0] = -1;
            }
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
            break;
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
        bool out_open = out[0] >= 0;
        bool err_open = true;
        while (out_open || err_open) {
            pollfd fds[2] = {{out_open ? out[0] : -1, POLLIN, 0}, {err[0], POLLIN, 0}};
            fds[1].fd = err_open ? err[0] : -1;
            if (::poll(fds, 2, 20000) <= 0) {
                break;  // the finder hangs: the checks on its status fail
            }
            if (out_open && fds[0].revents != 0 && !Drain(out[0], run.out, out_limit)) {
                out_open = false;
                ::close(out[0]);  // the reader leaves here
                out[0] = -1;
            }
            if (err_open && fds[1].revents != 0 && !Drain(err[0], run.err, std::string::npos)) {
                err_open = false;
            }
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
              "MODEL   NAME    IP          MAC\n"
              "TR9100  No MAC  10.77.1.20  -\n"
              "-       Bare    10.77.1.21  -\n");
    EXPECT_EQ(table.err, "");

    const CliRun json = RunCli({"--json", kTimeout});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"device_name\": \"No MAC\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"ip\": \"10.77.1.21\""), std::string::npos) << json.out;
    std::size_t nulls = 0;
    for (std::size_t at = 0; (at = json.out.find("\"id\": null,", at)) != std::string::npos; ++at) {
        ++nulls;
    }
    EXPECT_EQ(nulls, 2u) << json.out;
    EXPECT_EQ(json.err, "");
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
              "MODEL       NAME  IP          MAC\n"
              "TR400       A     10.77.1.31  02:00:00:00:00:01\n"
              "TR9100      B     10.77.1.32  02:00:00:00:00:02\n"
              "-           C     10.77.1.33  02:00:00:00:00:03\n"
              "TR400 Pro   D     10.77.1.34  02:00:00:00:00:04\n"
              "TR9\\x1B[5m  E     10.77.1.35  02:00:00:00:00:05\n");
}

TEST_F(CliNet, StdoutCarriesOnlyResults) {
    {
        const CliRun none = RunCli({kTimeout});
        EXPECT_EQ(none.status, 1);
        EXPECT_EQ(none.out, "");
        EXPECT_EQ(none.err, "No device found.\n");
        const CliRun none_json = RunCli({"--json", kTimeout});
        EXPECT_EQ(none_json.status, 1);
        EXPECT_EQ(none_json.out, "[]\n");
        EXPECT_EQ(none_json.err, "No device found.\n");
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
    const auto devices = Answer(sim::GenerateReplies(300));
    const CliRun cut = RunCli({kTimeout}, Stdout::kReadThenClosed, 100);
    EXPECT_TRUE(cut.exited) << "killed by signal " << cut.signal;
    EXPECT_EQ(cut.status, 4);
    // One simulated host answers for all 300, so the per-sender quota may add a
    // note on dropped replies before the failure line.
    EXPECT_TRUE(cut.err.ends_with(kWriteFailed + "Broken pipe\n")) << cut.err;
    EXPECT_EQ(cut.out.size(), 100u);
    EXPECT_EQ(cut.out.rfind("MODEL", 0), 0u) << cut.out;
}

}  // namespace
}  // namespace orvandel
