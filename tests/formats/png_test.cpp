// The PNG codec: decoding checked against libpng's simplified reader, writing checked byte by
// byte (chunks, filter bytes after inflating, tRNS payloads).
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/png/png_codec.h"

namespace tolvane {
namespace {

using testing::DataBytes;

// libpng's own reading of a file as 8-bit RGBA.
struct Rgba {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  const std::uint8_t* At(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * 4]; }
};

// 8-bit files are read as 8-bit RGBA. 16-bit files are read as 16-bit "linear" samples, which
// for a file without gamma information are its samples as stored (8-bit output would apply a
// gamma curve), then reduced to 8 bits by rounding.
Rgba ReferenceRgba(const std::vector<std::uint8_t>& file, bool sixteen_bit) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_memory(&image, file.data(), file.size()));
  image.format = sixteen_bit ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> buffer(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr));
  Rgba out{int(image.width), int(image.height), {}};
  if (!sixteen_bit) {
    out.pixels = std::move(buffer);
    return out;
  }
  for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
    std::uint16_t v;
    std::memcpy(&v, &buffer[i], 2);
    out.pixels.push_back(std::uint8_t((v * 255u + 32767u) / 65535u));
  }
  return out;
}

struct DecodeCase {
  const char* file;
  int bpp;
  std::size_t palette_size;
  bool transparent_mark;
  bool sixteen_bit;
  friend void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.file; }
};

class PngDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

// Every pixel is libpng's colour, blended over white by its alpha; fully clear pixels white.
TEST_P(PngDecodeTest, DepthPaletteAndColoursFollowTheFile) {
  const DecodeCase& c = GetParam();
  const auto file = DataBytes(std::string("png/") + c.file);
  TBitmap image;
  ASSERT_TRUE(DecodePng(file, image)) << c.file;
  EXPECT_EQ(image.BitsPerPixel(), c.bpp);
  EXPECT_EQ(image.Palette().size(), c.palette_size);
  EXPECT_EQ(image.Transparent(), c.transparent_mark);
  const Rgba ref = ReferenceRgba(file, c.sixteen_bit);
  ASSERT_EQ(image.Width(), ref.width);
  ASSERT_EQ(image.Height(), ref.height);
  int worst = 0;
  for (int y = 0; y < ref.height; ++y) {
    for (int x = 0; x < ref.width; ++x) {
      const std::uint8_t* p = ref.At(x, y);
      const TColor got = image.Pixels(x, y);
      const std::uint8_t channels[3] = {RedOf(got), GreenOf(got), BlueOf(got)};
      for (int i = 0; i < 3; ++i) {
        const int expected = (p[i] * p[3] + 255 * (255 - p[3]) + 127) / 255;
        worst = std::max(worst, std::abs(expected - int(channels[i])));
      }
    }
  }
  EXPECT_EQ(worst, 0) << c.file;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PngDecodeTest,
                         ::testing::Values(DecodeCase{"gray1.png", 1, 2, false, false},
                                           DecodeCase{"gray2.png", 4, 4, false, false},
                                           DecodeCase{"gray4.png", 4, 16, false, false},
                                           DecodeCase{"gray16.png", 24, 0, false, true},
                                           DecodeCase{"pal2.png", 4, 4, false, false},
                                           DecodeCase{"pal4.png", 4, 16, false, false},
                                           DecodeCase{"pal8.png", 8, 256, false, false},
                                           DecodeCase{"graya8.png", 24, 0, false, false},
                                           DecodeCase{"rgba8.png", 24, 0, false, false},
                                           DecodeCase{"trns_pal_partial.png", 24, 0, false, false},
                                           DecodeCase{"trns_gray.png", 24, 0, true, false},
                                           DecodeCase{"trns_rgb.png", 24, 0, true, false},
                                           DecodeCase{"trns_pal_binary.png", 8, 33, true, false}));

