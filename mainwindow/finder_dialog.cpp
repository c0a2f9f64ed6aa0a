// Pages, commands, the search run's window side, the launch animation and shutdown.
#include "mainwindow/finder_dialog.h"

#include <QAccessible>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <utility>

#include "controls/button_operate.h"
#include "controls/enter_key.h"
#include "controls/scroll_bar_list.h"
#include "controls/skin_bitmap.h"
#include "controls/skin_font.h"
#include "discovery/collection.h"
#include "discovery/found_device.h"
#include "discovery/search_engine.h"
#include "localization/row_view.h"
#include "mainwindow/diagnosis_link.h"
#include "platform/network_check.h"
#include "text/utf.h"

namespace orvandel {

namespace {

constexpr ColorRef kCaptionWhite = 0xFFFFFF;

WinRect EdgeRect(const UiTextElement& e, int top_offset) {
    return {e.left, e.top + top_offset, e.left + e.width, e.top + e.height};
}

void ShowButton(CButtonOperate* button) {
    button->SetShown(true);
    button->show();
}

// Hiding the focused control makes Qt hand the focus on as if Tab had been
// pressed, which would put up a ring that no key asked for: after the mouse, the
// focus is dropped instead, and Return goes to the window's primary command.
void DropMouseFocus(QWidget* control, bool ring_visible) {
    if (control->hasFocus() && !ring_visible)
        control->clearFocus();
}

void HideButton(CButtonOperate* button) {
    DropMouseFocus(button, button->FocusRingVisible());
    button->SetShown(false);
    button->hide();
}

void PlaceButton(CButtonOperate* button, const UiButtonImages& images) {
    const UiImageElement& n = images.normal();
    button->setGeometry(n.left, n.top, n.width, n.height);
    for (int state = 0; state < 4; ++state) {
        button->SetStateImage(images.states[static_cast<std::size_t>(state)].path, state);
    }
}

}  // namespace

QIcon WindowIcon() {
    // Each size drawn down from the nearest drawn size at or above it: a desktop
    // asks for anything from 16 (title bars) to 256 px (switchers, docks).
    static const int kDrawn[] = {48, 128, 256};
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        for (const int drawn : kDrawn) {
            if (drawn < size)
                continue;
            const QImage source(QStringLiteral(":/icons/orvandel-%1.png").arg(drawn));
            if (!source.isNull()) {
                icon.addPixmap(QPixmap::fromImage(
                    drawn == size ? source
                                  : source.scaled(size, size, Qt::KeepAspectRatio,
                                                  Qt::SmoothTransformation)));
            }
            break;
        }
    }
    return icon;
}

int LaunchStepCount(int frame_count) {
    if (frame_count <= 0)
        return 0;
    // Every whole step below 1.5 × frame count; the layout holds at most
    // kMaxIndicatorFrames frames.
    const double limit = 1.5 * std::min(frame_count, kMaxIndicatorFrames);
    const int steps = static_cast<int>(limit);
    return steps < limit ? steps + 1 : steps;
}

LaunchStep LaunchStepAt(int step, int frame_count) {
    const double alpha = (1.0 / frame_count) * step * 1.5;
    return {alpha >= 1.0 ? 1.0f : static_cast<float>(alpha),
            step < frame_count ? step : step - frame_count};
}

std::u16string SlotText(const std::u16string& text) {
    return text::Cut(text, kSlotCapacity);
}

CKestriTR400DeviceFinderDlg::CKestriTR400DeviceFinderDlg(QWidget* parent)
    : CKestriTR400DeviceFinderDlg(
          std::make_unique<SearchEngine>(), [] { return IsNetworkAlive(); }, "setting.cfg", -1,
          parent) {}

