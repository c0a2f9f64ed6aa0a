#pragma once

#include <QImage>
#include <vector>

#include "art.h"

namespace skingen {

// Every image on the colour it is drawn on (small ones enlarged, pixel for pixel),
// plus three window compositions at 1:1 that show the images in place.
QImage ContactSheet(const std::vector<SkinImage>& images);

}  // namespace skingen
