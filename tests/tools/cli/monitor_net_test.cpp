// The watch mode, site file, exports and inventory as processes against simulated
// devices in network namespaces, with the tools people feed them: node_exporter's
// textfile collector and promtool (Debian's prometheus and
// prometheus-node-exporter) and ansible-inventory (ansible-core).
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/cli/schema_check.h"
#include "tools/devicesim/net_lab.h"

extern char** environ;

namespace orvandel {
namespace {

using Clock = std::chrono::steady_clock;
using sim::NetLab;
using sim::RunningSim;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A program started by the test, in the calling thread's network namespace, with
// its stdout and stderr read as they come.
class Child {
public:
    Child(std::vector<std::string> words, std::vector<std::string> extra_env = {},
          const std::string& stdin_file = {}) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO,
                                         stdin_file.empty() ? "/dev/null" : stdin_file.c_str(),
                                         O_RDONLY, 0);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            env.emplace_back(*e);
        }
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        start_ = Clock::now();
        if (::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_fd_ = out[0];
        err_fd_ = err[0];
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            Wait(5000);
        }
        for (const int fd : {out_fd_, err_fd_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) { ::kill(pid_, signal); }

    // Reads for at most `ms`, or until `done` holds; false on time-out.
    bool ReadUntil(const std::function<bool()>& done, int ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || (out_fd_ < 0 && err_fd_ < 0)) {
                return done();
            }
            pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
            if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            Drain(fds[0].revents, out_fd_, out_, true);
            Drain(fds[1].revents, err_fd_, err_, false);
        }
        return true;
    }
    // Waits for the end of its output and its exit; the exit status, or -1.
    int Wait(int ms) {
        ReadUntil([this] { return out_fd_ < 0 && err_fd_ < 0; }, ms);
        int status = 0;
        if (!reaped_ && ::waitpid(pid_, &status, 0) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return status_;
    }

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    // Complete stdout lines with the ms since the start at which each arrived.
    const std::vector<std::pair<double, std::string>>& Lines() const { return lines_; }

private:
    void Drain(short revents, int& fd, std::string& text, bool lines) {
        if (fd < 0 || revents == 0) {
            return;
        }
        char buffer[8192];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (lines) {
            for (std::size_t end; (end = text.find('\n', line_start_)) != std::string::npos;) {
                lines_.emplace_back(MsSince(start_), text.substr(line_start_, end - line_start_));
                line_start_ = end + 1;
            }
        }
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    Clock::time_point start_;
    std::string out_;
    std::string err_;
    std::size_t line_start_ = 0;
    std::vector<std::pair<double, std::string>> lines_;
};

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

Finished RunTool(std::vector<std::string> words, std::vector<std::string> env = {},
                 const std::string& stdin_file = {}) {
    Child child(std::move(words), std::move(env), stdin_file);
    const int status = child.Wait(60000);
    return {status, child.Out(), child.Err()};
}

std::vector<std::string> Cli(std::vector<std::string> args) {
    args.insert(args.begin(), ORVANDEL_CLI_PATH);
    return args;
}

// A reply in the flat form the parser reads.
std::string Reply(const std::string& name, const std::string& mac, const std::string& ip,
                  const std::string& firmware, const std::string& model = "TR400") {
    return "{\"device_name\": \"" + name + "\", \"model\": \"" + model +
           "\", \"master_version\": \"" + firmware + "\", \"id\": \"" + mac + "\", \"ip\": \"" +
           ip + "\"}";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One lab for the whole program: made once, entered by the test thread.
class MonitorNet : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!NetLab::Unavailable().empty()) {
            return;
        }
        lab_ = std::make_unique<NetLab>();
        std::string error;
        if (!lab_->Create(1, error) || !lab_->EnterFinder()) {
            lab_.reset();
        }
    }
    static void TearDownTestSuite() { lab_.reset(); }

    void SetUp() override {
        if (!lab_) {
            GTEST_SKIP() << "SKIPPED: " << NetLab::Unavailable() << " (no network namespaces)";
        }
        char folder[] = "/tmp/orvandel-monitor-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    void TearDown() override {
        sim_.reset();
        if (!folder_.empty()) {
            std::filesystem::remove_all(folder_);
        }
    }

    // The devices on the link answer with these replies from now on.
    void Devices(std::vector<std::string> replies) {
        sim_.reset();
        if (replies.empty()) {
            return;
        }
        sim::SimOptions options;
        options.replies = std::move(replies);
        sim_ = std::make_unique<RunningSim>(*lab_, 1, std::move(options));
        ASSERT_TRUE(sim_->Ready());
    }

    static bool HasTool(const char* name) { return RunTool({"which", name}).status == 0; }

    static std::unique_ptr<NetLab> lab_;
    std::unique_ptr<RunningSim> sim_;
    std::string folder_;
};