CKestriTR400DeviceFinderDlg::CKestriTR400DeviceFinderDlg(std::unique_ptr<SearchEngine> engine,
                                                         std::function<bool()> network_alive,
                                                         std::filesystem::path settings_path,
                                                         int launch_step_ms, QWidget* parent)
    : QDialog(parent),
      m_settings_path(std::move(settings_path)),
      m_strings(m_settings_path),
      m_engine(std::move(engine)),
      m_network_check(std::move(network_alive)),
      m_launch_step_ms(launch_step_ms) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // Painting always covers the whole client area from the back buffer.
    setAttribute(Qt::WA_OpaquePaintEvent);

    // Created in the order the device list, then the buttons, so that the buttons
    // stay above the list where they meet.
    m_device_list = new CScrollBarList(this);
    m_device_list->setObjectName("deviceList");
    m_setting = new CButtonOperate(this);
    m_setting->setObjectName("settingButton");
    m_next = new CButtonOperate(this);
    m_next->setObjectName("nextButton");
    m_previous = new CButtonOperate(this);
    m_previous->setObjectName("previousButton");
    m_search = new CButtonOperate(this);
    m_search->setObjectName("searchButton");
    m_why = new CDiagnosisLink(m_strings, this);
    // Reachable with Tab and pressed with Space, as dialog buttons are; a click
    // does not move the focus.
    for (CButtonOperate* b : {m_setting, m_next, m_previous, m_search}) {
        b->setFocusPolicy(Qt::TabFocus);
    }
    m_why->setFocusPolicy(Qt::TabFocus);
    // Tab follows the page from top to bottom; hidden controls are passed over.
    setTabOrder(m_setting, m_previous);
    setTabOrder(m_previous, m_next);
    setTabOrder(m_next, m_device_list);
    setTabOrder(m_device_list, m_why);
    setTabOrder(m_why, m_search);

    connect(m_next, &CButtonOperate::clicked, this, [this] { DispatchCommand(kIdNextButton); });
    connect(m_previous, &CButtonOperate::clicked, this,
            [this] { DispatchCommand(kIdPreviousButton); });
    connect(m_setting, &CButtonOperate::clicked, this,
            [this] { DispatchCommand(kIdSettingButton); });
    connect(m_search, &CButtonOperate::clicked, this, [this] { DispatchCommand(kIdSearchButton); });

    InitialLayout();
}

CKestriTR400DeviceFinderDlg::~CKestriTR400DeviceFinderDlg() {
    StopWorkers();
    // The engine joins its threads here, before the slots its callbacks write go.
    m_engine.reset();
}

void CKestriTR400DeviceFinderDlg::done(int result) {
    StopWorkers();
    QDialog::done(result);
}

void CKestriTR400DeviceFinderDlg::DispatchCommand(int command_id) {
    switch (command_id) {
        case kIdNextButton:
            OnNext();
            break;
        case kIdPreviousButton:
            OnPrevious();
            break;
        case kIdSettingButton:
            OnSetting();
            break;
        case kIdSearchButton:
            OnSearch();
            break;
        case kCmdEnglish:
        case kCmdSimplifiedChinese:
        case kCmdTraditionalChinese:
        case kCmdJapanese:
            OnLanguage(command_id);
            break;
        case kCmdAbout:
            OnAbout();
            break;
        default:
            break;
    }
}

