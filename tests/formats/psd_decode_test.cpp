// The PSD reader on documents built byte by byte: each colour mode, depth and compression,
// the worked examples of the format's arithmetic, and damaged files that must fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/psd/PSDUnit.h"
#include "formats/psd/lab_to_srgb.h"
#include "formats/psd/psd.h"
#include "platform/codepage.h"
#include "psd_builder.h"

namespace tolvane::testing {
namespace {

TRgb At(const TBitmap& image, int x, int y) {
  const TColor c = image.Pixels(x, y);
  return {RedOf(c), GreenOf(c), BlueOf(c)};
}

TBitmap Decode(const PsdDocument& document) {
  TBitmap image;
  const Status status = DecodePsd(BuildPsd(document), image);
  EXPECT_TRUE(status.ok()) << status.message();
  return image;
}

std::string DecodeError(const Bytes& file) {
  TBitmap image;
  const Status status = DecodePsd(file, image);
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(image.Empty());
  return status.message();
}

PsdDocument Document(std::uint16_t mode, std::uint16_t channels, std::uint32_t width,
                     std::uint32_t height, Bytes planes, std::uint16_t depth = 8) {
  PsdDocument d;
  d.mode = mode, d.channels = channels, d.width = width, d.height = height, d.depth = depth;
  d.image_data = std::move(planes);
  return d;
}

TEST(PsdDecode, RawRgbTwoPixelsAreRedAndGreen) {
  const TBitmap image = Decode(Document(3, 3, 2, 1, {255, 0, /*G*/ 0, 255, /*B*/ 0, 0}));
  ASSERT_EQ(image.Width(), 2);
  ASSERT_EQ(image.Height(), 1);
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(At(image, 0, 0), (TRgb{255, 0, 0}));
  EXPECT_EQ(At(image, 1, 0), (TRgb{0, 255, 0}));
}

TEST(PsdDecode, ExtraChannelsAfterTheColourPlanesAreIgnored) {
  // An alpha plane of zeros must neither shift the planes nor darken the picture.
  const TBitmap image = Decode(Document(3, 4, 2, 1, {10, 20, 30, 40, 50, 60, 0, 0}));
  EXPECT_EQ(At(image, 0, 0), (TRgb{10, 30, 50}));
  EXPECT_EQ(At(image, 1, 0), (TRgb{20, 40, 60}));
}

struct CmykCase {
  std::uint16_t depth;
  std::vector<unsigned> stored;  // c, m, y, k as stored (full value = no ink)
  TRgb expected;
};

TEST(PsdDecode, CmykInksBecomeRgb) {
  const CmykCase cases[] = {
      {8, {255, 255, 255, 255}, {255, 255, 255}},  // no ink: white
      {8, {255, 255, 255, 0}, {0, 0, 0}},          // full black ink
      // inks 200 and 200: MulDiv(200, 200, 255) = 157 (rounded, not 156) - 400 + 255
      {8, {55, 255, 255, 55}, {12, 55, 55}},
      {16, {65535, 65535, 65535, 65535}, {255, 255, 255}},
      {16, {65535, 65535, 65535, 0}, {0, 0, 0}},
      // inks 32768: 255 - (65536 - 16384) div 256 = 63; with no colour ink 255 - 128 = 127
      {16, {32767, 65535, 65535, 32767}, {63, 127, 127}},
  };
  for (const CmykCase& c : cases) {
    Bytes planes;
    for (const unsigned v : c.stored) PutBe(planes, v, c.depth / 8);
    const TBitmap image = Decode(Document(4, 4, 1, 1, planes, c.depth));
    EXPECT_EQ(At(image, 0, 0), c.expected) << "depth " << c.depth << " k " << c.stored[3];
  }
}

TEST(PsdDecode, LabWhiteBlackAndGrey) {
  // L = 255, a = b = 128 is the reference white, which must stay exactly white.
  const TBitmap image = Decode(Document(9, 3, 3, 1,
                                        {255, 0, 128, /*a*/ 128, 128, 128,
                                         /*b*/ 128, 128, 128}));
  EXPECT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(At(image, 0, 0), (TRgb{255, 255, 255}));
  EXPECT_EQ(At(image, 1, 0), (TRgb{0, 0, 0}));
  // L* = 50.2: a mid grey, about 119 in sRGB (the naive formula without the sRGB curve gave 47).
  EXPECT_EQ(At(image, 2, 0), (TRgb{119, 119, 119}));
}

TEST(PsdDecode, LabGreysStayGreyAndRiseWithLightness) {
  int previous = -1;
  for (int l = 0; l < 256; ++l) {
    const TRgb c = psd::PsdLabToSrgb(std::uint8_t(l), 128, 128);
    EXPECT_LE(std::abs(int(c.r) - int(c.g)), 1) << "L " << l;
    EXPECT_LE(std::abs(int(c.b) - int(c.g)), 1) << "L " << l;
    EXPECT_GE(int(c.g), previous) << "L " << l;
    previous = c.g;
  }
  EXPECT_EQ(psd::LabToSrgb(50, 0, 0), (TRgb{119, 119, 119}));
}

TEST(PsdDecode, GrayscaleRleRowsWithRunsLiteralsAndNoOps) {
  const Bytes rows = {
      0x02, 0x10, 0x20, 0x30, 0xFC, 0x7F,                    // literal 3, run of 5
      0x80, 0xF9, 0x00,                                      // no-op, run of 8
      0x03, 1,    2,    3,    4,    0x80, 0x03, 5, 6, 7, 8,  // literals around a no-op
  };
  Bytes data;
  for (const int count : {6, 3, 11}) PutBe(data, count, 2);
  data.insert(data.end(), rows.begin(), rows.end());
  PsdDocument d = Document(1, 1, 8, 3, data);
  d.compression = 1;
  const TBitmap image = Decode(d);
  ASSERT_EQ(image.BitsPerPixel(), 8);
  ASSERT_EQ(image.Palette().size(), 256u);
  EXPECT_EQ(image.Palette()[200], (TRgb{200, 200, 200}));
  const std::vector<std::vector<unsigned>> expected = {
      {0x10, 0x20, 0x30, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F},
      {0, 0, 0, 0, 0, 0, 0, 0},
      {1, 2, 3, 4, 5, 6, 7, 8}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(IndexOf(image, x, y), expected[y][x]) << x << "," << y;
  }
}

TEST(PsdDecode, PackBitsRowThatOverrunsIsCutAtItsRow) {
  // Row 0 claims a run of 10 in a row of 4; row 1 must still come from its own bytes.
  Bytes data;
  for (const int count : {2, 2}) PutBe(data, count, 2);
  data.insert(data.end(), {0xF7, 0x11, 0xFD, 0x22});
  PsdDocument d = Document(1, 1, 4, 2, data);
  d.compression = 1;
  const TBitmap image = Decode(d);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(IndexOf(image, x, 0), 0x11u);
    EXPECT_EQ(IndexOf(image, x, 1), 0x22u);
  }
}

TEST(PsdDecode, IndexedTakesItsColoursFromTheColourModeData) {
  PsdDocument d = Document(2, 1, 3, 1, {0, 5, 255});
  for (int plane = 0; plane < 3; ++plane) {
    for (int i = 0; i < 256; ++i) {
      d.colour_mode_data.push_back(std::uint8_t(plane == 0 ? i : plane == 1 ? 255 - i : 7));
    }
  }
  TPSDGraphic graphic;
  ASSERT_TRUE(graphic.LoadFromStream(BuildPsd(d)).ok());
  EXPECT_EQ(graphic.ColourTable()[256 + 5], 250);
  TBitmap image;
  image.Assign(graphic);
  ASSERT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(At(image, 0, 0), (TRgb{0, 255, 7}));
  EXPECT_EQ(At(image, 1, 0), (TRgb{5, 250, 7}));
  EXPECT_EQ(At(image, 2, 0), (TRgb{255, 0, 7}));
}

TEST(PsdDecode, DuotoneLoadsAsEightBitGrey) {
  PsdDocument d = Document(8, 1, 2, 1, {30, 220});
  d.colour_mode_data = Bytes(40, 0xAB);  // the inks' description, not used for the picture
  const TBitmap image = Decode(d);
  ASSERT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(At(image, 0, 0), (TRgb{30, 30, 30}));
  EXPECT_EQ(At(image, 1, 0), (TRgb{220, 220, 220}));
}

TEST(PsdDecode, BitmapModeOneIsBlack) {
  // 10 pixels a row: the spare bits of the second byte are set in the file and must not leak.
  const TBitmap image = Decode(Document(0, 1, 10, 2, {0b10110000, 0b01111111, 0xFF, 0xFF}, 1));
  ASSERT_EQ(image.BitsPerPixel(), 1);
  EXPECT_EQ(image.Palette()[0], (TRgb{255, 255, 255}));
  EXPECT_EQ(image.Palette()[1], (TRgb{0, 0, 0}));
  const std::string row0 = "1011000001";
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(image.Pixels(x, 0), row0[x] == '1' ? kBlack : kWhite) << x;
    EXPECT_EQ(image.Pixels(x, 1), kBlack) << x;
  }
  EXPECT_EQ(image.ScanLine(1)[1], 0xC0);
}

