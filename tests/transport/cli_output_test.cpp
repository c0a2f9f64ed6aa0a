// The command-line finder's output: names from the network printed as data, the
// table layout, the JSON text, writing it out and the argument rules.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <thread>

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

TEST(FormatJson, EscapesEveryFieldAndListsAll) {
    DeviceInfo device;
    device.device_name = u"say \"hi\"\\\n\x1b\x85";
    device.org = u"a\u2028b\u200Dc";
    device.ip = u"10.0.0.1";
    device.id = u"aa:bb";
    device.dns = std::u16string(1, char16_t(0xdc00));
    const std::string json = FormatJson({device});
    EXPECT_NE(json.find("\"device_name\": \"say \\\"hi\\\"\\\\\\n\\u001b\\u0085\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"dns\": \"\xEF\xBF\xBD\""), std::string::npos);
    // A line separator would end a line in some readers; zero-width text hides.
    EXPECT_NE(json.find("\"org\": \"a\\u2028b\\u200dc\""), std::string::npos) << json;
    for (const char* key :
         {"raw_text", "command", "org", "model", "master_version", "daily", "uboot_version",
          "sub_model", "id", "dhcp", "name", "ip", "mask", "gateway"}) {
        EXPECT_NE(json.find("\"" + std::string(key) + "\": "), std::string::npos) << key;
    }
    for (char c : json) {
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << int(c);
    }
    EXPECT_EQ(FormatJson({}), "[]\n");
}

TEST(FormatJson, MissingMacIsNullAndTheDeviceIsListed) {
    const std::string json =
        FormatJson({Device(u"", u"No MAC", u"10.0.0.5", u""), Device(u"", u"", u"10.0.0.6", u"x")});
    EXPECT_NE(json.find("\"id\": null,\n    \"dhcp\": \"\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"ip\": \"10.0.0.5\""), std::string::npos);
    EXPECT_NE(json.find("\"id\": \"x\""), std::string::npos);
    EXPECT_NE(json.find("\"model\": \"\""), std::string::npos);  // only the MAC turns null
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

struct ArgsCase {
    const char* label;
    std::vector<std::string> args;
    bool valid;
    int timeout_ms;
};

// Names the row in test output.
void PrintTo(const ArgsCase& row, std::ostream* os) {
    *os << row.label;
}

class Arguments : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(Arguments, AcceptsOrRejects) {
    std::string error;
    const auto options = ParseArguments(GetParam().args, error);
    ASSERT_EQ(options.has_value(), GetParam().valid) << error;
    if (options) {
        EXPECT_EQ(options->timeout_ms, GetParam().timeout_ms);
    } else {
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\x1b'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Arguments,
    ::testing::Values(ArgsCase{"None", {}, true, 5000},
                      ArgsCase{"TimeoutSeparate", {"--timeout", "1500", "--json"}, true, 1500},
                      ArgsCase{"TimeoutJoined", {"--timeout=200"}, true, 200},
                      ArgsCase{"TimeoutMissing", {"--timeout"}, false, 0},
                      ArgsCase{"TimeoutZero", {"--timeout", "0"}, false, 0},
                      ArgsCase{"TimeoutNegative", {"--timeout", "-5"}, false, 0},
                      ArgsCase{"TimeoutNotNumber", {"--timeout", "5s"}, false, 0},
                      ArgsCase{"TimeoutHuge", {"--timeout", "99999999999999999999"}, false, 0},
                      ArgsCase{"UnknownOption", {"--jsn"}, false, 0},
                      ArgsCase{"UnknownWithEscape", {"--\x1b[2J"}, false, 0},
                      ArgsCase{"Positional", {"eth0"}, false, 0}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace orvandel::cli
