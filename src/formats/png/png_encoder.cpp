#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "formats/png/png_codec.h"
#include "formats/png/png_glue.h"
#include "platform/byte_buffer.h"

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
  const std::optional<TColor> clear = TransparentColour(image, options);
  if (IsPaletteImage(image)) {
    s.bit_depth = image.BitsPerPixel();
    s.color_type = PNG_COLOR_TYPE_PALETTE;
    s.palette = FullPalette(image);
    if (clear) s.alphas = PaletteAlphas(s.palette, *clear);
  } else {
    s.bit_depth = 8;
    s.color_type = PNG_COLOR_TYPE_RGB;
    if (clear) {
      s.transparent_rgb = png_color_16{0, RedOf(*clear), GreenOf(*clear), BlueOf(*clear), 0};
    }
  }
  return s;
}

// The rows as the IDAT data holds them before compression: each led by its filter type, Sub
// (1), which stores every byte as its difference to the byte one pixel (at least one byte) to
// its left. Truecolour rows turn from blue-green-red into red-green-blue on the way.
ByteBuffer SubFilteredRows(const TBitmap& image) {
  const bool palette = IsPaletteImage(image);
  const std::size_t width = static_cast<std::size_t>(image.Width());
  const std::size_t row_bytes = palette ? (width * image.BitsPerPixel() + 7) / 8 : width * 3;
  ByteBuffer rows;  // every byte is written below
  rows.resize((row_bytes + 1) * static_cast<std::size_t>(image.Height()));
  std::uint8_t* out = rows.data();
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* in = image.ScanLine(y);
    *out++ = 1;
    if (palette) {
      std::uint8_t left = 0;
      for (std::size_t i = 0; i < row_bytes; ++i) {
        *out++ = static_cast<std::uint8_t>(in[i] - left);
        left = in[i];
      }
      continue;
    }
    std::uint8_t r0 = 0, g0 = 0, b0 = 0;
    for (std::size_t x = 0; x < width; ++x, in += 3) {
      out[0] = static_cast<std::uint8_t>(in[2] - r0);
      out[1] = static_cast<std::uint8_t>(in[1] - g0);
      out[2] = static_cast<std::uint8_t>(in[0] - b0);
      out += 3;
      r0 = in[2], g0 = in[1], b0 = in[0];
    }
  }
  return rows;
}

// The zlib stream of `data` at a zlib-like level (0: stored blocks only).
Status Deflate(std::span<const std::uint8_t> data, int level, ByteBuffer& out) {
  const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(level), libdeflate_free_compressor);
  if (!compressor) return Status::Error("PNG: out of memory");
  out.resize(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
  const std::size_t n =
      libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
  if (n == 0) return Status::Error("PNG: the image data cannot be compressed");
  out.resize(n);
  return {};
}

// `image` is a palette image or 24 bits.
Status Compress(const TBitmap& image, const PngWriteOptions& options,
                std::vector<std::uint8_t>& out) {
  ByteBuffer stream;
  {
    const ByteBuffer rows = SubFilteredRows(image);
    if (Status s = Deflate(rows, std::clamp(options.compression_level, 0, 9), stream); !s) {
      return s;
    }
  }
  png_glue::Writer png;
  png.Reserve(stream.size());
  if (Status s = png.Start(SettingsFor(image, options)); !s) return s;
  if (Status s = png.WriteImageData(stream); !s) return s;
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
