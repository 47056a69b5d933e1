#pragma once
// What the fuzz targets share: the check that a decoded image survives our own writer.
#include "imaging/tbitmap.h"

namespace tolvane::fuzz {

// Same size and the same colour at every pixel, whatever the pixel formats.
inline bool SameColours(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Pixels(x, y) != b.Pixels(x, y)) return false;
    }
  }
  return true;
}

}  // namespace tolvane::fuzz
