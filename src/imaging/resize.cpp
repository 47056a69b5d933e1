// The resize step (target size, aspect rule, minimum size), the 16.16 fixed-point bilinear
// filter it uses, and the nearest-pixel stretch of the preview.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "imaging/operations.h"
#include "imaging/pixel_rows.h"
#include "platform/checked_math.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

using pixel_rows::kPixelBytes;

constexpr int kMinTarget = 6;
constexpr std::uint32_t kFixedOne = 65536;
constexpr std::uint32_t kFixedHalf = kFixedOne / 2;

// Positions step by (source - 1) / destination from 0, so the last source pixel is never
// reached; the clamp only matters for sizes beyond 16.16 reach, where it keeps reads inside.
std::uint32_t SourceIndex(std::uint32_t position, int source_size) {
  return std::min<std::uint32_t>(position >> 16, std::uint32_t(source_size - 1));
}

std::uint32_t Step(int source_size, int size) {
  return static_cast<std::uint32_t>(MulDiv(source_size - 1, kFixedOne, size));
}

// Works one destination row at a time in two passes: the four source pixels around every
// output pixel are gathered into flat arrays (once per source row pair, which upscaling shares
// between several output rows), then a plain loop over those arrays applies the weights, which
// the compiler can vectorise.
class BilinearRows {
 public:
  BilinearRows(const TBitmap& source, int width) : source_(source), width_(width) {
    const int sw = source.Width();
    const std::uint32_t step = Step(sw, width);
    const std::size_t bytes = std::size_t(width) * kPixelBytes;
    left_.resize(width), right_.resize(width), fx_.resize(bytes);
    std::uint32_t sx = 0;
    for (int x = 0; x < width; ++x, sx += step) {
      const std::uint32_t ix = SourceIndex(sx, sw);
      const std::uint32_t next = ix + 1 < std::uint32_t(sw) ? ix + 1 : ix;
      left_[x] = ix * kPixelBytes;
      right_[x] = next * kPixelBytes;
      if (next + 1 < std::uint32_t(sw) && wide_reads_ == x) wide_reads_ = x + 1;
      for (std::size_t ch = 0; ch < kPixelBytes; ++ch)
        fx_[x * kPixelBytes + ch] = sx & (kFixedOne - 1);
    }
    // One byte of slack for the 4-byte stores of Gather.
    for (auto& samples : samples_) samples.resize(bytes + 1);
  }

  void Row(std::uint32_t iy, std::uint32_t fy, std::uint8_t* dst) {
    if (iy != gathered_) Gather(iy);
    WeighRow(fy, fx_.data(), samples_[0].data(), samples_[1].data(), samples_[2].data(),
             samples_[3].data(), dst, fx_.size());
  }

 private:
  // Pixels are moved as 4-byte words whose extra byte the next pixel overwrites. Reading a
  // word could pass the end of the source only at its last pixel, which is moved as 3 bytes.
  void Gather(std::uint32_t iy) {
    const int sh = source_.Height();
    const std::uint8_t* upper = source_.ScanLine(int(iy));
    const std::uint8_t* lower =
        source_.ScanLine(iy + 1 < std::uint32_t(sh) ? int(iy) + 1 : int(iy));
    const auto move = [&](int x, std::size_t bytes) {
      std::uint8_t* out[4] = {samples_[0].data(), samples_[1].data(), samples_[2].data(),
                              samples_[3].data()};
      const std::uint8_t* in[4] = {upper + left_[x], upper + right_[x], lower + left_[x],
                                   lower + right_[x]};
      for (int k = 0; k < 4; ++k) std::memcpy(out[k] + std::size_t(x) * kPixelBytes, in[k], bytes);
    };
    int x = 0;
    for (; x < wide_reads_; ++x) move(x, 4);
    for (; x < width_; ++x) move(x, kPixelBytes);
    gathered_ = iy;
  }

  // The row weights add up to 65537, so a uniform colour v gives (v * 65537) >> 16 = v.
  TOLVANE_PIXEL_LOOP static void WeighRow(std::uint32_t fy, const std::uint32_t* __restrict fx,
                                          const std::uint8_t* __restrict u0,
                                          const std::uint8_t* __restrict u1,
                                          const std::uint8_t* __restrict l0,
                                          const std::uint8_t* __restrict l1,
                                          std::uint8_t* __restrict dst, std::size_t n) {
    const std::uint32_t a0 = kFixedOne - fy, a1 = fy + 1;
    for (std::size_t i = 0; i < n; ++i) {
      // MulDiv(fx, a, 65536) with halves away from zero; nothing here is negative.
      const std::uint32_t w01 = (fx[i] * a0 + kFixedHalf) >> 16, w00 = a0 - w01;
      const std::uint32_t w11 = (fx[i] * a1 + kFixedHalf) >> 16, w10 = a1 - w11;
      const std::uint32_t sum = u0[i] * w00 + u1[i] * w01 + l0[i] * w10 + l1[i] * w11;
      dst[i] = static_cast<std::uint8_t>(sum >> 16);
    }
  }

