#include "localization/ui_strings.h"

#include <string>
#include <system_error>

#include "build_config.h"
#include "localization/settings_file.h"
#include "localization/ui_texts.h"
#include "text/utf.h"

namespace orvandel {
namespace {

using text::Cut;

std::u16string Ascii(std::string_view s) {
    return std::u16string(s.begin(), s.end());
}

UiTextElement Text(std::u16string_view text, std::int32_t width, std::int32_t height,
                   std::int32_t left, std::int32_t top, ColorRef color) {
    return UiTextElement{Cut(text, kTextCapacity), width, height, left, top, color};
}

UiTextElement Area(std::int32_t width, std::int32_t height, std::int32_t left, std::int32_t top,
                   ColorRef color) {
    return UiTextElement{{}, width, height, left, top, color};
}

UiImageElement Image(std::u16string_view path, std::int32_t width, std::int32_t height,
                     std::int32_t left, std::int32_t top, std::u16string_view label = {}) {
    return UiImageElement{Cut(path, kPathCapacity),  width, height, left, top,
                          Cut(label, kLabelCapacity)};
}

// The four state files are `head` + state word + `tail`.
UiButtonImages Button(std::u16string_view head, std::u16string_view tail, std::int32_t width,
                      std::int32_t height, std::int32_t left, std::int32_t top,
                      std::u16string_view label = {}) {
    static constexpr std::u16string_view kStates[] = {u"normal", u"mouseover", u"press",
                                                      u"disable"};
    UiButtonImages button;
    for (std::size_t i = 0; i < button.states.size(); ++i) {
        const std::u16string path =
            std::u16string(head) + std::u16string(kStates[i]) + std::u16string(tail);
        button.states[i] = Image(path, width, height, left, top, label);
    }
    return button;
}

std::u16string Link(std::u16string_view url, std::u16string_view label) {
    return u"<a href=\"" + std::u16string(url) + u"\">" + std::u16string(label) + u"</a>";
}

std::u16string FramePath(int index) {
    return u"img\\finder_win_icon_waiting_indicator" + Ascii(std::to_string(index)) + u".png";
}

constexpr ColorRef kTitleColor = 0x3C3C3C;
constexpr ColorRef kBodyColor = 0x1E1E1E;
// The About version text is composed in a buffer of this many units.
constexpr std::size_t kVersionComposeCapacity = 255;

}  // namespace

UiStrings::UiStrings(std::filesystem::path settings_path)
    : m_settings_path(std::move(settings_path)) {
    std::lock_guard lock(m_set_lock);
    BuildLocked(kEnglish);
}

UiStrings::~UiStrings() = default;

void UiStrings::LoadSettings() {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::status(m_settings_path, ec))) {
        SaveLanguage(kEnglish);
    }
    // One byte past the limit tells whether the limit cuts a token.
    const auto bytes = ReadFileBounded(m_settings_path, kMaxSettingsBytes + 1);
    if (!bytes) {
        return;
    }
    if (const auto id = ParseLanguageSetting(*bytes)) {
        m_language = *id;
    }
}

void UiStrings::SaveLanguage(LanguageId id) {
    // A folder the user may not write to leaves the file as it was, silently.
    ReplaceFileContents(m_settings_path, FormatLanguageLine(id));
}

void UiStrings::SetLanguage(LanguageId id) {
    SaveLanguage(id);
    m_language = id;
    if (HasTextSet(id)) {
        // One lock across both steps, so a worker never copies from a half-built set.
        std::lock_guard lock(m_set_lock);
        ClearLocked();
        BuildLocked(id);
    }
}

void UiStrings::Clear() {
    std::lock_guard lock(m_set_lock);
    ClearLocked();
}

void UiStrings::BuildLanguage(LanguageId id) {
    std::lock_guard lock(m_set_lock);
    BuildLocked(id);
}