void CKestriTR400DeviceFinderDlg::InitialLayout() {
    const UiTextElement& mw = m_strings.MainWindow;
    setFixedSize(mw.width, mw.height);
    setWindowTitle(QString::fromStdU16String(mw.text));

    m_step_index = 0;
    m_is_searching = false;
    m_network_alive = true;
    m_has_results = false;
    m_has_searched = false;
    m_launch_done = false;

    m_strings.LoadSettings();
    BuildPopupMenu(m_strings.Language());
    // The title may have changed with the saved language.
    setWindowTitle(QString::fromStdU16String(m_strings.MainWindow.text));
    setWindowIcon(WindowIcon());

    m_slots.headline = SlotText(m_strings.IntroText.text);
    m_slots.headline_rect = EdgeRect(m_strings.IntroText, 5);
    m_slots.title = SlotText(m_strings.Step1Title.text);
    m_slots.title_rect = EdgeRect(m_strings.Step1Title, 0);
    m_slots.body = SlotText(m_strings.Step1Text.text);
    m_slots.body_rect = EdgeRect(m_strings.Step1Text, 0);

    m_slots.diagram = m_strings.Step1Diagram.path;
    m_slots.dot1 = m_strings.PageDot1.focus.path;
    m_slots.dot2 = m_strings.PageDot2.normal.path;
    {
        std::lock_guard lock(m_anim_lock);
        m_search_frame_image = m_strings.SearchIndicator[0].path;
        m_launch_frame_image = m_strings.LaunchIndicator[0].path;
    }

    PlaceButton(m_setting, m_strings.SettingButton);
    PlaceButton(m_next, m_strings.NextButton);
    PlaceButton(m_previous, m_strings.PreviousButton);
    PlaceButton(m_search, m_strings.SearchButton);
    m_search->SetCaptionColor(kCaptionWhite);
    SetSearchCaption(m_strings.BeginSearchLabel);
    for (CButtonOperate* b : {m_setting, m_next, m_previous, m_search})
        b->SetFocusRingColor(m_strings.AccentLine.color);

    const UiTextElement& area = m_strings.DeviceListArea;
    m_device_list->setGeometry(area.left, area.top, area.width, area.height);
    m_device_list->SetScrollImage(m_strings.ScrollUpButton.normal().path, 0);
    m_device_list->SetScrollImage(m_strings.ScrollDownButton.normal().path, 4);
    HideDeviceList();

    for (CButtonOperate* b : {m_setting, m_next, m_previous, m_search})
        HideButton(b);
    ApplyAccessibleTexts();
    SyncPageDescription();

    StartLaunchThread();
}

// --- Step pages ------------------------------------------------------------------

void CKestriTR400DeviceFinderDlg::ApplyStep1Page() {
    m_slots.diagram = m_strings.Step1Diagram.path;
    m_slots.dot1 = m_strings.PageDot1.focus.path;
    m_slots.dot2 = m_strings.PageDot2.normal.path;
    ShowButton(m_next);
    HideButton(m_previous);
    m_slots.title = SlotText(m_strings.Step1Title.text);
    m_slots.body = SlotText(m_strings.Step1Text.text);
}

void CKestriTR400DeviceFinderDlg::ApplyStep2Page() {
    m_slots.diagram = m_strings.Step2Diagram.path;
    m_slots.dot1 = m_strings.PageDot1.normal.path;
    m_slots.dot2 = m_strings.PageDot2.focus.path;
    HideButton(m_next);
    ShowButton(m_previous);
    m_slots.title = SlotText(m_strings.Step2Title.text);
    m_slots.body = SlotText(m_strings.Step2Text.text);
}

void CKestriTR400DeviceFinderDlg::OnNext() {
    if (!m_network_alive || m_is_searching)
        return;
    m_step_index += 1;
    ApplyStep2Page();
    SyncPageDescription();
    update();
}

void CKestriTR400DeviceFinderDlg::OnPrevious() {
    if (!m_network_alive || m_is_searching)
        return;
    m_step_index -= 1;
    ApplyStep1Page();
    SyncPageDescription();
    update();
}

void CKestriTR400DeviceFinderDlg::HideDeviceList() {
    DropMouseFocus(m_device_list, m_device_list->FocusRingVisible());
    m_device_list->hide();
}

void CKestriTR400DeviceFinderDlg::HideWhyLink() {
    // The link takes the focus from Tab only: Qt hands it on as a key would.
    m_why->HideLink();
}

