#pragma once
// Row helpers shared by the pixel operations; internal to imaging/.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "imaging/tbitmap.h"

namespace tolvane::pixel_rows {

inline constexpr int kPixelBytes = 3;

// Pixel loops of three-byte groups only vectorise with byte shuffles, which the x86-64 baseline
// lacks; such loops get an AVX2 variant as well, chosen once at load time. ThreadSanitizer
// builds go without: their load-time chooser would run before the sanitizer is ready.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define TOLVANE_PIXEL_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define TOLVANE_PIXEL_LOOP
#endif

// Converts to 24 bits, then hands fn the pixel bytes of each row, top row first. Padding bytes
// are left out so that they stay as they are in the stored image.
template <typename RowFn>
void ForEachRow(TBitmap& image, RowFn&& fn) {
  image.SetPixelFormat(24);
  if (image.Empty()) return;
  const std::size_t stride = image.Stride();
  const std::size_t row_bytes = std::size_t(image.Width()) * kPixelBytes;
  const std::span<std::uint8_t> all = image.MutablePixels();
  for (int y = 0; y < image.Height(); ++y) fn(all.subspan(std::size_t(y) * stride, row_bytes));
}

// Converts a long double already rounded to a whole number to int, saturating instead of
// overflowing (NaN gives 0): callers only promise sensible values, not sane ones.
inline int SaturatedInt(long double whole) {
  if (std::isnan(whole)) return 0;
  if (whole <= static_cast<long double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  if (whole >= static_cast<long double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(whole);
}

}  // namespace tolvane::pixel_rows
