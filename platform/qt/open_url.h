// Opens a web address in the user's browser.
#pragma once

#include <QString>

namespace orvandel {

// Hands `url` to the desktop (xdg-open under X). Tests intercept the "http"
// scheme with QDesktopServices::setUrlHandler. Returns what the desktop reports.
bool OpenUrl(const QString& url);

}  // namespace orvandel
