// The guided main window: two preparation steps, the device search and its
// outcome, painted whole from the UiStrings skin of the current language.
//
// The window has no page variable: what it shows follows from a few flags, three
// text slots, five image slots and the visibility of its controls. Every command
// rewrites these and repaints.
//
// Threads: commands, painting and every widget call run on the window's thread.
// The launch animation thread and the search engine's timer thread only write the
// animation slots (under m_anim_lock) and post repaints or the time-out to the
// window's ThreadInbox. The window stops and joins them before its members go.
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "controls/skin_bitmap.h"
#include "discovery/device_info.h"
#include "discovery/found_device.h"
#include "discovery/reachability.h"
#include "localization/ui_strings.h"
#include "mainwindow/thread_inbox.h"

class QMenu;
class QPainter;

namespace orvandel {

class CButtonOperate;
class CDiagnosisLink;
class CScrollBarList;
class SearchEngine;

// Control and command ids; the menu's QActions carry the command ids as data.
inline constexpr int kIdNextButton = 1000;
inline constexpr int kIdPreviousButton = 1001;
inline constexpr int kIdSettingButton = 1002;
inline constexpr int kIdSearchButton = 1003;
inline constexpr int kIdDeviceList = 1004;
inline constexpr int kCmdEnglish = 32797;
inline constexpr int kCmdSimplifiedChinese = 32798;
inline constexpr int kCmdTraditionalChinese = 32799;
inline constexpr int kCmdJapanese = 32800;
inline constexpr int kCmdAbout = 32801;

// The window's icon, 16 to 256 px.
QIcon WindowIcon();

// Capacity of a page text slot; longer texts are cut.
inline constexpr std::size_t kSlotCapacity = 128;
// A copy for a text slot: cut at the capacity, never leaving half a surrogate pair.
std::u16string SlotText(const std::u16string& text);

// The launch animation: steps while step < 1.5 × frame count; the launch image's
// opacity rises by 1.5 / frame count a step up to 1.0, and the indicator shows
// frames 0 to count − 1, then starts over.
struct LaunchStep {
    float alpha = 0.0f;
    int frame = 0;
};
int LaunchStepCount(int frame_count);
LaunchStep LaunchStepAt(int step, int frame_count);

// A text rectangle as the layout gives it: right and bottom are edges, not sizes,
// and may lie left of or above the other edge (text is never clipped to it).
struct WinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const WinRect&, const WinRect&) = default;
};

// What the page shows: texts, where they go, and the page images.
struct PageSlots {
    std::u16string headline, title, body;
    WinRect headline_rect, title_rect, body_rect;
    std::u16string diagram, dot1, dot2;  // empty path: nothing drawn
};

class CKestriTR400DeviceFinderDlg : public QDialog {
    Q_OBJECT

public:
    // System search engine and network check; settings in ./setting.cfg.
    explicit CKestriTR400DeviceFinderDlg(QWidget* parent = nullptr);
    // For tests: an engine to substitute, the network check, the settings file, and
    // the launch animation's step in ms (negative: half the indicator interval).
    CKestriTR400DeviceFinderDlg(std::unique_ptr<SearchEngine> engine,
                                std::function<bool()> network_alive,
                                std::filesystem::path settings_path, int launch_step_ms = -1,
                                QWidget* parent = nullptr);
    ~CKestriTR400DeviceFinderDlg() override;

    // Commands, as the buttons and menu entries run them.
    void OnNext();
    void OnPrevious();
    void OnSearch();
    void OnSetting();
    void OnLanguage(int command_id);
    void OnAbout();

    void ShowNoInternetPage();
    void ShowNotFoundPage();
    void BuildPopupMenu(LanguageId language);
    void ReloadPageTexts();

    // The whole client area as one paint draws it (no child controls).
    QImage RenderClientArea(qreal device_pixel_ratio = 1.0);
    // The same, drawn with `painter` on whatever device it paints (its ratio decides
    // which skin images are drawn).
    void RenderClientArea(QPainter& painter);

