// Figures of the main window, printed one per line:
//   paint         median time of a full paint of the main page (offscreen back buffer),
//                 and of a whole window repaint with its controls
//   startup       cold start of a child process to its first painted frame (median of 5)
//   search-rss    peak RSS of the window over one search with the real engine, run in
//                 a network namespace against 50 simulated devices (needs root)
//   flood-esc     the window searching while a second namespace floods it (8,192
//                 forged replies, each from 8 senders, then 5 devices: 65,541
//                 datagrams); Esc is posted at set times after the search starts, and
//                 the time from Esc to the hidden window and to its end (engine
//                 joined) is printed (needs root)
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "controls/scroll_bar_list.h"
#include "discovery/search_engine.h"
#include "mainwindow/finder_dialog.h"
#include "tests/mainwindow/fake_engine.h"
#include "tools/devicesim/net_lab.h"

using namespace orvandel;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// A window that reports its first finished paint.
class TimedWindow : public CKestriTR400DeviceFinderDlg {
public:
    using CKestriTR400DeviceFinderDlg::CKestriTR400DeviceFinderDlg;
    bool painted = false;

protected:
    void paintEvent(QPaintEvent* event) override {
        CKestriTR400DeviceFinderDlg::paintEvent(event);
        painted = true;
    }
};

int Paint() {
    QTemporaryDir dir;
    auto state = std::make_shared<test::FakeEngineState>();
    state->devices = {
        test::MakeDevice(u"Living Room", u"TR9100", u"192.168.1.10", u"0c:1a:2b:3c:4d:01"),
        test::MakeDevice(u"Studio", u"TR400", u"192.168.1.23", u"0c:1a:2b:3c:4d:02")};
    CKestriTR400DeviceFinderDlg window(
        std::make_unique<test::FakeEngine>(state), [] { return true; },
        (dir.path() + "/setting.cfg").toStdString(), 0);
    window.show();
    if (!QTest::qWaitFor([&] { return window.LaunchDone(); }, 5000))
        return 1;
    for (const char* page : {"step1", "results"}) {
        if (std::string(page) == "results") {
            window.OnSearch();
            window.OnSearch();
        }
        std::vector<double> buffer_ms, window_ms;
        for (int i = 0; i < 300; ++i) {
            QElapsedTimer t;
            t.start();
            const QImage image = window.RenderClientArea();
            buffer_ms.push_back(t.nsecsElapsed() / 1e6);
            t.start();
            window.repaint();
            window_ms.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("paint %-8s back buffer median %.3f ms; window repaint median %.3f ms\n", page,
                    Median(buffer_ms), Median(window_ms));
    }
    return 0;
}

int StartupChild() {
    // The real window, as the program builds it, in a scratch working directory.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    TimedWindow window;
    window.show();
    if (!QTest::qWaitFor([&] { return window.painted; }, 10000))
        return 1;
    std::printf("painted\n");
    std::fflush(stdout);
    return 0;
}

int Startup(const QString& self) {
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess child;
        child.start(self, {"startup-child"});
        if (!child.waitForStarted(10000))
            return 1;
        while (!child.canReadLine() && child.waitForReadyRead(10000)) {
        }
        ms.push_back(t.nsecsElapsed() / 1e6);
        child.kill();
        child.waitForFinished();
    }
    std::printf("startup to first painted frame: median %.1f ms (first run %.1f ms)\n", Median(ms),
                ms.front());
    return 0;
}

int SearchRss() {
    const std::string why = sim::NetLab::Unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "search-rss: %s\n", why.c_str());
        return 2;
    }
    sim::NetLab lab;
    std::string error;
    if (!lab.Create(1, error)) {
        std::fprintf(stderr, "search-rss: %s\n", error.c_str());
        return 1;
    }
    sim::SimOptions options;
    options.address = sim::NetLab::DeviceAddress(1);
    options.replies = sim::GenerateReplies(50);
    sim::RunningSim devices(lab, 1, options);
    if (!devices.Ready() || !lab.EnterFinder())
        return 1;

    const QString home = QDir::currentPath();
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    long before = 0;
    int rows = 0;
    {
        CKestriTR400DeviceFinderDlg window;
        window.show();
        if (!QTest::qWaitFor([&] { return window.LaunchDone(); }, 5000))
            return 1;
        QTest::qWait(200);
        before = PeakRssKb();
        window.OnSearch();
        if (!QTest::qWaitFor([&] { return !window.IsSearching(); }, 15000))
            return 1;
        QTest::qWait(200);
        rows = window.findChild<CScrollBarList*>(QStringLiteral("deviceList"))->ItemCount();
    }
    lab.LeaveFinder();
    QDir::setCurrent(home);  // the namespaces are removed from there
    std::printf("peak RSS: %.1f MB before the search, %.1f MB over it (%d rows listed)\n",
                before / 1024.0, PeakRssKb() / 1024.0, rows);
    return 0;
}

