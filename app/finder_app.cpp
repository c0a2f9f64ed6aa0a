#include "app/finder_app.h"

#include <QMessageBox>
#include <utility>

#include "mainwindow/finder_dialog.h"
#include "platform/qt/fonts.h"
#include "platform/socket_check.h"

namespace orvandel {

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
