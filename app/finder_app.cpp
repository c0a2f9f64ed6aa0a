#include "app/finder_app.h"

#include <QMessageBox>

#include "mainwindow/finder_dialog.h"
#include "platform/qt/fonts.h"
#include "platform/socket_check.h"

namespace orvandel {

int CKestriTR400DeviceFinderApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CKestriTR400DeviceFinderApp::InitInstance() {
    if (!SocketsAvailable()) {
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