TEST(PsdDecode, SixteenBitSamplesGiveTheirHighByte) {
  const TBitmap rgb = Decode(Document(3, 3, 1, 1, {0x12, 0xFF, 0x34, 0x00, 0xAB, 0xCD}, 16));
  EXPECT_EQ(At(rgb, 0, 0), (TRgb{0x12, 0x34, 0xAB}));
  const TBitmap grey = Decode(Document(1, 1, 2, 1, {0x80, 0x7F, 0xFF, 0xFF}, 16));
  EXPECT_EQ(IndexOf(grey, 0, 0), 0x80u);
  EXPECT_EQ(IndexOf(grey, 1, 0), 0xFFu);
  const TBitmap lab = Decode(Document(9, 3, 1, 1, {0xFF, 0xFF, 0x80, 0x00, 0x80, 0x00}, 16));
  EXPECT_EQ(At(lab, 0, 0), (TRgb{255, 255, 255}));
}

// Each compression must give exactly the picture of the same planes stored raw, with an extra
// plane after the colour planes.
TEST(PsdDecode, EveryCompressionGivesTheRawPicture) {
  struct ModeCase {
    std::uint16_t mode, planes;
  };
  const ModeCase modes[] = {{1, 1}, {3, 3}, {4, 4}, {9, 3}};
  for (const ModeCase m : modes) {
    for (const std::uint16_t depth : {8, 16}) {
      const std::uint32_t width = 150, height = 3;  // rows longer than one PackBits literal
      const std::size_t row_bytes = width * depth / 8;
      Bytes planes;
      for (std::size_t i = 0; i < (m.planes + 1u) * height * row_bytes; ++i) {
        planes.push_back(std::uint8_t(i % 7 == 0 ? 200 : (i * 37) >> 3));
      }
      const PsdDocument raw = Document(m.mode, m.planes + 1, width, height, planes, depth);
      const TBitmap expected = Decode(raw);
      for (const std::uint16_t compression : {1, 2, 3}) {
        PsdDocument d = raw;
        d.compression = compression;
        d.image_data = compression == 1 ? PackBitsImageData(planes, row_bytes)
                                        : ZipImageData(planes, row_bytes, compression == 3, depth);
        const TBitmap image = Decode(d);
        EXPECT_TRUE(image.PixelBytes().size() == expected.PixelBytes().size() &&
                    std::equal(expected.PixelBytes().begin(), expected.PixelBytes().end(),
                               image.PixelBytes().begin()))
            << "mode " << m.mode << " depth " << depth << " compression " << compression;
      }
    }
  }
}

