#pragma once
// The raster and what can be done to it:
//   tbitmap.h     TBitmap, TColor: the one raster type, with BMP reading and writing
//   operations.h  adjustments, rotate/flip, crop/canvas, resize
// BMP file details live in bmp/ and are internal to this folder.
#include "imaging/operations.h"
#include "imaging/tbitmap.h"
