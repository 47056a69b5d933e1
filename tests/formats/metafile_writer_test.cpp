// The EMF writer: the frame rule, the exact bytes of a small file, libUEMF's record checks and
// playback through our own reader.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "codec_test_support.h"
#include "formats/metafile/metafile.h"
#include "platform/limits.h"

#ifdef TOLVANE_HAVE_LIBUEMF
extern "C" {
#include <uemf_safe.h>
}
#endif

namespace tolvane {
namespace {

using testing::MakeImage24;

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

TEST(EmfWriter, EmptyImageIsAnError) {
  std::vector<std::uint8_t> out = {1, 2, 3};
  const Status status = EncodeEmf(TBitmap(), out);
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
  EXPECT_TRUE(out.empty());
}

TEST(EmfWriter, FrameIsTheSizeAtTheReferenceResolution) {
  struct Case {
    int width, height;
    std::uint32_t frame_right, frame_bottom;  // 0.01 mm: 2540 / 96 per pixel
  } cases[] = {{1, 1, 26, 26}, {96, 48, 2540, 1270}, {1920, 1440, 50800, 38100}, {3, 7, 79, 185}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(EncodeEmf(MakeImage24(c.width, c.height, [](int, int) { return kBlack; }), out));
    EXPECT_EQ(U32At(out, 24), 0u);
    EXPECT_EQ(U32At(out, 28), 0u);
    EXPECT_EQ(U32At(out, 32), c.frame_right) << c.width;
    EXPECT_EQ(U32At(out, 36), c.frame_bottom) << c.height;
    EXPECT_EQ(U32At(out, 48), out.size());
  }
}

TEST(EmfWriter, ExactBytesOfATwoByOneImage) {
  const TBitmap image =
      MakeImage24(2, 1, [](int x, int) { return x ? RGBColor(1, 2, 3) : kWhite; });
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(EncodeEmf(image, out));
  const std::uint32_t expected[] = {
      // header: type, size, bounds, frame, signature, version, bytes, records, handles,
      // description, palette, device pixels and millimetres, pixel format, OpenGL, micrometres
      1, 108, 0, 0, 1, 0, 0, 0, 53, 26, 0x464D4520, 0x10000, 256, 3, 1, 0, 0, 0, 1920, 1440, 508,
      381, 0, 0, 0, 508000, 381000,
      // STRETCHDIBITS: type, size, bounds, destination, source, info and bits, usage, rop,
      // destination size
      81, 128, 0, 0, 1, 0, 0, 0, 0, 0, 2, 1, 80, 40, 120, 8, 0, 0x00CC0020, 2, 1,
      // BITMAPINFOHEADER: size, width, height, planes and depth, compression, image size,
      // resolution, colours
      40, 2, 1, 0x00180001, 0, 8, 3780, 3780, 0, 0,
      // the one row, bottom-up, blue-green-red, padded: FF FF FF 03 | 02 01 00 00
      0x03FFFFFF, 0x00000102,
      // EOF: type, size, palette entries, their offset, size again
      14, 20, 0, 16, 20};
  ASSERT_EQ(out.size(), sizeof expected);
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(U32At(out, 4 * i), expected[i]) << "word " << i;
  }
}

TEST(EmfWriter, OtherDepthsAreWrittenAsTwentyFourBits) {
  TBitmap image;
  image.Create(3, 2, 8);
  image.SetPalette(std::vector<TRgb>(256, TRgb{10, 20, 30}));
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(EncodeEmf(image, out));
  TBitmap back;
  ASSERT_TRUE(DecodeMetafile(out, back, kMaxPixels));
  EXPECT_EQ(back.Pixels(2, 1), RGBColor(10, 20, 30));
}

TEST(EmfWriter, OwnReaderPlaysTheOutputBackToTheSamePixels) {
  std::mt19937 random(7);
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {97, 31}, {640, 3}}) {
    const TBitmap image = MakeImage24(w, h, [&](int, int) { return TColor(random() & 0xFFFFFF); });
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(EncodeEmf(image, out));
    TBitmap back;
    ASSERT_TRUE(DecodeMetafile(out, back, kMaxPixels));
    ASSERT_EQ(back.Width(), w);
    ASSERT_EQ(back.Height(), h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) ASSERT_EQ(back.Pixels(x, y), image.Pixels(x, y)) << x << "," << y;
    }
  }
}

#ifdef TOLVANE_HAVE_LIBUEMF
TEST(EmfWriter, EveryRecordPassesLibuemfSafetyChecks) {
  const TBitmap image = MakeImage24(13, 5, [](int x, int y) { return RGBColor(x * 9, y * 40, 7); });
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(EncodeEmf(image, out));
  std::size_t pos = 0, records = 0;
  while (pos + 8 <= out.size()) {
    const std::uint32_t type = U32At(out, pos);
    const std::uint32_t length = U32At(out, pos + 4);
    ASSERT_GE(length, 8u);
    ASSERT_LE(pos + length, out.size());
    EXPECT_TRUE(U_emf_record_safe(reinterpret_cast<const char*>(out.data() + pos)))
        << "record type " << type;
    pos += length;
    ++records;
  }
  EXPECT_EQ(pos, out.size());
  EXPECT_EQ(records, 3u);
  // The checker is not blind: bits said to be longer than the record fail it.
  std::vector<std::uint8_t> damaged = out;
  const std::uint32_t too_long = U32At(out, 108 + 60) + 64;
  std::memcpy(damaged.data() + 108 + 60, &too_long, 4);
  EXPECT_FALSE(U_emf_record_safe(reinterpret_cast<const char*>(damaged.data() + 108)));
}
#endif

}  // namespace
}  // namespace tolvane
