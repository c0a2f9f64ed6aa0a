#include "app/finder_app.h"

#include <QMessageBox>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "mainwindow/finder_dialog.h"
#include "platform/qt/fonts.h"
#include "platform/socket_check.h"
#include "platform/x11_display.h"

namespace orvandel {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool PlatformFinds(std::string name, const DisplayEnvironment& env) {
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name == "xcb") {
        return !env.display.empty();
    }
    if (name.starts_with("wayland")) {
        return !env.wayland_display.empty() || !env.wayland_socket.empty() ||
               env.default_wayland_socket;
    }
    return true;
}

}  // namespace

DisplayEnvironment ReadDisplayEnvironment() {
    DisplayEnvironment env;
    env.qpa_platform = Env("QT_QPA_PLATFORM");
    env.display = Env("DISPLAY");
    env.wayland_display = Env("WAYLAND_DISPLAY");
    env.wayland_socket = Env("WAYLAND_SOCKET");
    if (const std::string runtime = Env("XDG_RUNTIME_DIR"); !runtime.empty()) {
        std::error_code ec;
        env.default_wayland_socket =
            std::filesystem::exists(std::filesystem::path(runtime) / "wayland-0", ec);
    }
    return env;
}

bool HasDisplay(const DisplayEnvironment& env) {
    if (env.qpa_platform.empty()) {
        // Qt's own choice: X11, or Wayland in a Wayland session; either needs its
        // display named.
        return !env.display.empty() || !env.wayland_display.empty();
    }
    // Qt tries the entries in order; one that can start is enough.
    std::string_view list = env.qpa_platform;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(';'), list.size());
        const std::string_view entry = list.substr(0, end);
        const std::string_view name = entry.substr(0, std::min(entry.find(':'), entry.size()));
        if (!name.empty() && PlatformFinds(std::string(name), env)) {
            return true;
        }
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return false;
}

std::optional<std::string> X11SocketToWaitFor(const DisplayEnvironment& env) {
    std::string first = env.qpa_platform.substr(0, env.qpa_platform.find_first_of(":;"));
    for (char& c : first) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool xcb_first = first == "xcb" || (first.empty() && env.wayland_display.empty());
    return xcb_first ? X11SocketPath(env.display) : std::nullopt;
}

QtArguments ProgramNameOnly(int argc, char** argv) {
    static char fallback_name[] = "orvandel";
    static int qt_argc = 1;
    static char* qt_argv[] = {nullptr, nullptr};
    qt_argv[0] = argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0] : fallback_name;
    return {&qt_argc, qt_argv};
}

CKestriTR400DeviceFinderApp::CKestriTR400DeviceFinderApp(std::function<bool()> sockets_available)
    : m_sockets_available(sockets_available ? std::move(sockets_available)
                                            : std::function<bool()>(&SocketsAvailable)) {}

int CKestriTR400DeviceFinderApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CKestriTR400DeviceFinderApp::InitInstance() {
    if (!m_sockets_available()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Orvandel"),
                        QStringLiteral("Windows sockets initialization failed."), QMessageBox::Ok);
        box.exec();
        return false;
    }
    InstallFontSubstitutions();
    {
        // The window stops its threads and the search before its members go.
        CKestriTR400DeviceFinderDlg dialog;
        dialog.exec();
    }
    return false;
}

int CKestriTR400DeviceFinderApp::ExitInstance() {
    return 0;
}

}  // namespace orvandel
