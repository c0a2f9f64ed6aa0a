// Network namespaces joined by veth pairs, made and removed by a test or benchmark:
// one namespace for the finder and one per device link. Link k (1-based) has the
// finder side at 10.77.k.1/24 and the device side at 10.77.k.2/24. Nothing is
// added to the namespace the tests run in.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/devicesim/device_sim.h"

namespace orvandel::sim {

class NetLab {
public:
    NetLab() = default;
    ~NetLab();  // leaves the finder namespace and removes every namespace it made
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // Empty when namespaces can be made here, else the reason they cannot.
    static std::string Unavailable();

    // Creates the namespaces and links; on failure `error` says why.
    bool Create(int links, std::string& error);

    const std::string& FinderNamespace() const { return finder_; }
    const std::string& DeviceNamespace(int link) const { return devices_.at(link - 1); }
    static std::string FinderAddress(int link);
    static std::string DeviceAddress(int link);
    // The veth ends of link k in the finder's and the device's namespace.
    std::string FinderInterface(int link) const;
    std::string DeviceInterface(int link) const;
    // Runs `ip -n NS ARGS`; true when it succeeded.
    static bool Ip(const std::string& ns, const std::string& args);
    // Adds `count` (at most 150) more addresses on link k's device side,
    // 10.77.k.100 and up, and returns them.
    std::vector<std::string> AddDeviceAddresses(int link, int count);

    // Moves the calling thread into the finder's namespace (threads it starts later
    // inherit it) and back.
    bool EnterFinder();
    void LeaveFinder();

    // Runs `fn` on a new thread, inside `ns` when `entered` is true; the thread is
    // joined by the destructor.
    void RunIn(const std::string& ns, std::function<void(bool entered)> fn);
    void JoinAll();

private:
    std::string finder_;
    std::vector<std::string> devices_;
    int home_fd_ = -1;
    std::vector<std::thread> threads_;
};

// A forged flood as a benchmark sends it, from link `link`'s device namespace on a
// thread of the lab: waits up to 20 s for the first browse command, then sends
// `distinct` replies that claim addresses 10.99.x.y (from 10.99.0.1 on) to the
// group, each from every one of `forged_senders` in turn, and then one reply from
// each of `devices`, each from its own address and claiming it. `sent` counts
// what left; `done` is set once all has gone (or the set-up failed: `sent` stays 0).
struct FloodPlan {
    std::vector<std::string> forged_senders;
    int distinct = 0;
    std::vector<std::string> devices;
    int repeats = 1;  // how many times each device sends its reply, one after another
};
void StartForgedFlood(NetLab& lab, int link, FloodPlan plan, std::atomic<long>& sent,
                      std::atomic<bool>& done);

// A simulator on its own thread in a device namespace, stopped when destroyed.
class RunningSim {
public:
    RunningSim(NetLab& lab, int link, SimOptions options);
    ~RunningSim();
    bool Ready();  // waits until its sockets are open; false when they failed
    std::size_t Commands() const { return sim_->Commands(); }
    void Stop();

private:
    std::unique_ptr<DeviceSimulator> sim_;
    std::atomic<bool> stop_{false};
    std::atomic<int> state_{0};  // 0 starting, 1 ready, -1 failed, 2 done
};

}  // namespace orvandel::sim