void UiStrings::ClearLocked() {
    for (UiTextElement* e :
         {&MainWindow,     &HeaderBar,       &AccentLine,      &IntroBand,        &ContentArea,
          &FooterBar,      &IntroText,       &Step1Title,      &Step1Text,        &Step2Title,
          &Step2Text,      &NoInternetTitle, &NoInternetLine1, &NoInternetLine2,  &NotFoundTitle,
          &SearchingTitle, &SearchingLine1,  &SearchingLine2,  &ResultTitle,      &DeviceListArea,
          &AboutWindow,    &AboutTopArea,    &AboutFooterBar,  &AboutVersionText, &AboutSupportText,
          &AboutLegalText}) {
        *e = {};
    }
    for (UiImageElement* e :
         {&HeaderShadow, &AppIcon, &AppName, &MakerLogo, &Step1Diagram, &Step2Diagram,
          &InternetDiagram, &ErrorIcon, &WarningIcon, &OkIcon, &LaunchImage, &WarningBadge}) {
        *e = {};
    }
    PageDot1 = {};
    PageDot2 = {};
    for (UiButtonImages* b : {&SettingButton, &NextButton, &PreviousButton, &SearchButton,
                              &ScrollUpButton, &ScrollDownButton, &AboutOkButton}) {
        *b = {};
    }
    for (std::u16string* s : {&BeginSearchLabel,
                              &SearchAgainLabel,
                              &StopLabel,
                              &MenuLanguage,
                              &MenuEnglish,
                              &MenuSimplifiedChinese,
                              &MenuTraditionalChinese,
                              &MenuJapanese,
                              &MenuAbout,
                              &TipOtherNetwork,
                              &TipLinkLocal,
                              &TipConflictDevices,
                              &TipConflictOwnAddress,
                              &TipNotedSource,
                              &TipRouted,
                              &AccessibleSettings,
                              &AccessibleNext,
                              &AccessiblePrevious,
                              &AccessibleDeviceList,
                              &TipSettings,
                              &DiagnosisNoCause,
                              &DiagnosisChecked,
                              &MenuOpenDevicePage,
                              &MenuCopyIp,
                              &MenuCopyMac,
                              &MenuCopyDetails}) {
        s->clear();
        s->shrink_to_fit();
    }
    DetailLabels = {};
    Diagnosis = {};
    IndicatorFrameCount = 0;
    SearchDuration = 0;
    IndicatorInterval = 0;
    SearchIndicator = {};
    LaunchIndicator = {};
    DeviceIconNormal.clear();
    DeviceIconDisabled.clear();
}