// Low-depth files used to be painted onto fixed system palettes; they keep their own now.
TEST(PngDecodeTest, PaletteFilesKeepTheirOwnColoursAndIndices) {
  const auto file = DataBytes("png/pal4.png");
  TBitmap image;
  ASSERT_TRUE(DecodePng(file, image));
  png_image header{};
  header.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&header, file.data(), file.size()));
  header.format = PNG_FORMAT_RGB | PNG_FORMAT_FLAG_COLORMAP;
  std::vector<std::uint8_t> indices(PNG_IMAGE_SIZE(header)),
      colours(PNG_IMAGE_COLORMAP_SIZE(header));
  ASSERT_TRUE(png_image_finish_read(&header, nullptr, indices.data(), 0, colours.data()));
  for (std::size_t i = 0; i < header.colormap_entries; ++i) {
    EXPECT_EQ(image.Palette()[i], (TRgb{colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]}));
  }
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      ASSERT_EQ(testing::IndexOf(image, x, y), indices[std::size_t(y) * image.Width() + x]);
    }
  }
}

TEST(PngDecodeTest, SingleTransparentColourLeavesWhiteAndMarksThatColour) {
  struct Case {
    const char* file;
    TColor mark;
  };
  for (const Case c :
       {Case{"trns_rgb.png", RGBColor(0, 0, 255)}, Case{"trns_gray.png", RGBColor(77, 77, 77)}}) {
    TBitmap image;
    ASSERT_TRUE(DecodePng(DataBytes(std::string("png/") + c.file), image));
    EXPECT_EQ(image.TransparentColor(), c.mark) << c.file;
    EXPECT_EQ(image.Pixels(15, 15), kWhite) << c.file;  // inside the transparent rectangle
  }
  TBitmap pal;
  ASSERT_TRUE(DecodePng(DataBytes("png/trns_pal_binary.png"), pal));
  EXPECT_EQ(pal.Pixels(15, 15), kWhite);
  EXPECT_NE(pal.TransparentColor(), kWhite);
}

TEST(PngDecodeTest, HalfTransparentRedBlendsToPink) {
  // A 1 x 1 RGBA file written by libpng: red at alpha 128.
  png_image desc{};
  desc.version = PNG_IMAGE_VERSION;
  desc.width = 1, desc.height = 1, desc.format = PNG_FORMAT_RGBA;
  const std::uint8_t pixel[4] = {255, 0, 0, 128};
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_get_memory_size(desc, size, 0, pixel, 0, nullptr));
  std::vector<std::uint8_t> file(size);
  ASSERT_TRUE(png_image_write_to_memory(&desc, file.data(), &size, 0, pixel, 0, nullptr));
  TBitmap image;
  ASSERT_TRUE(DecodePng(file, image));
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.Pixels(0, 0), RGBColor(255, 127, 127));
}

// An interlaced 16-bit RGB file written by libpng: every pass lands where it belongs.
TEST(PngDecodeTest, InterlacedSixteenBitFilesDeinterlaceAndReduce) {
  constexpr int kW = 13, kH = 11;
  std::vector<std::uint8_t> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ASSERT_EQ(setjmp(png_jmpbuf(png)), 0);
  png_set_write_fn(
      png, &file,
      [](png_structp p, png_bytep d, size_t n) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        out->insert(out->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, kW, kH, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<std::vector<std::uint8_t>> rows(kH, std::vector<std::uint8_t>(kW * 6));
  std::vector<png_bytep> pointers;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::uint16_t r = std::uint16_t(x * 5000), g = std::uint16_t(y * 6000), b = 0x8080;
      const std::uint16_t s[3] = {r, g, b};
      for (int i = 0; i < 3; ++i)
        rows[y][6 * x + 2 * i] = s[i] >> 8, rows[y][6 * x + 2 * i + 1] = s[i] & 0xFF;
    }
    pointers.push_back(rows[y].data());
  }
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);

  TBitmap image;
  ASSERT_TRUE(DecodePng(file, image));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  const auto reduce = [](int v) { return std::uint8_t((v * 255 + 32767) / 65535); };
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      ASSERT_EQ(image.Pixels(x, y), RGBColor(reduce(x * 5000), reduce(y * 6000), 0x80))
          << x << "," << y;
    }
  }
}

