// Orvandel: finds the streaming devices on the local network and opens their pages.
// Command-line arguments other than Qt's own platform options are ignored.
#include <QApplication>

#include "app/finder_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvandel"));
    // Ties the window to the installed menu entry (and its icon) on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrilon.orvandel"));
    orvandel::CKestriTR400DeviceFinderApp app;
    return app.Run();
}
