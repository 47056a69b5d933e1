#include <algorithm>
#include <new>
#include <optional>

#include "formats/png/png_codec.h"
#include "formats/png/png_glue.h"

namespace tolvane {
namespace {

bool IsPaletteImage(const TBitmap& image) {
  return image.BitsPerPixel() == 1 || image.BitsPerPixel() == 4 || image.BitsPerPixel() == 8;
}

// The PLTE has 2^depth entries: the image's palette, cut or padded with black.
std::vector<png_color> FullPalette(const TBitmap& image) {
  std::vector<png_color> plte(std::size_t{1} << image.BitsPerPixel(), png_color{0, 0, 0});
  const std::size_t n = std::min(plte.size(), image.Palette().size());
  for (std::size_t i = 0; i < n; ++i) {
    const TRgb c = image.Palette()[i];
    plte[i] = {c.r, c.g, c.b};
  }
  return plte;
}

std::optional<TColor> TransparentColour(const TBitmap& image, const PngWriteOptions& options) {
  if (options.transparent_bottom_left) return image.Pixels(0, image.Height() - 1);
  if (image.Transparent()) return image.TransparentColor();
  return std::nullopt;
}

// Palette images: opaque entries up to the first entry of the colour, which is clear; no tRNS
// when no entry has that colour.
std::vector<png_byte> PaletteAlphas(const std::vector<png_color>& plte, TColor colour) {
  for (std::size_t i = 0; i < plte.size(); ++i) {
    if (RGBColor(plte[i].red, plte[i].green, plte[i].blue) == colour) {
      std::vector<png_byte> alphas(i + 1, 255);
      alphas[i] = 0;
      return alphas;
    }
  }
  return {};
}

png_glue::WriteSettings SettingsFor(const TBitmap& image, const PngWriteOptions& options) {
  png_glue::WriteSettings s;
  s.width = image.Width();
  s.height = image.Height();
  s.compression_level = std::clamp(options.compression_level, 0, 9);
  const std::optional<TColor> clear = TransparentColour(image, options);
  if (IsPaletteImage(image)) {
    s.bit_depth = image.BitsPerPixel();
    s.color_type = PNG_COLOR_TYPE_PALETTE;
    s.palette = FullPalette(image);
    if (clear) s.alphas = PaletteAlphas(s.palette, *clear);
  } else {
    s.bit_depth = 8;
    s.color_type = PNG_COLOR_TYPE_RGB;
    s.bgr = true;
    if (clear)
      s.transparent_rgb = png_color_16{0, RedOf(*clear), GreenOf(*clear), BlueOf(*clear), 0};
  }
  return s;
}

// `image` is a palette image or 24 bits.
Status Compress(const TBitmap& image, const PngWriteOptions& options,
                std::vector<std::uint8_t>& out) {
  png_glue::Writer png;
  if (Status s = png.Start(SettingsFor(image, options)); !s) return s;
  for (int y = 0; y < image.Height(); ++y) {
    if (Status s = png.WriteRow(image.ScanLine(y)); !s) return s;
  }
  if (Status s = png.Finish(); !s) return s;
  out = std::move(png.Output());
  return {};
}

}  // namespace

Status EncodePng(const TBitmap& image, const PngWriteOptions& options,
                 std::vector<std::uint8_t>& out) {
  if (image.Empty()) return Status::Error("the image is empty");
  try {
    if (IsPaletteImage(image) || image.BitsPerPixel() == 24) return Compress(image, options, out);
    TBitmap copy = image;  // 16 and 32 bits: red, green, blue of each pixel, the rest dropped
    copy.SetPixelFormat(24);
    return Compress(copy, options, out);
  } catch (const std::bad_alloc&) {
    return Status::Error("PNG: out of memory");
  }
}

}  // namespace tolvane
