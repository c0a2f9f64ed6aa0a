// The skin layout: every rectangle, colour and image path, per language where the
// layout differs, and the waiting-indicator frames and device icons.
#include <gtest/gtest.h>

#include <string>

#include "localization/ui_strings.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

using test::TempDir;

const LanguageId kAllLanguages[] = {kEnglish, kTraditionalChinese, kSimplifiedChinese, kJapanese};

std::string LanguageName(LanguageId id) {
    switch (id) {
        case kEnglish:
            return "English";
        case kTraditionalChinese:
            return "TraditionalChinese";
        case kSimplifiedChinese:
            return "SimplifiedChinese";
        default:
            return "Japanese";
    }
}

struct TextLayout {
    const char* name;
    UiTextElement UiStrings::*member;
    std::int32_t width, height, left, top;
    ColorRef color;
    std::int32_t other_width, other_top;  // the three values that differ outside English
};

// clang-format off
const TextLayout kTextLayouts[] = {
    {"MainWindow", &UiStrings::MainWindow, 320, 460, 0, 0, 0, 320, 0},
    {"HeaderBar", &UiStrings::HeaderBar, 320, 62, 0, 0, 0x202020, 320, 0},
    {"AccentLine", &UiStrings::AccentLine, 320, 4, 0, 62, 0x0079F2, 320, 62},
    {"IntroBand", &UiStrings::IntroBand, 320, 64, 0, 66, 0xE6E6E6, 320, 66},
    {"ContentArea", &UiStrings::ContentArea, 320, 280, 0, 140, 0xFFFFFF, 320, 140},
    {"FooterBar", &UiStrings::FooterBar, 320, 50, 0, 410, 0x191919, 320, 410},
    {"IntroText", &UiStrings::IntroText, 296, 58, 12, 70, 0x3C3C3C, 296, 70},
    {"Step1Title", &UiStrings::Step1Title, 296, 17, 12, 143, 0x1E1E1E, 296, 143},
    {"Step2Title", &UiStrings::Step2Title, 296, 17, 12, 143, 0x1E1E1E, 296, 143},
    {"Step1Text", &UiStrings::Step1Text, 296, 48, 12, 163, 0x1E1E1E, 296, 163},
    {"Step2Text", &UiStrings::Step2Text, 296, 48, 12, 163, 0x1E1E1E, 296, 163},
    {"NoInternetTitle", &UiStrings::NoInternetTitle, 240, 58, 68, 70, 0x3C3C3C, 296, 70},
    {"NoInternetLine1", &UiStrings::NoInternetLine1, 296, 17, 12, 143, 0x1E1E1E, 296, 143},
    {"NoInternetLine2", &UiStrings::NoInternetLine2, 296, 48, 12, 163, 0x1E1E1E, 296, 163},
    {"NotFoundTitle", &UiStrings::NotFoundTitle, 240, 58, 68, 70, 0x3C3C3C, 296, 70},
    {"SearchingTitle", &UiStrings::SearchingTitle, 240, 58, 68, 70, 0x3C3C3C, 296, 70},
    {"SearchingLine1", &UiStrings::SearchingLine1, 0, 0, 0, 0, 0, 0, 0},
    {"SearchingLine2", &UiStrings::SearchingLine2, 0, 0, 0, 0, 0, 0, 0},
    {"ResultTitle", &UiStrings::ResultTitle, 296, 58, 68, 70, 0x3C3C3C, 296, 70},
    {"DeviceListArea", &UiStrings::DeviceListArea, 320, 270, 0, 135, 0, 320, 135},
    {"AboutWindow", &UiStrings::AboutWindow, 300, 225, 0, 0, 0, 300, 0},
    {"AboutTopArea", &UiStrings::AboutTopArea, 300, 140, 0, 0, 0xFFFFFF, 300, 0},
    {"AboutFooterBar", &UiStrings::AboutFooterBar, 300, 50, 0, 175, 0x191919, 300, 175},
    {"AboutVersionText", &UiStrings::AboutVersionText, 260, 42, 20, 20, 0x1E1E1E, 260, 20},
    {"AboutSupportText", &UiStrings::AboutSupportText, 260, 42, 20, 70, 0x1E1E1E, 260, 77},
    {"AboutLegalText", &UiStrings::AboutLegalText, 260, 28, 20, 120, 0x1E1E1E, 260, 120},
};
// clang-format on

