// The watch mode, site file, exports and inventory as pure rules: events of a
// round, a thousand rounds of devices coming and going in bounded memory, the
// site file's round trip and check, label escaping and the inventory groups.
#include <malloc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/sanitizers/sanitized.h"
#include "tests/tools/cli/schema_check.h"
#include "text/utf.h"
#include "tools/cli/ansible_inventory.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/json_reader.h"
#include "tools/cli/prometheus_export.h"
#include "tools/cli/site_file.h"
#include "tools/cli/watch.h"

namespace orvandel::cli {
namespace {

constexpr std::int64_t kT0 = 1796839200;  // 2026-12-09T18:00:00Z

FoundDevice Device(std::u16string mac, std::u16string ip, std::u16string name = u"Hall",
                   std::u16string firmware = u"1.0.7", std::u16string model = u"TR400") {
    FoundDevice device;
    device.record.id = std::move(mac);
    device.record.ip = std::move(ip);
    device.record.device_name = std::move(name);
    device.record.master_version = std::move(firmware);
    device.record.model = std::move(model);
    device.record.raw_text = u"{}";
    return device;
}

std::string Kinds(const std::vector<WatchEvent>& events) {
    std::string out;
    for (const WatchEvent& event : events) {
        out += (out.empty() ? "" : " ") + std::string(EventWord(event.kind)) + ":" + event.identity;
        for (const std::string& field : event.changed) {
            out += "," + field;
        }
    }
    return out;
}

// A sequence of rounds and the events each must give, in order.
struct WatchRow {
    const char* label;
    int gone_after;
    std::size_t cap;
    std::vector<std::vector<FoundDevice>> rounds;
    std::vector<std::string> events;  // per round
};

void PrintTo(const WatchRow& row, std::ostream* os) {
    *os << row.label;
}

class WatchRounds : public ::testing::TestWithParam<WatchRow> {};

TEST_P(WatchRounds, GiveTheseEventsInOrder) {
    const WatchRow& row = GetParam();
    WatchState state(row.gone_after, row.cap);
    ASSERT_EQ(row.rounds.size(), row.events.size());
    for (std::size_t r = 0; r < row.rounds.size(); ++r) {
        EXPECT_EQ(Kinds(state.Round(row.rounds[r], kT0 + static_cast<std::int64_t>(r) * 30)),
                  row.events[r])
            << "round " << r;
    }
}

const FoundDevice kA = Device(u"02:00:00:00:00:0a", u"10.0.0.10");
const FoundDevice kB = Device(u"02:00:00:00:00:0b", u"10.0.0.11");
const FoundDevice kC = Device(u"02:00:00:00:00:0c", u"10.0.0.12");
const FoundDevice kNoMac = Device(u"", u"10.0.0.20");

FoundDevice Conflicted(FoundDevice device) {
    device.verdict.status = ReachStatus::kConflict;
    return device;
}

// One row of an ip that two MACs claim, as the found devices give it.
FoundDevice Shared(FoundDevice listed, const FoundDevice& other) {
    listed.record.ip = other.record.ip;
    listed.other_claims.push_back({other.record, {}});
    listed.verdict.conflict_count = 2;
    return Conflicted(std::move(listed));
}

const FoundDevice kForgedA = Device(u"02:00:00:00:00:0A", u"10.0.0.1");  // sorts before kA
const FoundDevice kImpostor = Device(u"02:00:00:00:00:09", u"10.0.0.10", u"Impostor");

INSTANTIATE_TEST_SUITE_P(
    Rows, WatchRounds,
    ::testing::Values(
        WatchRow{"AppearAndStay",
                 2,
                 16,
                 {{kA, kB}, {kA, kB}},
                 {"appeared:02:00:00:00:00:0A appeared:02:00:00:00:00:0B", ""}},
        // The MAC is the identity: a new ip and firmware are one change, not a new device.
        WatchRow{"IpAndFirmwareChange",
                 2,
                 16,
                 {{kA}, {Device(u"02:00:00:00:00:0A", u"10.0.0.99", u"Hall", u"1.1.0")}},
                 {"appeared:02:00:00:00:00:0A", "changed:02:00:00:00:00:0A,ip,firmware"}},
        WatchRow{"NameAndStatusChange",
                 2,
                 16,
                 {{kA}, {Conflicted(Device(u"02:00:00:00:00:0a", u"10.0.0.10", u"Kitchen"))}},
                 {"appeared:02:00:00:00:00:0A", "changed:02:00:00:00:00:0A,name,status"}},
        // Gone after two missed rounds in a row, not after one; then forgotten, so
        // its return is an appearance.
        WatchRow{"GoneAfterTwoMissesThenBack",
                 2,
                 16,
                 {{kA, kB}, {kA}, {kA}, {kA}, {kA, kB}},
                 {"appeared:02:00:00:00:00:0A appeared:02:00:00:00:00:0B", "",
                  "gone:02:00:00:00:00:0B", "", "appeared:02:00:00:00:00:0B"}},
        WatchRow{"OneMissIsForgiven",
                 2,
                 16,
                 {{kA}, {}, {kA}, {}},
                 {"appeared:02:00:00:00:00:0A", "", "", ""}},
        WatchRow{"GoneAfterOne",
                 1,
                 16,
                 {{kA}, {}},
                 {"appeared:02:00:00:00:00:0A", "gone:02:00:00:00:00:0A"}},
        WatchRow{
            "GoneInIdentityOrder",
            1,
            16,
            {{kC, kA, kB}, {}},
            {"appeared:02:00:00:00:00:0C appeared:02:00:00:00:00:0A appeared:02:00:00:00:00:0B",
             "gone:02:00:00:00:00:0A gone:02:00:00:00:00:0B gone:02:00:00:00:00:0C"}},
        WatchRow{"NoMacIsKnownByIp",
                 2,
                 16,
                 {{kNoMac}, {Device(u"", u"10.0.0.21")}},
                 {"appeared:ip:10.0.0.20", "appeared:ip:10.0.0.21"}},
        // Two ips answering with one MAC in one round: the first found stands, as a
        // conflict until only one answers.
        WatchRow{"SecondRecordOfAnIdentityIsAConflict",
                 2,
                 16,
                 {{kA, Device(u"02:00:00:00:00:0A", u"10.0.0.50")}, {kA}},
                 {"appeared:02:00:00:00:00:0A", "changed:02:00:00:00:00:0A,status"}},
        // A forged claim of a known MAC from a lower ip moves nothing; claimed only
        // from two other ips, the device follows neither.
        WatchRow{
            "ForgedIpOfAKnownMacIsAConflictNotAMove",
            2,
            16,
            {{kA}, {kForgedA, kA}, {kA}, {kForgedA, Device(u"02:00:00:00:00:0a", u"10.0.0.2")}},
            {"appeared:02:00:00:00:00:0A", "changed:02:00:00:00:00:0A,status",
             "changed:02:00:00:00:00:0A,status", "changed:02:00:00:00:00:0A,status"}},
        // Another MAC answering for a known device's ip: the device still answers,
        // so it is never gone, however the row is listed.
        WatchRow{"ImpostorAtAKnownIpHidesNobody",
                 2,
                 16,
                 {{kA}, {Shared(kImpostor, kA)}, {Shared(kImpostor, kA)}, {Shared(kImpostor, kA)}},
                 {"appeared:02:00:00:00:00:0A",
                  "appeared:02:00:00:00:00:09 changed:02:00:00:00:00:0A,status", "", ""}},
        // Full: a newcomer takes the place of the longest-missing device, which is
        // reported gone; a device that answers this round is never the one dropped.
        WatchRow{"CapForgetsLongestMissing",
                 5,
                 2,
                 {{kA, kB}, {kB}, {kB, kC}},
                 {"appeared:02:00:00:00:00:0A appeared:02:00:00:00:00:0B", "",
                  "appeared:02:00:00:00:00:0C gone:02:00:00:00:00:0A"}},
        WatchRow{"CapFullOfPresentDevicesIgnoresNewcomer",
                 5,
                 2,
                 {{kA, kB, kC}, {kA, kB, kC}},
                 {"appeared:02:00:00:00:00:0A appeared:02:00:00:00:00:0B", ""}}));

TEST(Watch, EventCarriesTimesAndTheDeviceAndMatchesItsSchema) {
    WatchState state(1);
    std::vector<std::pair<std::string, std::string>> lines;
    state.Round({kA}, kT0);
    const auto changed = state.Round({Device(u"02:00:00:00:00:0a", u"10.0.0.99")}, kT0 + 30);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].device.first_seen, kT0);
    EXPECT_EQ(changed[0].device.last_seen, kT0 + 30);
    const std::string line = FormatEventJson(changed[0], kT0 + 30);
    EXPECT_NE(line.find("\"event\": \"changed\", \"time\": \"2026-12-09T18:00:30Z\", \"identity\": "
                        "\"02:00:00:00:00:0A\", \"changed\": [\"ip\"], \"first_seen\": "
                        "\"2026-12-09T18:00:00Z\", \"last_seen\": \"2026-12-09T18:00:30Z\""),
              std::string::npos)
        << line;
    EXPECT_EQ(EventTableHeader() + FormatEventLine(changed[0], kT0 + 30),
              "TIME                  EVENT     IDENTITY           IP               NAME\n"
              "2026-12-09T18:00:30Z  changed   02:00:00:00:00:0A  10.0.0.99        Hall  (ip)\n");
    const auto gone = state.Round({}, kT0 + 60);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].device.last_seen, kT0 + 30);
    EXPECT_EQ(FormatEventParsable(gone[0], kT0 + 60),
              "2026-12-09T18:01:00Z\tgone\t02:00:00:00:00:0A\t\t2026-12-09T18:00:00Z\t"
              "2026-12-09T18:00:30Z\tTR400\tHall\t10.0.0.99\t02:00:00:00:00:0A\t1.0.7\tok\n");
    EXPECT_EQ(test::SchemaErrors({{".ndjson", line + FormatEventJson(gone[0], kT0 + 60)}},
                                 "orvandel-cli-events.schema.json"),
              "");
}

