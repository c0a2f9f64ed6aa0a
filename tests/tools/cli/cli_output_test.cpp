// The command-line finder's output: names from the network printed as data, the
// table layouts, the JSON documents against their schema, writing it out and the
// argument rules.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <ostream>
#include <thread>

#include "discovery/ipv4.h"
#include "platform/udp_socket.h"
#include "tests/tools/cli/schema_check.h"
#include "tools/cli/cli_diagnosis.h"
#include "tools/cli/cli_json.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/cli_output.h"

namespace orvandel::cli {
namespace {

struct EscapeCase {
    const char* label;
    std::u16string input;
    std::string expected;
};

// Names the row in test output.
void PrintTo(const EscapeCase& row, std::ostream* os) {
    *os << row.label;
}

class Escape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escape, PrintsDataNotControls) {
    EXPECT_EQ(EscapeForTerminal(std::u16string_view(GetParam().input)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Escape,
    ::testing::Values(EscapeCase{"Plain", u"Living Room", "Living Room"},
                      EscapeCase{"CjkKept", u"客廳", "客廳"},
                      EscapeCase{"EscapeSequence", u"a\x1b[2Jb", "a\\x1B[2Jb"},
                      EscapeCase{"NewlineTabReturn", u"a\nb\tc\rd", "a\\nb\\tc\\rd"},
                      EscapeCase{"Backslash", u"a\\x1B", "a\\\\x1B"},
                      EscapeCase{"DeleteAndBell", u"\x7f\x07", "\\x7F\\x07"},
                      EscapeCase{"C1Control",
                                 u"\x9b"
                                 u"31m",
                                 "\\u{009B}31m"},
                      EscapeCase{"BidiOverride",
                                 u"abc\x202e"
                                 u"fed",
                                 "abc\\u{202E}fed"},
                      EscapeCase{"SeparatorsMarksAndZeroWidth",
                                 u"a\u2028b\u200Bc\u200Ed\u061Ce\uFEFF",
                                 "a\\u{2028}b\\u{200B}c\\u{200E}d\\u{061C}e\\u{FEFF}"},
                      EscapeCase{"SurrogatePair", u"\xd83d\xde00", "\xF0\x9F\x98\x80"},
                      EscapeCase{"UnpairedSurrogate", std::u16string(1, char16_t(0xd800)) + u"x",
                                 "\xEF\xBF\xBDx"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(EscapeUtf8, InvalidBytesShownAsHex) {
    EXPECT_EQ(EscapeForTerminal(std::string_view("eth0\xff\x1b")), "eth0\\xFF\\x1B");
    EXPECT_EQ(EscapeForTerminal(std::string_view("\xc0\xaf")), "\\xC0\\xAF");  // overlong
    EXPECT_EQ(EscapeForTerminal(std::string_view("\xe5\xae")), "\\xE5\\xAE");  // cut short
    EXPECT_EQ(EscapeForTerminal(std::string_view("\xe5\xae\xa2")), "\xe5\xae\xa2");
}

DeviceInfo Device(std::u16string model, std::u16string name, std::u16string ip,
                  std::u16string mac) {
    DeviceInfo device;
    device.model = std::move(model);
    device.device_name = std::move(name);
    device.ip = std::move(ip);
    device.id = std::move(mac);
    return device;
}

TEST(FormatTable, AlignsColumnsByDisplayWidth) {
    const std::string table =
        FormatTable({Device(u"TR400", u"客廳", u"192.168.1.10", u"AA:BB"),
                     Device(u"TR9100", u"Kitchen\x1b", u"192.168.1.9", u"CC:DD")});
    EXPECT_EQ(table,
              "MODEL   NAME         IP            MAC\n"
              "TR400   客廳         192.168.1.10  AA:BB\n"
              "TR9100  Kitchen\\x1B  192.168.1.9   CC:DD\n");
    EXPECT_EQ(table.find('\x1b'), std::string::npos);
}

TEST(FormatTable, ShowsTheReportedModelAndADashForWhatIsMissing) {
    // The window's icon rule would show the first three as TR400 and hide the
    // last row, which has no MAC address.
    const std::string table = FormatTable(
        {Device(u"TR400 Pro", u"A", u"10.0.0.1", u"aa:bb:cc:dd:ee:0f"),
         Device(u"", u"B", u"10.0.0.2", u"11:22"), Device(u"X\x1b[1m", u"C", u"10.0.0.3", u"33:44"),
         Device(u"TR9100", u"", u"10.0.0.4", u"")});
    EXPECT_EQ(table,
              "MODEL      NAME  IP        MAC\n"
              "TR400 Pro  A     10.0.0.1  AA:BB:CC:DD:EE:0F\n"
              "-          B     10.0.0.2  11:22\n"
              "X\\x1B[1m   C     10.0.0.3  33:44\n"
              "TR9100           10.0.0.4  -\n");
}

TEST(FormatTable, StatusColumnWhenStatusesAreKnown) {
    EXPECT_EQ(FormatTable({Device(u"TR400", u"A", u"10.0.0.1", u"aa:01"),
                           Device(u"TR9100", u"B", u"192.168.0.57", u"aa:02")},
                          {"ok", "other-network"}),
              "MODEL   NAME  IP            MAC    STATUS\n"
              "TR400   A     10.0.0.1      AA:01  ok\n"
              "TR9100  B     192.168.0.57  AA:02  other-network\n");
}

TEST(FormatTable, NamesGiveWayToTheTerminalWidthByDisplayWidth) {
    const std::vector<DeviceInfo> devices = {
        Device(u"TR400", std::u16string(100, u'n'), u"192.168.1.10", u"aa:bb:cc:dd:ee:01"),
        Device(u"TR9100", u"客廳客廳客廳客廳客廳客廳", u"192.168.1.9", u"aa:bb:cc:dd:ee:02"),
        Device(u"TR400", u"Short", u"192.168.1.8", u"aa:bb:cc:dd:ee:03")};
    const std::vector<std::string> statuses(3, "other-network");
    // Unbounded (a pipe), or wide enough: nothing is cut.
    EXPECT_EQ(FormatTable(devices, statuses, 0), FormatTable(devices, statuses, 500));
    EXPECT_NE(FormatTable(devices, statuses).find(std::string(100, 'n')), std::string::npos);
    const std::string table = FormatTable(devices, statuses, 80);
    std::size_t start = 0;
    for (std::size_t end; (end = table.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = table.substr(start, end - start);
        EXPECT_LE(DisplayWidth(line), 80u) << line;
        EXPECT_TRUE(line.ends_with("STATUS") || line.ends_with("other-network")) << line;
    }
    EXPECT_NE(table.find("n\u2026  192.168.1.10"), std::string::npos) << table;
    EXPECT_NE(table.find("Short "), std::string::npos) << table;
    // A wide character is never split: "客廳客" in 4 columns is "客…", 3 columns.
    EXPECT_EQ(CutToWidth("\u5ba2\u5ef3\u5ba2", 4), "\u5ba2\u2026");
    EXPECT_EQ(CutToWidth("abc", 3), "abc");
    EXPECT_EQ(CutToWidth("e\u0301te", 2), "e\u0301\u2026");  // the mark stays on its letter
    // Narrower than the other columns allow: the names stop at 8 columns.
    EXPECT_NE(FormatTable(devices, statuses, 20).find("nnnnnnn\u2026  192"), std::string::npos);
}

TEST(ParsableLine, OneLinePerDeviceWhateverTheValuesHold) {
    EXPECT_EQ(ParsableLine(Device(u"TR400", u"Living Room", u"10.0.0.1", u"aa:bb")),
              "TR400\tLiving Room\t10.0.0.1\tAA:BB\n");
    // Tabs and newlines inside a value cannot split fields or lines; an absent
    // value is an empty field, not a dash that could be a model's name.
    EXPECT_EQ(ParsableLine(Device(u"", u"a\tb\nc\\d\x1b", u"10.0.0.2", u"")),
              "\ta\\tb\\nc\\\\d\\x1B\t10.0.0.2\t\n");
    EXPECT_EQ(ParsableLine(Device(u"TR400", u"A", u"10.0.0.1", u"aa"), "ok", "update"),
              "TR400\tA\t10.0.0.1\tAA\tok\tupdate\n");
}

TEST(StreamTable, FixedColumnsAndAMarkedUpdate) {
    EXPECT_EQ(StreamTableHeader(false), "MODEL   NAME                  IP               MAC\n");
    EXPECT_EQ(StreamTableLine(Device(u"TR400", u"客廳", u"10.0.0.1", u"aa:bb"), {}, false),
              "TR400   客廳                  10.0.0.1         AA:BB\n");
    // A value longer than its column pushes the rest; the line stays one line.
    EXPECT_EQ(StreamTableLine(Device(u"", std::u16string(22, u'n'), u"10.0.0.2", u""), {}, true),
              "-       " + std::string(22, 'n') + "  10.0.0.2         -  (updated)\n");
}

DeviceInfo FullDevice() {
    DeviceInfo device =
        Device(u"TR400", u"say \"hi\"\\\n\x1b\x85", u"10.0.0.1", u"aa:bb:cc:dd:ee:ff");
    device.raw_text = u"{\"device_name\": ...}";
    device.master_version = u"1.0.27";
    device.dns = std::u16string(1, char16_t(0xdc00));
    return device;
}

TEST(JsonString, EscapesSeparatorsAndInvisibleCharacters) {
    // A line separator would end a line in some readers; zero-width text hides.
    EXPECT_EQ(JsonString(std::u16string_view(u"a\u2028b\u200Dc")), "\"a\\u2028b\\u200dc\"");
}

TEST(ResultJson, ClearNamesNullForAbsentAndEveryReplyField) {
    const std::string json =
        FormatResultJson({{"eth0", "10.0.0.7", 24}}, {FullDevice()}, {}, false);
    EXPECT_NE(json.find("\"schema_version\": \"1.3\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"say \\\"hi\\\"\\\\\\n\\u001b\\u0085\""), std::string::npos)
        << json;
    EXPECT_NE(json.find("\"mac\": \"AA:BB:CC:DD:EE:FF\""), std::string::npos);  // as the table
    EXPECT_NE(json.find("\"id\": \"aa:bb:cc:dd:ee:ff\""), std::string::npos);   // as the reply
    EXPECT_NE(json.find("\"firmware_version\": \"1.0.27\""), std::string::npos);
    EXPECT_NE(json.find("\"gateway\": null"), std::string::npos);
    EXPECT_NE(json.find("\"dns\": \"\xEF\xBF\xBD\""), std::string::npos);
    EXPECT_NE(json.find("\"prefix_length\": 24"), std::string::npos);
    // Unknown until the replies' origins are known.
    EXPECT_NE(json.find("\"status\": null"), std::string::npos);
    for (char c : json) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << int(c);
    }
}

TEST(ResultJson, MissingMacIsNullAndTheDeviceIsListed) {
    const std::string json = FormatResultJson(
        {}, {Device(u"", u"No MAC", u"10.0.0.5", u""), Device(u"", u"", u"10.0.0.6", u"x")}, {},
        false);
    EXPECT_NE(json.find("\"mac\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"id\": null"), std::string::npos);
    EXPECT_NE(json.find("\"ip\": \"10.0.0.5\""), std::string::npos);
    EXPECT_NE(json.find("\"mac\": \"X\""), std::string::npos);
    EXPECT_NE(json.find("\"id\": \"x\""), std::string::npos);
}

TEST(ResultJson, EveryDocumentMatchesTheSchema) {
    // Texts that a device or the system may give: controls, a lone surrogate,
    // invalid UTF-8 in an interface name, no MAC, a verdict with its adapters.
    DeviceInfo bare;
    bare.ip = u"10.0.0.9";
    bare.raw_text = u"{\"ip\": \"10.0.0.9\"}";
    Reachability verdict;
    verdict.status = ReachStatus::kConflict;
    verdict.conflict_count = 2;
    verdict.adapters = {{"eth\xff", "10.0.0.7", 24}};
    const std::uint32_t sources[] = {*ipv4::Parse("10.0.0.9"), *ipv4::Parse("10.0.0.10")};
    // Every claim of the ip and of the MAC is named.
    const DeviceClaim claims[] = {{FullDevice(), {*ipv4::Parse("10.0.0.10")}}};
    const std::u16string elsewhere[] = {u"10.0.0.3"};
    const DeviceFacts facts{&verdict, sources, claims, elsewhere};
    const std::vector<SearchedAdapter> adapters = {{"eth\xff\x1b", "10.0.0.7", 24},
                                                   {"wlan0", "192.168.1.4", -1}};
    const std::string errors = test::SchemaErrors({
        {".json", FormatResultJson(adapters, {FullDevice(), bare}, {{}, facts}, true)},
        {".json", FormatResultJson({}, {}, {}, false)},
        {".ndjson",
         FormatStreamJson(FullDevice(), {}, false) + FormatStreamJson(bare, facts, true)},
        {".json", FormatAdaptersJson({{"eth0", "eth0", "10.0.0.7", 24, ""},
                                      {"tun0", "VPN \x1b", "", -1, "no hardware address"}})},
    });
    EXPECT_EQ(errors, "");
    // The senders are written as dotted addresses, first seen first.
    EXPECT_NE(FormatStreamJson(bare, facts, false).find(R"("sources": ["10.0.0.9", "10.0.0.10"])"),
              std::string::npos);
    const std::string claimed = FormatStreamJson(bare, facts, false);
    EXPECT_NE(claimed.find(R"("other_claims": [{"mac": "AA:BB:CC:DD:EE:FF", "name": "say )"),
              std::string::npos)
        << claimed;
    EXPECT_NE(claimed.find(R"("model": "TR400", "firmware_version": "1.0.27", )"
                           R"("sources": ["10.0.0.10"]}], "mac_elsewhere": ["10.0.0.3"])"),
              std::string::npos);
    // And the schema is not a rubber stamp: a document with a wrong field fails.
    std::string wrong = FormatStreamJson(bare, facts, false);
    wrong.replace(wrong.find("\"conflict\""), 10, "\"conflicts\"");
    EXPECT_NE(test::SchemaErrors({{".ndjson", wrong}}), "");
}

TEST(DiagnosisJson, EveryVerdictMatchesTheSchemaAndTheTableShowsEach) {
    // A verdict of every code, values as the system may give them.
    std::vector<Verdict> verdicts;
    for (int code = 0; code <= static_cast<int>(VerdictCode::kNotDevices); ++code) {
        verdicts.push_back({static_cast<VerdictCode>(code),
                            VerdictVariant::kPlain,
                            {{"interface", "eth\xff\x1b[2J"}, {"count", "3"}, {"port", "8888"}}});
    }
    const auto entries = DiagnosisEntries(verdicts);
    ASSERT_EQ(entries.size(), verdicts.size());
    EXPECT_EQ(entries[3].code, "port-busy");
    const std::string json = FormatDiagnosisJson({{"eth0", "10.0.0.7", 24}}, 0, entries);
    EXPECT_NE(json.find("\"kind\": \"diagnosis\""), std::string::npos) << json;
    EXPECT_EQ(test::SchemaErrors({{".json", json}, {".json", FormatDiagnosisJson({}, 2, {})}}), "");
    std::string wrong = json;
    wrong.replace(wrong.find("\"port-busy\""), 11, "\"port-used\"");
    EXPECT_NE(test::SchemaErrors({{".json", wrong}}), "");

    const std::string table = FormatDiagnosisTable(entries, 0);
    EXPECT_EQ(table.rfind("Devices that answered: 0\n", 0), 0u) << table;
    for (const DiagnosisEntry& entry : entries) {
        EXPECT_NE(table.find("\n" + entry.code + ": "), std::string::npos) << entry.code;
    }
    EXPECT_EQ(table.find('\x1b'), std::string::npos);
    EXPECT_EQ(FirstVerdictLine(entries).rfind("likely cause (no-adapter): ", 0), 0u);
    EXPECT_EQ(FirstVerdictLine({}), "");
    EXPECT_NE(FormatDiagnosisTable({}, 0).find("No cause found"), std::string::npos);
    EXPECT_NE(FormatDiagnosisTable({}, 3).find("No fault found"), std::string::npos);
}

TEST(StreamJson, OneLineWithTheEvent) {
    const std::string line = FormatStreamJson(FullDevice(), {}, true);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(
        line.rfind("{\"schema_version\": \"1.3\", \"kind\": \"stream\", \"event\": \"update\"", 0),
        0u)
        << line;
}

// Restores SIGPIPE's disposition when the test ends.
class IgnoreSigpipe {
public:
    IgnoreSigpipe() : previous_(std::signal(SIGPIPE, SIG_IGN)) {}
    ~IgnoreSigpipe() { std::signal(SIGPIPE, previous_); }

private:
    void (*previous_)(int);
};

TEST(WriteFully, ReportsAFullDiskAndAClosedPipe) {
    std::string error;
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    EXPECT_FALSE(WriteFully(full, "MODEL\n", error));
    EXPECT_EQ(error, std::strerror(ENOSPC));
    ::close(full);

    IgnoreSigpipe ignore;
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    error.clear();
    EXPECT_FALSE(WriteFully(ends[1], "MODEL\n", error));
    EXPECT_EQ(error, std::strerror(EPIPE));
    ::close(ends[1]);
}

TEST(WriteFully, DeliversEveryByteThroughANonBlockingPipe) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
    // Far more than the pipe holds, so that writes come back short or with EAGAIN.
    std::string text;
    for (int i = 0; text.size() < 1'000'000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        for (;;) {
            pollfd ready{ends[0], POLLIN, 0};
            ::poll(&ready, 1, 1000);
            const ssize_t n = ::read(ends[0], buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return;
            }
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
            }
        }
    });
    std::string error;
    EXPECT_TRUE(WriteFully(ends[1], text, error)) << error;
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    EXPECT_TRUE(received == text) << received.size() << " of " << text.size() << " bytes";
}

// A stop gives way only to a reader that stalls: one that reads gets every byte,
// one that does not lets the write go within 50 ms of the stop, through a blocking
// pipe and a socket alike, and with no signal to break the wait.
TEST(WriteFully, GivesUpOnAStalledReaderOnceStopped) {
    IgnoreSigpipe ignore;
    const std::string text(1'000'000, 'x');
    for (const bool socket : {false, true}) {
        for (const bool reading : {true, false}) {
            int ends[2];
            ASSERT_EQ(socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends)
                             : ::pipe2(ends, O_CLOEXEC),
                      0);
            std::atomic<bool> stop{reading};
            std::size_t received = 0;
            std::thread reader([&] {
                if (!reading) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    stop = true;
                    // Unblocks a write that never looks at the flag.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                    ::close(ends[0]);
                    return;
                }
                char buffer[65536];
                for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
                    received += static_cast<std::size_t>(n);
                }
                ::close(ends[0]);
            });
            const auto start = std::chrono::steady_clock::now();
            std::string error;
            const bool written = WriteFully(ends[1], text, error, &stop);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            ::close(ends[1]);
            reader.join();
            const std::string what =
                std::string(socket ? "socket" : "pipe") + (reading ? ", read" : ", stalled");
            EXPECT_EQ(written, reading) << what << ": " << error;
            if (reading) {
                EXPECT_EQ(received, text.size()) << what;
            } else {
                EXPECT_EQ(error, "interrupted while the reader was not reading") << what;
                EXPECT_LT(ms, 200 + 300) << what;
            }
        }
    }
}

