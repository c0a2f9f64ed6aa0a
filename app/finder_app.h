// The application object: checks the services the window needs, runs the main
// window modally, and releases everything before the process ends.
#pragma once

#include <functional>

namespace orvandel {

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
