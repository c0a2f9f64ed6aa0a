#include "tools/cli/prometheus_export.h"

#include <cstdio>

#include "discovery/ipv4.h"
#include "text/utf.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {

namespace {

void AppendLabelCodePoint(std::string& out, char32_t cp) {
    if (cp == '\\') {
        out += "\\\\";
    } else if (cp == '"') {
        out += "\\\"";
    } else if (cp == '\n') {
        out += "\\n";
    } else if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
        text::AppendUtf8(out, text::kReplacementChar);
    } else {
        text::AppendUtf8(out, cp);
    }
}

struct Labels {
    std::string mac, ip, name, model, firmware, status;
};

Labels LabelsOf(const FoundDevice& device) {
    const DeviceInfo& record = device.record;
    return {PrometheusLabelValue(std::u16string_view(ShownMac(record))),
            PrometheusLabelValue(std::u16string_view(record.ip)),
            PrometheusLabelValue(std::u16string_view(record.device_name)),
            PrometheusLabelValue(std::u16string_view(record.model)),
            PrometheusLabelValue(std::u16string_view(record.master_version)),
            PrometheusLabelValue(StatusWord(device.verdict.status))};
}

std::string LabelSet(const Labels& l) {
    return "{mac=\"" + l.mac + "\",ip=\"" + l.ip + "\",name=\"" + l.name + "\",model=\"" + l.model +
           "\",firmware=\"" + l.firmware + "\",status=\"" + l.status + "\"}";
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string PrometheusLabelValue(std::u16string_view text) {
    std::string out;
    text::ForEachCodePoint(text, [&out](char32_t cp) { AppendLabelCodePoint(out, cp); });
    return out;
}

std::string PrometheusLabelValue(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const text::Utf8Step step = text::DecodeUtf8At(utf8, i);
        AppendLabelCodePoint(out, step.valid ? step.code_point : text::kReplacementChar);
        i += step.length;
    }
    return out;
}

std::string FormatPrometheusText(const std::vector<ExportedDevice>& devices,
                                 const ExportStats& stats) {
    std::vector<std::string> label_sets;
    for (const ExportedDevice& device : devices) {
        label_sets.push_back(LabelSet(LabelsOf(*device.device)));
    }
    std::string out;
    Family(out, "orvandel_device_up", "gauge",
           "Whether the device answered the latest search (1) or was missed (0).");
    for (std::size_t i = 0; i < devices.size(); ++i) {
        out += "orvandel_device_up" + label_sets[i] + (devices[i].up ? " 1\n" : " 0\n");
    }
    Family(out, "orvandel_device_last_seen_timestamp_seconds", "gauge",
           "When the device last answered, in seconds since 1970.");
    for (std::size_t i = 0; i < devices.size(); ++i) {
        out += "orvandel_device_last_seen_timestamp_seconds" + label_sets[i] + " " +
               std::to_string(devices[i].last_seen) + "\n";
    }
    Family(out, "orvandel_devices_found", "gauge", "Devices that answered the latest search.");
    out += "orvandel_devices_found " + std::to_string(stats.devices_found) + "\n";
    Family(out, "orvandel_search_duration_seconds", "gauge", "Length of the latest search.");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", stats.search_seconds);
    out += std::string("orvandel_search_duration_seconds ") + seconds + "\n";
    Family(out, "orvandel_replies_dropped_total", "counter",
           "Replies dropped over the reply store's bounds since this program started.");
    out += "orvandel_replies_dropped_total " + std::to_string(stats.replies_dropped_total) + "\n";
    return out;
}

std::string FormatFileSdTargets(const std::vector<ExportedDevice>& devices) {
    std::string out = "[";
    bool first = true;
    for (const ExportedDevice& exported : devices) {
        const DeviceInfo& record = exported.device->record;
        const std::string ip = text::ToUtf8(record.ip);
        // The window's URL gate: a probe goes nowhere a click would not.
        if (!ipv4::IsOpenableText(record.ip)) {
            continue;
        }
        out += first ? "\n" : ",\n";
        first = false;
        out += "  {\"targets\": [\"http://" + ip +
               "/\"], \"labels\": {\"mac\": " + JsonString(ShownMac(record)) +
               ", \"name\": " + JsonString(record.device_name) +
               ", \"model\": " + JsonString(record.model) +
               ", \"firmware\": " + JsonString(record.master_version) + ", \"status\": \"" +
               std::string(StatusWord(exported.device->verdict.status)) + "\"}}";
    }
    return out + (first ? "]\n" : "\n]\n");
}

}  // namespace orvandel::cli