// What the forged claims leave: the device at its address, marked conflict with
// the other claims named in its event, and its Prometheus series still 1.
TEST(Watch, ForgedClaimsKeepTheDeviceWhereItAnswers) {
    WatchState state(2);
    state.Round({kA}, kT0);
    const auto events = state.Round({kForgedA, kA}, kT0 + 30);
    ASSERT_EQ(events.size(), 1u);
    const FoundDevice& seen = events[0].device.device;
    EXPECT_EQ(seen.record.ip, u"10.0.0.10");
    EXPECT_EQ(seen.verdict.status, ReachStatus::kConflict);
    EXPECT_EQ(seen.mac_elsewhere, std::vector<std::u16string>{u"10.0.0.1"});
    const std::string line = FormatEventJson(events[0], kT0 + 30);
    EXPECT_NE(line.find("\"status\": \"conflict\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"mac_elsewhere\": [\"10.0.0.1\"]"), std::string::npos) << line;

    WatchState shared(2);
    shared.Round({kA}, kT0);
    std::string event_lines;
    for (int r = 1; r <= 3; ++r) {
        for (const WatchEvent& event : shared.Round({Shared(kImpostor, kA)}, kT0 + 30 * r)) {
            event_lines += FormatEventJson(event, kT0 + 30 * r);
        }
    }
    EXPECT_NE(event_lines.find("\"other_claims\": [{\"mac\": \"02:00:00:00:00:09\", \"name\": "
                               "\"Impostor\""),
              std::string::npos)
        << event_lines;
    EXPECT_EQ(
        test::SchemaErrors({{".ndjson", line + event_lines}}, "orvandel-cli-events.schema.json"),
        "");
    std::vector<ExportedDevice> exported;
    for (const auto& [identity, device] : shared.Devices()) {
        exported.push_back({&device.device, device.missed == 0, device.last_seen});
    }
    const std::string text = FormatPrometheusText(exported, {1, 1.0, 0});
    for (const char* series :
         {"orvandel_device_up{mac=\"02:00:00:00:00:0A\",ip=\"10.0.0.10\",name=\"Hall\",model="
          "\"TR400\",firmware=\"1.0.7\",status=\"conflict\"} 1\n",
          "orvandel_device_up{mac=\"02:00:00:00:00:09\",ip=\"10.0.0.10\",name=\"Impostor\","
          "model=\"TR400\",firmware=\"1.0.7\",status=\"conflict\"} 1\n"}) {
        EXPECT_NE(text.find(series), std::string::npos) << series << text;
    }
}

