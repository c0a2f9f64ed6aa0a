// Orvandel: finds the streaming devices on the local network and opens their pages.
// Command-line arguments are ignored, Qt's own options included.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/finder_app.h"
#include "platform/clock.h"
#include "platform/x11_display.h"

namespace {

// What Qt says while it starts, kept until it is known whether it could start.
// Qt may speak from more than one thread meanwhile.
std::mutex g_startup_lock;
std::vector<std::pair<QtMsgType, std::string>> g_startup_messages;
QtMessageHandler g_previous_handler = nullptr;

void WriteLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// A display that is named but cannot be reached (a stale DISPLAY, a compositor that
// has gone, a missing platform library) makes Qt give up with a fatal message and
// abort. Say it in one line, then Qt's own reason, and end without an abort or a
// core.
void StartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    (void)context;
    std::lock_guard lock(g_startup_lock);
    if (type == QtFatalMsg) {
        WriteLine(std::string(orvandel::kNoDisplayMessage));
        for (const auto& [kept_type, kept_text] : g_startup_messages) {
            WriteLine(kept_text);
        }
        WriteLine(text.toStdString());
        std::_Exit(1);
    }
    g_startup_messages.emplace_back(type, text.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
    const orvandel::DisplayEnvironment env = orvandel::ReadDisplayEnvironment();
    if (!orvandel::HasDisplay(env)) {
        WriteLine(std::string(orvandel::kNoDisplayMessage));
        return 1;
    }
    // An X server started together with the program may listen a moment later:
    // give it that moment rather than report it missing. Qt decides afterwards.
    if (const auto socket = orvandel::X11SocketToWaitFor(env)) {
        orvandel::WaitForUnixSocket(*socket, orvandel::kDisplayGraceMs, orvandel::SystemClock());
    }
    const orvandel::QtArguments qt_args = orvandel::ProgramNameOnly(argc, argv);
    g_previous_handler = qInstallMessageHandler(StartupMessage);
    QApplication application(*qt_args.argc, qt_args.argv);
    qInstallMessageHandler(g_previous_handler);
    {
        std::lock_guard lock(g_startup_lock);
        // Qt started: what it said on the way is passed on as usual.
        for (const auto& [type, text] : g_startup_messages) {
            if (g_previous_handler != nullptr) {
                g_previous_handler(type, QMessageLogContext(), QString::fromStdString(text));
            } else {
                std::fprintf(stderr, "%s\n", text.c_str());
            }
        }
        g_startup_messages.clear();
    }

    QApplication::setApplicationName(QStringLiteral("Orvandel"));
    // Ties the window to the installed menu entry (and its icon) on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrilon.orvandel"));
    orvandel::CKestriTR400DeviceFinderApp app;
    return app.Run();
}
