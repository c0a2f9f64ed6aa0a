// A device row's view: which devices get a row, the painted lines and their cuts,
// and that the eye, the screen reader and the clipboard get the same strings.
#include "localization/row_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/collection.h"
#include "localization/device_details.h"
#include "localization/reachability_tip.h"
#include "localization/ui_strings.h"
#include "temp_dir.h"
#include "tests/discovery/device_reply.h"

namespace orvandel {
namespace {

using testing_replies::Reply;

class RowViewTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    UiStrings strings_{dir_ / "setting.cfg"};

    std::vector<RowView> Views(const std::vector<std::string>& replies) {
        std::vector<FoundDevice> found;
        for (DeviceInfo& record : CollectDevices(replies)) {
            found.push_back({std::move(record), {}, {}, {}, {}});
        }
        return MakeRowViews(found, strings_);
    }
    RowView View(const std::string& name, const std::string& ip, const std::string& id,
                 const std::string& model = "TR400") {
        const std::vector<RowView> views = Views({Reply(name, ip, id, model)});
        EXPECT_EQ(views.size(), 1u);
        return views.empty() ? RowView{} : views[0];
    }
};

TEST_F(RowViewTest, OnlyDevicesWithIpAndMacGetARow) {
    const auto views = Views({Reply("no id", "10.0.0.1", ""), Reply("both", "10.0.0.2", "aa"),
                              Reply("third", "10.0.0.3", "bb"), Reply("repeat", "10.0.0.3", "bb")});
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].Line(0), u"both");
    EXPECT_EQ(views[1].Line(0), u"repeat");  // the record stored last
}

TEST_F(RowViewTest, EnglishRow) {
    const RowView view = View("Den \xC3\xA9", "10.0.0.1", "0a:1b:fc:\xC3\xA9", "TR9100");
    EXPECT_EQ(view.IconPath(), strings_.DeviceIconNormal.at(1).path);
    EXPECT_EQ(view.Line(0), u"Den \u00e9");
    EXPECT_EQ(view.Line(1), u"    IP: 10.0.0.1");
    // Upper-casing covers ASCII letters only.
    EXPECT_EQ(view.Line(2), u"    MAC: 0A:1B:FC:\u00e9");
    EXPECT_EQ(view.Address(), u"10.0.0.1");
    EXPECT_EQ(view.AccessibleName(),
              u"Den \u00e9, TR9100, IP address: 10.0.0.1, MAC address: 0A:1B:FC:\u00e9");
    EXPECT_EQ(view.CopyIp(), u"10.0.0.1");
    EXPECT_EQ(view.CopyMac(), u"0A:1B:FC:\u00e9");
    EXPECT_EQ(
        view.Details(),
        u"Name: Den \u00e9\nModel: TR9100\nIP address: 10.0.0.1\nMAC address: 0A:1B:FC:\u00e9");
    EXPECT_EQ(view.Warning(), u"");
    EXPECT_FALSE(view.Badge());
}

// The name a reader announces, the one the details carry and the one painted are
// the same string, whatever the name holds.
TEST_F(RowViewTest, EyeAndReaderGetTheSameName) {
    struct Case {
        const char* why;
        std::string name;
        std::u16string shown;
    };
    const Case cases[] = {
        {"plain", "Studio", u"Studio"},
        {"line breaks and tabs part words", "a\nb\tc\r\nd", u"a b c  d"},
        {"invisible and direction marks vanish",
         "a\xE2\x80\x8B"
         "b\xE2\x80\x8F"
         "c\xE2\x80\xAE"
         "d",
         u"abcd"},
        {"spaces at the ends", "  padded  ", u"padded"},
        {"markup stays characters", "<b>x</b>", u"<b>x</b>"},
        {"long names are cut once", std::string(600, 'n'), std::u16string(128, u'n')},
    };
    for (const Case& c : cases) {
        const RowView view = View(c.name, "10.0.0.1", "aa");
        EXPECT_EQ(view.Line(0), c.shown) << c.why;
        EXPECT_EQ(view.AccessibleName().substr(0, c.shown.size() + 2), c.shown + u", ") << c.why;
        EXPECT_EQ(view.Details().substr(0, 6 + c.shown.size()), u"Name: " + c.shown) << c.why;
    }
}