// Thousands of MACs claiming one ip: every claim is watched, each names a bounded
// number of the others.
TEST(Watch, AFloodOfClaimsOfOneIpStaysBounded) {
    FoundDevice row = kA;
    for (int i = 0; i < 2000; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "06:00:00:00:%02x:%02x", i / 256, i % 256);
        row = Shared(std::move(row), Device(text::DecodeUtf8(mac, 17), u"10.0.0.10"));
    }
    const auto claimed = ClaimedDevices({row});
    ASSERT_EQ(claimed.size(), 2001u);
    for (const FoundDevice& claim : claimed) {
        ASSERT_LE(claim.other_claims.size(), 8u);
        ASSERT_EQ(claim.verdict.status, ReachStatus::kConflict);
    }
    WatchState state(2, 8192);
    EXPECT_EQ(state.Round({row}, kT0).size(), 2001u);
    EXPECT_EQ(state.Round({row}, kT0 + 30).size(), 0u);
}

TEST(Watch, Rfc3339) {
    EXPECT_EQ(Rfc3339(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(Rfc3339(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(Rfc3339(kT0 + 3599), "2026-12-09T18:59:59Z");
    EXPECT_EQ(Rfc3339(4102444799), "2099-12-31T23:59:59Z");
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

// A thousand rounds, 30 s apart on a fake clock: 40 devices always answer, 30 of
// 360 others at random, and now and then one with a new firmware. What is remembered
// stays under the cap and the heap stays flat.
TEST(Watch, ThousandRoundsOfComingAndGoingStayBounded) {
    constexpr std::size_t kCap = 512;
    WatchState state(2, kCap);
    std::mt19937 random(7);
    std::vector<FoundDevice> pool;
    for (int d = 0; d < 400; ++d) {
        char mac[24];
        std::snprintf(mac, sizeof mac, "02:00:00:00:%02x:%02x", d / 256, d % 256);
        pool.push_back(
            Device(text::DecodeUtf8(mac, 64),
                   text::DecodeUtf8(
                       "10.1." + std::to_string(d / 250) + "." + std::to_string(d % 250 + 1), 64)));
    }
    std::size_t events = 0;
    std::size_t heap_at_100 = 0;
    std::size_t peak_after_100 = 0;
    for (int round = 0; round < 1000; ++round) {
        std::vector<FoundDevice> found;
        for (int k = 0; k < 70; ++k) {
            FoundDevice device = pool[k < 40 ? k : 40 + random() % (pool.size() - 40)];
            if (random() % 20 == 0) {
                device.record.master_version = u"1.1." + text::DecodeUtf8(std::to_string(round), 8);
            }
            found.push_back(std::move(device));
        }
        events += state.Round(found, kT0 + round * 30).size();
        ASSERT_LE(state.Devices().size(), kCap);
        if (round == 99) {
            heap_at_100 = HeapInUse();
        } else if (round > 99) {
            peak_after_100 = std::max(peak_after_100, HeapInUse());
        }
    }
    const std::size_t heap_at_1000 = HeapInUse();
    std::printf(
        "soak: %zu events, %zu remembered, %zu ignored; heap in use after round 100: "
        "%zu bytes, after round 1000: %zu bytes, peak after round 100: %zu bytes\n",
        events, state.Devices().size(), state.Ignored(), heap_at_100, heap_at_1000, peak_after_100);
    EXPECT_GT(events, 20000u);
#if !ORVANDEL_SANITIZED
    // Flat: what rounds 100 to 1000 add is the churn of one round, not a history.
    EXPECT_LT(heap_at_1000, heap_at_100 + 512 * 1024);
#endif
}

struct LabelCase {
    const char* label;
    std::string input;
    std::string expected;
};

void PrintTo(const LabelCase& row, std::ostream* os) {
    *os << row.label;
}

class PrometheusLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(PrometheusLabel, IsEscapedAsTheExpositionFormatRequires) {
    EXPECT_EQ(PrometheusLabelValue(std::string_view(GetParam().input)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PrometheusLabel,
    ::testing::Values(LabelCase{"Plain", "Living Room", "Living Room"},
                      LabelCase{"Backslash", "a\\b", "a\\\\b"},
                      LabelCase{"Quote", "say \"hi\"", "say \\\"hi\\\""},
                      LabelCase{"Newline", "a\nb", "a\\nb"},
                      LabelCase{"InjectedSample", "x\"} 1\norvandel_device_up{mac=\"",
                                "x\\\"} 1\\norvandel_device_up{mac=\\\""},
                      LabelCase{"OtherControlsReplaced", std::string("a\rb\0c\x7f", 6),
                                "a\xEF\xBF\xBD"
                                "b\xEF\xBF\xBD"
                                "c\xEF\xBF\xBD"},
                      LabelCase{"InvalidUtf8Replaced", "a\xff\xc3", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
                      LabelCase{"CjkKept", "客廳", "客廳"}));

TEST(PrometheusExport, HostileDeviceStaysOneSampleLinePerSeries) {
    FoundDevice hostile = Device(u"02:00:00:00:00:01", u"10.0.0.5", u"a\"}\n\\evil\xD800");
    const FoundDevice plain = Device(u"", u"10.0.0.6", u"Hall", u"", u"TR9100");
    const std::string text =
        FormatPrometheusText({{&hostile, true, kT0}, {&plain, false, kT0 - 60}}, {2, 5.25, 3});
    EXPECT_NE(
        text.find(
            "orvandel_device_up{mac=\"02:00:00:00:00:01\",ip=\"10.0.0.5\",name=\"a\\\"}"
            "\\n\\\\evil\xEF\xBF\xBD\",model=\"TR400\",firmware=\"1.0.7\",status=\"ok\"} 1\n"),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find("orvandel_device_up{mac=\"\",ip=\"10.0.0.6\",name=\"Hall\",model=\"TR9100\","
                  "firmware=\"\",status=\"ok\"} 0\n"),
        std::string::npos);
    EXPECT_NE(text.find("\norvandel_devices_found 2\n"), std::string::npos);
    EXPECT_NE(text.find("\norvandel_search_duration_seconds 5.250\n"), std::string::npos);
    EXPECT_NE(text.find("\norvandel_replies_dropped_total 3\n"), std::string::npos);
    std::size_t lines = 0;
    for (const char c : text) {
        lines += c == '\n';
    }
    EXPECT_EQ(lines, 10u + 2u * 2u + 3u);  // 5 families of HELP and TYPE, 2x2 device samples, 3
}

TEST(PrometheusExport, TargetsAreOnlyPagesOfHostAddresses) {
    std::vector<FoundDevice> devices = {
        Device(u"02:00:00:00:00:01", u"10.0.0.5", u"A \"quoted\""),
        Device(u"02:00:00:00:00:02", u"127.0.0.1"),
        Device(u"02:00:00:00:00:03", u"10.0.0.7/evil"),
        Device(u"02:00:00:00:00:04", u"010.0.0.8"),
        Device(u"02:00:00:00:00:05", u"224.0.0.1"),
    };
    std::vector<ExportedDevice> exported;
    for (const FoundDevice& device : devices) {
        exported.push_back({&device, true, kT0});
    }
    EXPECT_EQ(FormatFileSdTargets(exported),
              "[\n  {\"targets\": [\"http://10.0.0.5/\"], \"labels\": {\"mac\": "
              "\"02:00:00:00:00:01\", \"name\": \"A \\\"quoted\\\"\", \"model\": \"TR400\", "
              "\"firmware\": \"1.0.7\", \"status\": \"ok\"}}\n]\n");
    EXPECT_EQ(FormatFileSdTargets({}), "[]\n");
}

TEST(SiteFile, RoundTripKeepsLabelsAndTagsOfTheSameIdentity) {
    const std::vector<FoundDevice> found = {kA, kB, kNoMac};
    Site site = SiteFromFound(found, kT0, {});
    site.devices[0].label = "Lobby \"east\"";
    site.devices[0].tags = {"floor-1", "客廳"};
    const std::string text = FormatSiteFile(site, kT0);
    EXPECT_EQ(test::SchemaErrors({{".json", text}}, "orvandel-site.schema.json"), "");
    std::string error;
    const auto read = ParseSiteFile(text, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->devices.size(), 3u);
    EXPECT_EQ(read->devices[0].label, "Lobby \"east\"");
    EXPECT_EQ(read->devices[2].identity, "ip:10.0.0.20");
    // A later save: A moved, B is off (and kept as it was, when it was last seen),
    // C is new; the saved ones keep what the user gave them, in the file's order.
    Site labelled = *read;
    labelled.devices[1].label = "Stage";
    labelled.devices[1].tags = {"off-at-night"};
    const Site again = SiteFromFound({kC, Device(u"02:00:00:00:00:0a", u"10.0.0.99"), kC}, kT0 + 60,
                                     std::move(labelled));
    ASSERT_EQ(again.devices.size(), 4u);
    EXPECT_EQ(again.devices[0].ip, "10.0.0.99");
    EXPECT_EQ(again.devices[0].label, "Lobby \"east\"");
    EXPECT_EQ(again.devices[0].tags, (std::vector<std::string>{"floor-1", "客廳"}));
    EXPECT_EQ(again.devices[0].last_seen, "2026-12-09T18:01:00Z");
    EXPECT_EQ(again.devices[1].identity, "02:00:00:00:00:0B");
    EXPECT_EQ(again.devices[1].label, "Stage");
    EXPECT_EQ(again.devices[1].tags, (std::vector<std::string>{"off-at-night"}));
    EXPECT_EQ(again.devices[1].last_seen, "2026-12-09T18:00:00Z");
    EXPECT_EQ(again.devices[2].identity, "ip:10.0.0.20");
    EXPECT_EQ(again.devices[3].identity, "02:00:00:00:00:0C");
    EXPECT_FALSE(again.devices[3].label);
}

TEST(SiteFile, CheckSaysWhatBecameOfEachDevice) {
    const Site site = SiteFromFound({kA, kB, kC}, kT0, {});
    const FoundDevice moved = Device(u"02:00:00:00:00:0B", u"10.0.0.77", u"Hall", u"2.0.0");
    const FoundDevice fresh = Device(u"02:00:00:00:00:0D", u"10.0.0.13");
    const auto entries = CheckSite(site, {kA, moved, fresh});
    EXPECT_EQ(FormatSiteCheckTable(entries),
              "STATE                   IDENTITY           SAVED IP   IP         NAME\n"
              "present                 02:00:00:00:00:0A  10.0.0.10  10.0.0.10  Hall\n"
              "moved,firmware-changed  02:00:00:00:00:0B  10.0.0.11  10.0.0.77  Hall\n"
              "missing                 02:00:00:00:00:0C  10.0.0.12  -          Hall\n"
              "new                     02:00:00:00:00:0D  -          10.0.0.13  Hall\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].states, (std::vector<std::string>{"present"}));
    EXPECT_EQ(entries[1].states, (std::vector<std::string>{"moved", "firmware-changed"}));
    EXPECT_EQ(entries[2].states, (std::vector<std::string>{"missing"}));
    EXPECT_EQ(entries[3].states, (std::vector<std::string>{"new"}));
    EXPECT_FALSE(SiteAsSaved(entries));
    EXPECT_TRUE(SiteAsSaved(CheckSite(site, {kC, kB, kA, fresh})));  // new ones do not count
    EXPECT_EQ(FormatSiteCheckParsable(entries),
              "present\t02:00:00:00:00:0A\t10.0.0.10\t10.0.0.10\tHall\n"
              "moved,firmware-changed\t02:00:00:00:00:0B\t10.0.0.11\t10.0.0.77\tHall\n"
              "missing\t02:00:00:00:00:0C\t10.0.0.12\t\tHall\n"
              "new\t02:00:00:00:00:0D\t\t10.0.0.13\tHall\n");
    EXPECT_EQ(test::SchemaErrors({{".json", FormatSiteCheckJson(entries, false)}},
                                 "orvandel-site.schema.json"),
              "");
}

// A forged claim of a saved device's MAC, or another MAC at its ip: the check
// says conflict, never moved, and a save keeps the saved address.
TEST(SiteFile, ForgedClaimsAreConflictsNotMoves) {
    const Site site = SiteFromFound({kA, kB}, kT0, {});
    const auto entries = CheckSite(site, {kForgedA, kA, Shared(kImpostor, kB)});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].states, (std::vector<std::string>{"present", "conflict"}));
    EXPECT_EQ(entries[0].found->record.ip, u"10.0.0.10");
    EXPECT_EQ(entries[0].claimed_ips, (std::vector<std::string>{"10.0.0.1", "10.0.0.10"}));
    EXPECT_EQ(entries[1].states, (std::vector<std::string>{"present", "conflict"}));
    EXPECT_EQ(entries[2].identity, "02:00:00:00:00:09");
    EXPECT_EQ(entries[2].states, (std::vector<std::string>{"new", "conflict"}));
    EXPECT_FALSE(SiteAsSaved(entries));
    const std::string json = FormatSiteCheckJson(entries, false);
    EXPECT_NE(json.find("\"claimed_ips\": [\"10.0.0.1\", \"10.0.0.10\"]"), std::string::npos)
        << json;
    EXPECT_EQ(test::SchemaErrors({{".json", json}}, "orvandel-site.schema.json"), "");
    EXPECT_EQ(SiteFromFound({kForgedA, kA}, kT0 + 60, site).devices[0].ip, "10.0.0.10");

    // Claimed only from two other ips: neither present nor moved, and not saved.
    const FoundDevice other = Device(u"02:00:00:00:00:0A", u"10.0.0.2");
    EXPECT_EQ(CheckSite(site, {kForgedA, other})[0].states, (std::vector<std::string>{"conflict"}));
    const Site saved = SiteFromFound({kForgedA, other}, kT0 + 60, site);
    EXPECT_EQ(saved.devices[0].ip, "10.0.0.10");
    EXPECT_EQ(saved.devices[0].last_seen, "2026-12-09T18:01:00Z");
}

struct BadSite {
    const char* label;
    std::string text;
    std::string error;
};

void PrintTo(const BadSite& row, std::ostream* os) {
    *os << row.label;
}

class SiteFileRefuses : public ::testing::TestWithParam<BadSite> {};

TEST_P(SiteFileRefuses, WithAReason) {
    std::string error;
    EXPECT_FALSE(ParseSiteFile(GetParam().text, error));
    EXPECT_EQ(error.substr(0, GetParam().error.size()), GetParam().error) << error;
}

const std::string kHead = R"({"schema_version": "1.0", "kind": "site", "devices": )";

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// `count` devices with distinct identities, each labelled `label`.
std::string Devices(int count, const std::string& label) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += (i > 0 ? ",{\"identity\": \"" : "{\"identity\": \"") + std::to_string(i) +
               "\", \"label\": \"" + label + "\"}";
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SiteFileRefuses,
    ::testing::Values(
        BadSite{"Empty", "", "not JSON: unexpected end at line 1, column 1"},
        BadSite{"Truncated", kHead + R"([{"identity": "A")", "not JSON: expected ',' or '}'"},
        BadSite{"TrailingText", kHead + "[]}\n  x",
                "not JSON: text after the document at line 2, column 3"},
        BadSite{"ColumnInCharacters", "{\n\"\u00e9\u00e9\": 1 x}",
                "not JSON: expected ',' or '}' at line 2, column 9"},
        BadSite{"LaterMajorVersion", R"({"schema_version": "2.0", "kind": "site", "devices": []})",
                "schema version \"2.0\"; this program reads 1.x"},
        BadSite{"OtherKind", R"({"schema_version": "1.0", "kind": "result", "devices": []})",
                "not a site file: its \"kind\" is \"result\", not \"site\""},
        BadSite{"NoKind", R"({"schema_version": "1.0", "devices": []})",
                "not a site file: it has no \"kind\": \"site\""},
        BadSite{"NoIdentity", kHead + R"([{"ip": "10.0.0.1"}]})", "a device has no \"identity\""},
        BadSite{"TwiceTheSameIdentity", kHead + R"([{"identity": "A"}, {"identity": "A"}]})",
                "two devices have the identity \"A\""},
        BadSite{"TagsNotTexts", kHead + R"([{"identity": "A", "tags": [1]}]})",
                "a tag is not a text"},
        BadSite{"IpNotText", kHead + R"([{"identity": "A", "ip": 10}]})", "\"ip\" is not a text"},
        BadSite{"InvalidUtf8", kHead + "[{\"identity\": \"\xff\"}]}",
                "not JSON: a string that is not UTF-8"},
        BadSite{"RawControl", kHead + "[{\"identity\": \"a\nb\"}]}",
                "not JSON: a control character inside a string"},
        BadSite{"TooDeep", std::string(40, '[') + std::string(40, ']'),
                "not JSON: nested too deep"},
        // What a site file may cost in memory is bounded, in and out of its list.
        BadSite{"ManyValuesBesideTheList", kHead + "[], \"x\": [" + Repeated("0,", 70000) + "0]}",
                "too large: more than 65536 values at once"},
        BadSite{"ManyValuesInOneDevice",
                kHead + "[{\"identity\": \"A\", \"x\": [" + Repeated("[],", 70000) + "0]}]}",
                "too large: more than 65536 values at once"},
        BadSite{"MoreThan16384Devices", kHead + "[" + Devices(16385, "") + "]}",
                "more than 16384 devices"},
        BadSite{"DevicesTakeTooMuchMemory",
                kHead + "[" + Devices(4000, std::string(3000, 'x')) + "]}",
                "its devices take more than 12 MiB once read"},
        // The document's own faults come first, wherever the list is.
        BadSite{"LaterMajorVersionAfterItsList",
                R"({"devices": [{"ip": 1}], "schema_version": "2.0", "kind": "site"})",
                "schema version \"2.0\"; this program reads 1.x"}));

TEST(SiteFile, ReadsTheMostItMayHold) {
    std::string error;
    const auto site = ParseSiteFile(kHead + "[" + Devices(16384, "Lobby") + "]}", error);
    ASSERT_TRUE(site) << error;
    EXPECT_EQ(site->devices.size(), 16384u);
    EXPECT_EQ(site->devices.back().label, "Lobby");
}

TEST(JsonReader, DecodesEscapesAndSurrogatePairs) {
    std::string error;
    const auto value =
        ReadJson(R"({"a": "\u00e9\ud83d\ude00\ud800x\n", "b": [1.5e3, -0, true, null]})", error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(value->Find("a")->text, "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDx\n");
    ASSERT_EQ(value->Find("b")->items.size(), 4u);
    EXPECT_EQ(value->Find("b")->items[0].text, "1.5e3");
    EXPECT_FALSE(ReadJson("01", error));
    EXPECT_FALSE(ReadJson("1.", error));
    EXPECT_FALSE(ReadJson("\"\\x\"", error));
}

TEST(AnsibleInventory, GroupsByModelFirmwareStatusAndTagWithUnsafeTexts) {
    FoundDevice odd = Device(u"02:00:00:00:00:0c", u"10.0.0.12", u"{{ lookup('pipe','id') }}",
                             u"1.2-beta", u"TR9100 \"Pro\"");
    odd.verdict.status = ReachStatus::kOtherNetwork;
    std::vector<InventoryHost> hosts = HostsFromFound({kA, odd, Device(u"", u"127.0.0.1")});
    hosts[0].tags = {"Floor 1"};
    const std::string list = FormatInventoryList(hosts);
    EXPECT_NE(list.find("\"model_tr400\": {\"hosts\": [\"orvandel_02000000000a\", "
                        "\"orvandel_ip_127_0_0_1\"]}"),
              std::string::npos)
        << list;
    EXPECT_NE(list.find("\"model_tr9100__pro_\": {\"hosts\": [\"orvandel_02000000000c\"]}"),
              std::string::npos);
    EXPECT_NE(list.find("\"firmware_1_2_beta\": {\"hosts\": [\"orvandel_02000000000c\"]}"),
              std::string::npos);
    EXPECT_NE(list.find("\"status_other_network\": {\"hosts\": [\"orvandel_02000000000c\"]}"),
              std::string::npos);
    EXPECT_NE(list.find("\"tag_floor_1\": {\"hosts\": [\"orvandel_02000000000a\"]}"),
              std::string::npos);
    // No template opener survives even where the unsafe mark is dropped; a loopback
    // address is no host to connect to.
    EXPECT_NE(
        list.find("\"orvandel_name\": {\"__ansible_unsafe\": \"{ { lookup('pipe','id') }}\"}"),
        std::string::npos);
    EXPECT_EQ(NoTemplateOpeners("{%x%}{#y#}{{{z"), "{ %x%}{ #y#}{ { {z");
    EXPECT_EQ(NoTemplateOpeners("Hall {1} {x} 50%"), "Hall {1} {x} 50%");
    hosts[1].label = "{#";
    hosts[1].tags = {"{%"};
    for (const std::string& text :
         {FormatInventoryList(hosts), FormatInventoryHost(hosts, "orvandel_02000000000c")}) {
        for (const char* opener : {"{{", "{%", "{#"}) {
            EXPECT_EQ(text.find(opener), std::string::npos) << opener << text;
        }
    }
    const std::string loopback = FormatInventoryHost(hosts, "orvandel_ip_127_0_0_1");
    EXPECT_EQ(loopback.find("ansible_host"), std::string::npos) << loopback;
    EXPECT_EQ(FormatInventoryHost(hosts, "orvandel_02000000000a").substr(0, 40),
              "{\"ansible_host\": \"10.0.0.10\", \"orvandel_");
    EXPECT_EQ(FormatInventoryHost(hosts, "nobody"), "{}\n");
    std::string error;
    EXPECT_TRUE(ReadJson(list, error)) << error;

    // A disputed address is no host to connect to: the forged lower ip, and an ip
    // another MAC claims too. Every claim is named.
    const auto disputed = HostsFromFound({kForgedA, kA, Shared(kImpostor, kB)});
    ASSERT_EQ(disputed.size(), 3u);
    EXPECT_EQ(disputed[0].claimed_ips, (std::vector<std::string>{"10.0.0.1", "10.0.0.10"}));
    for (const InventoryHost& host : disputed) {
        const std::string vars = FormatInventoryHost(disputed, InventoryHostName(host.identity));
        EXPECT_EQ(vars.find("ansible_host"), std::string::npos) << vars;
        EXPECT_NE(vars.find("\"orvandel_status\": {\"__ansible_unsafe\": \"conflict\"}"),
                  std::string::npos);
    }
    EXPECT_NE(FormatInventoryList(disputed).find(
                  "\"orvandel_claimed_ips\": [{\"__ansible_unsafe\": \"10.0.0.1\"}, "
                  "{\"__ansible_unsafe\": \"10.0.0.10\"}]"),
              std::string::npos);
}

struct ArgumentCase {
    const char* label;
    std::vector<std::string> args;
    std::string error;  // empty: accepted
};

void PrintTo(const ArgumentCase& row, std::ostream* os) {
    *os << row.label;
}

class MonitorArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(MonitorArguments, AreAcceptedOrRefusedWithAReason) {
    ::unsetenv("ORVANDEL_TESTING_MIN_INTERVAL_MS");
    std::string error;
    const auto options = ParseArguments(GetParam().args, error);
    EXPECT_EQ(options.has_value(), GetParam().error.empty()) << error;
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MonitorArguments,
    ::testing::Values(
        ArgumentCase{"Watch", {"--watch", "--interval", "5", "--gone-after=3", "--json"}, ""},
        ArgumentCase{"IntervalBelowFive",
                     {"--watch", "--interval=4.999"},
                     "--interval needs a number of seconds from 5 to 86400, not '4.999'"},
        ArgumentCase{"IntervalWithoutWatch",
                     {"--interval=10"},
                     "--interval and --gone-after belong to --watch"},
        ArgumentCase{"WatchAndCheck",
                     {"--watch", "--check-site", "s.json"},
                     "--watch does not go with --save-site, --check-site or --expect"},
        ArgumentCase{"SaveAndCheck",
                     {"--save-site", "a", "--check-site", "b"},
                     "--save-site and --check-site: choose one"},
        ArgumentCase{"ExpectZero",
                     {"--check-site", "a", "--expect", "0"},
                     "--expect needs a number of devices from 1 to 100000, not '0'"},
        ArgumentCase{"Inventory", {"--ansible-inventory", "--list", "--site", "s.json"}, ""},
        ArgumentCase{"InventoryHost", {"--ansible-inventory", "--host", "orvandel_1"}, ""},
        ArgumentCase{"ListAlone", {"--list"}, "--list and --host belong to --ansible-inventory"},
        ArgumentCase{"InventoryWithoutListOrHost",
                     {"--ansible-inventory"},
                     "--ansible-inventory needs --list or --host NAME (one of them)"},
        ArgumentCase{"StreamWithWatch",
                     {"--stream", "--watch"},
                     "--stream does not go with --watch, the site file, the exports or the "
                     "inventory"},
        ArgumentCase{
            "FileTwice", {"--prometheus", "a", "--prometheus=b"}, "--prometheus is given twice"},
        ArgumentCase{"WatchTakesNoValue", {"--watch=1"}, "--watch takes no value"}));

}  // namespace
}  // namespace orvandel::cli
