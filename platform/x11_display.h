// Whether a local X display accepts clients yet. An X server started together with
// the program (a session's autostart, a test harness) may listen a moment after
// the program looks; Qt then reports the display as missing although it answers
// half a second later.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace orvandel {

// The Unix socket of a local display (":N", ":N.S", "unix:N"): /tmp/.X11-unix/XN.
// None for a display on another host or a name that is not a display.
std::optional<std::string> X11SocketPath(std::string_view display);

// True once a stream socket at `path` accepts a connection (the abstract name
// first, as X servers on Linux listen there too, then the file).
bool UnixSocketAccepts(const std::string& path);

// Polls UnixSocketAccepts every 50 ms until it holds or `timeout_ms` has passed.
bool WaitForUnixSocket(const std::string& path, int timeout_ms, Clock& clock);

}  // namespace orvandel