TEST_F(RowViewTest, AddressLinesAreCutAt63UnitsAndTheClickKeepsTheRecordsIp) {
    const std::string long_text(100, 'f');
    const RowView view = View("x", long_text, long_text);
    EXPECT_EQ(view.Line(1), u"    IP: " + std::u16string(55, u'f'));
    EXPECT_EQ(view.Line(2), u"    MAC: " + std::u16string(54, u'F'));
    EXPECT_EQ(view.Address(), std::u16string(100, u'f'));
}

TEST_F(RowViewTest, NameCutNeverSplitsASurrogatePair) {
    std::string pairs;
    for (int i = 0; i < 100; ++i) {
        pairs += "\xF0\x9F\x93\xBA";  // U+1F4FA, two units
    }
    const RowView view = View(pairs, "10.0.0.1", "aa");
    EXPECT_EQ(view.Line(0).size(), 128u);
    EXPECT_EQ(view.Line(0).back(), u'\xDCFA');
    const std::string one_more = "n" + pairs;  // 201 units: the 65th pair would straddle 128
    EXPECT_EQ(View(one_more, "10.0.0.1", "aa").Line(0).size(), 127u);
}

TEST_F(RowViewTest, WarningFollowsTheVerdictAndTheLanguage) {
    FoundDevice device;
    device.record = CollectDevices({Reply("d", "10.0.0.9", "aa")}).at(0);
    device.verdict.status = ReachStatus::kConflict;
    device.verdict.conflict_count = 2;
    device.verdict.own_address = true;
    for (const LanguageId language : {kEnglish, kJapanese}) {
        strings_.SetLanguage(language);
        const RowView view = MakeRowView(device, strings_);
        EXPECT_TRUE(view.Badge());
        EXPECT_FALSE(view.Warning().empty());
        EXPECT_EQ(view.Warning(), ReachabilityTip(strings_, u"10.0.0.9", device.verdict));
        EXPECT_EQ(view.Details(), DeviceDetailsText(device.record, strings_.DetailLabels));
        // The tooltip's lines are the copied ones, labels held together by joiners.
        std::u16string shown(view.DetailsShown());
        EXPECT_NE(shown.find(u'\u2060'), std::u16string::npos);
        std::erase(shown, u'\u2060');
        EXPECT_EQ(shown, view.Details());
        EXPECT_EQ(view.Details().find(u'\u2060'), std::u16string::npos);
    }
}

// A row put together from its texts gives them back as they were, whatever their
// order of making; equal rows are those with equal texts.
TEST_F(RowViewTest, TextsComeBackAsTheyWereGiven) {
    FoundDevice device;
    device.record = CollectDevices({Reply("d\xF0\x9F\x98\x80", "10.0.0.9", "aa")}).at(0);
    device.verdict.status = ReachStatus::kOtherNetwork;
    const RowView made = MakeRowView(device, strings_);
    const RowTexts texts = made.Texts();
    EXPECT_EQ(texts.lines[0], u"d\U0001F600");
    EXPECT_EQ(texts.address, u"10.0.0.9");
    EXPECT_TRUE(texts.badge);
    EXPECT_EQ(RowView(texts), made);
    RowTexts other = texts;
    other.copy_mac += u'x';
    EXPECT_FALSE(RowView(other) == made);
    other = texts;
    other.badge = false;
    EXPECT_FALSE(RowView(other) == made);
    EXPECT_EQ(RowView().Line(0), u"");
}

struct ModelCase {
    const char* name;
    std::u16string model;
    int index;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << c.name;
}

class ModelIndexCase : public testing::TestWithParam<ModelCase> {};

TEST_P(ModelIndexCase, Icon) {
    EXPECT_EQ(ModelIndex(GetParam().model), GetParam().index);
    test::TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    FoundDevice device;
    device.record.ip = u"10.0.0.1";
    device.record.id = u"aa";
    device.record.model = GetParam().model;
    EXPECT_EQ(MakeRowView(device, strings).IconPath(),
              strings.DeviceIconNormal.at(GetParam().index).path);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelIndexCase,
    testing::Values(ModelCase{"TR400", u"TR400", 0}, ModelCase{"TR9100", u"TR9100", 1},
                    ModelCase{"Empty", u"", 0}, ModelCase{"LeadingT", u"TR", 0},
                    ModelCase{"LeadingTR9", u"TR9", 1}, ModelCase{"TR4000", u"TR4000", 0},
                    ModelCase{"TR91000", u"TR91000", 0}, ModelCase{"LowerCase", u"tr9100", 0},
                    ModelCase{"Unknown", u"X1", 0}),
    [](const testing::TestParamInfo<ModelCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvandel
