#include "tools/cli/cli_json.h"

#include <utility>

#include "discovery/ipv4.h"
#include "text/utf.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {

namespace {

// A JSON value under construction: scalars are kept as their finished text.
class Json {
public:
    static Json Null() { return Json(Kind::kScalar, "null"); }
    static Json Bool(bool value) { return Json(Kind::kScalar, value ? "true" : "false"); }
    static Json Number(long long value) { return Json(Kind::kScalar, std::to_string(value)); }
    static Json Text(std::string_view utf8) { return Json(Kind::kScalar, JsonString(utf8)); }
    // A text from a reply; the empty text is an absent value.
    static Json Field(std::u16string_view text) {
        return text.empty() ? Null() : Json(Kind::kScalar, JsonString(text));
    }
    static Json Text(std::u16string_view text) { return Json(Kind::kScalar, JsonString(text)); }
    static Json TextOrNull(std::string_view utf8) { return utf8.empty() ? Null() : Text(utf8); }
    static Json Object() { return Json(Kind::kObject, {}); }
    static Json Array() { return Json(Kind::kArray, {}); }

    Json& Add(std::string_view key, Json value) {
        members_.emplace_back(std::string(key), std::move(value));
        return *this;
    }
    Json& Push(Json value) {
        members_.emplace_back(std::string(), std::move(value));
        return *this;
    }

    // `indent` < 0: one line.
    void Write(std::string& out, int indent, int depth = 0) const {
        if (kind_ == Kind::kScalar) {
            out += scalar_;
            return;
        }
        const char open = kind_ == Kind::kObject ? '{' : '[';
        const char close = kind_ == Kind::kObject ? '}' : ']';
        out += open;
        if (members_.empty()) {
            out += close;
            return;
        }
        auto newline = [&](int level) {
            if (indent >= 0) {
                out += '\n';
                out.append(static_cast<std::size_t>(indent * level), ' ');
            }
        };
        for (std::size_t i = 0; i < members_.size(); ++i) {
            if (i > 0) {
                out += indent >= 0 ? "," : ", ";
            }
            newline(depth + 1);
            if (kind_ == Kind::kObject) {
                out += JsonString(std::string_view(members_[i].first)) + ": ";
            }
            members_[i].second.Write(out, indent, depth + 1);
        }
        newline(depth);
        out += close;
    }

private:
    enum class Kind { kScalar, kObject, kArray };
    Json(Kind kind, std::string scalar) : kind_(kind), scalar_(std::move(scalar)) {}

    Kind kind_;
    std::string scalar_;
    std::vector<std::pair<std::string, Json>> members_;
};

Json Prefix(int prefix_length) {
    return prefix_length >= 0 && prefix_length <= 32 ? Json::Number(prefix_length) : Json::Null();
}

Json AdapterJson(std::string_view name, std::string_view address, int prefix_length) {
    Json adapter = Json::Object();
    adapter.Add("name", Json::Text(name));
    adapter.Add("address", Json::Text(address));
    adapter.Add("prefix_length", Prefix(prefix_length));
    return adapter;
}

// Datagram senders as dotted addresses, in their order.
Json SourcesJson(std::span<const std::uint32_t> sources) {
    Json out = Json::Array();
    for (const std::uint32_t source : sources) {
        out.Push(Json::Text(ipv4::Format(source)));
    }
    return out;
}

Json DeviceJson(const DeviceInfo& device, const DeviceFacts& facts) {
    const std::u16string mac = ShownMac(device);
    Json out = Json::Object();
    out.Add("name", Json::Field(device.device_name));
    out.Add("model", Json::Field(device.model));
    out.Add("ip", Json::Field(device.ip));
    out.Add("mac", Json::Field(mac));
    out.Add("sub_model", Json::Field(device.sub_model));
    out.Add("organization", Json::Field(device.org));
    out.Add("firmware_version", Json::Field(device.master_version));
    out.Add("firmware_build", Json::Field(device.daily));
    out.Add("bootloader_version", Json::Field(device.uboot_version));
    out.Add("network_interface", Json::Field(device.name));
    out.Add("dhcp", Json::Field(device.dhcp));
    out.Add("netmask", Json::Field(device.mask));
    out.Add("gateway", Json::Field(device.gateway));
    out.Add("dns", Json::Field(device.dns));

    const Reachability* verdict = facts.verdict;
    out.Add("status", verdict ? Json::Text(StatusWord(verdict->status)) : Json::Null());
    out.Add("conflict_count", verdict ? Json::Number(verdict->conflict_count) : Json::Null());
    Json adapters = Json::Array();
    if (verdict) {
        for (const AdapterAddress& adapter : verdict->adapters) {
            adapters.Push(AdapterJson(adapter.name, adapter.address, adapter.prefix_length));
        }
    }
    out.Add("adapters", std::move(adapters));
    out.Add("sources", SourcesJson(facts.sources));
    Json claims = Json::Array();
    for (const DeviceClaim& claim : facts.other_claims) {
        Json other = Json::Object();
        other.Add("mac", Json::Field(ShownMac(claim.record)));
        other.Add("name", Json::Field(claim.record.device_name));
        other.Add("model", Json::Field(claim.record.model));
        other.Add("firmware_version", Json::Field(claim.record.master_version));
        other.Add("sources", SourcesJson(claim.sources.Items()));
        claims.Push(std::move(other));
    }
    out.Add("other_claims", std::move(claims));
    Json elsewhere = Json::Array();
    for (const std::u16string& ip : facts.mac_elsewhere) {
        elsewhere.Push(Json::Text(std::u16string_view(ip)));
    }
    out.Add("mac_elsewhere", std::move(elsewhere));

    Json reply = Json::Object();
    // The whole reply is always there: a record is made from one.
    reply.Add("raw_text", Json::Text(std::u16string_view(device.raw_text)));
    for (const DeviceField& field : kReplyKeyFields) {
        reply.Add(field.key, Json::Field(device.*field.member));
    }
    out.Add("reply", std::move(reply));
    return out;
}

Json Versioned(std::string_view kind) {
    Json out = Json::Object();
    out.Add("schema_version", Json::Text(kSchemaVersion));
    out.Add("kind", Json::Text(kind));
    return out;
}

}  // namespace

