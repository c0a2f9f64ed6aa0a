// UiStrings: every text, rectangle, colour and skin image path that the windows
// show, for the current language, plus that language and the settings file.
//
// Each window owns one. It is built, switched and read on the UI thread; worker
// threads read indicator frame paths and numbers only through the copying
// accessors below, which are safe against a language switch running meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_map>

#include "localization/device_details.h"
#include "localization/diagnosis_text.h"
#include "localization/language.h"
#include "localization/ui_elements.h"

namespace orvandel {

inline constexpr int kMaxIndicatorFrames = 12;

// Buffer capacities in UTF-16 units (without terminator); longer texts are cut.
inline constexpr std::size_t kTextCapacity = 256;
inline constexpr std::size_t kPathCapacity = 260;
inline constexpr std::size_t kLabelCapacity = 16;
inline constexpr std::size_t kMenuCapacity = 63;
inline constexpr std::size_t kResultCapacity = 128;

struct IndicatorNumbers {
    int frame_count = 0;
    int search_duration_ms = 0;
    int interval_ms = 0;
};

class UiStrings {
public:
    // Builds the English set; reads no file. `settings_path` is "setting.cfg" in
    // the working directory unless a test points it elsewhere.
    explicit UiStrings(std::filesystem::path settings_path = "setting.cfg");
    ~UiStrings();
    UiStrings(const UiStrings&) = delete;
    UiStrings& operator=(const UiStrings&) = delete;

    // Settings file.
    void LoadSettings();
    void SaveLanguage(LanguageId id);

    // Saves `id`, makes it current, and rebuilds the set for the four known ids.
    void SetLanguage(LanguageId id);
    LanguageId Language() const { return m_language; }

    // Releases every text, path, record and map entry of the current set.
    void Clear();
    // Fills the whole set for one of the four known ids (replacing what is there);
    // does nothing for any other id.
    void BuildLanguage(LanguageId id);

    void SetResultCount(std::int32_t count);

    // "major.minor.patch" of the compiled-in version.
    static std::u16string FileVersionString();
    static std::u16string FormatVersion(std::uint32_t major, std::uint32_t minor,
                                        std::uint32_t patch, std::uint32_t tweak);

    // Thread-safe copies for worker threads (empty when the index is out of range).
    std::u16string SearchFramePath(int index) const;
    std::u16string LaunchFramePath(int index) const;
    IndicatorNumbers Indicator() const;

    // --- Main window: texts and coloured areas.
    UiTextElement MainWindow, HeaderBar, AccentLine, IntroBand, ContentArea, FooterBar;
    UiTextElement IntroText, Step1Title, Step1Text, Step2Title, Step2Text;
    UiTextElement NoInternetTitle, NoInternetLine1, NoInternetLine2;
    UiTextElement NotFoundTitle, SearchingTitle, SearchingLine1, SearchingLine2;
    UiTextElement ResultTitle, DeviceListArea;

    // --- Main window: images.
    UiImageElement HeaderShadow, AppIcon, AppName, MakerLogo;
    UiImageElement Step1Diagram, Step2Diagram, InternetDiagram;
    UiDotImages PageDot1, PageDot2;
    UiImageElement ErrorIcon, WarningIcon, OkIcon, LaunchImage;

    // --- Buttons.
    UiButtonImages SettingButton, NextButton, PreviousButton, SearchButton;
    UiButtonImages ScrollUpButton, ScrollDownButton;
    std::u16string BeginSearchLabel, SearchAgainLabel, StopLabel;

    // --- Waiting indicator (read by worker threads through the accessors above).
    int IndicatorFrameCount = 0;
    int SearchDuration = 0;     // ms
    int IndicatorInterval = 0;  // ms
    std::array<UiImageElement, kMaxIndicatorFrames> SearchIndicator;
    std::array<UiImageElement, kMaxIndicatorFrames> LaunchIndicator;

    // --- Device icons by model index (0 = TR400, 1 = TR9100).
    std::unordered_map<std::int32_t, UiImageElement> DeviceIconNormal;
    std::unordered_map<std::int32_t, UiImageElement> DeviceIconDisabled;

    // --- Device rows whose page cannot open: the badge drawn over the corner of
    // the device icon (left and top relative to the icon's rectangle), and the
    // tooltip texts with their {placeholders} (fill with FillPlaceholders).
    UiImageElement WarningBadge;
    std::u16string TipOtherNetwork, TipLinkLocal, TipConflictDevices, TipConflictOwnAddress,
        TipNotedSource, TipRouted;

    // --- Accessible names of the controls that show only an image; the search and
    // OK buttons are announced by their captions.
    std::u16string AccessibleSettings, AccessibleNext, AccessiblePrevious, AccessibleDeviceList;
    // The setting button's tooltip.
    std::u16string TipSettings;
    // The "Why?" box when no cause was found: that, and what was checked.
    std::u16string DiagnosisNoCause, DiagnosisChecked;

    // --- Context menu of a device row, and the labels of a device's details
    // (tooltip and "Copy details"; see DeviceDetailsText).
    std::u16string MenuOpenDevicePage, MenuCopyIp, MenuCopyMac, MenuCopyDetails;
    DeviceDetailLabels DetailLabels;

    // --- Why a search found nothing: the not-found page's line, its "Why?" box,
    // and the CLI's texts (see DiagnosisLine).
    DiagnosisStrings Diagnosis;

    // --- Menu.
    std::u16string MenuLanguage, MenuEnglish, MenuSimplifiedChinese, MenuTraditionalChinese,
        MenuJapanese, MenuAbout;

    // --- About dialog.
    UiTextElement AboutWindow, AboutTopArea, AboutFooterBar;
    // The version and support texts carry link markup: <a href="…">label</a>.
    UiTextElement AboutVersionText, AboutSupportText, AboutLegalText;
    UiButtonImages AboutOkButton;  // each state carries the OK label

private:
    // Callers hold m_set_lock.
    void ClearLocked();
    void BuildLocked(LanguageId id);

    std::filesystem::path m_settings_path;
    LanguageId m_language = kDefaultLanguage;
    // Held across Clear + BuildLanguage and by the copying accessors.
    mutable std::mutex m_set_lock;
};

}  // namespace orvandel
