// The application object: checks the services the window needs, runs the main
// window modally, and releases everything before the process ends.
#pragma once

namespace orvandel {

class CKestriTR400DeviceFinderApp {
public:
    // Needs a QApplication. Returns the process exit code.
    int Run();

private:
    // Always false: the window ran (or could not) and nothing else follows.
    bool InitInstance();
    int ExitInstance();
};

}  // namespace orvandel
