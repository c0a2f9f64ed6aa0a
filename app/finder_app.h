// The application object: checks the services the window needs, runs the main
// window modally, and releases everything before the process ends.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvandel {

// The environment that decides whether Qt can open a window.
struct DisplayEnvironment {
    std::string qpa_platform;     // QT_QPA_PLATFORM: "name[:options]" entries, ';'-separated
    std::string display;          // DISPLAY (X11)
    std::string wayland_display;  // WAYLAND_DISPLAY
    std::string wayland_socket;   // WAYLAND_SOCKET: a connection handed over by fd
    bool default_wayland_socket = false;  // $XDG_RUNTIME_DIR/wayland-0 exists
};
DisplayEnvironment ReadDisplayEnvironment();

// False only when every platform Qt would try needs a display that is not there:
// xcb without DISPLAY, wayland without a compositor to connect to. Platforms that
// need none (offscreen, minimal, vnc, eglfs, ...) are left to Qt.
bool HasDisplay(const DisplayEnvironment& env);

// The X display's socket when Qt will connect to a local X server first (xcb
// chosen, or Qt's own choice outside a Wayland session); none otherwise.
std::optional<std::string> X11SocketToWaitFor(const DisplayEnvironment& env);
// How long a local X display that does not accept yet is waited for.
inline constexpr int kDisplayGraceMs = 2000;

// The one line printed when there is no display.
inline constexpr std::string_view kNoDisplayMessage =
    "orvandel: no display found; orvandel-cli searches for devices from a terminal.";

// The argument list handed to Qt: the program name only, so that Qt's own options
// (-stylesheet, -reverse, -platform, ...) never act. The platform is chosen by the
// environment alone. The arrays live as long as the process.
struct QtArguments {
    int* argc;
    char** argv;
};
QtArguments ProgramNameOnly(int argc, char** argv);

class CKestriTR400DeviceFinderApp {
public:
    // `sockets_available` stands in for the system check in tests.
    explicit CKestriTR400DeviceFinderApp(std::function<bool()> sockets_available = {});

    // Needs a QApplication. Returns the process exit code.
    int Run();

private:
    // Always false: the window ran (or could not) and nothing else follows.
    bool InitInstance();
    int ExitInstance();

    std::function<bool()> m_sockets_available;
};

}  // namespace orvandel
