// Every text of every language, one test row per language and role, plus the
// language switch, the result text and the version text.
#include "localization/ui_strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "build_config.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

using test::ReadBytes;
using test::TempDir;

struct ExpectedTexts {
    const char* name;
    LanguageId id;
    std::u16string_view caption, intro, step1_title, step1_text, step2_title, step2_text;
    std::u16string_view begin_search, search_again, stop;
    std::u16string_view no_internet_title, no_internet_line1, not_found_title, searching_title;
    std::u16string_view menu_language, menu_english, menu_simplified_chinese,
        menu_traditional_chinese, menu_japanese, menu_about;
    std::u16string_view about_caption, version_prefix, info_text, info_link_label, support_text,
        support_link_label, ok_label;
    std::u16string_view result_for_three;
    std::u16string_view product_url, support_url;
};

// clang-format off
const ExpectedTexts kEnglishExpected{
    "English",
    kEnglish,
    u"Orvandel",  // caption
    u"Orvandel helps search and connect to Kestrilon streaming devices under the same local area network. Follow the steps below:",  // intro
    u"Step 1: Turn Device On",  // step1_title
    u"Turn on your Kestrilon streaming device and connect it to a router.",  // step1_text
    u"Step 2: Check Network Status",  // step2_title
    u"Make sure your computer is connected to the same router.",  // step2_text
    u"Begin Search",  // begin_search
    u"Search Again",  // search_again
    u"Stop",  // stop
    u"No internet connection",  // no_internet_title
    u"Make sure your computer is connected to the internet.",  // no_internet_line1
    u"Unable to find the device, make sure you follow the steps below:",  // not_found_title
    u"Searching …",  // searching_title
    u"Language",  // menu_language
    u"English",  // menu_english
    u"简体中文",  // menu_simplified_chinese
    u"繁體中文",  // menu_traditional_chinese
    u"日本語",  // menu_japanese
    u"About Orvandel",  // menu_about
    u"About Orvandel",  // about_caption
    u"Version: ",  // version_prefix
    u"\nFor more information, please visit our website:\n",  // info_text
    u"Quorvel Lite",  // info_link_label
    u"If you have any questions or suggestions, please contact us at:\n",  // support_text
    u"Support",  // support_link_label
    u"OK",  // ok_label
    u"Search results: found 3 devices",  // result for 3
    u"https://www.kestrilon.com/us/products/quorvel/",
    u"https://www.kestrilon.com/us/support/",
};
const ExpectedTexts kTraditionalChineseExpected{
    "TraditionalChinese",
    kTraditionalChinese,
    u"Orvandel",  // caption
    u"Orvandel 主要協助搜尋並連接區域網路內可使用的 Kestrilon 串流裝置。搜尋前請參考以下步驟：",  // intro
    u"步驟一：開啟裝置",  // step1_title
    u"請開啟 Kestrilon 串流裝置並連接網路路由器。",  // step1_text
    u"步驟二：確認網路狀態",  // step2_title
    u"請確認目前使用的電腦所使用的網路訊號來自同一個網路路由器。",  // step2_text
    u"開始搜尋",  // begin_search
    u"重新搜尋",  // search_again
    u"停止",  // stop
    u"無網路連線",  // no_internet_title
    u"請確認目前使用的電腦已連上網路。",  // no_internet_line1
    u"無法找到裝置，請確認以下步驟：",  // not_found_title
    u"搜尋中…",  // searching_title
    u"變更語言",  // menu_language
    u"English",  // menu_english
    u"简体中文",  // menu_simplified_chinese
    u"繁體中文",  // menu_traditional_chinese
    u"日本語",  // menu_japanese
    u"關於 Orvandel",  // menu_about
    u"關於 Orvandel",  // about_caption
    u"版本：",  // version_prefix
    u"\n請至官網了解更多產品資訊：\n",  // info_text
    u"Quorvel Lite",  // info_link_label
    u"如有問題與建議，請聯絡我們。\n",  // support_text
    u"技術諮詢",  // support_link_label
    u"確認",  // ok_label
    u"搜尋結果：共找到3臺裝置",  // result for 3
    u"https://www.kestrilon.com/tw/products/quorvel/",
    u"https://www.kestrilon.com/tw/support/",
};
const ExpectedTexts kSimplifiedChineseExpected{
    "SimplifiedChinese",
    kSimplifiedChinese,
    u"Orvandel",  // caption
    u"Orvandel 主要协助搜寻并连接局域网络内可使用的 Kestrilon 串流装置。搜寻前请参考以下步骤：",  // intro
    u"步骤一：开启装置",  // step1_title
    u"请开启 Kestrilon 串流装置并连接网络路由器。",  // step1_text
    u"步骤二：确认网络状态",  // step2_title
    u"请确认目前使用的计算机所使用的网络讯号来自同一个网络路由器。",  // step2_text
    u"开始搜寻",  // begin_search
    u"重新搜寻",  // search_again
    u"停止",  // stop
    u"无网络联机",  // no_internet_title
    u"请确认目前使用的计算机已连上网络。",  // no_internet_line1
    u"无法找到装置，请确认以下步骤：",  // not_found_title
    u"搜寻中…",  // searching_title
    u"变更语言",  // menu_language
    u"English",  // menu_english
    u"简体中文",  // menu_simplified_chinese
    u"繁體中文",  // menu_traditional_chinese
    u"日本語",  // menu_japanese
    u"关于 Orvandel",  // menu_about
    u"关于 Orvandel",  // about_caption
    u"版本：",  // version_prefix
    u"\n请至官网了解更多产品信息：\n",  // info_text
    u"Quorvel Lite",  // info_link_label
    u"如有问题与建议，请联络我们。\n",  // support_text
    u"技术咨询",  // support_link_label
    u"确认",  // ok_label
    u"搜寻结果：共找到3台装置",  // result for 3
    u"https://www.kestrilon.com/cn/products/quorvel/",
    u"https://www.kestrilon.com/cn/support/",
};
const ExpectedTexts kJapaneseExpected{
    "Japanese",
    kJapanese,
    u"Orvandel",  // caption
    u"Orvandel は、同一 LAN 上にある Kestrilon ストリーミングデバイスを検索して接続するのに便利です。以下の手順を実施します。",  // intro
    u"ステップ1: デバイスの電源を入れる",  // step1_title
    u"Kestrilon ストリーミングデバイスの電源を入れ、ルーターに接続します。",  // step1_text
    u"ステップ2: ネットワークの状態を確認する",  // step2_title
    u"お使いのコンピューターが同じルーターに接続されていることを確認してください。",  // step2_text
    u"検索開始",  // begin_search
    u"再検索",  // search_again
    u"中止",  // stop
    u"インターネット接続なし",  // no_internet_title
    u"お使いのコンピューターがインターネットに接続されていることを確認してください。",  // no_internet_line1
    u"デバイスが見つかりませんでした。以下の手順を確認してください。",  // not_found_title
    u"検索中…",  // searching_title
    u"言語",  // menu_language
    u"English",  // menu_english
    u"简体中文",  // menu_simplified_chinese
    u"繁體中文",  // menu_traditional_chinese
    u"日本語",  // menu_japanese
    u"Orvandel について",  // menu_about
    u"Orvandel について",  // about_caption
    u"バージョン: ",  // version_prefix
    u"\n詳しい情報は、当社ウェブサイトをご覧ください。\n",  // info_text
    u"Quorvel Lite",  // info_link_label
    u"ご質問やご意見はこちらから:\n",  // support_text
    u"問題を報告する",  // support_link_label
    u"OK",  // ok_label
    u"検索結果: 3 個のデバイスが見つかりました",  // result for 3
    u"https://www.kestrilon.com/jp/products/quorvel/",
    u"https://www.kestrilon.com/jp/support/",
};  // clang-format on