  const TBitmap& source_;
  int width_;
  int wide_reads_ = 0;  // leading columns whose samples may be read as 4-byte words
  std::vector<std::uint32_t> left_, right_;  // byte offsets per destination pixel
  std::vector<std::uint32_t> fx_;            // fraction per destination byte
  std::vector<std::uint8_t> samples_[4];     // upper left, upper right, lower left, lower right
  std::uint32_t gathered_ = UINT32_MAX;
};

// Source and destination are 24-bit and not empty.
void Resample24(const TBitmap& source, TBitmap& destination) {
  const int sh = source.Height();
  const int dw = destination.Width(), dh = destination.Height();
  const std::span<std::uint8_t> out = destination.MutablePixels();
  if (source.Width() == dw && sh == dh) {
    for (int y = 0; y < dh; ++y) {
      std::memcpy(out.data() + std::size_t(y) * destination.Stride(), source.ScanLine(y),
                  std::size_t(dw) * kPixelBytes);
    }
    return;
  }
  BilinearRows rows(source, dw);
  const std::uint32_t ystep = Step(sh, dh);
  std::uint32_t sy = 0;
  for (int y = 0; y < dh; ++y, sy += ystep) {
    rows.Row(SourceIndex(sy, sh), sy & (kFixedOne - 1),
             out.data() + std::size_t(y) * destination.Stride());
  }
}

// The side derived from the aspect ratio, or nothing when it rounds to no pixels at all (or to
// more than any image may have).
std::optional<int> DerivedSide(long double exact) {
  if (!(exact >= 0.0L && exact <= static_cast<long double>(kMaxSide))) return std::nullopt;
  const long long side = RoundHalfEven(exact);
  if (side < 1) return std::nullopt;
  return static_cast<int>(side);
}

}  // namespace

void ResampleBilinear(const TBitmap& source, TBitmap& destination) {
  destination.SetPixelFormat(24);
  // Nothing to sample from, or nothing to fill: the destination stays as it is.
  if (destination.Empty() || source.Empty()) return;
  if (source.BitsPerPixel() == 24) return Resample24(source, destination);
  TBitmap working = source;
  working.SetPixelFormat(24);
  Resample24(working, destination);
}

std::optional<ResizeSettings> ResizeTarget(int width, int height, const ResizeSettings& settings) {
  if (settings.width < kMinTarget || settings.height < kMinTarget) return std::nullopt;
  ResizeSettings target = settings;
  if (settings.aspect_by_width || settings.aspect_by_height) {
    // An empty image has no aspect ratio to keep.
    if (width == 0 || height == 0) return std::nullopt;
    const auto ratio =
        static_cast<double>(static_cast<long double>(width) / static_cast<long double>(height));
    // With an extreme aspect ratio the derived side can round to 0 even though both targets
    // passed the check; that image is refused like a too small target rather than clamped.
    const std::optional<int> derived =
        settings.aspect_by_width ? DerivedSide(static_cast<long double>(settings.width) / ratio)
                                 : DerivedSide(static_cast<long double>(settings.height) * ratio);
    if (!derived) return std::nullopt;
    (settings.aspect_by_width ? target.height : target.width) = *derived;
  }
  return target;
}

void ResizeTo(TBitmap& image, int width, int height) {
  TBitmap result;
  // The filter sets every pixel of the result unless there is nothing to sample from.
  if (image.Empty()) {
    result.Create(width, height, 24);
  } else {
    result.CreateForOverwrite(width, height, 24);
  }
  ResampleBilinear(image, result);
  image = std::move(result);
}

ResizeOutcome ResizeImage(TBitmap& image, ResizeSettings& settings) {
  const std::optional<ResizeSettings> target =
      ResizeTarget(image.Width(), image.Height(), settings);
  if (!target) return ResizeOutcome::kTooSmall;
  ResizeTo(image, target->width, target->height);
  settings = *target;
  return ResizeOutcome::kResized;
}

bool StretchImage(TBitmap& image, int width, int height) {
  if (width < 0 || height < 0) return false;
  try {
    TBitmap result;
    result.Create(width, height, 24);
    result.StretchDraw(0, 0, width, height, image);
    image = std::move(result);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace tolvane
