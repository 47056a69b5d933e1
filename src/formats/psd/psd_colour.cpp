#include "formats/psd/psd_colour.h"

#include <algorithm>
#include <vector>

#include "formats/psd/lab_to_srgb.h"
#include "platform/checked_math.h"

namespace tolvane::psd {
namespace {

using Samples = std::array<unsigned, 4>;

std::vector<TRgb> GreyRamp() {
  std::vector<TRgb> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
  return palette;
}

std::vector<TRgb> TablePalette(const std::array<std::uint8_t, kColourTableSize>& table) {
  std::vector<TRgb> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {table[i], table[256 + i], table[512 + i]};
  return palette;
}

// Bitmap documents: 1 = black, stored most significant bit first like our 1-bit rows.
Status BuildBitmapMode(const PlaneRows& rows, const PlaneLayout& layout, TBitmap& picture) {
  picture.Create(int(layout.width), int(layout.height), 1);
  picture.SetPalette({{255, 255, 255}, {0, 0, 0}});
  const std::size_t row_bytes = layout.RowBytes();
  const unsigned spare_bits = unsigned(row_bytes * 8 - layout.width);
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    std::uint8_t* out = picture.ScanLine(int(y));
    if (Status s = rows.Read(0, y, {out, row_bytes}); !s) return s;
    out[row_bytes - 1] &= std::uint8_t(0xFF << spare_bits);
  }
  return {};
}

// Grayscale, Duotone and Indexed: one 8-bit index per pixel (16-bit samples by their high
// byte).
Status BuildIndexed(const PlaneRows& rows, const PlaneLayout& layout, std::vector<TRgb> palette,
                    TBitmap& picture) {
  picture.Create(int(layout.width), int(layout.height), 8);
  picture.SetPalette(std::move(palette));
  const std::size_t step = layout.depth / 8;
  std::vector<std::uint8_t> stored(layout.RowBytes());
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    if (Status s = rows.Read(0, y, stored); !s) return s;
    std::uint8_t* out = picture.ScanLine(int(y));
    for (std::uint32_t x = 0; x < layout.width; ++x) out[x] = stored[x * step];
  }
  return {};
}

// 24-bit pictures: pixel(samples) gives the colour of one pixel from its samples of the first
// `planes` planes, at the file's depth.
template <typename Pixel>
Status Build24(const PlaneRows& rows, const PlaneLayout& layout, int planes, TBitmap& picture,
               Pixel pixel) {
  picture.Create(int(layout.width), int(layout.height), 24);
  std::array<std::vector<std::uint8_t>, 4> stored;
  for (int p = 0; p < planes; ++p) stored[p].resize(layout.RowBytes());
  const bool wide = layout.depth == 16;
  for (std::uint32_t y = 0; y < layout.height; ++y) {
    for (int p = 0; p < planes; ++p) {
      if (Status s = rows.Read(p, y, stored[p]); !s) return s;
    }
    std::uint8_t* out = picture.ScanLine(int(y));
    for (std::uint32_t x = 0; x < layout.width; ++x) {
      Samples s{};
      for (int p = 0; p < planes; ++p) {
        const std::uint8_t* at = stored[p].data() + (wide ? 2 * x : x);
        s[p] = wide ? (unsigned(at[0]) << 8) | at[1] : at[0];
      }
      const TRgb c = pixel(s);
      out[3 * x] = c.b, out[3 * x + 1] = c.g, out[3 * x + 2] = c.r;
    }
  }
  return {};
}

// One channel of a CMYK pixel from the ink amounts (stored values inverted) of its colour and
// of black, at 8 or 16 bits.
std::uint8_t CmykChannel(unsigned stored_colour, unsigned stored_black, bool wide) {
  if (!wide) {
    const int c = 255 - int(stored_colour), k = 255 - int(stored_black);
    return std::uint8_t(std::clamp(MulDiv(c, k, 255) - c - k + 255, 0, 255));
  }
  const int c = 65535 - int(stored_colour), k = 65535 - int(stored_black);
  const int ink = c + k - MulDiv(c, k, 65535);
  return ink < 65536 ? std::uint8_t(255 - ink / 256) : 0;
}

Status BuildCmyk(const PlaneRows& rows, const PlaneLayout& layout, TBitmap& picture) {
  const bool wide = layout.depth == 16;
  return Build24(rows, layout, 4, picture, [wide](const Samples& s) {
    return TRgb{CmykChannel(s[0], s[3], wide), CmykChannel(s[1], s[3], wide),
                CmykChannel(s[2], s[3], wide)};
  });
}

Status BuildLab(const PlaneRows& rows, const PlaneLayout& layout, TBitmap& picture) {
  const int shift = layout.depth == 16 ? 8 : 0;
  // Neighbouring pixels often repeat; the conversion is costly enough to remember the last.
  Samples last{1, 0, 0, 0};
  TRgb last_colour = PsdLabToSrgb(1, 0, 0);
  return Build24(rows, layout, 3, picture, [&](const Samples& s) {
    if (s != last) {
      last = s;
      last_colour = PsdLabToSrgb(std::uint8_t(s[0] >> shift), std::uint8_t(s[1] >> shift),
                                 std::uint8_t(s[2] >> shift));
    }
    return last_colour;
  });
}

Status BuildRgb(const PlaneRows& rows, const PlaneLayout& layout, TBitmap& picture) {
  const int shift = layout.depth == 16 ? 8 : 0;
  return Build24(rows, layout, 3, picture, [shift](const Samples& s) {
    return TRgb{std::uint8_t(s[0] >> shift), std::uint8_t(s[1] >> shift),
                std::uint8_t(s[2] >> shift)};
  });
}

}  // namespace

int PlanesOfMode(ColourMode mode) {
  switch (mode) {
    case ColourMode::kBitmap:
    case ColourMode::kGrayscale:
    case ColourMode::kIndexed:
    case ColourMode::kDuotone:
      return 1;
    case ColourMode::kRgb:
    case ColourMode::kLab:
      return 3;
    case ColourMode::kCmyk:
      return 4;
    case ColourMode::kMultichannel:
      break;
  }
  return 0;
}

Status BuildPicture(ColourMode mode, const PlaneRows& rows, const PlaneLayout& layout,
                    const std::array<std::uint8_t, kColourTableSize>& colour_table,
                    TBitmap& picture) {
  switch (mode) {
    case ColourMode::kBitmap:
      return BuildBitmapMode(rows, layout, picture);
    case ColourMode::kGrayscale:
    case ColourMode::kDuotone:
      return BuildIndexed(rows, layout, GreyRamp(), picture);
    case ColourMode::kIndexed:
      return BuildIndexed(rows, layout, TablePalette(colour_table), picture);
    case ColourMode::kRgb:
      return BuildRgb(rows, layout, picture);
    case ColourMode::kCmyk:
      return BuildCmyk(rows, layout, picture);
    case ColourMode::kLab:
      return BuildLab(rows, layout, picture);
    case ColourMode::kMultichannel:
      break;
  }
  return Status::Error("PSD: colour mode " + std::to_string(int(mode)) + " is not drawn");
}

}  // namespace tolvane::psd
