#pragma once
// Helpers of the TIFF tests: a sink that records messages and beeps, and libtiff as an
// independent reader and producer of files (only when the build found it).
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/message_sink.h"

#ifdef TOLVANE_HAVE_LIBTIFF
#include <tiffio.h>
#endif

namespace tolvane::testing {

// Installs itself as the message sink for its lifetime.
class RecordingSink final : public MessageSink {
 public:
  RecordingSink() : previous_(SetMessageSink(this)) {}
  ~RecordingSink() override { SetMessageSink(previous_); }
  void Message(const std::string& text, const std::string& caption) override {
    messages.emplace_back(text, caption);
  }
  void Beep() override { ++beeps; }

  std::vector<std::pair<std::string, std::string>> messages;
  int beeps = 0;

 private:
  MessageSink* previous_;
};

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<TColor> pixels;  // top row first
  TColor At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

inline RgbPicture PictureOf(const TBitmap& image) {
  RgbPicture p{image.Width(), image.Height(), {}};
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) p.pixels.push_back(image.Pixels(x, y));
  }
  return p;
}

#ifdef TOLVANE_HAVE_LIBTIFF

// 8-bit palette rows as libtiff decodes them, through its colour map scaled by 255/65535 and
// rounded (its RGBA path truncates instead).
inline bool ReadPaletteRows(TIFF* tif, RgbPicture& p) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1) return false;
  const auto scale = [](std::uint16_t v) { return std::uint8_t((v + 128u) / 257u); };
  std::vector<std::uint8_t> row(TIFFScanlineSize(tif));
  for (int y = 0; y < p.height; ++y) {
    if (TIFFReadScanline(tif, row.data(), std::uint32_t(y), 0) != 1) return false;
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t i = row[x];
      p.pixels[std::size_t(y) * p.width + x] =
          RGBColor(scale(red[i]), scale(green[i]), scale(blue[i]));
    }
  }
  return true;
}

// libtiff's reading of the first image: the first three samples of RGB(A) rows as they are
// stored (its RGBA path would premultiply alpha), palette rows through the colour map, its
// RGBA conversion for everything else.
inline std::optional<RgbPicture> ReadWithLibtiff(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return std::nullopt;
  std::uint32_t w = 0, h = 0;
  std::uint16_t spp = 1, bits = 1, photometric = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  RgbPicture p{int(w), int(h), std::vector<TColor>(std::size_t(w) * h)};
  bool ok = true;
  if (photometric == PHOTOMETRIC_PALETTE && bits == 8) {
    ok = ReadPaletteRows(tif, p);
  } else if (spp >= 3) {
    std::vector<std::uint8_t> row(TIFFScanlineSize(tif));
    for (std::uint32_t y = 0; y < h && ok; ++y) {
      ok = TIFFReadScanline(tif, row.data(), y, 0) == 1;
      for (std::uint32_t x = 0; x < w; ++x) {
        p.pixels[y * w + x] = RGBColor(row[spp * x], row[spp * x + 1], row[spp * x + 2]);
      }
    }
  } else {
    std::vector<std::uint32_t> raster(std::size_t(w) * h);
    ok = TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0) == 1;
    for (std::size_t i = 0; i < raster.size(); ++i) {
      p.pixels[i] = RGBColor(TIFFGetR(raster[i]), TIFFGetG(raster[i]), TIFFGetB(raster[i]));
    }
  }
  TIFFClose(tif);
  if (!ok) return std::nullopt;
  return p;
}

// What libtiff is asked to write; rows hold the samples as the file stores them.
struct LibtiffImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t bits_per_sample = 8;
  std::uint16_t samples = 1;
  std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t predictor = 1;
  std::uint32_t rows_per_strip = 1;
  std::vector<std::uint16_t> colour_map;  // red, green, blue runs of 2^bits values each
  bool big_endian = false;
  std::vector<std::vector<std::uint8_t>> rows;
};

inline void WriteDirectory(TIFF* tif, const LibtiffImage& image) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, image.bits_per_sample);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, image.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, image.photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, image.compression);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, image.rows_per_strip);
  if (image.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, image.predictor);
  if (image.samples == 4) {
    const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (!image.colour_map.empty()) {
    std::vector<std::uint16_t> map = image.colour_map;
    const std::size_t n = map.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
  }
  for (std::uint32_t y = 0; y < image.height; ++y) {
    std::vector<std::uint8_t> row = image.rows[y];  // libtiff may change the buffer it is given
    TIFFWriteScanline(tif, row.data(), y, 0);
  }
  TIFFWriteDirectory(tif);
}

// Writes the images as the directories of one file; false when libtiff refused.
inline bool WriteWithLibtiff(const std::string& path, const std::vector<LibtiffImage>& images) {
  TIFF* tif = TIFFOpen(path.c_str(), images.front().big_endian ? "wb" : "wl");
  if (!tif) return false;
  for (const LibtiffImage& image : images) WriteDirectory(tif, image);
  TIFFClose(tif);
  return true;
}

#endif  // TOLVANE_HAVE_LIBTIFF

}  // namespace tolvane::testing