std::unique_ptr<NetLab> MonitorNet::lab_;

const std::string kMacA = "02:00:00:00:00:0a";
const std::string kMacB = "02:00:00:00:00:0b";
const std::string kMacC = "02:00:00:00:00:0c";

// The watch sees devices appear, change ip and firmware, and stop answering, each
// within about one interval of the change; SIGINT ends it at once.
TEST_F(MonitorNet, WatchReportsAppearedChangedGoneInOrder) {
    constexpr int kIntervalMs = 800;
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7")});
    Child watch(Cli({"--watch", "--json", "--interval=0.8", "--timeout=300", "--gone-after=2"}),
                {"ORVANDEL_TESTING_MIN_INTERVAL_MS=100"});
    ASSERT_TRUE(watch.Started());
    auto lines = [&watch](std::size_t n) {
        return [&watch, n] { return watch.Lines().size() >= n; };
    };
    ASSERT_TRUE(watch.ReadUntil(lines(2), 5000)) << watch.Out() << watch.Err();

    const double changed_at = watch.Lines().back().first;
    Devices({Reply("Lobby", kMacA, "10.77.1.40", "1.1.0"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7")});
    ASSERT_TRUE(watch.ReadUntil(lines(3), 5000)) << watch.Out() << watch.Err();
    const double change_seen = watch.Lines()[2].first;

    Devices({Reply("Lobby", kMacA, "10.77.1.40", "1.1.0")});
    const double stopped_at = change_seen;
    ASSERT_TRUE(watch.ReadUntil(lines(4), 6000)) << watch.Out() << watch.Err();
    const double gone_seen = watch.Lines()[3].first;

    watch.Signal(SIGINT);
    const auto interrupted = Clock::now();
    EXPECT_EQ(watch.Wait(5000), 0) << watch.Err();
    const double ended_ms = MsSince(interrupted);
    EXPECT_LT(ended_ms, 500.0);

    std::vector<std::string> got;
    std::string all;
    for (const auto& [ms, line] : watch.Lines()) {
        std::printf("%7.0f ms  %s\n", ms, line.substr(0, 260).c_str());
        all += line + "\n";
        const auto event = line.find("\"event\": \"");
        const auto identity = line.find("\"identity\": \"");
        const auto changed = line.find("\"changed\": [");
        ASSERT_NE(event, std::string::npos);
        got.push_back(line.substr(event + 10, line.find('"', event + 10) - event - 10) + " " +
                      line.substr(identity + 13, 17) + " " +
                      line.substr(changed + 11, line.find(']', changed) - changed - 10));
    }
    EXPECT_EQ(
        got, (std::vector<std::string>{
                 "appeared 02:00:00:00:00:0A []", "appeared 02:00:00:00:00:0B []",
                 "changed 02:00:00:00:00:0A [\"ip\", \"firmware\"]", "gone 02:00:00:00:00:0B []"}));
    EXPECT_NE(watch.Lines()[2].second.find("\"ip\": \"10.77.1.40\""), std::string::npos);
    EXPECT_NE(watch.Lines()[2].second.find("\"firmware_version\": \"1.1.0\""), std::string::npos);
    // A change shows in the first round that starts after it; a device is gone
    // after the second round that missed it.
    EXPECT_LT(change_seen - changed_at, 2.0 * kIntervalMs + 300);
    EXPECT_LT(gone_seen - stopped_at, 3.0 * kIntervalMs + 300);
    std::printf("change seen after %.0f ms, gone after %.0f ms, SIGINT ended it in %.0f ms\n",
                change_seen - changed_at, gone_seen - stopped_at, ended_ms);
    EXPECT_EQ(test::SchemaErrors({{".ndjson", all}}, "orvandel-cli-events.schema.json"), "");
}

// Save, then one device gone and another moved with new firmware: the check says
// so exactly and fails; a new save keeps the user's label and tags, those of the
// device that is off included.
TEST_F(MonitorNet, SiteFileSaveCheckAndSaveAgain) {
    const std::string site = folder_ + "/site.json";
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7"),
             Reply("Bar", kMacC, "10.77.1.32", "1.0.7")});
    // --expect ends the search as soon as the three answered, long before 5 s.
    const auto start = Clock::now();
    const Finished saved = RunTool(Cli({"--save-site", site, "--expect=3", "--timeout=5000"}));
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_LT(MsSince(start), 3000.0);
    std::string text = Slurp(site);
    EXPECT_EQ(test::SchemaErrors({{".json", text}}, "orvandel-site.schema.json"), "");
    const std::string plain = "\"identity\": \"02:00:00:00:00:0A\"";
    ASSERT_NE(text.find(plain), std::string::npos) << text;
    // The user labels the lobby and the bar devices.
    const std::string untouched = "\"label\": null, \"tags\": []}";
    for (const std::string& identity :
         {plain, std::string("\"identity\": \"02:00:00:00:00:0C\"")}) {
        const auto at = text.find(untouched, text.find(identity));
        ASSERT_NE(at, std::string::npos);
        text.replace(at, untouched.size(),
                     "\"label\": \"" + identity.substr(13, 17) + "\", \"tags\": [\"floor-1\"]}");
    }
    std::ofstream(site, std::ios::binary | std::ios::trunc) << text;
    const std::string bar_seen =
        text.substr(text.find("\"last_seen\"", text.find("02:00:00:00:00:0C")), 35);

    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.45", "1.2.0")});
    const Finished check = RunTool(Cli({"--check-site", site, "--timeout=400"}));
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(check.out,
              "STATE                   IDENTITY           SAVED IP    IP          NAME\n"
              "present                 02:00:00:00:00:0A  10.77.1.30  10.77.1.30  Lobby\n"
              "moved,firmware-changed  02:00:00:00:00:0B  10.77.1.31  10.77.1.45  Stage\n"
              "missing                 02:00:00:00:00:0C  10.77.1.32  -           Bar\n");
    const Finished json = RunTool(Cli({"--check-site", site, "--timeout=400", "--json"}));
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(test::SchemaErrors({{".json", json.out}}, "orvandel-site.schema.json"), "");

    const Finished again = RunTool(Cli({"--save-site", site, "--expect=2", "--timeout=3000"}));
    EXPECT_EQ(again.status, 0) << again.err;
    const std::string resaved = Slurp(site);
    for (const char* label : {"02:00:00:00:00:0A", "02:00:00:00:00:0C"}) {
        EXPECT_NE(
            resaved.find("\"label\": \"" + std::string(label) + "\", \"tags\": [\"floor-1\"]}"),
            std::string::npos)
            << resaved;
    }
    // The bar device is off: kept as it was, with the time it was last seen.
    EXPECT_NE(resaved.find(bar_seen, resaved.find("02:00:00:00:00:0C")), std::string::npos)
        << resaved;
    const Finished ok = RunTool(Cli({"--check-site", site, "--expect=2", "--timeout=3000"}));
    EXPECT_EQ(ok.status, 1) << ok.out << ok.err;
    EXPECT_NE(ok.out.find("\nmissing  02:00:00:00:00:0C"), std::string::npos) << ok.out;

    // A site file that is not one is never overwritten.
    std::ofstream(site, std::ios::binary | std::ios::trunc) << "{\"labels\": ";
    const Finished refused = RunTool(Cli({"--save-site", site, "--timeout=300"}));
    EXPECT_EQ(refused.status, 5);
    EXPECT_EQ(Slurp(site), "{\"labels\": ");
}

// Forged replies beside the real devices (their MACs from a lower ip, another MAC
// at an ip): the check says conflict, not moved; a save keeps the addresses; the
// inventory connects to no disputed address; every device's series is 1.
TEST_F(MonitorNet, ForgedRepliesMoveAndHideNoDevice) {
    const std::string site = folder_ + "/site.json";
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7")});
    ASSERT_EQ(RunTool(Cli({"--save-site", site, "--expect=2", "--timeout=3000"})).status, 0);
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7"),
             Reply("Lobby", kMacA, "10.77.1.3", "1.0.7"),
             Reply("Impostor", "02:00:00:00:00:09", "10.77.1.31", "1.0.7")});
    const std::string prom = folder_ + "/o.prom";
    const Finished check =
        RunTool(Cli({"--check-site", site, "--timeout=400", "--prometheus", prom}));
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(check.out,
              "STATE             IDENTITY           SAVED IP    IP          NAME\n"
              "present,conflict  02:00:00:00:00:0A  10.77.1.30  10.77.1.30  Lobby\n"
              "present,conflict  02:00:00:00:00:0B  10.77.1.31  10.77.1.31  Stage\n"
              "new,conflict      02:00:00:00:00:09  -           10.77.1.31  Impostor\n");
    const std::string series = Slurp(prom);
    for (const char* expected :
         {"orvandel_device_up{mac=\"02:00:00:00:00:0A\",ip=\"10.77.1.30\",name=\"Lobby\"",
          "orvandel_device_up{mac=\"02:00:00:00:00:0B\",ip=\"10.77.1.31\",name=\"Stage\","
          "model=\"TR400\",firmware=\"1.0.7\",status=\"conflict\"} 1\n"}) {
        EXPECT_NE(series.find(expected), std::string::npos) << expected << series;
    }
    ASSERT_EQ(RunTool(Cli({"--save-site", site, "--timeout=400"})).status, 0);
    const std::string saved = Slurp(site);
    EXPECT_NE(saved.find("\"ip\": \"10.77.1.30\""), std::string::npos) << saved;
    EXPECT_EQ(saved.find("\"ip\": \"10.77.1.3\""), std::string::npos) << saved;
    const Finished host =
        RunTool(Cli({"--ansible-inventory", "--timeout=400", "--host", "orvandel_02000000000a"}));
    EXPECT_EQ(host.status, 0) << host.err;
    EXPECT_EQ(host.out.find("ansible_host"), std::string::npos) << host.out;
    EXPECT_NE(host.out.find("\"orvandel_claimed_ips\""), std::string::npos) << host.out;
}

