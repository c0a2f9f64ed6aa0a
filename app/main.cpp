// Orvandel: finds the streaming devices on the local network and opens their pages.
// Command-line arguments are ignored, Qt's own options included.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/finder_app.h"

namespace {

// What Qt says while it starts, kept until it is known whether it could start.
std::vector<std::pair<QtMsgType, std::string>> g_startup_messages;
QtMessageHandler g_previous_handler = nullptr;

void PrintNoDisplay() {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(orvandel::kNoDisplayMessage.size()),
                 orvandel::kNoDisplayMessage.data());
    std::fflush(stderr);
}

// A display that is named but cannot be reached (a stale DISPLAY, a compositor that
// has gone) makes Qt give up with a fatal message and abort. Say it in one line
// instead, and end without an abort or a core.
void StartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        PrintNoDisplay();
        std::_Exit(1);
    }
    (void)context;
    g_startup_messages.emplace_back(type, text.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
    if (!orvandel::HasDisplay(orvandel::ReadDisplayEnvironment())) {
        PrintNoDisplay();
        return 1;
    }
    const orvandel::QtArguments qt_args = orvandel::ProgramNameOnly(argc, argv);
    g_previous_handler = qInstallMessageHandler(StartupMessage);
    QApplication application(*qt_args.argc, qt_args.argv);
    qInstallMessageHandler(g_previous_handler);
    // Qt started: what it said on the way is passed on as usual.
    for (const auto& [type, text] : g_startup_messages) {
        if (g_previous_handler != nullptr) {
            g_previous_handler(type, QMessageLogContext(), QString::fromStdString(text));
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    }
    g_startup_messages.clear();

    QApplication::setApplicationName(QStringLiteral("Orvandel"));
    // Ties the window to the installed menu entry (and its icon) on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrilon.orvandel"));
    orvandel::CKestriTR400DeviceFinderApp app;
    return app.Run();
}