TEST(PngDecodeTest, DamagedFilesFailAndLeaveTheImageAlone) {
  const auto good = DataBytes("png/pal4.png");
  std::vector<std::uint8_t> cut(good.begin(), good.begin() + long(good.size() - 40));
  std::vector<std::uint8_t> bad_crc = good;
  bad_crc[29] ^= 0xFF;  // inside IHDR's CRC
  std::vector<std::uint8_t> huge = good;
  // IHDR width and height (bytes 16..23) := 100000 x 100000, CRC recomputed.
  for (int i : {16, 20}) huge[i] = 0, huge[i + 1] = 0x01, huge[i + 2] = 0x86, huge[i + 3] = 0xA0;
  const std::uint32_t crc = std::uint32_t(crc32(0, huge.data() + 12, 17));
  for (int i = 0; i < 4; ++i) huge[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
  const std::vector<std::vector<std::uint8_t>> cases = {
      {}, {0x89, 'P', 'N', 'G'}, cut, bad_crc, huge};
  for (const auto& bytes : cases) {
    TBitmap image;
    const Status s = DecodePng(bytes, image);
    EXPECT_FALSE(s) << bytes.size();
    EXPECT_TRUE(image.Empty());
  }
  TBitmap image;
  EXPECT_NE(DecodePng(huge, image).message().find("size limit"), std::string::npos);
}

// --- writing ---------------------------------------------------------------------------------

struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
};

std::vector<Chunk> Chunks(const std::vector<std::uint8_t>& file) {
  std::vector<Chunk> chunks;
  const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_EQ(std::memcmp(file.data(), signature, 8), 0);
  for (std::size_t pos = 8; pos + 12 <= file.size();) {
    const std::size_t length = (std::size_t(file[pos]) << 24) | (file[pos + 1] << 16) |
                               (file[pos + 2] << 8) | file[pos + 3];
    Chunk c{std::string(file.begin() + long(pos) + 4, file.begin() + long(pos) + 8), {}};
    c.data.assign(file.begin() + long(pos) + 8, file.begin() + long(pos + 8 + length));
    chunks.push_back(std::move(c));
    pos += 12 + length;
  }
  return chunks;
}

std::vector<std::string> Types(const std::vector<Chunk>& chunks) {
  std::vector<std::string> types;
  for (const Chunk& c : chunks) {
    if (types.empty() || types.back() != c.type || c.type != "IDAT") types.push_back(c.type);
  }
  return types;
}

std::vector<std::uint8_t> Inflated(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> z;
  for (const Chunk& c : chunks) {
    if (c.type == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
  }
  std::vector<std::uint8_t> out(1 << 22);
  uLongf size = uLongf(out.size());
  EXPECT_EQ(uncompress(out.data(), &size, z.data(), uLong(z.size())), Z_OK);
  out.resize(size);
  return out;
}

std::vector<std::uint8_t> Png(const TBitmap& image, int level = 6, bool transparent = false) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(EncodePng(image, {level, transparent}, out));
  return out;
}

TBitmap Gradient24(int w, int h) {
  return testing::MakeImage24(w, h, [](int x, int y) {
    return RGBColor(std::uint8_t(x * 7), std::uint8_t(y * 3), std::uint8_t(x ^ y));
  });
}

TEST(PngEncodeTest, EveryRowUsesTheSubFilterAtEveryLevelAndDepth) {
  const std::vector<TRgb> pal = {{1, 2, 3}, {40, 50, 60}, {200, 100, 0}};
  struct Case {
    TBitmap image;
    int colour_type, depth;
    std::size_t row_bytes;
  };
  TBitmap deep = Gradient24(21, 9);
  TBitmap deep32;
  deep32.Create(21, 9, 32);
  const std::vector<Case> cases = {
      {Gradient24(21, 9), 2, 8, 63},
      {deep32, 2, 8, 63},
      {testing::MakeIndexed(21, 9, 1, pal, [](int x, int y) { return (x + y) % 2; }), 3, 1, 3},
      {testing::MakeIndexed(21, 9, 4, pal, [](int x, int) { return x % 3; }), 3, 4, 11},
      {testing::MakeIndexed(21, 9, 8, pal, [](int, int y) { return y % 3; }), 3, 8, 21},
  };
  for (const Case& c : cases) {
    for (const int level : {0, 1, 6, 9}) {
      const auto chunks = Chunks(Png(c.image, level));
      const auto& ihdr = chunks.at(0).data;
      EXPECT_EQ(ihdr[8], c.depth);
      EXPECT_EQ(ihdr[9], c.colour_type);
      EXPECT_EQ(ihdr[12], 0);  // not interlaced
      const auto raw = Inflated(chunks);
      ASSERT_EQ(raw.size(), 9 * (1 + c.row_bytes));
      for (int y = 0; y < 9; ++y) EXPECT_EQ(raw[y * (1 + c.row_bytes)], 1) << "level " << level;
    }
  }
}

