#include "tools/devicesim/net_lab.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/udp_socket.h"

namespace orvandel::sim {

namespace {

constexpr const char* kPrefix = "orvt";

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Namespaces of earlier runs that died before cleaning up (their pid is gone).
void RemoveStale() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kPrefix, 0) != 0) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + 4, nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            Run("ip netns del " + name);
        }
    }
}

}  // namespace

std::string NetLab::Unavailable() {
    if (::geteuid() != 0) {
        return "needs root to create network namespaces";
    }
    if (!Run("ip -V")) {
        return "the ip tool (iproute2) is not installed";
    }
    const std::string probe = std::string(kPrefix) + std::to_string(::getpid()) + "probe";
    if (!Run("ip netns add " + probe)) {
        return "cannot create a network namespace here (no CAP_SYS_ADMIN?)";
    }
    Run("ip netns del " + probe);
    return {};
}

std::string NetLab::FinderAddress(int link) {
    return "10.77." + std::to_string(link) + ".1";
}
std::string NetLab::DeviceAddress(int link) {
    return "10.77." + std::to_string(link) + ".2";
}

std::string NetLab::FinderInterface(int link) const {
    return "ov" + std::to_string(::getpid()) + "f" + std::to_string(link);
}
std::string NetLab::DeviceInterface(int link) const {
    return "ov" + std::to_string(::getpid()) + "d" + std::to_string(link);
}

bool NetLab::Ip(const std::string& ns, const std::string& args) {
    return Run("ip -n " + ns + " " + args);
}

std::vector<std::string> NetLab::AddDeviceAddresses(int link, int count) {
    std::vector<std::string> out;
    std::string batch;
    for (int i = 0; i < count && i < 150; ++i) {
        out.push_back("10.77." + std::to_string(link) + "." + std::to_string(100 + i));
        batch += "addr add " + out.back() + "/24 dev " + DeviceInterface(link) + "\n";
    }
    FILE* ip =
        ::popen(("ip -n " + DeviceNamespace(link) + " -batch - >/dev/null 2>&1").c_str(), "w");
    if (ip == nullptr) {
        return {};
    }
    std::fputs(batch.c_str(), ip);
    const bool ok = ::pclose(ip) == 0;
    return ok ? out : std::vector<std::string>{};
}

bool NetLab::Create(int links, std::string& error) {
    RemoveStale();
    const std::string base = kPrefix + std::to_string(::getpid());
    finder_ = base + "f";
    if (!Run("ip netns add " + finder_)) {
        error = "ip netns add " + finder_ + " failed";
        finder_.clear();
        return false;
    }
    Run("ip -n " + finder_ + " link set lo up");
    for (int k = 1; k <= links; ++k) {
        const std::string device = base + "d" + std::to_string(k);
        if (!Run("ip netns add " + device)) {
            error = "ip netns add " + device + " failed";
            return false;
        }
        devices_.push_back(device);
        const std::string here = FinderInterface(k);
        const std::string there = DeviceInterface(k);
        const bool ok =
            Run("ip link add " + here + " netns " + finder_ + " type veth peer name " + there +
                " netns " + device) &&
            Run("ip -n " + finder_ + " addr add " + FinderAddress(k) + "/24 dev " + here) &&
            Run("ip -n " + device + " addr add " + DeviceAddress(k) + "/24 dev " + there) &&
            Run("ip -n " + finder_ + " link set " + here + " up") &&
            Run("ip -n " + device + " link set " + there + " up") &&
            Run("ip -n " + device + " link set lo up");
        if (!ok) {
            error = "could not set up link " + std::to_string(k);
            return false;
        }
    }
    return true;
}