const ExpectedTexts* const kLanguages[] = {&kEnglishExpected, &kTraditionalChineseExpected,
                                           &kSimplifiedChineseExpected, &kJapaneseExpected};

constexpr std::u16string_view kLegal =
    u"Copyright \u00A9 2019 Kestrilon Corporation.\nAll rights reserved.";

std::u16string Link(std::u16string_view url, std::u16string_view label) {
    return u"<a href=\"" + std::u16string(url) + u"\">" + std::u16string(label) + u"</a>";
}

std::u16string Join(std::initializer_list<std::u16string_view> parts) {
    std::u16string s;
    for (auto p : parts) {
        s += p;
    }
    return s;
}

struct Role {
    const char* name;
    std::u16string (*actual)(const UiStrings&);
    std::u16string (*expected)(const ExpectedTexts&);
};

#define TEXT_ROLE(member, field)                                                                  \
    Role {                                                                                        \
#member, [](const UiStrings&                                                              \
                        s) { return s.member.text; }, [](const ExpectedTexts&                     \
                                                             e) { return std::u16string(field); } \
    }
#define PLAIN_ROLE(member, field)                                                                 \
    Role {                                                                                        \
#member,                                                                                  \
            [](const UiStrings& s) { return s.member; },                                          \
                                                      [](const ExpectedTexts&                     \
                                                             e) { return std::u16string(field); } \
    }

