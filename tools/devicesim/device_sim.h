// Simulated streaming devices for tests and benchmarks: listen for the browse
// command on one interface and answer it with each device's reply. Never part of
// the installed program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvandel::sim {

// A reply in the devices' layout (tab-indented JSON with the network settings in a
// nested "nic" array).
std::string MakeReply(const std::string& device_name, const std::string& model,
                      const std::string& mac, const std::string& ip);

// `count` devices with distinct names, MACs and addresses (10.200.x.y), models
// alternating TR400 / TR9100; `first` offsets the numbering.
std::vector<std::string> GenerateReplies(int count, int first = 0);

struct SimOptions {
    std::string address;  // the simulator's interface address: joins and answers there
    std::uint16_t port = 8888;
    std::string group = "234.8.8.8";
    std::vector<std::string> replies;  // one per device
    bool unicast = false;              // answer the sender instead of the group
    bool answer_once = false;          // answer only the first command
    // Also take commands sent by unicast to `address` or to a broadcast address,
    // as a device reached across a router is asked.
    bool listen_unicast = false;
    int min_delay_ms = 0;  // random delay per device and command
    int max_delay_ms = 0;
    std::vector<int> delays_ms;  // fixed delay per device (overrides the random one)
    // Where answers go instead of the group (or the sender): e.g. the link's subnet
    // broadcast address or 255.255.255.255. Empty: the group, or the sender.
    std::string answer_to;
    // Extra local addresses to answer from, device d from sources[d % size]; a real
    // device has an address of its own, and the finder bounds what one sender stores.
    std::vector<std::string> sources;
    std::size_t junk_count = 0;  // junk datagrams sent to the group once, on command number
    int junk_on_command = 1;     // junk_on_command (1 = the first)
    enum class Junk {
        kMixed,        // distinct brace-terminated noise without an ip; every tenth no brace
        kEmptyObject,  // "{}" again and again
        kWithIp,       // distinct replies, each with an ip of its own (fake devices)
    };
    Junk junk = Junk::kMixed;
    unsigned seed = 1;
};

// Junk datagram number n of the given kind.
std::string MakeJunk(SimOptions::Junk kind, std::size_t n);

class DeviceSimulator {
public:
    explicit DeviceSimulator(SimOptions options);
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Opens the sockets in the calling thread's network namespace.
    bool Open();
    // Answers commands until `stop` is set or `duration_ms` (if >= 0) has passed.
    void Run(const std::atomic<bool>& stop, int duration_ms = -1);

    std::size_t Commands() const { return commands_.load(); }
    std::size_t RepliesSent() const { return replies_sent_.load(); }

private:
    SimOptions options_;
    int listen_fd_ = -1;
    int send_fd_ = -1;
    std::vector<int> source_fds_;  // one per options_.sources entry
    std::atomic<std::size_t> commands_{0};
    std::atomic<std::size_t> replies_sent_{0};
};

}  // namespace orvandel::sim