    // State, for tests and tools.
    const PageSlots& Slots() const { return m_slots; }
    const UiStrings& Strings() const { return m_strings; }
    int StepIndex() const { return m_step_index; }
    bool IsSearching() const { return m_is_searching; }
    bool NetworkAlive() const { return m_network_alive; }
    bool HasResults() const { return m_has_results; }
    bool HasSearched() const { return m_has_searched; }
    bool LaunchDone() const { return m_launch_done; }
    std::uint64_t SearchGeneration() const { return m_search_generation; }
    const std::vector<FoundDevice>& Found() const { return m_found; }

public slots:
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Decodes one skin image for painting, bounded by the size of the rectangle it
    // is drawn in (a null image draws nothing); tests replace it to paint without
    // the skin folder.
    virtual QImage LoadSkinImage(const std::u16string& path, QSize layout_size);

private:
    void InitialLayout();
    void DispatchCommand(int command_id);

    // Search run, window side.
    void StartSearch();
    void StopSearch();
    bool CollectReplies();
    void ListResults();
    // The rows of the found devices in the current language: texts, tooltips, badges.
    void ApplyRowViews();
    void OnSearchTimeout(std::uint64_t generation);

    // Launch animation.
    void StartLaunchThread();
    void RunLaunch(int frame_count, int step_ms);
    void FinishLaunch();
    bool WaitForStop(int ms);
    void StopWorkers();

    // Page pieces shared by the commands and the language reload.
    void ApplyStep1Page();
    void ApplyStep2Page();
    void HideDeviceList();
    void HideWhyLink();
    void SetSearchCaption(const std::u16string& caption);
    // Accessible names, the row menu and the rows in the current language.
    void ApplyAccessibleTexts();
    // The page's painted texts as the window's accessible description; a change is
    // announced.
    void SyncPageDescription();
    WinRect SearchingHeadlineRect() const;
    WinRect ResultHeadlineRect() const;
    WinRect NotFoundHeadlineRect() const;
    QRect LaunchRepaintRect() const;
    QRect SearchRepaintRect() const;

    // Painting.
    void Paint(QPainter& painter);
    void FillBand(QPainter& painter, const UiTextElement& band);
    void DrawSkinImage(QPainter& painter, const std::u16string& path, int width, int height,
                       int left, int top, float opacity);
    void DrawSkinImage(QPainter& painter, const UiImageElement& image, float opacity = 1.0f);
    const SkinBitmapSet& CachedImage(const std::u16string& path, QSize layout_size);

    std::filesystem::path m_settings_path;
    UiStrings m_strings;
    std::unique_ptr<SearchEngine> m_engine;
    std::function<bool()> m_network_check;
    int m_launch_step_ms = -1;

    // Child controls, owned through Qt parentage.
    CButtonOperate* m_setting = nullptr;
    CButtonOperate* m_next = nullptr;
    CButtonOperate* m_previous = nullptr;
    CButtonOperate* m_search = nullptr;
    CScrollBarList* m_device_list = nullptr;
    CDiagnosisLink* m_why = nullptr;  // the not-found page's "Why?" link
    std::unique_ptr<QMenu> m_popup;

    PageSlots m_slots;
    std::vector<FoundDevice> m_found;  // of the last search, in list order
    int m_step_index = 0;
    bool m_is_searching = false;
    bool m_network_alive = true;
    bool m_has_results = false;
    bool m_has_searched = false;
    bool m_launch_done = false;
    std::uint64_t m_search_generation = 0;

    // Written by the worker threads, read by painting.
    std::mutex m_anim_lock;
    float m_launch_alpha = 0.0f;
    std::u16string m_launch_frame_image;
    std::u16string m_search_frame_image;

    // Decoded skin images by layout path (a null image: the file did not load).
    std::unordered_map<std::u16string, SkinBitmapSet> m_image_cache;
    // The language the three fonts were sized for (its face decides their size).
    LanguageId m_fonts_language = -1;
    QFont m_headline_font, m_title_font, m_body_font;

    // Repaints, the launch's end and search time-outs from the worker threads.
    ThreadInbox m_inbox{this};

    std::mutex m_stop_lock;
    std::condition_variable m_stop_cv;
    bool m_stop_workers = false;
    std::thread m_launch_thread;
};

}  // namespace orvandel