// The OK label must be the same on all four button images.
std::u16string OkLabel(const UiStrings& s) {
    for (const auto& state : s.AboutOkButton.states) {
        if (state.label != s.AboutOkButton.normal().label) {
            return u"<labels differ between states>";
        }
    }
    return s.AboutOkButton.normal().label;
}

const Role kRoles[] = {
    TEXT_ROLE(MainWindow, e.caption),
    TEXT_ROLE(IntroText, e.intro),
    TEXT_ROLE(Step1Title, e.step1_title),
    TEXT_ROLE(Step1Text, e.step1_text),
    TEXT_ROLE(Step2Title, e.step2_title),
    TEXT_ROLE(Step2Text, e.step2_text),
    PLAIN_ROLE(BeginSearchLabel, e.begin_search),
    PLAIN_ROLE(SearchAgainLabel, e.search_again),
    PLAIN_ROLE(StopLabel, e.stop),
    TEXT_ROLE(NoInternetTitle, e.no_internet_title),
    TEXT_ROLE(NoInternetLine1, e.no_internet_line1),
    TEXT_ROLE(NoInternetLine2, ((void)e, u"")),
    TEXT_ROLE(NotFoundTitle, e.not_found_title),
    TEXT_ROLE(SearchingTitle, e.searching_title),
    TEXT_ROLE(SearchingLine1, ((void)e, u"")),
    TEXT_ROLE(SearchingLine2, ((void)e, u"")),
    TEXT_ROLE(DeviceListArea, ((void)e, u"")),
    TEXT_ROLE(ResultTitle, e.result_for_three),  // after SetResultCount(3)
    PLAIN_ROLE(MenuLanguage, e.menu_language),
    PLAIN_ROLE(MenuEnglish, e.menu_english),
    PLAIN_ROLE(MenuSimplifiedChinese, e.menu_simplified_chinese),
    PLAIN_ROLE(MenuTraditionalChinese, e.menu_traditional_chinese),
    PLAIN_ROLE(MenuJapanese, e.menu_japanese),
    PLAIN_ROLE(MenuAbout, e.menu_about),
    TEXT_ROLE(AboutWindow, e.about_caption),
    TEXT_ROLE(AboutVersionText, Join({e.version_prefix, UiStrings::FileVersionString(), e.info_text,
                                      Link(e.product_url, e.info_link_label)})),
    TEXT_ROLE(AboutSupportText, Join({e.support_text, Link(e.support_url, e.support_link_label)})),
    TEXT_ROLE(AboutLegalText, ((void)e, kLegal)),
    Role{"AboutOkLabel", OkLabel,
         [](const ExpectedTexts& e) { return std::u16string(e.ok_label); }},
};

