#include "platform/qt/open_url.h"

#include <QDesktopServices>
#include <QUrl>

namespace orvandel {

bool OpenUrl(const QString& url) {
    // StrictMode: a malformed address is refused instead of being "repaired".
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) {
        return false;
    }
    return QDesktopServices::openUrl(parsed);
}

}  // namespace orvandel