TEST(PsdDecode, WrongSignatureFailsWithTheReadersMessage) {
  PsdDocument d = Document(3, 3, 2, 1, {255, 0, 0, 255, 0, 0});
  d.signature = "8BPX";
  const std::string message = DecodeError(BuildPsd(d));
  EXPECT_EQ(message, "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xF4\xE0\xE9\xEB");
  EXPECT_EQ(DisplayText(message), "Неверный файл");
  EXPECT_EQ(DecodeError({}), message);
  EXPECT_EQ(DecodeError({'8', 'B'}), message);
}

struct BadCase {
  const char* name;
  PsdDocument document;
  const char* message_part;
};

PsdDocument WithHeader(std::uint16_t version, std::uint16_t channels, std::uint16_t depth,
                       std::uint16_t mode, std::uint32_t width = 2, std::uint32_t height = 1) {
  PsdDocument d = Document(mode, channels, width, height, Bytes(64, 0), depth);
  d.version = version;
  return d;
}

PsdDocument WithData(std::uint16_t compression, Bytes data, std::uint32_t width = 2) {
  PsdDocument d = Document(1, 1, width, 2, std::move(data));
  d.compression = compression;
  return d;
}

TEST(PsdDecode, DocumentsWeDoNotDrawFailCleanly) {
  const BadCase cases[] = {
      {"version 2", WithHeader(2, 3, 8, 3), "version 2"},
      {"version 3", WithHeader(3, 3, 8, 3), "version 3"},
      {"32-bit", WithHeader(1, 3, 32, 3), "32-bit"},
      {"depth 4", WithHeader(1, 3, 4, 3), "depth 4"},
      {"multichannel", WithHeader(1, 3, 8, 7), "Multichannel"},
      {"mode 5", WithHeader(1, 3, 8, 5), "colour mode 5"},
      {"rgb of 2 channels", WithHeader(1, 2, 8, 3), "needs 3 channels"},
      {"cmyk of 3 channels", WithHeader(1, 3, 8, 4), "needs 4 channels"},
      {"no channels", WithHeader(1, 0, 8, 1), "0 channels"},
      {"57 channels", WithHeader(1, 57, 8, 1), "57 channels"},
      {"bitmap at 8 bits", WithHeader(1, 1, 8, 0), "at depth 8"},
      {"indexed at 16 bits", WithHeader(1, 1, 16, 2), "at depth 16"},
      {"grey at 1 bit", WithHeader(1, 1, 1, 1), "at depth 1"},
      {"no width", WithHeader(1, 3, 8, 3, 0, 1), "no pixels"},
      {"beyond the pixel limit", WithHeader(1, 3, 8, 3, 30000, 30000), "size limit"},
      {"side beyond the limit", WithHeader(1, 3, 8, 3, 1u << 25, 1), "size limit"},
  };
  for (const BadCase& c : cases) {
    EXPECT_NE(DecodeError(BuildPsd(c.document)).find(c.message_part), std::string::npos) << c.name;
  }
}