void CKestriTR400DeviceFinderDlg::keyPressEvent(QKeyEvent* event) {
    // Return with no control taking it (a fresh window has none focused) runs the
    // page's primary command: the search button's.
    if (IsEnterKey(event) && m_search->isVisible()) {
        if (!event->isAutoRepeat())
            m_search->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CKestriTR400DeviceFinderDlg::SetSearchCaption(const std::u16string& caption) {
    m_search->SetCaptionForms(FormsOfLanguage(m_strings.Language()));
    m_search->SetCaptionSet(
        {m_strings.BeginSearchLabel, m_strings.StopLabel, m_strings.SearchAgainLabel});
    m_search->SetCaption(caption);
    // The caption is painted, not the button's text: a reader needs it as the name.
    m_search->setAccessibleName(QString::fromStdU16String(caption));
    m_search->update();
}

void CKestriTR400DeviceFinderDlg::ApplyAccessibleTexts() {
    m_setting->setAccessibleName(QString::fromStdU16String(m_strings.AccessibleSettings));
    m_setting->setToolTip(QString::fromStdU16String(m_strings.TipSettings));
    m_next->setAccessibleName(QString::fromStdU16String(m_strings.AccessibleNext));
    m_previous->setAccessibleName(QString::fromStdU16String(m_strings.AccessiblePrevious));
    m_device_list->setAccessibleName(QString::fromStdU16String(m_strings.AccessibleDeviceList));
    m_device_list->SetRowMenuTexts({m_strings.MenuOpenDevicePage, m_strings.MenuCopyIp,
                                    m_strings.MenuCopyMac, m_strings.MenuCopyDetails});
    if (m_has_results)
        ApplyRowViews();
}

void CKestriTR400DeviceFinderDlg::SyncPageDescription() {
    QStringList lines;
    for (const std::u16string* text : {&m_slots.headline, &m_slots.title, &m_slots.body}) {
        if (!text->empty())
            lines.append(QString::fromStdU16String(*text));
    }
    if (m_why->isVisibleTo(this))
        lines.append(m_why->FirstLine());
    const QString description = lines.join(u'\n');
    if (description == accessibleDescription())
        return;
    setAccessibleDescription(description);
    // Qt does not announce a changed description by itself: a reader learns of the
    // new page from this event.
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
}

WinRect CKestriTR400DeviceFinderDlg::SearchingHeadlineRect() const {
    return EdgeRect(m_strings.SearchingTitle, 20);
}

WinRect CKestriTR400DeviceFinderDlg::ResultHeadlineRect() const {
    // Right and bottom are the entry's width and height themselves.
    const UiTextElement& r = m_strings.ResultTitle;
    const int offset = m_strings.Language() == kJapanese ? 12 : 20;
    return {r.left, r.top + offset, r.width, r.height};
}

WinRect CKestriTR400DeviceFinderDlg::NotFoundHeadlineRect() const {
    const UiTextElement& t = m_strings.NotFoundTitle;
    const LanguageId lang = m_strings.Language();
    const int top = t.top + (IsChinese(lang) ? 20 : 12);
    const int right = lang == kJapanese ? t.width : t.left + t.width;
    return {t.left, top, right, t.top + t.height};
}

QRect CKestriTR400DeviceFinderDlg::LaunchRepaintRect() const {
    const UiTextElement& h = m_strings.HeaderBar;
    const UiTextElement& f = m_strings.FooterBar;
    return QRect(QPoint(h.left, h.top), QPoint(f.left + f.width - 1, f.top - 2));
}

QRect CKestriTR400DeviceFinderDlg::SearchRepaintRect() const {
    const UiTextElement& i = m_strings.IntroBand;
    const UiTextElement& f = m_strings.FooterBar;
    return QRect(QPoint(i.left, i.top), QPoint(f.left + f.width - 1, f.top - 2));
}

void CKestriTR400DeviceFinderDlg::ShowNoInternetPage() {
    if (m_is_searching)
        m_engine->Abandon();
    m_is_searching = false;
    HideDeviceList();
    HideWhyLink();

    const UiTextElement& t = m_strings.NoInternetTitle;
    m_slots.headline = SlotText(t.text);
    m_slots.headline_rect = EdgeRect(t, 20);
    const UiTextElement& l1 = m_strings.NoInternetLine1;
    const int h = IsChinese(m_strings.Language()) ? l1.height : 2 * l1.height;
    m_slots.title = SlotText(l1.text);
    m_slots.title_rect = {l1.left, l1.top, l1.width, l1.top + h};
    m_slots.body = SlotText(m_strings.NoInternetLine2.text);

    m_slots.diagram = m_strings.InternetDiagram.path;
    m_slots.dot1.clear();
    m_slots.dot2.clear();
    HideButton(m_next);
    HideButton(m_previous);
    SetSearchCaption(m_strings.BeginSearchLabel);
}

void CKestriTR400DeviceFinderDlg::ShowNotFoundPage() {
    m_has_results = false;
    HideDeviceList();
    // The engine has stopped: what it saw, and the system's state now, say why.
    m_why->ShowFor(m_engine->Diagnose(0));
    m_slots.headline = SlotText(m_strings.NotFoundTitle.text);
    m_slots.headline_rect = NotFoundHeadlineRect();
    m_slots.title = SlotText(m_strings.Step1Title.text);
    m_slots.body = SlotText(m_strings.Step1Text.text);
    ShowButton(m_next);
    HideButton(m_previous);
    m_slots.dot1 = m_strings.PageDot1.focus.path;
    m_slots.dot2 = m_strings.PageDot2.normal.path;
    m_slots.diagram = m_strings.Step1Diagram.path;
    m_step_index = 0;
    SyncPageDescription();
    update();
}

// --- Search ----------------------------------------------------------------------

void CKestriTR400DeviceFinderDlg::OnSearch() {
    m_network_alive = m_network_check ? m_network_check() : true;
    if (!m_network_alive) {
        ShowNoInternetPage();
    } else if (m_is_searching) {
        StopSearch();
        if (CollectReplies()) {
            ListResults();
        } else {
            ShowNotFoundPage();
        }
    } else {
        StartSearch();
    }
    m_has_searched = true;
    SyncPageDescription();
    update();
}

void CKestriTR400DeviceFinderDlg::OnSearchTimeout(std::uint64_t generation) {
    // A time-out of a search already stopped or abandoned must not start a new one.
    if (!m_is_searching || generation != m_search_generation)
        return;
    OnSearch();
}

void CKestriTR400DeviceFinderDlg::StartSearch() {
    m_is_searching = true;
    HideDeviceList();
    HideWhyLink();
    m_found.clear();

    m_slots.headline_rect = SearchingHeadlineRect();
    m_slots.headline = SlotText(m_strings.SearchingTitle.text);
    m_slots.title = SlotText(m_strings.SearchingLine1.text);
    m_slots.body = SlotText(m_strings.SearchingLine2.text);
    m_slots.diagram.clear();
    m_slots.dot1.clear();
    m_slots.dot2.clear();
    HideButton(m_next);
    HideButton(m_previous);
    SetSearchCaption(m_strings.StopLabel);

    const IndicatorNumbers n = m_strings.Indicator();
    SearchTiming timing;
    timing.duration_ms = n.search_duration_ms;
    timing.interval_ms = n.interval_ms;
    timing.frame_count = n.frame_count;

    // Both callbacks run on the engine's timer thread.
    auto tick = [this](int frame_index) {
        std::u16string path = m_strings.SearchFramePath(frame_index);
        {
            std::lock_guard lock(m_anim_lock);
            m_search_frame_image = std::move(path);
        }
        m_inbox.Post([this] { update(SearchRepaintRect()); });
    };
    auto timeout = [this](std::uint64_t generation) {
        m_inbox.Post([this, generation] { OnSearchTimeout(generation); });
    };
    m_search_generation = m_engine->Start(timing, std::move(tick), std::move(timeout));
}

void CKestriTR400DeviceFinderDlg::StopSearch() {
    m_engine->Stop();
    m_is_searching = false;
    HideDeviceList();
    SetSearchCaption(m_strings.SearchAgainLabel);
    update();
}

bool CKestriTR400DeviceFinderDlg::CollectReplies() {
    m_found = m_engine->CollectFound();
    return !m_found.empty();
}

void CKestriTR400DeviceFinderDlg::ListResults() {
    m_has_results = true;
    HideWhyLink();
    m_device_list->ClearDevices();
    ApplyRowViews();
    m_strings.SetResultCount(m_device_list->ItemCount());

    m_slots.headline_rect = ResultHeadlineRect();
    m_slots.headline = SlotText(m_strings.ResultTitle.text);
    m_slots.title.clear();
    m_slots.body.clear();

    m_device_list->show();
    update();
}

void CKestriTR400DeviceFinderDlg::ApplyRowViews() {
    const UiImageElement& badge = m_strings.WarningBadge;
    m_device_list->SetWarningBadge(badge.path, badge.width, badge.height, badge.left, badge.top);
    m_device_list->SetRows(MakeRowViews(m_found, m_strings));
}

// --- Launch animation and shutdown -----------------------------------------------

void CKestriTR400DeviceFinderDlg::StartLaunchThread() {
    const IndicatorNumbers n = m_strings.Indicator();
    const int step_ms = m_launch_step_ms >= 0 ? m_launch_step_ms : n.interval_ms / 2;
    m_launch_thread =
        std::thread([this, count = n.frame_count, step_ms] { RunLaunch(count, step_ms); });
}

bool CKestriTR400DeviceFinderDlg::WaitForStop(int ms) {
    std::unique_lock lock(m_stop_lock);
    return m_stop_cv.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return m_stop_workers; });
}

