#include <functional>
#include <new>
#include <optional>

#include "formats/png/png_codec.h"
#include "formats/png/png_glue.h"
#include "formats/png/png_idat.h"

namespace tolvane {
namespace {

// How the file's samples become the image's pixels.
enum class Route {
  kIndexed,  // 1-, 2-, 4-bit files and 8-bit palette files: indices and their own palette
  kBgr,      // 8- and 16-bit grey or truecolour without transparency: 24 bits
  kBlend,    // partial transparency: blended over white into 24 bits
  kKeyed,    // 8- and 16-bit grey or truecolour with one transparent colour: that colour white
};

struct Header {
  int width = 0;
  int height = 0;
  int bit_depth = 0;
  int color_type = 0;
  bool interlaced = false;
  std::span<const png_byte> alphas;  // tRNS of a palette file
  std::optional<png_color_16> key;   // tRNS of a grey or truecolour file
};

Header ReadHeader(png_glue::Reader& png) {
  Header h;
  h.width = int(png_get_image_width(png.png(), png.info()));
  h.height = int(png_get_image_height(png.png(), png.info()));
  h.bit_depth = png_get_bit_depth(png.png(), png.info());
  h.color_type = png_get_color_type(png.png(), png.info());
  h.interlaced = png_get_interlace_type(png.png(), png.info()) != PNG_INTERLACE_NONE;
  png_bytep alphas = nullptr;
  int count = 0;
  png_color_16p key = nullptr;
  if (png_get_tRNS(png.png(), png.info(), &alphas, &count, &key) != 0) {
    if (h.color_type == PNG_COLOR_TYPE_PALETTE && alphas != nullptr) {
      h.alphas = {alphas, std::size_t(count)};
    } else if (key != nullptr) {
      h.key = *key;
    }
  }
  return h;
}

bool PartialAlpha(std::span<const png_byte> alphas) {
  for (const png_byte a : alphas) {
    if (a != 0 && a != 255) return true;
  }
  return false;
}

Route ChooseRoute(const Header& h) {
  if ((h.color_type & PNG_COLOR_MASK_ALPHA) != 0 || PartialAlpha(h.alphas)) return Route::kBlend;
  if (h.bit_depth < 8 || h.color_type == PNG_COLOR_TYPE_PALETTE) return Route::kIndexed;
  return h.key ? Route::kKeyed : Route::kBgr;
}

void SetTransforms(png_glue::Reader& png, Route route) {
  if (route == Route::kIndexed) return;  // raw indices or grey levels at the file's depth
  png_set_expand(png.png());             // palette to RGB, tRNS to alpha
  png_set_scale_16(png.png());
  png_set_gray_to_rgb(png.png());
}

// Hands every row to `use` as libpng delivers it after the transforms. Interlaced files need
// all rows in memory because each pass fills in the rows of the one before.
Status ForEachRow(png_glue::Reader& png, int height, int passes,
                  const std::function<void(int, const std::uint8_t*)>& use) {
  const std::size_t row_bytes = png_get_rowbytes(png.png(), png.info());
  if (passes == 1) {
    std::vector<std::uint8_t> row(row_bytes);
    for (int y = 0; y < height; ++y) {
      if (Status s = png.ReadRow(row.data()); !s) return s;
      use(y, row.data());
    }
    return {};
  }
  std::vector<std::uint8_t> all(row_bytes * std::size_t(height));
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[std::size_t(y)] = all.data() + row_bytes * std::size_t(y);
  if (Status s = png.ReadImage(rows.data()); !s) return s;
  for (int y = 0; y < height; ++y) use(y, rows[std::size_t(y)]);
  return {};
}

int IndexedDepth(int bit_depth) { return bit_depth == 2 ? 4 : bit_depth; }

std::vector<TRgb> FilePalette(png_glue::Reader& png) {
  png_colorp entries = nullptr;
  int count = 0;
  png_get_PLTE(png.png(), png.info(), &entries, &count);
  std::vector<TRgb> palette;
  for (int i = 0; i < count; ++i) {
    palette.push_back({entries[i].red, entries[i].green, entries[i].blue});
  }
  return palette;
}

// The levels of a 1-, 2- or 4-bit grey file spread over 0..255.
std::vector<TRgb> GreyLevels(int bit_depth) {
  const int levels = 1 << bit_depth;
  std::vector<TRgb> palette;
  for (int i = 0; i < levels; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
    palette.push_back({v, v, v});
  }
  return palette;
}

// Entries that are fully transparent: tRNS alphas of 0, or the grey key.
std::vector<bool> ClearEntries(const Header& h, std::size_t size) {
  std::vector<bool> clear(size, false);
  for (std::size_t i = 0; i < h.alphas.size() && i < size; ++i) clear[i] = h.alphas[i] == 0;
  if (h.key && h.key->gray < size) clear[h.key->gray] = true;
  return clear;
}

// The file's own colours. Fully transparent entries show white, as the pixels of a transparent
// colour do in every route; the first such entry's colour becomes the mark.
std::vector<TRgb> OwnPalette(png_glue::Reader& png, const Header& h, std::optional<TColor>* mark) {
  std::vector<TRgb> palette =
      h.color_type == PNG_COLOR_TYPE_PALETTE ? FilePalette(png) : GreyLevels(h.bit_depth);
  const std::vector<bool> clear = ClearEntries(h, palette.size());
  for (std::size_t i = 0; i < palette.size(); ++i) {
    if (!clear[i]) continue;
    if (!*mark) *mark = RGBColor(palette[i].r, palette[i].g, palette[i].b);
    palette[i] = {255, 255, 255};
  }
  return palette;
}

// 2-bit indices spread to 4 bits each, high nibble first as in the file.
void WidenTwoBit(const std::uint8_t* in, std::uint8_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    const unsigned index = (in[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    if (x % 2 == 0) {
      out[x / 2] = static_cast<std::uint8_t>(index << 4);
    } else {
      out[x / 2] |= static_cast<std::uint8_t>(index);
    }
  }
}

// The mark of a 16-bit file is its key reduced as its pixels are.
std::uint8_t KeySample(unsigned v, int bit_depth) {
  return static_cast<std::uint8_t>(bit_depth == 16 ? (v * 255 + 32767) / 65535 : v);
}

TColor KeyColour(const Header& h) {
  const png_color_16& k = *h.key;
  if (h.color_type == PNG_COLOR_TYPE_GRAY) {
    const std::uint8_t v = KeySample(k.gray, h.bit_depth);
    return RGBColor(v, v, v);
  }
  return RGBColor(KeySample(k.red, h.bit_depth), KeySample(k.green, h.bit_depth),
                  KeySample(k.blue, h.bit_depth));
}

void PutRow(Route route, const std::uint8_t* in, std::uint8_t* out, int width, int bit_depth,
            std::size_t row_bytes) {
  switch (route) {
    case Route::kIndexed:
      if (bit_depth == 2) {
        WidenTwoBit(in, out, width);
      } else {
        std::copy(in, in + row_bytes, out);
      }
      return;
    case Route::kBgr:
      for (int x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2], out[1] = in[1], out[2] = in[0];
      }
      return;
    case Route::kBlend:
      for (int x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned a = in[3];
        for (int c = 0; c < 3; ++c) {
          out[2 - c] = static_cast<std::uint8_t>((in[c] * a + 255 * (255 - a) + 127) / 255);
        }
      }
      return;
    case Route::kKeyed:
      for (int x = 0; x < width; ++x, in += 4, out += 3) {
        const bool clear = in[3] == 0;
        out[0] = clear ? 255 : in[2], out[1] = clear ? 255 : in[1], out[2] = clear ? 255 : in[0];
      }
      return;
  }
}

// 8-bit files without interlacing and without palette expansion, which are nearly all large
// photographs, have their image data read by png_idat; the rest goes through libpng's rows.
bool OwnRowsFit(const Header& h, Route route) {
  return h.bit_depth == 8 && !h.interlaced &&
         (h.color_type != PNG_COLOR_TYPE_PALETTE || route == Route::kIndexed);
}

int Channels(int color_type) {
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

// An 8-bit row as libpng hands it on after the transforms SetTransforms asks for: grey spread
// to RGB, an alpha channel added for a transparent colour (clear where the key's low byte
// matches, as libpng compares 8-bit samples). Returns `in` itself when nothing changes.
const std::uint8_t* ExpandRow(const Header& h, const std::uint8_t* in, std::uint8_t* out) {
  const int w = h.width;
  const bool keyed = h.key.has_value();
  std::uint8_t* o = out;
  switch (h.color_type) {
    case PNG_COLOR_TYPE_GRAY: {
      const unsigned key = keyed ? h.key->gray & 0xFFu : 0;
      for (int x = 0; x < w; ++x) {
        o[0] = o[1] = o[2] = in[x];
        if (keyed) o[3] = in[x] == key ? 0 : 255;
        o += keyed ? 4 : 3;
      }
      return out;
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      for (int x = 0; x < w; ++x, in += 2, o += 4) o[0] = o[1] = o[2] = in[0], o[3] = in[1];
      return out;
    case PNG_COLOR_TYPE_RGB:
      if (!keyed) return in;
      for (int x = 0; x < w; ++x, in += 3, o += 4) {
        const bool clear = in[0] == (h.key->red & 0xFFu) && in[1] == (h.key->green & 0xFFu) &&
                           in[2] == (h.key->blue & 0xFFu);
        o[0] = in[0], o[1] = in[1], o[2] = in[2], o[3] = clear ? 0 : 255;
      }
      return out;
    default:  // RGBA, and palette indices
      return in;
  }
}

Status ReadOwnRows(std::span<const std::uint8_t> file, png_glue::Reader& png, const Header& h,
                   Route route, TBitmap& decoded) {
  const int channels = Channels(h.color_type);
  png_idat::Layout layout;
  layout.row_bytes = std::size_t(h.width) * std::size_t(channels);
  layout.height = h.height;
  layout.pixel_bytes = channels;
  std::vector<std::uint8_t> expanded(std::size_t(h.width) * 4);
  return png_idat::ReadRows(file, png.Position(), layout, [&](int y, const std::uint8_t* row) {
    const std::uint8_t* ready = ExpandRow(h, row, expanded.data());
    PutRow(route, ready, decoded.ScanLine(y), h.width, h.bit_depth, layout.row_bytes);
  });
}

Status ReadLibpngRows(png_glue::Reader& png, const Header& h, Route route, TBitmap& decoded) {
  SetTransforms(png, route);
  int passes = 1;
  if (Status s = png.UpdateInfo(&passes); !s) return s;
  const std::size_t row_bytes = png_get_rowbytes(png.png(), png.info());
  return ForEachRow(png, h.height, passes, [&](int y, const std::uint8_t* row) {
    PutRow(route, row, decoded.ScanLine(y), h.width, h.bit_depth, row_bytes);
  });
}

// The image the rows go into, with the file's own palette for indexed files; *mark gets the
// colour that stands for transparency, if any.
TBitmap NewImage(png_glue::Reader& png, const Header& h, Route route, std::optional<TColor>* mark) {
  TBitmap decoded;
  if (route == Route::kIndexed) {
    decoded.Create(h.width, h.height, IndexedDepth(h.bit_depth));
    decoded.SetPalette(OwnPalette(png, h, mark));
  } else {
    // Every row is put whole, or the decode fails and the image is dropped.
    decoded.CreateForOverwrite(h.width, h.height, 24);
    if (route == Route::kKeyed) *mark = KeyColour(h);
  }
  return decoded;
}

Status Decode(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  png_glue::Reader png;
  if (Status s = png.Open(file); !s) return s;
  if (Status s = png.ReadInfo(); !s) return s;
  const Header h = ReadHeader(png);
  if (Status s = CheckImageSize(std::uint64_t(h.width), std::uint64_t(h.height), "PNG"); !s) {
    return s;
  }
  if (std::uint64_t(h.width) * std::uint64_t(h.height) > max_pixels) {
    return Status::Error("PNG: image larger than this caller accepts");
  }
  const Route route = ChooseRoute(h);
  std::optional<TColor> mark;
  TBitmap decoded = NewImage(png, h, route, &mark);
  const Status read = OwnRowsFit(h, route) ? ReadOwnRows(file, png, h, route, decoded)
                                           : ReadLibpngRows(png, h, route, decoded);
  if (!read) return read;
  if (mark) decoded.SetTransparent(true, *mark);
  image = std::move(decoded);
  return {};
}

}  // namespace

Status DecodePng(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  try {
    return Decode(file, image, max_pixels);
  } catch (const std::bad_alloc&) {
    return Status::Error("PNG: out of memory");
  }
}

}  // namespace tolvane