DeviceFacts FactsOf(const FoundDevice& device) {
    return {&device.verdict, device.sources.Items(), device.other_claims, device.mac_elsewhere};
}

std::string FormatResultJson(const std::vector<SearchedAdapter>& adapters,
                             const std::vector<DeviceInfo>& devices,
                             const std::vector<DeviceFacts>& facts, bool interrupted,
                             std::string_view error, bool indent) {
    Json out = Versioned("result");
    out.Add("interrupted", Json::Bool(interrupted));
    if (!error.empty()) {
        out.Add("error", Json::Text(error));
    }
    Json searched = Json::Array();
    for (const SearchedAdapter& adapter : adapters) {
        searched.Push(AdapterJson(adapter.name, adapter.address, adapter.prefix_length));
    }
    out.Add("adapters", std::move(searched));
    Json list = Json::Array();
    const DeviceFacts none;
    for (std::size_t d = 0; d < devices.size(); ++d) {
        list.Push(DeviceJson(devices[d], d < facts.size() ? facts[d] : none));
    }
    out.Add("devices", std::move(list));
    std::string text;
    out.Write(text, indent ? 2 : -1);
    return text + '\n';
}

std::string FormatStreamJson(const DeviceInfo& device, const DeviceFacts& facts, bool update) {
    Json out = Versioned("stream");
    out.Add("event", Json::Text(update ? "update" : "found"));
    out.Add("device", DeviceJson(device, facts));
    std::string text;
    out.Write(text, -1);
    return text + '\n';
}

std::string FormatDeviceJson(const DeviceInfo& device, const DeviceFacts& facts) {
    std::string text;
    DeviceJson(device, facts).Write(text, -1);
    return text;
}

std::string FormatAdaptersJson(const std::vector<AdapterListing>& adapters) {
    Json out = Versioned("adapters");
    Json list = Json::Array();
    for (const AdapterListing& adapter : adapters) {
        Json entry = Json::Object();
        entry.Add("name", Json::Text(adapter.name));
        entry.Add("description", Json::Text(adapter.description));
        entry.Add("searched", Json::Bool(!adapter.address.empty()));
        entry.Add("address", Json::TextOrNull(adapter.address));
        entry.Add("prefix_length",
                  adapter.address.empty() ? Json::Null() : Prefix(adapter.prefix_length));
        entry.Add("reason", Json::TextOrNull(adapter.reason));
        list.Push(std::move(entry));
    }
    out.Add("adapters", std::move(list));
    std::string text;
    out.Write(text, 2);
    return text + '\n';
}

std::string FormatDiagnosisJson(const std::vector<SearchedAdapter>& adapters,
                                std::size_t devices_found,
                                const std::vector<DiagnosisEntry>& verdicts) {
    Json out = Versioned("diagnosis");
    Json searched = Json::Array();
    for (const SearchedAdapter& adapter : adapters) {
        searched.Push(AdapterJson(adapter.name, adapter.address, adapter.prefix_length));
    }
    out.Add("adapters", std::move(searched));
    out.Add("devices_found", Json::Number(static_cast<long long>(devices_found)));
    Json list = Json::Array();
    for (const DiagnosisEntry& verdict : verdicts) {
        Json entry = Json::Object();
        entry.Add("code", Json::Text(verdict.code));
        entry.Add("summary", Json::Text(verdict.summary));
        entry.Add("fix", Json::Text(verdict.fix));
        Json values = Json::Object();
        for (const auto& [name, value] : verdict.values) {
            values.Add(name, Json::Text(value));
        }
        entry.Add("values", std::move(values));
        list.Push(std::move(entry));
    }
    out.Add("verdicts", std::move(list));
    std::string text;
    out.Write(text, 2);
    return text + '\n';
}

}  // namespace orvandel::cli