TEST(PsdDecode, DamagedImageDataFailsCleanly) {
  Bytes short_table;
  PutBe(short_table, 2, 2);
  Bytes overclaiming;  // counts of 2 + 60000 for a file that has 4 bytes of rows
  PutBe(overclaiming, 2, 2), PutBe(overclaiming, 60000, 2);
  overclaiming.insert(overclaiming.end(), {0xFF, 0x01, 0xFF, 0x02});
  Bytes short_row;  // the second row's run yields 1 byte of 2
  PutBe(short_row, 2, 2), PutBe(short_row, 2, 2);
  short_row.insert(short_row.end(), {0xFF, 0x01, 0x00, 0x02});
  Bytes empty_row;
  PutBe(empty_row, 2, 2), PutBe(empty_row, 0, 2);
  empty_row.insert(empty_row.end(), {0xFF, 0x01});
  Bytes zip = ZipImageData({1, 2, 3, 4}, 2, false, 8);
  Bytes cut_zip(zip.begin(), zip.begin() + 3);
  Bytes bad_zip = zip;
  bad_zip[0] ^= 0xFF;
  const BadCase cases[] = {
      {"raw data one byte short", WithData(0, {1, 2, 3}), "needs 4 bytes"},
      {"unknown compression", WithData(4, {1, 2, 3, 4}), "compression 4"},
      {"byte count table cut", WithData(1, short_table), "byte count table"},
      {"byte counts beyond the file", WithData(1, overclaiming), "add up to 60002"},
      {"PackBits row short", WithData(1, short_row), "row 1 of plane 0"},
      {"PackBits row empty", WithData(1, empty_row), "too few"},
      {"ZIP cut", WithData(2, cut_zip), "ZIP"},
      {"ZIP damaged", WithData(3, bad_zip), "ZIP"},
      {"ZIP of 1-bit rows with prediction",
       [] {
         PsdDocument d = Document(0, 1, 8, 1, ZipImageData({1}, 1, false, 8), 1);
         d.compression = 3;
         return d;
       }(),
       "prediction"},
  };
  for (const BadCase& c : cases) {
    EXPECT_NE(DecodeError(BuildPsd(c.document)).find(c.message_part), std::string::npos) << c.name;
  }
}

