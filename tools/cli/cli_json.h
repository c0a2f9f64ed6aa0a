// The command-line finder's JSON documents (schema version 1.3, described by
// tools/cli/orvandel-cli.schema.json and the manual page): the search result, the
// streamed lines and the adapter listing. Keys are fixed; absent values are null;
// every text from the network or the system is escaped as JsonString does.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "discovery/device_info.h"
#include "discovery/found_device.h"
#include "discovery/reachability.h"

namespace orvandel::cli {

// Major.minor: the minor number grows when fields are added, the major one when a
// field changes or goes.
inline constexpr std::string_view kSchemaVersion = "1.3";

// An adapter a search ran on; prefix_length < 0 when unknown.
struct SearchedAdapter {
    std::string name;
    std::string address;
    int prefix_length = -1;
};

// What is known of a device beyond its record: the verdict on its address and the
// source addresses of the datagrams that brought its replies. Without a verdict,
// "status" and "conflict_count" are null and "adapters" and "sources" are empty.
// Both usually point into a FoundDevice, which must outlive the facts.
struct DeviceFacts {
    const Reachability* verdict = nullptr;
    std::span<const std::uint32_t> sources;  // host byte order, first seen first
    // Since 1.3: the other devices that claimed the ip, and the other ips that
    // claimed its MAC (FoundDevice).
    std::span<const DeviceClaim> other_claims;
    std::span<const std::u16string> mac_elsewhere;
};
// The facts a FoundDevice holds, pointing into it.
DeviceFacts FactsOf(const FoundDevice& device);

// The result of a search: one indented object (one line when `indent` is false).
// A search that could not run has no adapters and no devices, and its "error"
// (since 1.3) says why; otherwise there is no "error".
std::string FormatResultJson(const std::vector<SearchedAdapter>& adapters,
                             const std::vector<DeviceInfo>& devices,
                             const std::vector<DeviceFacts>& facts, bool interrupted,
                             std::string_view error = {}, bool indent = true);

// One line of --stream --json: {"schema_version", "event": "found"|"update", "device"}.
std::string FormatStreamJson(const DeviceInfo& device, const DeviceFacts& facts, bool update);

// One device as the result lists it, on one line: for documents that carry devices
// (the watch events).
std::string FormatDeviceJson(const DeviceInfo& device, const DeviceFacts& facts);

// One adapter of --adapters: searched with an address, or skipped with a reason.
struct AdapterListing {
    std::string name;
    std::string description;
    std::string address;  // empty when skipped
    int prefix_length = -1;
    std::string reason;  // empty when searched
};
std::string FormatAdaptersJson(const std::vector<AdapterListing>& adapters);

// One verdict of --diagnose: its stable code, texts and values.
struct DiagnosisEntry {
    std::string code;
    std::string summary;
    std::string fix;
    std::vector<std::pair<std::string, std::string>> values;
};
// The report of --diagnose (since 1.2): the searched adapters, how many devices
// answered, and the verdicts, the most certain first.
std::string FormatDiagnosisJson(const std::vector<SearchedAdapter>& adapters,
                                std::size_t devices_found,
                                const std::vector<DiagnosisEntry>& verdicts);

}  // namespace orvandel::cli