// Readable row names in test output instead of raw bytes.
void PrintTo(const Role& r, std::ostream* os) {
    *os << r.name;
}
void PrintTo(const ExpectedTexts* e, std::ostream* os) {
    *os << e->name;
}

using TextRow = std::tuple<const ExpectedTexts*, Role>;

class LanguageTexts : public ::testing::TestWithParam<TextRow> {};

TEST_P(LanguageTexts, MatchesTable) {
    const auto& [language, role] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language->id);
    strings.SetResultCount(3);
    EXPECT_EQ(role.actual(strings), role.expected(*language));
}

INSTANTIATE_TEST_SUITE_P(Rows, LanguageTexts,
                         ::testing::Combine(::testing::ValuesIn(kLanguages),
                                            ::testing::ValuesIn(kRoles)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::get<1>(info.param).name;
                         });

// After a second switch nothing of the first language may be left anywhere.
TEST(LanguageSwitch, SimplifiedChineseThenJapaneseLeavesOnlyJapanese) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(kSimplifiedChinese);
    strings.SetLanguage(kJapanese);
    strings.SetResultCount(3);
    for (const Role& role : kRoles) {
        EXPECT_EQ(role.actual(strings), role.expected(kJapaneseExpected)) << role.name;
    }
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), "LANGUAGE\t17\r\n");
}

TEST(LanguageSwitch, FreshObjectIsEnglishAndReadsNoFile) {
    TempDir dir;
    test::WriteBytes(dir / "setting.cfg", "LANGUAGE\t17\r\n");
    UiStrings strings(dir / "setting.cfg");
    EXPECT_EQ(strings.Language(), kEnglish);
    EXPECT_EQ(strings.IntroText.text, kEnglishExpected.intro);
    EXPECT_EQ(strings.ResultTitle.text, u"");
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), "LANGUAGE\t17\r\n");
}

TEST(LanguageSwitch, UnknownIdIsSavedButKeepsTheEnglishSet) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(5);
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), "LANGUAGE\t5\r\n");
    EXPECT_EQ(strings.Language(), 5);
    EXPECT_EQ(strings.IntroText.text, kEnglishExpected.intro);
    EXPECT_EQ(strings.NoInternetTitle.width, 240);
    strings.SetResultCount(2);
    EXPECT_EQ(strings.ResultTitle.text, u"");
    EXPECT_EQ(strings.ResultTitle.width, 296) << "the rectangle stays as built";
}

TEST(LanguageSwitch, UnknownIdAfterJapaneseKeepsJapaneseTexts) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(kJapanese);
    strings.SetLanguage(-9);
    EXPECT_EQ(strings.MenuLanguage, kJapaneseExpected.menu_language);
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), "LANGUAGE\t-9\r\n");
}

TEST(LanguageSwitch, ClearReleasesEverythingAndBuildRefills) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.Clear();
    EXPECT_EQ(strings.IntroText.text, u"");
    EXPECT_EQ(strings.IntroText.width, 0);
    EXPECT_EQ(strings.AppIcon.path, u"");
    EXPECT_EQ(strings.AboutOkButton.normal().label, u"");
    EXPECT_EQ(strings.MenuAbout, u"");
    EXPECT_TRUE(strings.DeviceIconNormal.empty());
    EXPECT_TRUE(strings.DeviceIconDisabled.empty());
    EXPECT_EQ(strings.SearchFramePath(0), u"");
    EXPECT_EQ(strings.Indicator().frame_count, 0);

    strings.BuildLanguage(5);  // not a known language: nothing is built
    EXPECT_EQ(strings.IntroText.text, u"");

    strings.BuildLanguage(kTraditionalChinese);
    EXPECT_EQ(strings.IntroText.text, kTraditionalChineseExpected.intro);
    EXPECT_EQ(strings.DeviceIconNormal.size(), 2u);
    EXPECT_EQ(strings.Language(), kEnglish) << "BuildLanguage does not change the language";
}

struct ResultCase {
    const char* name;
    LanguageId language;
    std::int32_t count;
    std::u16string_view text;
};