bool NetLab::EnterFinder() {
    if (home_fd_ < 0) {
        home_fd_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    }
    const int fd = ::open(("/run/netns/" + finder_).c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

void NetLab::LeaveFinder() {
    if (home_fd_ >= 0) {
        ::setns(home_fd_, CLONE_NEWNET);
        ::close(home_fd_);
        home_fd_ = -1;
    }
}

void NetLab::RunIn(const std::string& ns, std::function<void(bool)> fn) {
    threads_.emplace_back([ns, fn = std::move(fn)] {
        const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        fn(entered);
    });
}

void NetLab::JoinAll() {
    for (auto& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    threads_.clear();
}

void StartForgedFlood(NetLab& lab, int link, FloodPlan plan, std::atomic<long>& sent,
                      std::atomic<bool>& done) {
    const std::string address = NetLab::DeviceAddress(link);
    lab.RunIn(lab.DeviceNamespace(link), [address, plan = std::move(plan), &sent,
                                          &done](bool entered) {
        auto finish = [&done] { done = true; };
        if (!entered) {
            return finish();
        }
        UniqueFd listen = OpenGroupSocket(address, 8888, "234.8.8.8", 1 << 20);
        std::vector<UniqueFd> forged;
        for (const std::string& from : plan.forged_senders) {
            forged.push_back(OpenAdapterSocket(from, 0, 0));
        }
        std::vector<UniqueFd> real;
        for (const std::string& from : plan.devices) {
            real.push_back(OpenAdapterSocket(from, 0, 0));
        }
        if (!listen.Valid()) {
            return finish();
        }
        // The first browse command starts the flood.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::array<char, 2048> buffer{};
        for (;;) {
            const std::array<int, 1> fds = {listen.Get()};
            std::array<bool, 1> ready{};
            WaitReadable(fds, ready, 100);
            std::size_t length = 0;
            if (ReadDatagram(listen.Get(), buffer, length) == ReadResult::kDatagram &&
                std::string_view(buffer.data(), length).find("browse") != std::string::npos) {
                break;
            }
            if (std::chrono::steady_clock::now() > give_up) {
                return finish();
            }
        }
        for (int i = 0; i < plan.distinct; ++i) {
            const int host = 1 + i;
            const std::string claimed =
                "10.99." + std::to_string(host / 256) + "." + std::to_string(host % 256);
            char mac[18];
            std::snprintf(mac, sizeof mac, "0e:99:00:00:%02x:%02x", (host >> 8) & 0xFF,
                          host & 0xFF);
            const std::string reply =
                MakeReply("Forged " + std::to_string(host), "TR400", mac, claimed);
            for (const UniqueFd& socket : forged) {
                if (SendDatagram(socket.Get(), "234.8.8.8", 8888, reply)) {
                    ++sent;
                }
            }
        }
        for (std::size_t d = 0; d < real.size(); ++d) {
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:00:00:00:0d:%02x", static_cast<unsigned>(d & 0xFF));
            const std::string reply =
                MakeReply("Real " + std::to_string(d), "TR400", mac, plan.devices[d]);
            for (int r = 0; r < plan.repeats; ++r) {
                if (SendDatagram(real[d].Get(), "234.8.8.8", 8888, reply)) {
                    ++sent;
                }
            }
        }
        finish();
    });
}

NetLab::~NetLab() {
    JoinAll();
    LeaveFinder();
    for (const std::string& device : devices_) {
        Run("ip netns del " + device);
    }
    if (!finder_.empty()) {
        Run("ip netns del " + finder_);
    }
}

RunningSim::RunningSim(NetLab& lab, int link, SimOptions options) {
    options.address = NetLab::DeviceAddress(link);
    sim_ = std::make_unique<DeviceSimulator>(std::move(options));
    lab.RunIn(lab.DeviceNamespace(link), [this](bool entered) {
        if (!entered || !sim_->Open()) {
            state_ = -1;
            return;
        }
        state_ = 1;
        sim_->Run(stop_);
        state_ = 2;
    });
}

RunningSim::~RunningSim() {
    Stop();
}

void RunningSim::Stop() {
    stop_ = true;
    // The lab joins the thread; wait here so the simulator outlives its thread.
    while (state_ == 0 || state_ == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool RunningSim::Ready() {
    while (state_ == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return state_ == 1;
}

}  // namespace orvandel::sim
