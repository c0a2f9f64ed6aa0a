#include "controls/device_address.h"

namespace orvandel {

bool IsDottedDecimalIPv4(const QString& text) {
    if (text.size() < 7 || text.size() > 15) {
        return false;
    }
    int parts = 0;
    int digits = 0;
    int value = 0;
    bool leading_zero = false;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'.') {
            if (digits == 0 || value > 255 || (leading_zero && digits > 1)) {
                return false;
            }
            ++parts;
            digits = 0;
            value = 0;
            continue;
        }
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9' || digits == 3) {
            return false;
        }
        if (digits == 0) {
            leading_zero = (c == u'0');
        }
        value = value * 10 + (c - u'0');
        ++digits;
    }
    return parts == 4;
}

}  // namespace orvandel

namespace orvandel {

bool IsOpenableDeviceAddress(const QString& text) {
    if (!IsDottedDecimalIPv4(text)) {
        return false;
    }
    const int first = QStringView(text).left(text.indexOf(u'.')).toInt();
    return first != 0 && first != 127 && first < 224;
}

}  // namespace orvandel