void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << c.name;
}

class ResultCount : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultCount, Formats) {
    const ResultCase& c = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(c.language);
    strings.SetResultCount(c.count);
    EXPECT_EQ(strings.ResultTitle.text, c.text);
}

const ResultCase kResultCases[] = {
    {"EnglishOneStaysPlural", kEnglish, 1, u"Search results: found 1 devices"},
    {"JapaneseZero", kJapanese, 0, u"検索結果: 0 個のデバイスが見つかりました"},
    {"TraditionalChineseTwelve", kTraditionalChinese, 12, u"搜尋結果：共找到12臺裝置"},
    {"SimplifiedChineseNegative", kSimplifiedChinese, -1, u"搜寻结果：共找到-1台装置"},
    {"EnglishInt32Min", kEnglish, INT32_MIN, u"Search results: found -2147483648 devices"},
    {"UnknownLanguageEmpty", 1033, 3, u""},
};

INSTANTIATE_TEST_SUITE_P(Rows, ResultCount, ::testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Version, ShowsThreeOfTheFourNumbers) {
    EXPECT_EQ(UiStrings::FormatVersion(2, 10, 345, 6), u"2.10.345");
    EXPECT_EQ(UiStrings::FormatVersion(1, 0, 2, 0), u"1.0.2");
    EXPECT_EQ(UiStrings::FormatVersion(65535, 65535, 65535, 65535), u"65535.65535.65535");
    const std::string built = std::to_string(ORVANDEL_VERSION_MAJOR) + "." +
                              std::to_string(ORVANDEL_VERSION_MINOR) + "." +
                              std::to_string(ORVANDEL_VERSION_PATCH);
    EXPECT_EQ(UiStrings::FileVersionString(), std::u16string(built.begin(), built.end()));
}

// The addresses the About texts link to, in order of appearance.
std::vector<std::u16string> LinkTargets(const std::u16string& text) {
    static constexpr std::u16string_view kOpen = u"<a href=\"";
    std::vector<std::u16string> targets;
    for (std::size_t at = text.find(kOpen); at != std::u16string::npos; at = text.find(kOpen, at)) {
        at += kOpen.size();
        const std::size_t end = text.find(u'"', at);
        if (end == std::u16string::npos)
            break;
        targets.push_back(text.substr(at, end - at));
    }
    return targets;
}

TEST(AboutTexts, LinksPointToTheMakersRegionalPages) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    std::vector<std::u16string> seen;
    for (const ExpectedTexts* e : kLanguages) {
        strings.SetLanguage(e->id);
        const std::vector<std::u16string> product = LinkTargets(strings.AboutVersionText.text);
        const std::vector<std::u16string> support = LinkTargets(strings.AboutSupportText.text);
        ASSERT_EQ(product.size(), 1u) << e->name;
        ASSERT_EQ(support.size(), 1u) << e->name;
        EXPECT_EQ(product[0], e->product_url) << e->name;
        EXPECT_EQ(support[0], e->support_url) << e->name;
        for (const std::u16string& url : {product[0], support[0]}) {
            EXPECT_EQ(url.substr(0, 26), u"https://www.kestrilon.com/") << e->name;
            for (const std::u16string& other : seen) {
                EXPECT_NE(url, other) << e->name << ": each language has its own regional address";
            }
            seen.push_back(url);
        }
    }
}

TEST(AboutTexts, LegalNoticeHasTwoLines) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    const std::u16string& legal = strings.AboutLegalText.text;
    EXPECT_EQ(std::count(legal.begin(), legal.end(), u'\n'), 1);
    EXPECT_NE(legal.find(u"2019"), std::u16string::npos);
    EXPECT_NE(legal.find(u"Kestrilon"), std::u16string::npos);
}

// The tooltips of devices whose page cannot open: in every language present, not
// cut, plain, distinct, and with exactly the placeholders their role is filled with.
struct TipRole {
    const char* name;
    std::u16string UiStrings::*member;
    std::vector<std::u16string_view> placeholders;
};

