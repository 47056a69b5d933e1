#include "imaging/tbitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "platform/limits.h"

namespace tolvane {
namespace {

// Scales a bit-field sample to 8 bits.
std::uint8_t FieldValue(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint32_t max = mask >> shift;
  const std::uint32_t v = (pixel & mask) >> shift;
  return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max / 2) / max);
}

}  // namespace

std::size_t TBitmap::StrideFor(int width, int bpp) {
  return ((std::size_t(width) * std::size_t(bpp) + 31) / 32) * 4;
}

std::array<std::uint32_t, 3> TBitmap::DefaultMasks(int bpp) {
  if (bpp == 16) return {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) return {0x00FF0000, 0x0000FF00, 0x000000FF};
  return {0, 0, 0};
}

void TBitmap::Reshape(int width, int height, int bpp) {
  const BmpOrigin keep_origin = std::move(origin_);
  const bool keep_transparent = transparent_;
  const auto keep_colour = transparent_colour_;
  std::vector<TRgb> keep_palette = std::move(palette_);
  *this = TBitmap();
  bpp_ = bpp;
  masks_ = DefaultMasks(bpp);
  palette_ = std::move(keep_palette);
  transparent_ = keep_transparent;
  transparent_colour_ = keep_colour;
  origin_ = keep_origin;
  Touch();
  if (width <= 0 || height <= 0) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    return;
  }
  RequireWithinImageLimits(width, height);
  width_ = width;
  height_ = height;
  stride_ = StrideFor(width, bpp);
  pixels_.resize(stride_ * std::size_t(height));
}

void TBitmap::Create(int width, int height, int bpp) {
  Reshape(width, height, bpp);
  std::fill(pixels_.begin(), pixels_.end(), bpp >= 16 ? 0xFF : 0x00);
}

void TBitmap::CreateForOverwrite(int width, int height, int bpp) {
  Reshape(width, height, bpp);
  // Row padding is written to files as it stands, so it must not keep old memory contents.
  const std::size_t used = (std::size_t(width_) * std::size_t(bpp) + 7) / 8;
  if (used == stride_) return;
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = pixels_.data() + std::size_t(y) * stride_;
    std::fill(row + used, row + stride_, std::uint8_t{0});
  }
}

std::uint8_t* TBitmap::ScanLine(int y) {
  Touch();
  return pixels_.data() + std::size_t(y) * stride_;
}

std::span<std::uint8_t> TBitmap::MutablePixels() {
  Touch();
  return pixels_;
}

void TBitmap::SetPalette(std::vector<TRgb> palette) {
  Touch();
  palette_ = std::move(palette);
}

void TBitmap::SetMasks(const std::array<std::uint32_t, 3>& masks) {
  Touch();
  masks_ = masks;
}

TColor TBitmap::Pixels(int x, int y) const {
  const std::uint8_t* row = ScanLine(y);
  switch (bpp_) {
    case 1:
    case 4:
    case 8: {
      const std::size_t bit = std::size_t(x) * bpp_;
      const int shift = 8 - bpp_ - int(bit % 8);
      const unsigned index = (row[bit / 8] >> shift) & ((1u << bpp_) - 1);
      if (index >= palette_.size()) return kBlack;
      const TRgb c = palette_[index];
      return RGBColor(c.r, c.g, c.b);
    }
    case 16: {
      const std::uint32_t v = row[2 * x] | (std::uint32_t{row[2 * x + 1]} << 8);
      return RGBColor(FieldValue(v, masks_[0]), FieldValue(v, masks_[1]), FieldValue(v, masks_[2]));
    }
    case 24:
      return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case 32: {
      const std::uint8_t* p = row + 4 * std::size_t(x);
      const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                              (std::uint32_t{p[3]} << 24);
      return RGBColor(FieldValue(v, masks_[0]), FieldValue(v, masks_[1]), FieldValue(v, masks_[2]));
    }
  }
  return kBlack;
}