struct ArgsCase {
    const char* label;
    std::vector<std::string> args;
    const char* error;  // part of the message; nullptr when the arguments are valid
    std::function<bool(const Options&)> check = nullptr;
};

// Names the row in test output.
void PrintTo(const ArgsCase& row, std::ostream* os) {
    *os << row.label;
}

class Arguments : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(Arguments, AcceptsOrRejects) {
    std::string error;
    const auto options = ParseArguments(GetParam().args, error);
    ASSERT_EQ(options.has_value(), GetParam().error == nullptr) << error;
    if (options) {
        EXPECT_TRUE(!GetParam().check || GetParam().check(*options));
    } else {
        EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
        EXPECT_EQ(error.find('\x1b'), std::string::npos);
    }
}

bool Timeout(const Options& o, int ms) {
    return o.timeout_ms == ms;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Arguments,
    ::testing::Values(
        ArgsCase{"None",
                 {},
                 nullptr,
                 [](const Options& o) {
                     return Timeout(o, 5000) && o.format == Format::kTable && !o.stream &&
                            !o.first && o.interfaces.empty() && o.targets.empty();
                 }},
        ArgsCase{"TimeoutSeparate",
                 {"--timeout", "1500", "--json"},
                 nullptr,
                 [](const Options& o) { return Timeout(o, 1500) && o.format == Format::kJson; }},
        ArgsCase{"TimeoutJoined",
                 {"--timeout=200"},
                 nullptr,
                 [](const Options& o) { return Timeout(o, 200); }},
        ArgsCase{"TimeoutMissing", {"--timeout"}, "needs a value"},
        ArgsCase{"TimeoutZero", {"--timeout", "0"}, "from 1 to 600000"},
        ArgsCase{"TimeoutNegative", {"--timeout", "-5"}, "from 1 to 600000"},
        ArgsCase{"TimeoutPlusSign", {"--timeout", "+5"}, "from 1 to 600000"},
        ArgsCase{"TimeoutNotNumber", {"--timeout", "5s"}, "from 1 to 600000"},
        ArgsCase{"TimeoutHuge", {"--timeout", "99999999999999999999"}, "from 1 to 600000"},
        ArgsCase{"TimeoutTwice", {"-t", "100", "--timeout=200"}, "given twice"},
        ArgsCase{"ShortBundle",
                 {"-jt", "300"},
                 nullptr,
                 [](const Options& o) { return Timeout(o, 300) && o.format == Format::kJson; }},
        ArgsCase{"ShortValueAttached",
                 {"-t300", "-p"},
                 nullptr,
                 [](const Options& o) { return Timeout(o, 300) && o.format == Format::kParsable; }},
        ArgsCase{"ShortValueMissing", {"-i"}, "-i (--interface) needs a value"},
        ArgsCase{"InterfacesRepeat",
                 {"-i", "eth0", "--interface=wlan0"},
                 nullptr,
                 [](const Options& o) {
                     return o.interfaces == std::vector<std::string>{"eth0", "wlan0"};
                 }},
        ArgsCase{"InterfaceTooLong", {"-i", "a-very-long-interface"}, "1 to 15 bytes"},
        ArgsCase{"InterfaceEmpty", {"--interface="}, "1 to 15 bytes"},
        ArgsCase{"StreamFirst",
                 {"--stream", "--first", "-j"},
                 nullptr,
                 [](const Options& o) { return o.stream && o.first; }},
        ArgsCase{"HelpVersion",
                 {"-h", "-V"},
                 nullptr,
                 [](const Options& o) { return o.help && o.version; }},
        ArgsCase{"JsonAndParsable", {"-j", "-p"}, "choose one"},
        ArgsCase{"JsonAndParsableBundled", {"-pj"}, "choose one"},
        ArgsCase{"AdaptersJson",
                 {"--adapters", "--json", "-i", "eth0"},
                 nullptr,
                 [](const Options& o) { return o.list_adapters && o.format == Format::kJson; }},
        ArgsCase{"AdaptersStream", {"--adapters", "--stream"}, "does not go with --stream"},
        ArgsCase{"AdaptersTimeout", {"--adapters", "-t", "10"}, "does not go with --timeout"},
        ArgsCase{"AdaptersTarget", {"--adapters", "-T", "10.0.0.1"}, "does not go with --target"},
        ArgsCase{"DiagnoseJson",
                 {"--diagnose", "-j", "-t", "300"},
                 nullptr,
                 [](const Options& o) { return o.diagnose && o.format == Format::kJson; }},
        ArgsCase{"DiagnoseStream", {"--diagnose", "--stream"}, "does not go with --stream"},
        ArgsCase{"DiagnoseParsable", {"--diagnose", "-p"}, "does not go with --parsable"},
        ArgsCase{"DiagnoseAdapters", {"--adapters", "--diagnose"}, "does not go with --diagnose"},
        ArgsCase{"DiagnoseHasNoShortForm", {"-D"}, "unknown option '-D'"},
        ArgsCase{"FlagWithValue", {"--json=yes"}, "takes no value"},
        ArgsCase{"UnknownOption", {"--jsn"}, "unknown option '--jsn'"},
        ArgsCase{"UnknownShort", {"-x"}, "unknown option '-x'"},
        ArgsCase{"UnknownInBundle", {"-jx"}, "unknown option '-x' in '-jx'"},
        ArgsCase{"UnknownWithEscape", {"--\x1b[2J"}, "unknown option"},
        ArgsCase{"Positional", {"eth0"}, "unexpected argument 'eth0'"},
        ArgsCase{"LoneDash", {"-"}, "unexpected argument '-'"}),
    [](const auto& info) { return std::string(info.param.label); });

