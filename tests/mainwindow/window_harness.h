// A main window on a fake engine and a switchable network check, with its own
// settings file in a temporary folder.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <memory>

#include "controls/button_operate.h"
#include "controls/scroll_bar_list.h"
#include "fake_engine.h"
#include "mainwindow/finder_dialog.h"

namespace orvandel::test {

struct WindowHarness {
    QTemporaryDir dir;
    std::shared_ptr<FakeEngineState> engine = std::make_shared<FakeEngineState>();
    std::shared_ptr<std::atomic<bool>> network = std::make_shared<std::atomic<bool>>(true);
    std::unique_ptr<CKestriTR400DeviceFinderDlg> window;
    // Logic tests never show the window, so nothing is painted: Qt's raster engine
    // paints on a thread pool of its own that TSan cannot follow, and these tests
    // run under TSan for the window's own threads. Visible() then asks whether a
    // control would be visible with the window.
    bool paint = true;

    std::filesystem::path SettingsPath() const {
        return std::filesystem::path(QDir(dir.path()).filePath("setting.cfg").toStdString());
    }

    // Opens the window; with launch_step_ms 0 the launch animation is immediate.
    void Open(int launch_step_ms = 0) {
        window = std::make_unique<CKestriTR400DeviceFinderDlg>(
            std::make_unique<FakeEngine>(engine), [n = network] { return n->load(); },
            SettingsPath(), launch_step_ms);
        if (paint)
            window->show();
    }

    // Opens the window and waits for the step 1 page.
    bool OpenReady() {
        Open(0);
        return QTest::qWaitFor([this] { return window->LaunchDone(); }, 5000);
    }

    bool Visible(const QWidget* w) const { return w->isVisibleTo(window.get()); }

    void Click(CButtonOperate* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, 2));
    }
    void ClickSearch() { Click(Button("searchButton")); }
    // The window's children, found by object name.
    CButtonOperate* Button(const char* name) const {
        return window->findChild<CButtonOperate*>(QLatin1String(name));
    }
    CScrollBarList* DeviceList() const {
        return window->findChild<CScrollBarList*>(QStringLiteral("deviceList"));
    }
    QString SearchCaption() const { return Button("searchButton")->Caption(); }
    void SetDevices(std::vector<DeviceInfo> devices) {
        std::lock_guard lock(engine->lock);
        engine->devices = std::move(devices);
    }
    // What the engine's diagnosis gives at the next not-found page.
    void SetDiagnosis(std::vector<Verdict> verdicts) {
        std::lock_guard lock(engine->lock);
        engine->diagnosis = std::move(verdicts);
    }
    void SetDuration(int ms) {
        std::lock_guard lock(engine->lock);
        engine->duration_ms = ms;
    }
    // Replays the time-out of the latest Start, as if it had been posted just before
    // that search was stopped. False when no search handed a time-out over.
    [[nodiscard]] bool ReplayTimeout(std::uint64_t generation) {
        SearchEngine::TimeoutFn timeout;
        {
            std::lock_guard lock(engine->lock);
            timeout = engine->last_timeout;
        }
        if (!timeout)
            return false;
        timeout(generation);
        return true;
    }
};

// Verdicts with long values, as a real diagnosis gives them: a port held by a
// named program, a reverse-path filter, and a firewall that cannot be read.
inline std::vector<Verdict> SampleVerdicts() {
    return {{VerdictCode::kPortBusy,
             VerdictVariant::kPlain,
             {{"port", "8888"},
              {"interface", "enp3s0"},
              {"program", "other-finder"},
              {"pid", "4242"},
              {"command", "ss -ulpn 'sport = :8888'"}}},
            {VerdictCode::kRpFilter,
             VerdictVariant::kPlain,
             {{"interface", "enp3s0"},
              {"value", "2"},
              {"sysctl", "net.ipv4.conf.enp3s0.rp_filter"},
              {"command", "sudo ip route add default dev enp3s0 metric 1000"}}},
            {VerdictCode::kFirewall,
             VerdictVariant::kCannotTell,
             {{"port", "8888"}, {"command", "sudo nft list ruleset"}}}};
}

inline QString Q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

}  // namespace orvandel::test