void UiStrings::BuildLocked(LanguageId id) {
    const LanguageTexts* t = TextsFor(id);
    if (t == nullptr) {
        return;
    }
    const bool english = id == kEnglish;
    const std::int32_t status_title_width = english ? 240 : 296;

    // Main window: texts and areas.
    MainWindow = Text(t->caption, 320, 460, 0, 0, 0);
    HeaderBar = Area(320, 62, 0, 0, 0x202020);
    AccentLine = Area(320, 4, 0, 62, 0x0079F2);
    IntroBand = Area(320, 64, 0, 66, 0xE6E6E6);
    ContentArea = Area(320, 280, 0, 140, 0xFFFFFF);
    FooterBar = Area(320, 50, 0, 410, 0x191919);
    IntroText = Text(t->intro, 296, 58, 12, 70, kTitleColor);
    Step1Title = Text(t->step1_title, 296, 17, 12, 143, kBodyColor);
    Step1Text = Text(t->step1_text, 296, 48, 12, 163, kBodyColor);
    Step2Title = Text(t->step2_title, 296, 17, 12, 143, kBodyColor);
    Step2Text = Text(t->step2_text, 296, 48, 12, 163, kBodyColor);

    // Main window: images.
    HeaderShadow = Image(u"img\\finder_win_bg_shadow.png", 320, 10, 0, 130);
    AppIcon = Image(u"img\\finder_win_icon_apicon.png", 45, 45, 12, 10);
    AppName = Image(u"img\\finder_win_icon_apname.png", 200, 36, 67, 13);
    MakerLogo = Image(u"img\\finder_win_icon_logo.png", 82, 14, 15, 430);
    Step1Diagram = Image(u"img\\finder_win_diagram_diagram1.png", 264, 170, 28, 214);
    Step2Diagram = Image(u"img\\finder_win_diagram_diagram2.png", 264, 170, 28, 214);
    InternetDiagram = Image(u"img\\finder_win_diagram_internet.png", 264, 170, 28, 214);
    SettingButton = Button(u"img\\finder_win_btn_setting_", u".png", 36, 36, 272, 13);
    NextButton = Button(u"img\\finder_win_btn_next_", u".png", 25, 40, 292, 281);
    PreviousButton = Button(u"img\\finder_win_btn_previous_", u".png", 25, 40, 3, 281);

    // Search button: the label is drawn by the button, not carried by its images.
    SearchButton = Button(u"img\\finder_win_btn_commbutton_", u"_resize.png", 100, 30, 208, 420);
    BeginSearchLabel = Cut(t->begin_search, kLabelCapacity);
    SearchAgainLabel = Cut(t->search_again, kLabelCapacity);
    StopLabel = Cut(t->stop, kLabelCapacity);

    // Page dots.
    PageDot1 = {Image(u"img\\finder_win_icon_dot_normal.png", 10, 10, 147, 389),
                Image(u"img\\finder_win_icon_dot_focus.png", 10, 10, 147, 389)};
    PageDot2 = {Image(u"img\\finder_win_icon_dot_normal.png", 10, 10, 163, 389),
                Image(u"img\\finder_win_icon_dot_focus.png", 10, 10, 163, 389)};

    // Status icons and texts.
    ErrorIcon = Image(u"img\\finder_win_icon_error.png", 41, 41, 17, 77);
    WarningIcon = Image(u"img\\finder_win_icon_warning.png", 41, 41, 17, 77);
    OkIcon = Image(u"img\\finder_win_icon_ok.png", 41, 41, 17, 77);
    NoInternetTitle = Text(t->no_internet_title, status_title_width, 58, 68, 70, kTitleColor);
    NoInternetLine1 = Text(t->no_internet_line1, 296, 17, 12, 143, kBodyColor);
    NoInternetLine2 = Text({}, 296, 48, 12, 163, kBodyColor);
    NotFoundTitle = Text(t->not_found_title, status_title_width, 58, 68, 70, kTitleColor);

    // Waiting indicator: numbers, then the frames both animations share.
    IndicatorFrameCount = kMaxIndicatorFrames;
    SearchDuration = 5000;
    IndicatorInterval = 175;
    for (int i = 0; i < IndicatorFrameCount; ++i) {
        const std::u16string path = FramePath(i);
        SearchIndicator[static_cast<std::size_t>(i)] = Image(path, 41, 41, 17, 77);
        LaunchIndicator[static_cast<std::size_t>(i)] = Image(path, 41, 41, 140, 320);
    }
    LaunchImage = Image(u"img\\finder_win_startup_image_launch.png", 320, 230, 0, 60);

    // Searching and result texts.
    SearchingTitle = Text(t->searching_title, status_title_width, 58, 68, 70, kTitleColor);
    SearchingLine1 = Text({}, 0, 0, 0, 0, 0);
    SearchingLine2 = Text({}, 0, 0, 0, 0, 0);
    ResultTitle = Text({}, 296, 58, 68, 70, kTitleColor);
    DeviceListArea = Text({}, 320, 270, 0, 135, 0);

    // Device icons by model index: 0 TR400, 1 TR9100.
    DeviceIconNormal.clear();
    DeviceIconDisabled.clear();
    DeviceIconNormal[0] = Image(u"img\\finder_win_icon_device_tr400_normal.png", 68, 44, 0, 0);
    DeviceIconNormal[1] = Image(u"img\\finder_win_icon_device_tr9100_normal.png", 68, 44, 0, 0);
    DeviceIconDisabled[0] = Image(u"img\\finder_win_icon_device_tr400_disable.png", 68, 44, 0, 0);
    DeviceIconDisabled[1] = Image(u"img\\finder_win_icon_device_tr9100_disable.png", 68, 44, 0, 0);

    // Reachability: a 16 x 16 badge on the lower right of the 68 x 44 icon, over
    // the corner of both models' drawings, and the tooltips.
    WarningBadge = Image(u"img\\finder_win_icon_badge_warning.png", 16, 16, 46, 26);
    TipOtherNetwork = Cut(t->tip_other_network, kTextCapacity);
    TipLinkLocal = Cut(t->tip_link_local, kTextCapacity);
    TipConflictDevices = Cut(t->tip_conflict_devices, kTextCapacity);
    TipConflictOwnAddress = Cut(t->tip_conflict_own, kTextCapacity);
    TipNotedSource = Cut(t->tip_noted_source, kTextCapacity);
    TipRouted = Cut(t->tip_routed, kTextCapacity);

    ScrollUpButton = Button(u"img\\finder_win_btn_scrollup_", u".png", 13, 13, 307, 130);
    ScrollDownButton = Button(u"img\\finder_win_btn_scrolldown_", u".png", 13, 13, 307, 397);

    Diagnosis = BuildDiagnosisStrings(id);

    // Menu.
    MenuLanguage = Cut(t->menu_language, kMenuCapacity);
    MenuEnglish = Cut(t->menu_english, kMenuCapacity);
    MenuSimplifiedChinese = Cut(t->menu_simplified_chinese, kMenuCapacity);
    MenuTraditionalChinese = Cut(t->menu_traditional_chinese, kMenuCapacity);
    MenuJapanese = Cut(t->menu_japanese, kMenuCapacity);
    MenuAbout = Cut(t->menu_about, kMenuCapacity);

    // Accessible names, the row menu and the detail labels.
    AccessibleSettings = Cut(t->accessible_settings, kMenuCapacity);
    AccessibleNext = Cut(t->accessible_next, kMenuCapacity);
    AccessiblePrevious = Cut(t->accessible_previous, kMenuCapacity);
    AccessibleDeviceList = Cut(t->accessible_device_list, kMenuCapacity);
    TipSettings = Cut(t->tip_settings, kMenuCapacity);
    DiagnosisNoCause = std::u16string(t->diagnosis_no_cause);
    DiagnosisChecked = std::u16string(t->diagnosis_checked);
    MenuOpenDevicePage = Cut(t->menu_open_device_page, kMenuCapacity);
    MenuCopyIp = Cut(t->menu_copy_ip, kMenuCapacity);
    MenuCopyMac = Cut(t->menu_copy_mac, kMenuCapacity);
    MenuCopyDetails = Cut(t->menu_copy_details, kMenuCapacity);
    DetailLabels = DeviceDetailLabels{
        .separator = Cut(t->detail_separator, kMenuCapacity),
        .name = Cut(t->detail_name, kMenuCapacity),
        .model = Cut(t->detail_model, kMenuCapacity),
        .sub_model = Cut(t->detail_sub_model, kMenuCapacity),
        .firmware = Cut(t->detail_firmware, kMenuCapacity),
        .daily_build = Cut(t->detail_daily_build, kMenuCapacity),
        .uboot_version = Cut(t->detail_uboot_version, kMenuCapacity),
        .ip = Cut(t->detail_ip, kMenuCapacity),
        .mac = Cut(t->detail_mac, kMenuCapacity),
        .dhcp = Cut(t->detail_dhcp, kMenuCapacity),
        .mask = Cut(t->detail_mask, kMenuCapacity),
        .gateway = Cut(t->detail_gateway, kMenuCapacity),
        .dns = Cut(t->detail_dns, kMenuCapacity),
    };

    // About dialog; the footer and the OK button follow the dialog's size.
    AboutWindow = Text(t->about_caption, 300, 225, 0, 0, 0);
    AboutTopArea = Area(300, 140, 0, 0, 0xFFFFFF);
    AboutFooterBar = Area(300, 50, 0, AboutWindow.height - 50, 0x191919);
    const std::u16string version =
        Cut(std::u16string(t->version_prefix) + FileVersionString() + std::u16string(t->info_text) +
                Link(t->product_url, t->info_link_label),
            kVersionComposeCapacity);
    AboutVersionText = Text(version, 260, 42, 20, 20, kBodyColor);
    AboutSupportText =
        Text(std::u16string(t->support_text) + Link(t->support_url, t->support_link_label), 260,
             english ? 42 : 28, 20, english ? 70 : 77, kBodyColor);
    AboutLegalText = Text(kLegalNotice, 260, 28, 20, 120, kBodyColor);
    AboutOkButton = Button(u"img\\finder_win_btn_commbutton_", u".png", 41, 30,
                           AboutWindow.width - 53, AboutWindow.height - 40, t->ok_label);
}

