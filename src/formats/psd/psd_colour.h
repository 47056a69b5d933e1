#pragma once
// Turning the stored planes of each colour mode into the picture.
#include <array>
#include <cstdint>

#include "formats/psd/psd_format.h"
#include "formats/psd/psd_planes.h"
#include "imaging/tbitmap.h"
#include "platform/status.h"

namespace tolvane::psd {

// How many leading planes the picture of `mode` is made of (0 for a mode we do not draw).
int PlanesOfMode(ColourMode mode);

// Draws the picture of a document in `mode` (one PlanesOfMode accepts) into a new image:
// 1 bit for Bitmap, 8 bits with a palette for Grayscale, Duotone and Indexed (colours from
// colour_table), 24 bits for RGB, CMYK and Lab.
Status BuildPicture(ColourMode mode, const PlaneRows& rows, const PlaneLayout& layout,
                    const std::array<std::uint8_t, kColourTableSize>& colour_table,
                    TBitmap& picture);

}  // namespace tolvane::psd
