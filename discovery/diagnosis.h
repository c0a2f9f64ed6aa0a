// Why a search found nothing, as far as this computer can tell: a pure rule set over
// the facts of the system (platform/diagnosis_facts.h) and of the search itself
// (search_observations.h). Each verdict has a stable code (shown by the CLI and in
// its JSON), the concrete values involved, and a text variant; texts live in
// localization/diagnosis_text.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/search_observations.h"
#include "platform/diagnosis_facts.h"

namespace orvandel {

enum class VerdictCode {
    kNoAdapter,
    kAdapterSkipped,
    kSendFailed,
    kPortBusy,
    kVpnRoute,
    kRpFilter,
    kFirewall,
    kWirelessIsolation,
    kDroppedByKernel,
    kNotDevices,
};

// "no-adapter", "adapter-skipped", ...: the stable names.
std::string_view VerdictCodeName(VerdictCode code);

// Which text of a code applies (a code's texts differ by what is known).
enum class VerdictVariant {
    kPlain,
    kNoneToSkip,     // no-adapter: no adapter but loopback, so none was skipped
    kUnknownHolder,  // port-busy: /proc did not tell which program
    kNoLoop,         // send-failed: no error, but the command did not come back
    kNftables,       // firewall: a rule of the nftables ruleset drops the port
    kUfw,            // firewall: ufw is enabled and does not allow the port
    kFirewalld,      // firewall: firewalld runs; its zone was not asked
    kCannotTell,     // firewall: netfilter is loaded, reading its rules needs root
    kRulesTooLarge,  // firewall: the nftables ruleset was larger than the reader takes
    kRulesTooSlow,   // firewall: the nftables tool did not finish in time
};

struct VerdictValue {
    std::string name;  // placeholder name without braces: "interface", "port", ...
    std::string value;
};

struct Verdict {
    VerdictCode code = VerdictCode::kNoAdapter;
    VerdictVariant variant = VerdictVariant::kPlain;
    std::vector<VerdictValue> values;

    // The value named `name`, or empty.
    std::string Value(std::string_view name) const;
};

struct DiagnosisInput {
    SystemFacts system;
    SearchObservations search;
    std::optional<std::uint64_t> receive_errors_before;
    std::optional<std::uint64_t> receive_errors_after;
    PortHolders holders;  // asked only when a bind failed with EADDRINUSE
    std::size_t devices_found = 0;
    std::uint16_t port = 8888;
    std::string group = "234.8.8.8";
};

// Every verdict that holds, the most certain first. Faults that lose devices for
// sure (no adapter, port held, sends refused, a skipped main adapter, datagrams
// dropped by the kernel) are reported whatever was found; the causes that explain
// only a silent network (firewall, VPN, reverse-path filter, client isolation,
// datagrams that were not replies) only when nothing was found.
std::vector<Verdict> Diagnose(const DiagnosisInput& input);

// The system facts for `adapters` (what the search enumerated), the port's holders
// when the search could not bind it, and the counter read after the search.
DiagnosisInput GatherDiagnosis(std::vector<AdapterRecord> adapters, SearchObservations search,
                               std::optional<std::uint64_t> receive_errors_before,
                               std::size_t devices_found, std::uint16_t port);

}  // namespace orvandel
