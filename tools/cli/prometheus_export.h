// The Prometheus exports: a file for node_exporter's textfile collector with one
// series per device, and a file_sd target list of the devices' pages for an HTTP
// probe. Pure formatting; every device field is untrusted network text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/found_device.h"

namespace orvandel::cli {

struct ExportedDevice {
    const FoundDevice* device = nullptr;
    bool up = true;              // answered the latest round
    std::int64_t last_seen = 0;  // seconds since 1970
};

struct ExportStats {
    std::size_t devices_found = 0;  // in the latest round
    double search_seconds = 0;      // the latest round's search
    std::uint64_t replies_dropped_total = 0;
};

// A label value as the text exposition format requires: backslash, double quote
// and line feed escaped; other control characters, unpaired surrogates and bytes
// that are not UTF-8 become U+FFFD, since a reader must get valid UTF-8 and one
// line per sample.
std::string PrometheusLabelValue(std::u16string_view text);
std::string PrometheusLabelValue(std::string_view utf8);

// The textfile: orvandel_device_up{mac,ip,name,model,firmware,status} and
// orvandel_device_last_seen_timestamp_seconds with the same labels, one sample per
// device, then orvandel_devices_found, orvandel_search_duration_seconds and
// orvandel_replies_dropped_total.
std::string FormatPrometheusText(const std::vector<ExportedDevice>& devices,
                                 const ExportStats& stats);

// The file_sd list: one group per device whose ip is a unicast IPv4 address, its
// page "http://IP/" as the target and mac, name, model, firmware and status as labels.
std::string FormatFileSdTargets(const std::vector<ExportedDevice>& devices);

}  // namespace orvandel::cli