TEST(PngEncodeTest, ChunksComeInOrderWithNothingExtra) {
  const std::vector<TRgb> pal = {{9, 9, 9}, {255, 0, 0}};
  EXPECT_EQ(Types(Chunks(Png(Gradient24(8, 8)))),
            (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  TBitmap marked = testing::MakeIndexed(8, 8, 4, pal, [](int x, int) { return x % 2; });
  marked.SetTransparent(true, RGBColor(255, 0, 0));
  const auto chunks = Chunks(Png(marked));
  EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[1].data.size(), 16u * 3);  // 2^4 entries, black after the palette
  EXPECT_EQ(chunks[1].data[3 * 15], 0);
  EXPECT_EQ(chunks[2].data, (std::vector<std::uint8_t>{255, 0}));
}

TEST(PngEncodeTest, IdatChunksHoldAtMost65535Bytes) {
  std::uint32_t noise = 12345;
  const TBitmap image = testing::MakeImage24(300, 300, [&](int, int) {
    noise = noise * 1664525u + 1013904223u;
    return TColor(noise >> 8);
  });
  const auto chunks = Chunks(Png(image, 0));
  int idats = 0;
  for (const Chunk& c : chunks) {
    if (c.type != "IDAT") continue;
    ++idats;
    EXPECT_LE(c.data.size(), 65535u);
  }
  EXPECT_GE(idats, 5);  // 270 KB of stored deflate blocks
  // Level 0 stores: the first deflate block after the 2-byte zlib header has type 00.
  const auto idat =
      std::find_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "IDAT"; });
  EXPECT_EQ((idat->data.at(2) >> 1) & 3, 0);
}

TEST(PngEncodeTest, TransparentBottomLeftWritesItsColourInTrns) {
  // White bottom-left on a truecolour image: 00 FF 00 FF 00 FF.
  TBitmap white = Gradient24(6, 5);
  white.ScanLine(4)[0] = white.ScanLine(4)[1] = white.ScanLine(4)[2] = 255;
  auto chunks = Chunks(Png(white, 6, true));
  ASSERT_EQ(chunks[1].type, "tRNS");
  EXPECT_EQ(chunks[1].data, (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 255}));

  // The option replaces the image's own mark; on a palette image entries before the first of
  // that colour stay opaque.
  const std::vector<TRgb> pal = {{0, 0, 0}, {10, 20, 30}, {7, 7, 7}, {10, 20, 30}};
  TBitmap indexed =
      testing::MakeIndexed(4, 4, 8, pal, [](int x, int y) { return y == 3 && x == 0 ? 3 : 0; });
  indexed.SetTransparent(true, RGBColor(0, 0, 0));
  chunks = Chunks(Png(indexed, 6, true));
  ASSERT_EQ(chunks[2].type, "tRNS");
  EXPECT_EQ(chunks[2].data, (std::vector<std::uint8_t>{255, 0}));
}

TEST(PngEncodeTest, ImagesComeBackUnchanged) {
  const std::vector<TRgb> pal = {{0, 0, 0}, {10, 20, 30}, {70, 7, 7}, {200, 220, 240}};
  const std::vector<TBitmap> images = {
      Gradient24(17, 5),
      testing::MakeIndexed(17, 5, 1, {{255, 0, 0}, {0, 0, 255}},
                           [](int x, int y) { return (x * y) % 2; }),
      testing::MakeIndexed(17, 5, 4, pal, [](int x, int y) { return (x + y) % 4; }),
      testing::MakeIndexed(17, 5, 8, pal, [](int x, int) { return x % 4; }),
  };
  for (const TBitmap& image : images) {
    for (const int level : {0, 1, 6, 9}) {
      TBitmap back;
      ASSERT_TRUE(DecodePng(Png(image, level), back)) << "level " << level;
      ASSERT_EQ(back.BitsPerPixel(), image.BitsPerPixel());
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 17; ++x) ASSERT_EQ(back.Pixels(x, y), image.Pixels(x, y)) << level;
      }
    }
  }
}