void UiStrings::SetResultCount(std::int32_t count) {
    std::u16string text;
    if (const LanguageTexts* t = TextsFor(m_language)) {
        text = std::u16string(t->result_prefix) + Ascii(std::to_string(count)) +
               std::u16string(t->result_suffix);
    }
    std::lock_guard lock(m_set_lock);
    ResultTitle.text = Cut(text, kResultCapacity);
}

std::u16string UiStrings::FileVersionString() {
    return FormatVersion(ORVANDEL_VERSION_MAJOR, ORVANDEL_VERSION_MINOR, ORVANDEL_VERSION_PATCH,
                         ORVANDEL_VERSION_TWEAK);
}

std::u16string UiStrings::FormatVersion(std::uint32_t major, std::uint32_t minor,
                                        std::uint32_t patch, std::uint32_t /*tweak*/) {
    // The fourth number is a build counter and is not shown.
    return Ascii(std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch));
}

std::u16string UiStrings::SearchFramePath(int index) const {
    std::lock_guard lock(m_set_lock);
    if (index < 0 || index >= IndicatorFrameCount || index >= kMaxIndicatorFrames) {
        return {};
    }
    return SearchIndicator[static_cast<std::size_t>(index)].path;
}

std::u16string UiStrings::LaunchFramePath(int index) const {
    std::lock_guard lock(m_set_lock);
    if (index < 0 || index >= IndicatorFrameCount || index >= kMaxIndicatorFrames) {
        return {};
    }
    return LaunchIndicator[static_cast<std::size_t>(index)].path;
}

IndicatorNumbers UiStrings::Indicator() const {
    std::lock_guard lock(m_set_lock);
    return IndicatorNumbers{IndicatorFrameCount, SearchDuration, IndicatorInterval};
}

}  // namespace orvandel