// Esc `esc_ms` after the search starts, posted from another thread as a key press
// would arrive, while the window's thread may be busy. Returns false on a set-up
// failure.
bool FloodEsc(int esc_ms) {
    sim::NetLab lab;
    std::string error;
    if (!lab.Create(1, error)) {
        std::fprintf(stderr, "flood-esc: %s\n", error.c_str());
        return false;
    }
    const std::vector<std::string> addresses = lab.AddDeviceAddresses(1, 13);
    if (addresses.size() != 13) {
        std::fprintf(stderr, "flood-esc: no device addresses\n");
        return false;
    }
    sim::FloodPlan plan;
    plan.forged_senders.assign(addresses.begin(), addresses.begin() + 8);
    plan.distinct = 8192;
    plan.devices.assign(addresses.begin() + 8, addresses.end());
    std::atomic<long> sent{0};
    std::atomic<bool> flood_done{false};
    sim::StartForgedFlood(lab, 1, plan, sent, flood_done);
    if (!lab.EnterFinder())
        return false;

    const QString home = QDir::currentPath();
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    using Clock = std::chrono::steady_clock;
    auto ms_since = [](Clock::time_point from) {
        return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
    };
    double hidden_ms = -1;
    double ended_ms = -1;
    double flood_ms = -1;
    Clock::time_point esc_at;
    {
        auto window = std::make_unique<CKestriTR400DeviceFinderDlg>();
        window->show();
        if (!QTest::qWaitFor([&] { return window->LaunchDone(); }, 5000))
            return false;
        const auto started = Clock::now();
        window->OnSearch();
        std::atomic<bool> posted{false};
        // Made here: a key event's device is a QObject of the application's thread.
        auto press = std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        auto release =
            std::make_unique<QKeyEvent>(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        std::thread esc([&, target = window.get()] {
            std::this_thread::sleep_until(started + std::chrono::milliseconds(esc_ms));
            esc_at = Clock::now();
            QCoreApplication::postEvent(target, press.release());
            QCoreApplication::postEvent(target, release.release());
            posted = true;
        });
        const bool closed = QTest::qWaitFor(
            [&] {
                if (flood_done && flood_ms < 0)
                    flood_ms = ms_since(started);
                return posted && !window->isVisible();
            },
            60000);
        esc.join();
        if (closed)
            hidden_ms = ms_since(esc_at);
        window.reset();
        ended_ms = ms_since(esc_at);
    }
    lab.LeaveFinder();
    QDir::setCurrent(home);  // the namespaces are removed from there
    lab.JoinAll();
    std::printf("| %d | %ld | %.0f | %.1f | %.1f |\n", esc_ms, sent.load(), flood_ms, hidden_ms,
                ended_ms);
    std::fflush(stdout);
    return true;
}

int FloodEscRows() {
    const std::string why = sim::NetLab::Unavailable();
    if (!why.empty()) {
        std::fprintf(stderr, "flood-esc: %s\n", why.c_str());
        return 2;
    }
    std::printf(
        "| Esc after search start, ms | datagrams sent | flood sent by, ms | Esc to hidden, ms | "
        "Esc to ended, ms |\n|---|---|---|---|---|\n");
    // During the flood, at the end of the search (5 s: collection and listing) and
    // once the rows are listed.
    for (const int esc_ms : {1000, 3000, 5100, 5300, 7000}) {
        if (!FloodEsc(esc_ms))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString(argv[1]) : QString("paint");
    if (mode == "paint")
        return Paint();
    if (mode == "startup")
        return Startup(QCoreApplication::applicationFilePath());
    if (mode == "startup-child")
        return StartupChild();
    if (mode == "search-rss")
        return SearchRss();
    if (mode == "flood-esc")
        return FloodEscRows();
    std::fprintf(stderr, "usage: %s paint|startup|search-rss|flood-esc\n", argv[0]);
    return 2;
}