struct TargetCase {
    const char* label;
    const char* given;
    const char* address;  // nullptr: refused
    bool subnet;
    const char* why = "";  // part of the refusal
};

void PrintTo(const TargetCase& row, std::ostream* os) {
    *os << row.label;
}

class Targets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Targets, SendsToTheHostOrTheSubnetBroadcast) {
    std::string error;
    const auto target = ParseTarget(GetParam().given, error);
    ASSERT_EQ(target.has_value(), GetParam().address != nullptr) << error;
    if (target) {
        EXPECT_EQ(target->address, GetParam().address);
        EXPECT_EQ(target->subnet, GetParam().subnet);
        EXPECT_EQ(target->given, GetParam().given);
        // The prefix goes with it: a device anywhere in the subnet is reached routed.
        const std::string given = GetParam().given;
        const std::size_t slash = given.find('/');
        EXPECT_EQ(target->prefix_length,
                  slash == std::string::npos ? 32 : std::stoi(given.substr(slash + 1)));
    } else {
        EXPECT_NE(error.find(GetParam().why), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Targets,
    ::testing::Values(
        TargetCase{"Host", "192.168.20.57", "192.168.20.57", false},
        TargetCase{"Subnet24", "192.168.20.0/24", "192.168.20.255", true},
        TargetCase{"HostBitsIgnored", "192.168.20.9/24", "192.168.20.255", true},
        TargetCase{"Subnet8", "10.0.0.0/8", "10.255.255.255", true},
        TargetCase{"Subnet30", "10.1.2.4/30", "10.1.2.7", true},
        TargetCase{"Slash32IsTheHost", "10.1.2.3/32", "10.1.2.3", false},
        TargetCase{"Slash31", "10.1.2.2/31", nullptr, false, "/8 to /30"},
        TargetCase{"TooWide", "10.0.0.0/7", nullptr, false, "/8 to /30"},
        TargetCase{"Loopback", "127.0.0.1", nullptr, false, "loopback"},
        TargetCase{"LoopbackSubnet", "127.0.0.0/8", nullptr, false, "loopback"},
        TargetCase{"Multicast", "234.8.8.8", nullptr, false, "multicast"},
        TargetCase{"MulticastSubnet", "239.1.0.0/16", nullptr, false, "multicast"},
        TargetCase{"LimitedBroadcast", "255.255.255.255", nullptr, false, "broadcast"},
        TargetCase{"Unspecified", "0.0.0.0", nullptr, false, "not an address"},
        TargetCase{"LeadingZeroPrefix", "10.0.0.0/024", nullptr, false, "IPv4 address or a subnet"},
        TargetCase{"PrefixNotNumber", "10.0.0.0/x", nullptr, false, "IPv4 address or a subnet"},
        TargetCase{"Name", "printer.local", nullptr, false, "IPv4 address or a subnet"},
        TargetCase{"Octal", "010.0.0.1", nullptr, false, "IPv4 address or a subnet"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RouteSource, NamesTheAddressTheKernelSendsFrom) {
    std::string error;
    EXPECT_EQ(RouteSource("127.0.0.1", 8888, error), "127.0.0.1") << error;
    EXPECT_EQ(RouteSource("not an address", 8888, error), "");
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orvandel::cli