void TBitmap::ConvertTo24() {
  TBitmap out;
  out.CreateForOverwrite(width_, height_, 24);  // every pixel of every row is set below
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* dst = out.pixels_.data() + std::size_t(y) * out.stride_;
    if (bpp_ == 32 && masks_ == DefaultMasks(32)) {
      const std::uint8_t* src = ScanLine(y);
      for (int x = 0; x < width_; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
      continue;
    }
    for (int x = 0; x < width_; ++x) {
      const TColor c = Pixels(x, y);
      dst[3 * x] = BlueOf(c);
      dst[3 * x + 1] = GreenOf(c);
      dst[3 * x + 2] = RedOf(c);
    }
  }
  pixels_ = std::move(out.pixels_);
  stride_ = out.stride_;
}

void TBitmap::SetPixelFormat(int bpp) {
  if (bpp == bpp_) return;
  if (Empty()) {
    Create(width_, height_, bpp);
    return;
  }
  if (bpp != 24) throw std::logic_error("TBitmap: only conversions to 24 bits are defined");
  ConvertTo24();
  bpp_ = 24;
  masks_ = {0, 0, 0};
  palette_.clear();
  Touch();
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  TBitmap out;
  out.Create(width, height, bpp_);
  const int keep_w = std::min(width, width_);
  const int keep_h = std::min(height, height_);
  const std::size_t keep_bits = std::size_t(keep_w) * bpp_;
  for (int y = 0; y < keep_h; ++y) {
    const std::uint8_t* src = ScanLine(y);
    std::uint8_t* dst = out.pixels_.data() + std::size_t(y) * out.stride_;
    std::memcpy(dst, src, keep_bits / 8);
    if (keep_bits % 8) {
      const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> (keep_bits % 8));
      dst[keep_bits / 8] =
          static_cast<std::uint8_t>((src[keep_bits / 8] & mask) | (dst[keep_bits / 8] & ~mask));
    }
  }
  width_ = width;
  height_ = height;
  stride_ = out.stride_;
  pixels_ = std::move(out.pixels_);
  Touch();
}

TColor TBitmap::TransparentColor() const {
  if (transparent_colour_) return *transparent_colour_;
  if (Empty()) return kBlack;
  return Pixels(0, height_ - 1);
}

void TBitmap::SetTransparent(bool on, std::optional<TColor> colour) {
  transparent_ = on;
  transparent_colour_ = on ? colour : std::nullopt;
}

std::uint8_t TBitmap::NearestIndex(TColor colour) const {
  int best = 0;
  long best_distance = -1;
  for (std::size_t i = 0; i < palette_.size() && i < 256; ++i) {
    const long dr = long(palette_[i].r) - RedOf(colour);
    const long dg = long(palette_[i].g) - GreenOf(colour);
    const long db = long(palette_[i].b) - BlueOf(colour);
    const long d = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || d < best_distance) {
      best_distance = d;
      best = static_cast<int>(i);
    }
  }
  return static_cast<std::uint8_t>(best);
}

void TBitmap::WritePixel(std::uint8_t* row, int x, TColor c) {
  switch (bpp_) {
    case 24:
      row[3 * x] = BlueOf(c);
      row[3 * x + 1] = GreenOf(c);
      row[3 * x + 2] = RedOf(c);
      return;
    case 32:
      row[4 * x] = BlueOf(c);
      row[4 * x + 1] = GreenOf(c);
      row[4 * x + 2] = RedOf(c);
      row[4 * x + 3] = 0;
      return;
    case 16: {
      std::uint32_t v = 0;
      const std::uint8_t channels[3] = {RedOf(c), GreenOf(c), BlueOf(c)};
      for (int i = 0; i < 3; ++i) {
        if (masks_[i] == 0) continue;
        const int shift = std::countr_zero(masks_[i]);
        const std::uint32_t max = masks_[i] >> shift;
        v |= ((channels[i] * max + 127) / 255) << shift;
      }
      row[2 * x] = static_cast<std::uint8_t>(v);
      row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      return;
    }
    default: {
      const std::size_t bit = std::size_t(x) * bpp_;
      const int shift = 8 - bpp_ - int(bit % 8);
      const std::uint8_t mask = static_cast<std::uint8_t>(((1u << bpp_) - 1) << shift);
      const std::uint8_t value = static_cast<std::uint8_t>(NearestIndex(c) << shift);
      row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | (value & mask));
    }
  }
}