const TipRole kTipRoles[] = {
    {"TipOtherNetwork", &UiStrings::TipOtherNetwork, {u"{ip}", u"{subnet}", u"{interface}"}},
    {"TipLinkLocal", &UiStrings::TipLinkLocal, {u"{ip}", u"{subnet}", u"{interface}"}},
    {"TipConflictDevices", &UiStrings::TipConflictDevices, {u"{ip}", u"{count}"}},
    {"TipConflictOwnAddress", &UiStrings::TipConflictOwnAddress, {u"{ip}"}},
    {"TipNotedSource", &UiStrings::TipNotedSource, {u"{source}"}},
    {"TipRouted", &UiStrings::TipRouted, {u"{ip}", u"{subnet}", u"{interface}"}},
};

void PrintTo(const TipRole& r, std::ostream* os) {
    *os << r.name;
}

std::size_t Occurrences(std::u16string_view text, std::u16string_view part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::u16string_view::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

using TipRow = std::tuple<const ExpectedTexts*, TipRole>;

class TooltipTexts : public ::testing::TestWithParam<TipRow> {};

TEST_P(TooltipTexts, PlainCompleteAndDistinct) {
    const auto& [language, role] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language->id);
    const std::u16string& text = strings.*role.member;
    ASSERT_FALSE(text.empty());
    EXPECT_LT(text.size(), kTextCapacity) << "a text at the capacity may have been cut";
    for (std::u16string_view p : role.placeholders) {
        EXPECT_EQ(Occurrences(text, p), 1u) << std::string(p.begin(), p.end());
    }
    EXPECT_EQ(Occurrences(text, u"{"), role.placeholders.size()) << "no other placeholder";
    EXPECT_EQ(Occurrences(text, u"}"), role.placeholders.size());
    for (std::u16string_view markup : {u"<", u"&", u"\n", u"\t"}) {
        EXPECT_EQ(Occurrences(text, markup), 0u) << "plain text only";
    }
    for (const TipRole& other : kTipRoles) {
        if (other.member != role.member) {
            EXPECT_NE(text, strings.*other.member) << other.name;
        }
    }
    if (language->id != kEnglish) {
        UiStrings english(dir / "english.cfg");
        EXPECT_NE(text, english.*role.member) << "translated";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, TooltipTexts,
                         ::testing::Combine(::testing::ValuesIn(kLanguages),
                                            ::testing::ValuesIn(kTipRoles)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)->name) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(TooltipTexts, FollowTheLanguageSwitchAndClear) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    const std::u16string english = strings.TipOtherNetwork;
    strings.SetLanguage(kJapanese);
    EXPECT_NE(strings.TipOtherNetwork, english);
    EXPECT_NE(strings.TipOtherNetwork.find(u"コンピューター"), std::u16string::npos);
    strings.SetLanguage(kEnglish);
    EXPECT_EQ(strings.TipOtherNetwork, english);
    EXPECT_EQ(strings.WarningBadge.path, u"img\\finder_win_icon_badge_warning.png");
    strings.Clear();
    for (const TipRole& role : kTipRoles) {
        EXPECT_EQ(strings.*role.member, u"") << role.name;
    }
    EXPECT_EQ(strings.WarningBadge.path, u"");
}

// Accessible names, the row menu and the detail labels: in every language present,
// not cut, plain, distinct within their group and translated (a few technical
// terms read the same everywhere).
struct AddedRole {
    const char* name;
    const char* group;
    const std::u16string& (*get)(const UiStrings&);
    bool same_in_english = false;  // may equal the English text
};

#define ADDED(group, expr, ...)                                                               \
    AddedRole {                                                                               \
#expr, group,                                                                         \
            [](const UiStrings& s) -> const std::u16string& { return s.expr; } __VA_OPT__(, ) \
                                       __VA_ARGS__                                            \
    }