// libpng's own reader, independent of ours, sees the same red, green and blue at every level.
TEST(PngEncodeTest, LibpngReadsTheSourcePixelsAtEveryLevel) {
  std::uint32_t noise = 99;
  const TBitmap image = testing::MakeImage24(301, 67, [&](int x, int y) {
    noise = noise * 1664525u + 1013904223u;
    return x % 50 < 25 ? TColor(noise >> 8) : RGBColor(std::uint8_t(x), std::uint8_t(y), 9);
  });
  for (const int level : {0, 1, 6, 9}) {
    const std::vector<std::uint8_t> file = Png(image, level);
    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&read, file.data(), file.size()));
    read.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, rgb.data(), 0, nullptr)) << read.message;
    for (int y = 0; y < 67; ++y) {
      for (int x = 0; x < 301; ++x) {
        const std::uint8_t* p = &rgb[(std::size_t(y) * 301 + x) * 3];
        ASSERT_EQ(RGBColor(p[0], p[1], p[2]), image.Pixels(x, y)) << "level " << level;
      }
    }
  }
}

// --- image data read without libpng ----------------------------------------------------------
// 8-bit files without interlacing have their IDAT chunks inflated and unfiltered by our own
// reader; libpng's reading of the same file is the reference.

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

std::vector<std::uint8_t> FileOf(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const Chunk& c : chunks) {
    PutU32(file, std::uint32_t(c.data.size()));
    const std::size_t at = file.size();
    file.insert(file.end(), c.type.begin(), c.type.end());
    file.insert(file.end(), c.data.begin(), c.data.end());
    PutU32(file, std::uint32_t(crc32(0, file.data() + at, uInt(4 + c.data.size()))));
  }
  return file;
}

Chunk Ihdr(int width, int height, int colour_type) {
  Chunk c{"IHDR", {}};
  PutU32(c.data, std::uint32_t(width));
  PutU32(c.data, std::uint32_t(height));
  c.data.insert(c.data.end(), {8, std::uint8_t(colour_type), 0, 0, 0});
  return c;
}

std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t>& raw) {
  std::vector<std::uint8_t> out(compressBound(uLong(raw.size())));
  uLongf size = uLongf(out.size());
  EXPECT_EQ(compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6), Z_OK);
  out.resize(size);
  return out;
}

// Filtered rows of noise: filters 0..4 on rows in turn, so that every filter meets every kind
// of neighbour.
std::vector<std::uint8_t> NoiseRows(int width, int height, int channels, std::uint32_t seed) {
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(std::uint8_t(y % 5));
    for (int i = 0; i < width * channels; ++i) {
      seed = seed * 1664525u + 1013904223u;
      raw.push_back(std::uint8_t(seed >> 24));
    }
  }
  return raw;
}

std::vector<Chunk> Idats(const std::vector<std::uint8_t>& z, std::size_t piece) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 0; at < z.size(); at += piece) {
    const auto end = z.begin() + long(std::min(z.size(), at + piece));
    chunks.push_back({"IDAT", std::vector<std::uint8_t>(z.begin() + long(at), end)});
  }
  return chunks;
}

std::vector<std::uint8_t> Assemble(std::vector<Chunk> head, const std::vector<Chunk>& idats) {
  head.insert(head.end(), idats.begin(), idats.end());
  head.push_back({"IEND", {}});
  return FileOf(head);
}

void ExpectSameAsLibpng(const std::vector<std::uint8_t>& file, const std::string& what) {
  TBitmap image;
  ASSERT_TRUE(DecodePng(file, image)) << what;
  const Rgba ref = ReferenceRgba(file, false);
  ASSERT_EQ(image.Width(), ref.width);
  ASSERT_EQ(image.Height(), ref.height);
  for (int y = 0; y < ref.height; ++y) {
    for (int x = 0; x < ref.width; ++x) {
      const std::uint8_t* p = ref.At(x, y);
      std::uint8_t blended[3];
      for (int i = 0; i < 3; ++i)
        blended[i] = std::uint8_t((p[i] * p[3] + 255 * (255 - p[3]) + 127) / 255);
      ASSERT_EQ(image.Pixels(x, y), RGBColor(blended[0], blended[1], blended[2]))
          << what << " at " << x << "," << y;
    }
  }
}

