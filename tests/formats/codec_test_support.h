#pragma once
// Helpers shared by the codec tests: fixture bytes and small synthetic images.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"
#include "temp_dir.h"

namespace tolvane::testing {

inline std::vector<std::uint8_t> DataBytes(const std::string& relative) {
  return ReadBytes(std::string(TOLVANE_TEST_DATA) + "/" + relative);
}

inline std::string DataPath(const std::string& relative) {
  return std::string(TOLVANE_TEST_DATA) + "/" + relative;
}

// A 24-bit image whose pixel (x, y) is colour(x, y).
template <typename F>
TBitmap MakeImage24(int width, int height, F colour) {
  TBitmap image;
  image.Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const TColor c = colour(x, y);
      row[3 * x] = BlueOf(c), row[3 * x + 1] = GreenOf(c), row[3 * x + 2] = RedOf(c);
    }
  }
  return image;
}

// A palette image of the given depth whose pixel (x, y) has index index(x, y).
template <typename F>
TBitmap MakeIndexed(int width, int height, int bpp, std::vector<TRgb> palette, F index) {
  TBitmap image;
  image.Create(width, height, bpp);
  image.SetPalette(std::move(palette));
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::size_t bit = std::size_t(x) * std::size_t(bpp);
      const int shift = 8 - bpp - int(bit % 8);
      row[bit / 8] = std::uint8_t(row[bit / 8] | (unsigned(index(x, y)) << shift));
    }
  }
  return image;
}

// The palette index of pixel (x, y) of a 1-, 4- or 8-bit image.
inline unsigned IndexOf(const TBitmap& image, int x, int y) {
  const int bpp = image.BitsPerPixel();
  const std::size_t bit = std::size_t(x) * std::size_t(bpp);
  return (image.ScanLine(y)[bit / 8] >> (8 - bpp - int(bit % 8))) & ((1u << bpp) - 1);
}

}  // namespace tolvane::testing
