// Orvandel: finds the streaming devices on the local network and opens their pages.
// Command-line arguments other than Qt's own platform options are ignored.
#include <QApplication>

#include "app/finder_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvandel"));
    orvandel::CKestriTR400DeviceFinderApp app;
    return app.Run();
}