// An edit of the site file made while a save searches is never lost: the search
// goes into the edited file, and when the edit left no site file, nothing is saved.
TEST_F(MonitorNet, EditDuringASaveIsKept) {
    const std::string site = folder_ + "/site.json";
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("Stage", kMacB, "10.77.1.31", "1.0.7")});
    ASSERT_EQ(RunTool(Cli({"--save-site", site, "--expect=2", "--timeout=3000"})).status, 0);
    const std::string untouched = "\"label\": null, \"tags\": []}";
    for (const bool valid : {true, false}) {
        Devices({Reply("Lobby", kMacA, "10.77.1.40", "1.0.7")});
        Child save(Cli({"--save-site", site, "--timeout=1500"}));
        ASSERT_TRUE(save.Started());
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::string text = Slurp(site);
        const auto at = text.find(untouched, text.find(valid ? "00:0B" : "00:0A"));
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, untouched.size(), "\"label\": \"Stage right\", \"tags\": [\"west\"]}");
        if (!valid) {
            text.resize(text.size() / 2);  // saved half-way, as an editor might
        }
        // As an editor saves: a new file renamed over the old one.
        std::ofstream(site + ".edit", std::ios::binary) << text;
        std::filesystem::rename(site + ".edit", site);
        const int status = save.Wait(10000);
        const std::string after = Slurp(site);
        if (valid) {
            EXPECT_EQ(status, 0) << save.Err();
            EXPECT_NE(save.Err().find("changed during the search: the search is saved into it"),
                      std::string::npos)
                << save.Err();
            EXPECT_NE(after.find("\"label\": \"Stage right\", \"tags\": [\"west\"]}"),
                      std::string::npos)
                << after;
            EXPECT_NE(after.find("\"ip\": \"10.77.1.40\""), std::string::npos) << after;
        } else {
            EXPECT_EQ(status, 5) << save.Err();
            EXPECT_NE(save.Err().find("changed during the search and is left as it is now"),
                      std::string::npos)
                << save.Err();
            EXPECT_EQ(after, text);
        }
    }
}

