#pragma once

#include <cstdint>
#include <vector>

#include "image/RgbImage.h"

// The picture as the desktop's video file stores it: 4:2:0, BT.709,
// limited range; the Y plane, then Cb, then Cr, each chroma sample the
// average of a 2x2 block. Sides must be even; an image whose pixels do not
// fill its sides gives no planes.
void toI420(const RgbImage& image, std::vector<uint8_t>& planes);
