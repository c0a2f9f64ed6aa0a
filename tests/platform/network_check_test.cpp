// The network check over fixed adapter lists: which adapter states count as a
// network to search on.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/network_check.h"

namespace orvandel {
namespace {

struct State {
    bool up = true;
    bool running = true;
    bool loopback = false;
    std::vector<std::string> ipv4 = {"192.168.1.20"};
};

AdapterRecord Record(const char* name, State s) {
    AdapterRecord r;
    r.name = name;
    r.description = name;
    r.hw_addr_len = s.loopback ? 0 : 6;
    r.ipv4 = std::move(s.ipv4);
    r.up = s.up;
    r.running = s.running;
    r.loopback = s.loopback;
    return r;
}

struct AliveCase {
    const char* label;
    std::vector<AdapterRecord> adapters;
    bool alive;
};

void PrintTo(const AliveCase& row, std::ostream* os) {
    *os << row.label;
}

class NetworkAliveRows : public ::testing::TestWithParam<AliveCase> {};

TEST_P(NetworkAliveRows, Verdict) {
    EXPECT_EQ(IsNetworkAlive(GetParam().adapters), GetParam().alive);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetworkAliveRows,
    ::testing::Values(
        AliveCase{"NoAdapters", {}, false},
        AliveCase{"UpRunningWithAddress", {Record("eth0", {})}, true},
        AliveCase{"LoopbackOnly", {Record("lo", {.loopback = true, .ipv4 = {"127.0.0.1"}})}, false},
        // The loopback flag decides, not the name.
        AliveCase{"LoopbackUnderAnotherName", {Record("lo1", {.loopback = true})}, false},
        AliveCase{"NamedLikeLoopbackButNotLoopback", {Record("lo", {})}, true},
        // Cable out: the interface is up but has no carrier.
        AliveCase{"UpButNotRunning", {Record("eth0", {.running = false})}, false},
        AliveCase{"RunningButDown", {Record("eth0", {.up = false})}, false},
        AliveCase{"NoIpv4Address", {Record("eth0", {.ipv4 = {}})}, false},
        AliveCase{"OneLiveAdapterAmongDeadOnes",
                  {Record("lo", {.loopback = true, .ipv4 = {"127.0.0.1"}}),
                   Record("eth0", {.running = false}), Record("wlan0", {})},
                  true}));

}  // namespace
}  // namespace orvandel