// node_exporter's textfile collector serves the export with the device series;
// promtool accepts the file, hostile name included.
TEST_F(MonitorNet, NodeExporterServesTheDeviceSeries) {
    if (!HasTool("prometheus-node-exporter") || !HasTool("promtool") || !HasTool("curl")) {
        GTEST_SKIP() << "SKIPPED: prometheus-node-exporter, promtool or curl is not installed";
    }
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("x\\\"} 1\\nfake 1", kMacB, "10.77.1.31", "1.0.7", "TR9100")});
    const std::string prom = folder_ + "/orvandel.prom";
    const std::string targets = folder_ + "/targets.json";
    const Finished exported = RunTool(Cli(
        {"--prometheus", prom, "--prometheus-targets", targets, "--expect=2", "--timeout=3000"}));
    ASSERT_EQ(exported.status, 0) << exported.err;
    const Finished lint = RunTool({"promtool", "check", "metrics"}, {}, prom);
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err << Slurp(prom);
    EXPECT_EQ(Slurp(targets).substr(0, 40), "[\n  {\"targets\": [\"http://10.77.1.30/\"], ");

    // The lab's finder namespace has a loopback of its own: the port is ours.
    Child exporter({"prometheus-node-exporter", "--collector.disable-defaults",
                    "--collector.textfile", "--collector.textfile.directory=" + folder_,
                    "--web.listen-address=127.0.0.1:19100"});
    ASSERT_TRUE(exporter.Started());
    Finished scrape;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    do {
        scrape = RunTool({"curl", "-sf", "--max-time", "2", "http://127.0.0.1:19100/metrics"});
    } while (scrape.status != 0 && Clock::now() < deadline &&
             exporter.ReadUntil([] { return false; }, 50) == false);
    ASSERT_EQ(scrape.status, 0) << exporter.Err();
    std::string series;
    for (std::size_t start = 0, end; (end = scrape.out.find('\n', start)) != std::string::npos;
         start = end + 1) {
        if (scrape.out.compare(start, 8, "orvandel") == 0) {
            series += scrape.out.substr(start, end - start + 1);
        }
    }
    std::printf("%s", series.c_str());
    EXPECT_NE(series.find("orvandel_device_up{firmware=\"1.0.7\",ip=\"10.77.1.30\",mac=\"02:00:00:"
                          "00:00:0A\",model=\"TR400\",name=\"Lobby\",status=\"ok\"} 1\n"),
              std::string::npos)
        << series;
    EXPECT_NE(series.find("name=\"x\\\"} 1\\nfake 1\""), std::string::npos) << series;
    EXPECT_NE(series.find("orvandel_devices_found 2\n"), std::string::npos);
    EXPECT_NE(scrape.out.find("\nnode_textfile_scrape_error 0\n"), std::string::npos);
}