const AddedRole kAddedRoles[] = {
    ADDED("accessible", AccessibleSettings),
    ADDED("accessible", AccessibleNext),
    ADDED("accessible", AccessiblePrevious),
    ADDED("accessible", AccessibleDeviceList),
    ADDED("row menu", MenuOpenDevicePage),
    ADDED("row menu", MenuCopyIp),
    ADDED("row menu", MenuCopyMac),
    ADDED("row menu", MenuCopyDetails),
    ADDED("detail", DetailLabels.name),
    ADDED("detail", DetailLabels.model),
    ADDED("detail", DetailLabels.sub_model),
    ADDED("detail", DetailLabels.firmware),
    ADDED("detail", DetailLabels.daily_build),
    ADDED("detail", DetailLabels.uboot_version),
    ADDED("detail", DetailLabels.ip),
    ADDED("detail", DetailLabels.mac),
    ADDED("detail", DetailLabels.dhcp, true),
    ADDED("detail", DetailLabels.mask),
    ADDED("detail", DetailLabels.gateway),
    ADDED("detail", DetailLabels.dns, true),
    ADDED("separator", DetailLabels.separator, true),
};
#undef ADDED

void PrintTo(const AddedRole& r, std::ostream* os) {
    *os << r.name;
}

using AddedRow = std::tuple<const ExpectedTexts*, AddedRole>;

class AddedTexts : public ::testing::TestWithParam<AddedRow> {};

TEST_P(AddedTexts, PlainCompleteDistinctAndTranslated) {
    const auto& [language, role] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language->id);
    const std::u16string& text = role.get(strings);
    ASSERT_FALSE(text.empty());
    EXPECT_LT(text.size(), kMenuCapacity) << "a text at the capacity may have been cut";
    for (std::u16string_view markup : {u"<", u"&", u"\n", u"\t", u"{"}) {
        EXPECT_EQ(Occurrences(text, markup), 0u) << "plain text only";
    }
    if (std::string_view(role.group) != "separator") {
        EXPECT_NE(text.front(), u' ');
        EXPECT_NE(text.back(), u' ');
    }
    for (const AddedRole& other : kAddedRoles) {
        if (&other.get(strings) != &text && std::string_view(other.group) == role.group) {
            EXPECT_NE(text, other.get(strings)) << other.name;
        }
    }
    if (language->id != kEnglish && !role.same_in_english) {
        UiStrings english(dir / "english.cfg");
        EXPECT_NE(text, role.get(english)) << "translated";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, AddedTexts,
                         ::testing::Combine(::testing::ValuesIn(kLanguages),
                                            ::testing::ValuesIn(kAddedRoles)),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param)->name) + "_" +
                                                std::get<1>(info.param).name;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(AddedTexts, FollowTheLanguageSwitchAndClear) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    EXPECT_EQ(strings.AccessibleSettings, u"Settings");
    EXPECT_EQ(strings.MenuCopyIp, u"Copy IP address");
    EXPECT_EQ(strings.DetailLabels.firmware, u"Firmware");
    strings.SetLanguage(kTraditionalChinese);
    EXPECT_EQ(strings.AccessibleNext, u"下一步");
    EXPECT_EQ(strings.MenuCopyMac, u"複製 MAC 位址");
    EXPECT_EQ(strings.DetailLabels.separator, u"：");
    strings.SetLanguage(kSimplifiedChinese);
    EXPECT_EQ(strings.AccessibleSettings, u"设置");
    EXPECT_EQ(strings.DetailLabels.mask, u"子网掩码");
    strings.SetLanguage(kJapanese);
    EXPECT_EQ(strings.AccessiblePrevious, u"前のステップ");
    EXPECT_EQ(strings.MenuCopyDetails, u"詳細をコピー");
    EXPECT_EQ(strings.DetailLabels.separator, u": ");
    strings.SetLanguage(-9);  // unknown: the Japanese set stays
    EXPECT_EQ(strings.AccessibleDeviceList, u"見つかったデバイス");
    strings.Clear();
    for (const AddedRole& role : kAddedRoles) {
        EXPECT_EQ(role.get(strings), u"") << role.name;
    }
}

}  // namespace
}  // namespace orvandel
