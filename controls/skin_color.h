// The layout's colours (0x00BBGGRR) as Qt colours, for every skinned surface.
#pragma once

#include <QColor>

#include "localization/ui_elements.h"

namespace orvandel {

inline QColor ToQColor(ColorRef c) {
    return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c));
}

}  // namespace orvandel