TEST(PsdDecode, EveryCutOfAFileFailsCleanly) {
  const std::uint32_t width = 5, height = 3;
  Bytes planes;
  for (std::size_t i = 0; i < 4 * width * height; ++i) planes.push_back(std::uint8_t(i * 11));
  PsdDocument d = Document(3, 4, width, height, PackBitsImageData(planes, width));
  d.compression = 1;
  d.resources = Bytes(12, 1);
  d.layers = Bytes(8, 2);
  const Bytes file = BuildPsd(d);
  TBitmap whole;
  ASSERT_TRUE(DecodePsd(file, whole).ok());
  for (std::size_t size = 0; size < file.size(); ++size) {
    TBitmap image;
    EXPECT_FALSE(DecodePsd(Bytes(file.begin(), file.begin() + long(size)), image).ok()) << size;
    EXPECT_TRUE(image.Empty()) << size;
  }
}

TEST(PsdDecode, FailureLeavesTheImageAsItWas) {
  TBitmap image = MakeImage24(3, 2, [](int x, int) { return RGBColor(std::uint8_t(x), 9, 9); });
  const TBitmap before = image;
  Bytes file = BuildPsd(Document(3, 3, 2, 1, {1, 2, 3, 4, 5}));
  EXPECT_FALSE(DecodePsd(file, image).ok());
  EXPECT_EQ(image.Width(), 3);
  EXPECT_TRUE(std::equal(before.PixelBytes().begin(), before.PixelBytes().end(),
                         image.PixelBytes().begin()));
}

TEST(PsdDecode, PixelLimitIsTheCallersChoice) {
  const Bytes file = BuildPsd(Document(1, 1, 4, 4, Bytes(16, 1)));
  TBitmap image;
  EXPECT_TRUE(DecodePsd(file, image, 16).ok());
  EXPECT_FALSE(DecodePsd(file, image, 15).ok());
}

struct PackBitsCase {
  const char* name;
  Bytes input;
  std::size_t output_size;
  Bytes expected;
};

TEST(PsdPackBits, OutputNeverPassesItsBuffer) {
  const PackBitsCase cases[] = {
      {"literal and run", {0x01, 7, 8, 0xFE, 9}, 5, {7, 8, 9, 9, 9}},
      {"literal cut by the output", {0x03, 1, 2, 3, 4}, 2, {1, 2}},
      {"run cut by the output", {0x81, 5}, 3, {5, 5, 5}},
      {"-128 is skipped", {0x80, 0x00, 5}, 1, {5}},
      {"literal cut by the input", {0x05, 1, 2}, 6, {1, 2}},
      {"run without its byte", {0xFE}, 4, {}},
      {"stops when the input ends", {0xFF, 3}, 8, {3, 3}},
  };
  for (const PackBitsCase& c : cases) {
    Bytes out(c.output_size + 4, 0xEE);  // guard bytes after the output
    const std::size_t written = TPackbitsRLE().Decode(c.input, std::span(out).first(c.output_size));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + long(written)), c.expected) << c.name;
    for (std::size_t i = c.output_size; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << c.name;
  }
}

TEST(PsdDecode, FileOnDiskDecodes) {
  TempDir dir;
  const std::string path = dir / "two.psd";
  WriteBytes(path, BuildPsd(Document(3, 3, 2, 1, {255, 0, 0, 255, 0, 0})));
  TBitmap image;
  ASSERT_TRUE(DecodePsdFile(path, image).ok());
  EXPECT_EQ(At(image, 1, 0), (TRgb{0, 255, 0}));
  EXPECT_FALSE(DecodePsdFile(dir / "missing.psd", image).ok());
}

}  // namespace
}  // namespace tolvane::testing