// Runs on the launch thread: fades the launch image in over the first steps while
// the indicator turns one and a half times.
void CKestriTR400DeviceFinderDlg::RunLaunch(int frame_count, int step_ms) {
    {
        std::lock_guard lock(m_anim_lock);
        m_launch_alpha = 0.0f;
    }
    const int steps = LaunchStepCount(frame_count);
    for (int i = 0; i < steps; ++i) {
        const LaunchStep step = LaunchStepAt(i, frame_count);
        std::u16string frame = m_strings.LaunchFramePath(step.frame);
        {
            std::lock_guard lock(m_anim_lock);
            m_launch_alpha = step.alpha;
            m_launch_frame_image = std::move(frame);
        }
        if (WaitForStop(step_ms))
            return;
        m_inbox.Post([this] { update(LaunchRepaintRect()); });
    }
    m_inbox.Post([this] { FinishLaunch(); });
}

void CKestriTR400DeviceFinderDlg::FinishLaunch() {
    {
        std::lock_guard lock(m_stop_lock);
        if (m_stop_workers)
            return;
    }
    if (m_launch_thread.joinable())
        m_launch_thread.join();
    m_launch_done = true;
    ShowButton(m_setting);
    ShowButton(m_next);
    ShowButton(m_search);
    // The window starts with the focus on its primary command, without a ring:
    // Return searches, and a later activation hands the focus to nothing else.
    if (focusWidget() == nullptr)
        m_search->setFocus(Qt::OtherFocusReason);
    SyncPageDescription();
    update();
}

void CKestriTR400DeviceFinderDlg::StopWorkers() {
    {
        std::lock_guard lock(m_stop_lock);
        m_stop_workers = true;
    }
    m_stop_cv.notify_all();
    if (m_launch_thread.joinable())
        m_launch_thread.join();
    if (m_is_searching) {
        m_engine->Stop();
        m_is_searching = false;
    }
}

}  // namespace orvandel
