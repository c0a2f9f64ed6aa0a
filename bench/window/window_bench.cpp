// Figures of the main window, printed one per line:
//   paint         median time of a full paint of the main page (offscreen back buffer),
//                 and of a whole window repaint with its controls
//   startup       cold start of a child process to its first painted frame (median of 5)
//   search-rss    peak RSS of the window over one search with the real engine, run in
//                 a network namespace against 50 simulated devices (needs root)
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
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
    std::fprintf(stderr, "usage: %s paint|startup|search-rss\n", argv[0]);
    return 2;
}
