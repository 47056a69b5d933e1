#include <algorithm>
#include <bit>
#include <new>
#include <numeric>

#include "formats/gif/gif_codec.h"
#include "formats/gif/gif_glue.h"

namespace tolvane {
namespace {

constexpr int kMaxGifSide = 65535;

// One frame ready for giflib: a table and one index per pixel, plus which pixels have the
// image's transparent colour.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<TRgb> table;
  std::vector<GifPixelType> indices;
  std::vector<bool> clear;
};

bool IsPaletteImage(const TBitmap& image) {
  return image.BitsPerPixel() == 1 || image.BitsPerPixel() == 4 || image.BitsPerPixel() == 8;
}

unsigned IndexAt(const std::uint8_t* row, int x, int bpp) {
  const std::size_t bit = std::size_t(x) * std::size_t(bpp);
  return (row[bit / 8] >> (8 - bpp - int(bit % 8))) & ((1u << bpp) - 1);
}

std::vector<TRgb> CubeTable() {
  std::vector<TRgb> table;
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        table.push_back({std::uint8_t(51 * r), std::uint8_t(51 * g), std::uint8_t(51 * b)});
      }
    }
  }
  return table;
}

// Indices as they are; the table covers every index used (black past the palette's end).
void FillFromPalette(const TBitmap& image, const std::optional<TColor>& clear_colour,
                     Frame& frame) {
  frame.table = image.Palette();
  unsigned highest = 0;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      const unsigned index = IndexAt(row, x, image.BitsPerPixel());
      highest = std::max(highest, index);
      frame.indices.push_back(GifPixelType(index));
    }
  }
  if (frame.table.size() <= highest) frame.table.resize(highest + 1, TRgb{0, 0, 0});
  if (!clear_colour) return;
  std::vector<bool> entry_clear(frame.table.size());
  for (std::size_t i = 0; i < frame.table.size(); ++i) {
    const TRgb c = frame.table[i];
    entry_clear[i] = RGBColor(c.r, c.g, c.b) == *clear_colour;
  }
  for (const GifPixelType index : frame.indices) frame.clear.push_back(entry_clear[index]);
}

// Each pixel on its own to the cube: no dithering, not the nearest colour.
void FillFromCube(const TBitmap& bgr, const std::optional<TColor>& clear_colour, Frame& frame) {
  frame.table = CubeTable();
  for (int y = 0; y < bgr.Height(); ++y) {
    const std::uint8_t* p = bgr.ScanLine(y);
    for (int x = 0; x < bgr.Width(); ++x, p += 3) {
      frame.indices.push_back(
          GifPixelType(36 * CubeLevel(p[2]) + 6 * CubeLevel(p[1]) + CubeLevel(p[0])));
      if (clear_colour) frame.clear.push_back(RGBColor(p[2], p[1], p[0]) == *clear_colour);
    }
  }
}

// Reorders the table by falling use count and drops the colours no pixel uses.
void OptimiseTable(Frame& frame) {
  std::vector<std::size_t> uses(frame.table.size(), 0);
  for (const GifPixelType index : frame.indices) ++uses[index];
  std::vector<std::size_t> order(frame.table.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return uses[a] > uses[b]; });
  std::vector<TRgb> table;
  std::vector<GifPixelType> new_index(frame.table.size(), 0);
  for (const std::size_t old : order) {
    if (uses[old] == 0) break;
    new_index[old] = GifPixelType(table.size());
    table.push_back(frame.table[old]);
  }
  for (GifPixelType& index : frame.indices) index = new_index[index];
  frame.table = std::move(table);
}

// Appends the clear entry (black) and gives it to the pixels of the transparent colour; -1
// when the table is already full.
int AddClearEntry(Frame& frame) {
  if (frame.table.size() >= 256) return -1;
  const auto clear_index = GifPixelType(frame.table.size());
  frame.table.push_back({0, 0, 0});
  for (std::size_t i = 0; i < frame.indices.size(); ++i) {
    if (frame.clear[i]) frame.indices[i] = clear_index;
  }
  return clear_index;
}