TEST(PngOwnRowsTest, EveryFilterAndEightBitColourTypeReadsAsLibpngReadsIt) {
  struct Case {
    int colour_type, channels;
  };
  Chunk palette{"PLTE", {}};
  for (int i = 0; i < 256; ++i)
    palette.data.insert(palette.data.end(),
                        {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  for (const Case c : {Case{0, 1}, Case{2, 3}, Case{3, 1}, Case{4, 2}, Case{6, 4}}) {
    std::vector<Chunk> head = {Ihdr(61, 17, c.colour_type)};
    if (c.colour_type == 3) head.push_back(palette);
    const auto raw = NoiseRows(61, 17, c.channels, std::uint32_t(c.colour_type + 1));
    ExpectSameAsLibpng(Assemble(head, Idats(Zlib(raw), 1000)),
                       "colour type " + std::to_string(c.colour_type));
  }
}

// Oddly cut but whole streams read; missing or damaged data fails and leaves the image alone.
TEST(PngOwnRowsTest, DamagedImageDataFailsAndOddlyChunkedDataReads) {
  constexpr int kW = 31, kH = 11;
  const std::vector<Chunk> head = {Ihdr(kW, kH, 2)};
  const auto raw = NoiseRows(kW, kH, 3, 99);
  const auto z = Zlib(raw);
  const std::vector<std::uint8_t> body(z.begin(), z.end() - 4), check(z.end() - 4, z.end());
  auto one_byte_chunks = Idats(z, 1);
  for (std::size_t i = one_byte_chunks.size(); i > 0; --i)
    one_byte_chunks.insert(one_byte_chunks.begin() + long(i), Chunk{"IDAT", {}});
  std::vector<std::uint8_t> bad_check = check;
  bad_check[3] ^= 1;
  std::vector<std::uint8_t> short_raw(raw.begin(), raw.end() - (1 + 3 * kW));
  std::vector<std::uint8_t> bad_filter = raw;
  bad_filter[3 * (1 + 3 * kW)] = 5;
  std::vector<std::uint8_t> half1(z.begin(), z.begin() + long(z.size() / 2)),
      half2(z.begin() + long(z.size() / 2), z.end());
  std::vector<std::uint8_t> flipped = z;
  flipped[z.size() / 2] ^= 0x55;

  std::vector<std::uint8_t> bad_crc = Assemble(head, Idats(z, 100));
  bad_crc[8 + 25 + 8 + 100] ^= 1;  // the first IDAT's CRC
  std::vector<std::uint8_t> cut = Assemble(head, Idats(z, z.size()));
  cut.resize(8 + 25 + 8 + z.size() / 2);

  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    const char* failure;  // nullptr: reads as the whole stream does
  };
  const Case cases[] = {
      {"one-byte chunks with empty ones between", Assemble(head, one_byte_chunks), nullptr},
      {"no checksum after the stream", Assemble(head, {{"IDAT", body}}), nullptr},
      {"extra data after the stream", Assemble(head, {{"IDAT", z}, {"IDAT", Zlib(raw)}}), nullptr},
      {"a wrong checksum in a chunk of its own",
       Assemble(head, {{"IDAT", body}, {"IDAT", bad_check}}), "incorrect data check"},
      {"one row short", Assemble(head, Idats(Zlib(short_raw), 100)), "Not enough image data"},
      {"another chunk amid the data",
       Assemble(head, {{"IDAT", half1}, {"tEXt", {'a', 0, 'b'}}, {"IDAT", half2}}),
       "Not enough image data"},
      {"an unknown filter", Assemble(head, Idats(Zlib(bad_filter), 100)),
       "bad adaptive filter value"},
      {"a CRC error", bad_crc, "CRC error"},
      {"cut inside the data", cut, "truncated"},
      {"a damaged stream", Assemble(head, Idats(flipped, 100)), "IDAT"},
  };
  const auto whole = Assemble(head, Idats(z, 100));
  TBitmap reference;
  ASSERT_TRUE(DecodePng(whole, reference));
  ExpectSameAsLibpng(whole, "whole");
  for (const Case& c : cases) {
    TBitmap image;
    const Status s = DecodePng(c.file, image);
    if (c.failure == nullptr) {
      ASSERT_TRUE(s) << c.what << ": " << s.message();
      EXPECT_TRUE(image.Width() == kW && image.Height() == kH &&
                  std::ranges::equal(image.PixelBytes(), reference.PixelBytes()))
          << c.what;
    } else {
      EXPECT_FALSE(s) << c.what;
      EXPECT_NE(s.message().find(c.failure), std::string::npos) << c.what << ": " << s.message();
      EXPECT_TRUE(image.Empty()) << c.what;
    }
  }
}

}  // namespace
}  // namespace tolvane