void PrintTo(const TextLayout& r, std::ostream* os) {
    *os << r.name;
}

class TextLayoutRow : public ::testing::TestWithParam<std::tuple<LanguageId, TextLayout>> {};

TEST_P(TextLayoutRow, RectangleAndColour) {
    const auto& [language, row] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language);
    const UiTextElement& e = strings.*row.member;
    const bool english = language == kEnglish;
    EXPECT_EQ(e.width, english ? row.width : row.other_width);
    EXPECT_EQ(e.top, english ? row.top : row.other_top);
    EXPECT_EQ(e.left, row.left);
    // Only AboutSupportText changes height: 42 in English, 28 elsewhere.
    const bool support = row.member == &UiStrings::AboutSupportText;
    EXPECT_EQ(e.height, support && !english ? 28 : row.height);
    EXPECT_EQ(e.color, row.color);
}

INSTANTIATE_TEST_SUITE_P(Rows, TextLayoutRow,
                         ::testing::Combine(::testing::ValuesIn(kAllLanguages),
                                            ::testing::ValuesIn(kTextLayouts)),
                         [](const auto& info) {
                             return LanguageName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

struct ImageLayout {
    const char* name;
    const UiImageElement& (*get)(const UiStrings&);
    std::u16string_view path;
    std::int32_t width, height, left, top;
};

#define IMAGE(expr) [](const UiStrings& s) -> const UiImageElement& { return s.expr; }

// clang-format off
const ImageLayout kImageLayouts[] = {
    {"HeaderShadow", IMAGE(HeaderShadow), u"img\\finder_win_bg_shadow.png", 320, 10, 0, 130},
    {"AppIcon", IMAGE(AppIcon), u"img\\finder_win_icon_apicon.png", 45, 45, 12, 10},
    {"AppName", IMAGE(AppName), u"img\\finder_win_icon_apname.png", 200, 36, 67, 13},
    {"MakerLogo", IMAGE(MakerLogo), u"img\\finder_win_icon_logo.png", 82, 14, 15, 430},
    {"Step1Diagram", IMAGE(Step1Diagram), u"img\\finder_win_diagram_diagram1.png", 264, 170, 28, 214},
    {"Step2Diagram", IMAGE(Step2Diagram), u"img\\finder_win_diagram_diagram2.png", 264, 170, 28, 214},
    {"InternetDiagram", IMAGE(InternetDiagram), u"img\\finder_win_diagram_internet.png", 264, 170, 28, 214},
    {"PageDot1normal", IMAGE(PageDot1.normal), u"img\\finder_win_icon_dot_normal.png", 10, 10, 147, 389},
    {"PageDot1focus", IMAGE(PageDot1.focus), u"img\\finder_win_icon_dot_focus.png", 10, 10, 147, 389},
    {"PageDot2normal", IMAGE(PageDot2.normal), u"img\\finder_win_icon_dot_normal.png", 10, 10, 163, 389},
    {"PageDot2focus", IMAGE(PageDot2.focus), u"img\\finder_win_icon_dot_focus.png", 10, 10, 163, 389},
    {"ErrorIcon", IMAGE(ErrorIcon), u"img\\finder_win_icon_error.png", 41, 41, 17, 77},
    {"WarningIcon", IMAGE(WarningIcon), u"img\\finder_win_icon_warning.png", 41, 41, 17, 77},
    {"OkIcon", IMAGE(OkIcon), u"img\\finder_win_icon_ok.png", 41, 41, 17, 77},
    {"LaunchImage", IMAGE(LaunchImage), u"img\\finder_win_startup_image_launch.png", 320, 230, 0, 60},
};
// clang-format on

void PrintTo(const ImageLayout& r, std::ostream* os) {
    *os << r.name;
}

class ImageLayoutRow : public ::testing::TestWithParam<std::tuple<LanguageId, ImageLayout>> {};

TEST_P(ImageLayoutRow, PathAndRectangle) {
    const auto& [language, row] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language);
    const UiImageElement& e = row.get(strings);
    EXPECT_EQ(e.path, row.path);
    EXPECT_EQ(e.width, row.width);
    EXPECT_EQ(e.height, row.height);
    EXPECT_EQ(e.left, row.left);
    EXPECT_EQ(e.top, row.top);
    EXPECT_EQ(e.label, u"");
}

INSTANTIATE_TEST_SUITE_P(Rows, ImageLayoutRow,
                         ::testing::Combine(::testing::ValuesIn(kAllLanguages),
                                            ::testing::ValuesIn(kImageLayouts)),
                         [](const auto& info) {
                             return LanguageName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

struct ButtonLayout {
    const char* name;
    UiButtonImages UiStrings::*member;
    std::u16string_view normal_path;
    std::int32_t width, height, left, top;
};

// clang-format off
const ButtonLayout kButtonLayouts[] = {
    {"SettingButton", &UiStrings::SettingButton, u"img\\finder_win_btn_setting_normal.png", 36, 36, 272, 13},
    {"NextButton", &UiStrings::NextButton, u"img\\finder_win_btn_next_normal.png", 25, 40, 292, 281},
    {"PreviousButton", &UiStrings::PreviousButton, u"img\\finder_win_btn_previous_normal.png", 25, 40, 3, 281},
    {"SearchButton", &UiStrings::SearchButton, u"img\\finder_win_btn_commbutton_normal_resize.png", 100, 30, 208, 420},
    {"ScrollUpButton", &UiStrings::ScrollUpButton, u"img\\finder_win_btn_scrollup_normal.png", 13, 13, 307, 130},
    {"ScrollDownButton", &UiStrings::ScrollDownButton, u"img\\finder_win_btn_scrolldown_normal.png", 13, 13, 307, 397},
    {"AboutOkButton", &UiStrings::AboutOkButton, u"img\\finder_win_btn_commbutton_normal.png", 41, 30, 247, 185},
};
// clang-format on

void PrintTo(const ButtonLayout& r, std::ostream* os) {
    *os << r.name;
}

class ButtonLayoutRow : public ::testing::TestWithParam<std::tuple<LanguageId, ButtonLayout>> {};

// The four state files differ from the normal one only in the state word.
TEST_P(ButtonLayoutRow, FourStatesShareOneRectangle) {
    const auto& [language, row] = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(language);
    const UiButtonImages& button = strings.*row.member;
    const std::u16string_view words[] = {u"normal", u"mouseover", u"press", u"disable"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::u16string expected(row.normal_path);
        expected.replace(expected.find(u"normal"), 6, words[i]);
        const UiImageElement& e = button.states[i];
        EXPECT_EQ(e.path, expected);
        EXPECT_EQ(e.width, row.width);
        EXPECT_EQ(e.height, row.height);
        EXPECT_EQ(e.left, row.left);
        EXPECT_EQ(e.top, row.top);
        if (row.member != &UiStrings::AboutOkButton) {
            EXPECT_EQ(e.label, u"") << "only the About OK button carries a label";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ButtonLayoutRow,
                         ::testing::Combine(::testing::ValuesIn(kAllLanguages),
                                            ::testing::ValuesIn(kButtonLayouts)),
                         [](const auto& info) {
                             return LanguageName(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).name;
                         });

TEST(Layout, JapaneseThenBackToEnglish) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(kJapanese);
    EXPECT_EQ(strings.NoInternetTitle.width, 296);
    EXPECT_EQ(strings.AboutSupportText.height, 28);
    EXPECT_EQ(strings.AboutSupportText.top, 77);

    strings.SetLanguage(kEnglish);
    EXPECT_EQ(strings.NoInternetTitle.width, 240);
    EXPECT_EQ(strings.AboutSupportText.height, 42);
    EXPECT_EQ(strings.AboutSupportText.top, 70);
}

TEST(Layout, IndicatorFramesInOrder) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    const IndicatorNumbers n = strings.Indicator();
    EXPECT_EQ(n.frame_count, 12);
    EXPECT_EQ(n.search_duration_ms, 5000);
    EXPECT_EQ(n.interval_ms, 175);
    for (int i = 0; i < 12; ++i) {
        const std::string name =
            "img\\finder_win_icon_waiting_indicator" + std::to_string(i) + ".png";
        const std::u16string expected(name.begin(), name.end());
        const auto& search = strings.SearchIndicator[static_cast<std::size_t>(i)];
        const auto& launch = strings.LaunchIndicator[static_cast<std::size_t>(i)];
        EXPECT_EQ(strings.SearchFramePath(i), expected);
        EXPECT_EQ(strings.LaunchFramePath(i), expected);
        EXPECT_EQ(search.path, expected);
        EXPECT_EQ(launch.path, expected);
        EXPECT_EQ((std::array{search.width, search.height, search.left, search.top}),
                  (std::array{41, 41, 17, 77}));
        EXPECT_EQ((std::array{launch.width, launch.height, launch.left, launch.top}),
                  (std::array{41, 41, 140, 320}));
    }
    for (int bad : {-1, 12, 1000}) {
        EXPECT_EQ(strings.SearchFramePath(bad), u"") << bad;
        EXPECT_EQ(strings.LaunchFramePath(bad), u"") << bad;
    }
}

TEST(Layout, DeviceIconsByModelIndex) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    const struct {
        const std::unordered_map<std::int32_t, UiImageElement>& map;
        std::int32_t key;
        std::u16string_view path;
    } rows[] = {
        {strings.DeviceIconNormal, 0, u"img\\finder_win_icon_device_tr400_normal.png"},
        {strings.DeviceIconNormal, 1, u"img\\finder_win_icon_device_tr9100_normal.png"},
        {strings.DeviceIconDisabled, 0, u"img\\finder_win_icon_device_tr400_disable.png"},
        {strings.DeviceIconDisabled, 1, u"img\\finder_win_icon_device_tr9100_disable.png"},
    };
    EXPECT_EQ(strings.DeviceIconNormal.size(), 2u);
    EXPECT_EQ(strings.DeviceIconDisabled.size(), 2u);
    for (const auto& row : rows) {
        const auto it = row.map.find(row.key);
        ASSERT_NE(it, row.map.end()) << row.key;
        EXPECT_EQ(it->second.path, row.path);
        EXPECT_EQ(
            (std::array{it->second.width, it->second.height, it->second.left, it->second.top}),
            (std::array{68, 44, 0, 0}));
    }
}

TEST(Layout, AboutOkButtonFollowsTheDialogSize) {
    for (LanguageId language : kAllLanguages) {
        TempDir dir;
        UiStrings strings(dir / "setting.cfg");
        strings.SetLanguage(language);
        EXPECT_EQ(strings.AboutOkButton.normal().left, strings.AboutWindow.width - 53);
        EXPECT_EQ(strings.AboutOkButton.normal().top, strings.AboutWindow.height - 40);
        EXPECT_EQ(strings.AboutFooterBar.top, strings.AboutWindow.height - 50);
        EXPECT_EQ(strings.AboutOkButton.normal().left, 247);
        EXPECT_EQ(strings.AboutOkButton.normal().top, 185);
    }
}

}  // namespace
}  // namespace orvandel