void TBitmap::Draw(int x, int y, const TBitmap& source) {
  if (Empty() || source.Empty()) return;
  Touch();
  const bool keyed = source.Transparent();
  const TColor key = keyed ? source.TransparentColor() : 0;
  const int x0 = std::max(x, 0), x1 = std::min(x + source.Width(), width_);
  const int y0 = std::max(y, 0), y1 = std::min(y + source.Height(), height_);
  const bool plain24 = bpp_ == 24 && source.bpp_ == 24 && !keyed;
  for (int dy = y0; dy < y1; ++dy) {
    std::uint8_t* row = pixels_.data() + std::size_t(dy) * stride_;
    if (plain24 && x1 > x0) {
      std::memcpy(row + 3 * std::size_t(x0), source.ScanLine(dy - y) + 3 * std::size_t(x0 - x),
                  3 * std::size_t(x1 - x0));
      continue;
    }
    for (int dx = x0; dx < x1; ++dx) {
      const TColor c = source.Pixels(dx - x, dy - y);
      if (keyed && c == key) continue;
      WritePixel(row, dx, c);
    }
  }
}

void TBitmap::StretchDraw(int x, int y, int width, int height, const TBitmap& source) {
  if (Empty() || source.Empty() || width <= 0 || height <= 0) return;
  Touch();
  for (int dy = std::max(y, 0); dy < std::min(y + height, height_); ++dy) {
    const int sy = int(std::int64_t(dy - y) * source.Height() / height);
    std::uint8_t* row = pixels_.data() + std::size_t(dy) * stride_;
    for (int dx = std::max(x, 0); dx < std::min(x + width, width_); ++dx) {
      const int sx = int(std::int64_t(dx - x) * source.Width() / width);
      WritePixel(row, dx, source.Pixels(sx, sy));
    }
  }
}

void TBitmap::FillRect(TColor colour) {
  if (Empty()) return;
  Touch();
  if (bpp_ == 24) {
    std::uint8_t* first = pixels_.data();
    for (int x = 0; x < width_; ++x) WritePixel(first, x, colour);
    for (int y = 1; y < height_; ++y) {
      std::memcpy(first + std::size_t(y) * stride_, first, 3 * std::size_t(width_));
    }
    return;
  }
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* row = pixels_.data() + std::size_t(y) * stride_;
    for (int x = 0; x < width_; ++x) WritePixel(row, x, colour);
  }
}

void TBitmap::CopyRect(int dx, int dy, const TBitmap& source, int sx, int sy, int width,
                       int height) {
  if (width <= 0 || height <= 0) return;
  Touch();
  if (bpp_ == source.bpp_ && bpp_ >= 8) {
    const std::size_t bytes = std::size_t(bpp_ / 8);
    for (int row = 0; row < height; ++row) {
      std::memcpy(pixels_.data() + std::size_t(dy + row) * stride_ + bytes * dx,
                  source.ScanLine(sy + row) + bytes * sx, bytes * std::size_t(width));
    }
    return;
  }
  for (int row = 0; row < height; ++row) {
    std::uint8_t* dst = pixels_.data() + std::size_t(dy + row) * stride_;
    for (int col = 0; col < width; ++col)
      WritePixel(dst, dx + col, source.Pixels(sx + col, sy + row));
  }
}

}  // namespace tolvane