// giflib's colour map: the table padded with black to a power of two of at least 2 entries.
struct MapDeleter {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
std::unique_ptr<ColorMapObject, MapDeleter> MakeMap(const std::vector<TRgb>& table) {
  const std::size_t size = std::bit_ceil(std::max<std::size_t>(table.size(), 2));
  std::vector<GifColorType> colours(size, GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < table.size(); ++i) {
    colours[i] = {table[i].r, table[i].g, table[i].b};
  }
  return std::unique_ptr<ColorMapObject, MapDeleter>(GifMakeMapObject(int(size), colours.data()));
}

Status PutTransparency(GifFileType* gif, int clear_index) {
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
  gcb.TransparentColor = clear_index;
  GifByteType block[4];
  const std::size_t length = EGifGCBToExtension(&gcb, block);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), block) == GIF_ERROR) {
    return Status::Error(gif_glue::Message(gif->Error));
  }
  return {};
}

Status Write(Frame& frame, bool gif89, int clear_index, std::vector<std::uint8_t>& out) {
  const auto map = MakeMap(frame.table);
  if (!map) return Status::Error("GIF: out of memory");
  std::vector<std::uint8_t> bytes;
  int error = 0;
  gif_glue::Encoder gif = gif_glue::OpenEncoder(bytes, &error);
  if (!gif) return Status::Error(gif_glue::Message(error));
  const auto failed = [&] { return Status::Error(gif_glue::Message(gif->Error)); };
  EGifSetGifVersion(gif.get(), gif89);
  if (EGifPutScreenDesc(gif.get(), frame.width, frame.height, map->BitsPerPixel, 0, map.get()) ==
      GIF_ERROR) {
    return failed();
  }
  if (clear_index >= 0) {
    if (Status s = PutTransparency(gif.get(), clear_index); !s) return s;
  }
  if (EGifPutImageDesc(gif.get(), 0, 0, frame.width, frame.height, false, nullptr) == GIF_ERROR) {
    return failed();
  }
  for (int y = 0; y < frame.height; ++y) {
    if (EGifPutLine(gif.get(), frame.indices.data() + std::size_t(y) * std::size_t(frame.width),
                    frame.width) == GIF_ERROR) {
      return failed();
    }
  }
  if (!gif_glue::CloseEncoder(std::move(gif), &error)) {
    return Status::Error(gif_glue::Message(error));
  }
  out = std::move(bytes);
  return {};
}

Status Encode(const TBitmap& image, std::vector<std::uint8_t>& out) {
  const std::optional<TColor> clear_colour =
      image.Transparent() ? std::optional<TColor>(image.TransparentColor()) : std::nullopt;
  Frame frame{image.Width(), image.Height(), {}, {}, {}};
  frame.indices.reserve(std::size_t(image.Width()) * std::size_t(image.Height()));
  if (IsPaletteImage(image)) {
    FillFromPalette(image, clear_colour, frame);
  } else if (image.BitsPerPixel() == 24) {
    FillFromCube(image, clear_colour, frame);
  } else {
    TBitmap bgr = image;
    bgr.SetPixelFormat(24);
    FillFromCube(bgr, clear_colour, frame);
  }
  int clear_index = -1;
  if (clear_colour) {
    OptimiseTable(frame);
    clear_index = AddClearEntry(frame);
  }
  return Write(frame, clear_colour.has_value(), clear_index, out);
}

}  // namespace

Status EncodeGif(const TBitmap& image, std::vector<std::uint8_t>& out) {
  if (image.Empty()) return Status::Error("the image is empty");
  if (image.Width() > kMaxGifSide || image.Height() > kMaxGifSide) {
    return Status::Error("GIF: sides longer than 65535 pixels cannot be stored");
  }
  try {
    return Encode(image, out);
  } catch (const std::bad_alloc&) {
    return Status::Error("GIF: out of memory");
  }
}

}  // namespace tolvane
