#pragma once
// Small images for the pixel-operation tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/tbitmap.h"

namespace tolvane::ops_test {

// A 24-bit image from colours given row by row, top row first.
inline TBitmap ImageOf(int width, int height, const std::vector<TColor>& colours) {
  TBitmap image;
  image.Create(width, height, 24);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const TColor c = colours[std::size_t(y) * width + x];
      row[3 * x] = BlueOf(c);
      row[3 * x + 1] = GreenOf(c);
      row[3 * x + 2] = RedOf(c);
    }
  }
  return image;
}

inline TBitmap RandomImage(int width, int height, std::uint32_t seed) {
  TBitmap image;
  image.Create(width, height, 24);
  std::uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int i = 0; i < 3 * width; ++i) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      row[i] = static_cast<std::uint8_t>(state >> 23);
    }
  }
  return image;
}

// All pixels row by row, top row first.
inline std::vector<TColor> ColoursOf(const TBitmap& image) {
  std::vector<TColor> colours;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) colours.push_back(image.Pixels(x, y));
  }
  return colours;
}

// Same size, format and pixel bytes (padding is not compared).
inline ::testing::AssertionResult SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel()) {
    return ::testing::AssertionFailure()
           << a.Width() << "x" << a.Height() << "@" << a.BitsPerPixel() << " vs " << b.Width()
           << "x" << b.Height() << "@" << b.BitsPerPixel();
  }
  const std::size_t bytes = (std::size_t(a.Width()) * a.BitsPerPixel() + 7) / 8;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) {
      for (int x = 0; x < a.Width(); ++x) {
        if (a.Pixels(x, y) != b.Pixels(x, y)) {
          return ::testing::AssertionFailure()
                 << "first difference at (" << x << ", " << y << "): " << std::hex << a.Pixels(x, y)
                 << " vs " << b.Pixels(x, y);
        }
      }
      return ::testing::AssertionFailure() << "row " << y << " differs";
    }
  }
  return ::testing::AssertionSuccess();
}

// A 32-bit copy of a 24-bit image, fourth byte 0.
inline TBitmap As32Bit(const TBitmap& image) {
  TBitmap wide;
  wide.Create(image.Width(), image.Height(), 32);
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* src = image.ScanLine(y);
    std::uint8_t* dst = wide.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      std::memcpy(dst + 4 * x, src + 3 * x, 3);
      dst[4 * x + 3] = 0;
    }
  }
  return wide;
}

}  // namespace tolvane::ops_test
