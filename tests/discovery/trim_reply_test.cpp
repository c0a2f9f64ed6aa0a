// What the receive side keeps of a datagram.
#include <gtest/gtest.h>

#include <ostream>

#include "discovery/discovery_transport.h"

namespace orvandel {
namespace {

struct TrimCase {
    const char* label;
    std::string datagram;
    std::string kept;
};

// Names the row in test output.
void PrintTo(const TrimCase& row, std::ostream* os) {
    *os << row.label;
}

class TrimRule : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimRule, KeepsUpToLastBraceAndFirstZero) {
    EXPECT_EQ(TrimReply(GetParam().datagram), GetParam().kept);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rows, TrimRule,
    ::testing::Values(
        TrimCase{"NoBraceKeepsNothing", "{\"ip\": \"10.0.0.1\"", ""}, TrimCase{"Empty", "", ""},
        TrimCase{"WholeReply", "{\"ip\": \"10.0.0.1\"}", "{\"ip\": \"10.0.0.1\"}"},
        TrimCase{"BytesAfterLastBraceCut", "{\"a\": 1}\r\n\0garbage"s, "{\"a\": 1}"},
        TrimCase{"TwoTextsBackToBackBothKept", "{\"a\": 1}{\"b\": 2}", "{\"a\": 1}{\"b\": 2}"},
        TrimCase{"FirstByteZeroKeepsNothing", "\0{\"a\": 1}"s, ""},
        TrimCase{"ZeroInMiddleKeepsPartBefore", "{\"a\"\0: 1}"s, "{\"a\""},
        TrimCase{"OnlyClosingBrace", "}", "}"},
        TrimCase{"BraceInsideStringCounts", "{\"n\": \"}x", "{\"n\": \"}"},
        TrimCase{"FullSizeDatagram", std::string(1023, 'x') + "}", std::string(1023, 'x') + "}"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace orvandel