// ansible-inventory reads the inventory script, from a live search and from a
// site file, and places the devices in their groups.
TEST_F(MonitorNet, AnsibleInventoryPlacesDevicesInGroups) {
    if (!HasTool("ansible-inventory")) {
        GTEST_SKIP() << "SKIPPED: ansible-inventory is not installed";
    }
    Devices({Reply("Lobby", kMacA, "10.77.1.30", "1.0.7"),
             Reply("{{ lookup('pipe', 'id') }}", kMacB, "10.77.1.31", "1.2.0", "TR9100")});
    const std::string site = folder_ + "/site.json";
    ASSERT_EQ(RunTool(Cli({"--save-site", site, "--expect=2", "--timeout=3000"})).status, 0);
    const std::vector<std::string> env = {"HOME=" + folder_, "ANSIBLE_NOCOLOR=1",
                                          "ANSIBLE_LOCAL_TEMP=" + folder_};
    for (const bool from_site : {false, true}) {
        const std::string script = folder_ + (from_site ? "/site-inventory" : "/live-inventory");
        std::ofstream(script) << "#!/bin/sh\nexec " ORVANDEL_CLI_PATH
                                 " --ansible-inventory --timeout=300 "
                              << (from_site ? "--site " + site : std::string("--expect=2"))
                              << " \"$@\"\n";
        ::chmod(script.c_str(), 0755);
        const Finished list = RunTool({"ansible-inventory", "-i", script, "--list"}, env);
        ASSERT_EQ(list.status, 0) << list.err;
        std::printf("%s", list.out.c_str());
        for (const char* expected :
             {"\"model_tr400\": {\n        \"hosts\": [\n            \"orvandel_02000000000a\"\n",
              "\"model_tr9100\": {\n        \"hosts\": [\n            \"orvandel_02000000000b\"\n",
              "\"firmware_1_2_0\": {\n        \"hosts\": [\n            "
              "\"orvandel_02000000000b\"\n",
              "\"ansible_host\": \"10.77.1.30\"",
              // Marked unsafe, and no template opener left for exports that drop the mark.
              "\"__ansible_unsafe\": \"{ { lookup('pipe', 'id') }}\""}) {
            EXPECT_NE(list.out.find(expected), std::string::npos) << expected;
        }
        const Finished yaml = RunTool({"ansible-inventory", "-i", script, "--list", "-y"}, env);
        ASSERT_EQ(yaml.status, 0) << yaml.err;
        EXPECT_EQ(yaml.out.find("{{"), std::string::npos) << yaml.out;
        EXPECT_NE(yaml.out.find("orvandel_name: '{ { lookup("), std::string::npos) << yaml.out;
        EXPECT_NE(list.out.find(from_site ? "\"status_saved\"" : "\"status_ok\""),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace orvandel
