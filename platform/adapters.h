// The machine's network adapters, and the rules that pick the addresses a search
// runs on.
#pragma once

#include <string>
#include <vector>

struct ifaddrs;

namespace orvandel {

struct AdapterRecord {
    std::string name;         // interface name, e.g. "eth0"
    std::string description;  // the interface alias when set, else the name
    int hw_addr_len = 0;      // 0 for interfaces without a link-layer address (tun, many VPNs)
    std::vector<std::string> ipv4;  // dotted addresses, in the order the system lists them
    bool up = false;
    bool running = false;
    bool loopback = false;           // IFF_LOOPBACK: never an adapter, whatever its addresses
    int interface_index = 0;         // the kernel's index; 0 when unknown
    std::vector<int> prefix_length;  // per entry of ipv4; 32 when unknown
};

class AdapterSource {
public:
    virtual ~AdapterSource();
    virtual std::vector<AdapterRecord> List() = 0;
};

// getifaddrs() of the calling thread's network namespace, one record per interface:
// an address listed under a label ("eth1:0") belongs to its interface ("eth1"), in
// the kernel's order. An empty list when the system call fails.
AdapterSource& SystemAdapters();

// The grouping behind SystemAdapters(), over a getifaddrs() list.
std::vector<AdapterRecord> AdaptersFromIfaddrs(const ifaddrs* list);

// What the filter decided for one adapter: the address searched, or why none.
struct AdapterVerdict {
    std::string name;
    std::string address;         // empty when skipped
    std::string reason;          // why it was skipped; empty when used
    int prefix_length = 32;      // of `address`
    std::string interface_name;  // the interface that owns `address`
    int interface_index = 0;
};

std::vector<AdapterVerdict> JudgeAdapters(const std::vector<AdapterRecord>& adapters);

// The searched adapters only (verdicts with an address), in adapter order.
std::vector<AdapterVerdict> UsableAdapters(const std::vector<AdapterRecord>& adapters);

// The subnet broadcast address of address/prefix_length ("10.0.0.255" for
// 10.0.0.7/24); empty for /0, /31 and /32, and for bad input.
std::string SubnetBroadcast(const std::string& address, int prefix_length);

// At most one address per adapter, in adapter order: loopback interfaces and
// adapters that are down, whose
// name or description contains "Virtual" or "Microsoft TV/Video Connection"
// (case-sensitive), or that have no hardware address are skipped; of the rest, the
// first address other than "0.0.0.0" and "127.0.0.1" is taken.
std::vector<std::string> UsableAdapterAddresses(const std::vector<AdapterRecord>& adapters);

}  // namespace orvandel
