// Real documents: each decodes to its composite image, checked against the image data section
// of the same file read by the small independent reader below (not against layer renderings).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "formats/psd/psd.h"
#include "psd_builder.h"
#include "psd_lcms.h"

namespace tolvane::testing {
namespace {

// The stored composite: every plane reduced to one byte per pixel (the high byte of 16-bit
// samples, 0 or 1 for 1-bit ones).
struct Composite {
  unsigned width = 0, height = 0, depth = 0, mode = 0, channels = 0;
  std::vector<std::uint8_t> colour_table;
  std::vector<std::vector<std::uint8_t>> planes;
  unsigned At(unsigned plane, unsigned x, unsigned y) const { return planes[plane][y * width + x]; }
};

unsigned Be(const Bytes& f, std::size_t at, int n) {
  unsigned v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | f.at(at + i);
  return v;
}

Bytes UnpackRow(const Bytes& f, std::size_t at, std::size_t count) {
  Bytes row;
  for (std::size_t i = at; i < at + count;) {
    const int h = static_cast<std::int8_t>(f.at(i++));
    if (h >= 0) {
      row.insert(row.end(), f.begin() + long(i), f.begin() + long(i + h + 1));
      i += std::size_t(h) + 1;
    } else if (h != -128) {
      row.insert(row.end(), std::size_t(1 - h), f.at(i++));
    }
  }
  return row;
}

// Only raw and PackBits data: the fixtures hold nothing else.
Composite ReadComposite(const Bytes& f) {
  Composite c;
  c.channels = Be(f, 12, 2), c.height = Be(f, 14, 4), c.width = Be(f, 18, 4);
  c.depth = Be(f, 22, 2), c.mode = Be(f, 24, 2);
  std::size_t at = 26;
  const unsigned colour_data = Be(f, at, 4);
  c.colour_table.assign(f.begin() + long(at + 4), f.begin() + long(at + 4 + colour_data));
  at += 4 + colour_data;
  for (int section = 0; section < 2; ++section) at += 4 + Be(f, at, 4);
  const unsigned compression = Be(f, at, 2);
  at += 2;
  const std::size_t row_bytes = (std::size_t(c.width) * c.depth + 7) / 8;
  std::size_t rows_at = at + (compression == 1 ? 2 * c.channels * c.height : 0);
  for (unsigned p = 0; p < c.channels; ++p) {
    std::vector<std::uint8_t> plane;
    for (unsigned y = 0; y < c.height; ++y) {
      Bytes row(f.begin() + long(rows_at), f.begin() + long(rows_at + row_bytes));
      if (compression == 1) {
        const std::size_t count = Be(f, at + 2 * (p * c.height + y), 2);
        row = UnpackRow(f, rows_at, count);
        rows_at += count;
      } else {
        rows_at += row_bytes;
      }
      for (unsigned x = 0; x < c.width; ++x) {
        plane.push_back(c.depth == 1    ? (row[x / 8] >> (7 - x % 8)) & 1
                        : c.depth == 16 ? row[2 * x]
                                        : row[x]);
      }
    }
    c.planes.push_back(plane);
  }
  return c;
}

// The colour a viewer shows for pixel (x, y), or nothing where no independent answer exists.
std::optional<TRgb> ExpectedColour(const Composite& c, unsigned x, unsigned y) {
  auto grey = [](unsigned v) { return TRgb{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)}; };
  auto cmyk = [&](unsigned plane) {
    const double k = c.At(3, x, y) / 255.0;
    return std::uint8_t(std::lround(c.At(plane, x, y) * k));
  };
  switch (c.mode) {
    case 0:
      return grey(c.At(0, x, y) ? 0 : 255);
    case 1:
    case 8:
      return grey(c.At(0, x, y));
    case 2: {
      const unsigned i = c.At(0, x, y);
      return TRgb{c.colour_table[i], c.colour_table[256 + i], c.colour_table[512 + i]};
    }
    case 3:
      return TRgb{std::uint8_t(c.At(0, x, y)), std::uint8_t(c.At(1, x, y)),
                  std::uint8_t(c.At(2, x, y))};
    case 4:
      return TRgb{cmyk(0), cmyk(1), cmyk(2)};
    case 9:
      return LcmsLabToSrgb(c.At(0, x, y) * 100.0 / 255.0, int(c.At(1, x, y)) - 128.0,
                           int(c.At(2, x, y)) - 128.0);
  }
  return std::nullopt;
}

int Difference(TRgb a, TRgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Decodes file and compares every pixel with the stored composite: exact for the modes that
// copy samples, within one level for the computed colours of CMYK and Lab.
void ExpectStoredComposite(const Bytes& file, const std::string& name) {
  TBitmap image;
  const Status status = DecodePsd(file, image);
  ASSERT_TRUE(status.ok()) << name << ": " << status.message();
  const Composite c = ReadComposite(file);
  ASSERT_EQ(unsigned(image.Width()), c.width) << name;
  ASSERT_EQ(unsigned(image.Height()), c.height) << name;
  const int tolerance = c.mode == 4 || c.mode == 9 ? 1 : 0;
  int mismatches = 0;
  for (unsigned y = 0; y < c.height; ++y) {
    for (unsigned x = 0; x < c.width; ++x) {
      const auto expected = ExpectedColour(c, x, y);
      if (!expected) continue;
      const TColor got = image.Pixels(int(x), int(y));
      if (Difference({RedOf(got), GreenOf(got), BlueOf(got)}, *expected) > tolerance) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0) << name;
}

struct FixtureCase {
  const char* file;
  int width, height, bits_per_pixel;
};

TEST(PsdFiles, EachFixtureDecodesToItsStoredComposite) {
  const FixtureCase cases[] = {
      {"16bit5x5.psd", 5, 5, 24},          {"1layer.psd", 101, 55, 24},
      {"4x4_1bit_bitmap.psd", 4, 4, 1},    {"4x4_8bit_duotone.psd", 4, 4, 8},
      {"4x4_8bit_grayscale.psd", 4, 4, 8}, {"4x4_8bit_index_color.psd", 4, 4, 8},
      {"4x4_8bit_lab.psd", 4, 4, 24},      {"4x4_8bit_rgb.psd", 4, 4, 24},
      {"gray_rle_32x32.psd", 32, 32, 8},   {"im_cmyk_rle.psd", 48, 40, 24},
      {"im_gray_raw.psd", 48, 40, 8},      {"im_rgb_raw.psd", 48, 40, 24},
  };
  for (const FixtureCase& c : cases) {
    const Bytes file = DataBytes(std::string("psd/") + c.file);
    ASSERT_FALSE(file.empty()) << c.file;
    TBitmap image;
    ASSERT_TRUE(DecodePsd(file, image).ok()) << c.file;
    EXPECT_EQ(image.Width(), c.width) << c.file;
    EXPECT_EQ(image.Height(), c.height) << c.file;
    EXPECT_EQ(image.BitsPerPixel(), c.bits_per_pixel) << c.file;
    ExpectStoredComposite(file, c.file);
  }
}

TEST(PsdFiles, KnownPixelsOfTheSmallDocuments) {
  // Read by hand from the files' image data: the first row of each 4 x 4 document.
  TBitmap rgb, bitmap, indexed;
  ASSERT_TRUE(DecodePsdFile(DataPath("psd/4x4_8bit_rgb.psd"), rgb).ok());
  EXPECT_EQ(rgb.Pixels(0, 0), RGBColor(10, 0, 178));
  EXPECT_EQ(rgb.Pixels(3, 0), RGBColor(255, 126, 0));
  ASSERT_TRUE(DecodePsdFile(DataPath("psd/4x4_1bit_bitmap.psd"), bitmap).ok());
  EXPECT_EQ(IndexOf(bitmap, 0, 0), 1u);  // first row 1100: black, black, white, white
  EXPECT_EQ(IndexOf(bitmap, 2, 0), 0u);
  ASSERT_TRUE(DecodePsdFile(DataPath("psd/16bit5x5.psd"), rgb).ok());
  EXPECT_EQ(rgb.Pixels(0, 0), RGBColor(236, 242, 251));  // 0xEC7B, 0xF2BD, 0xFB87
  EXPECT_EQ(rgb.Pixels(3, 0), RGBColor(0, 0, 0));
}

TEST(PsdFiles, MultichannelDocumentIsRefused) {
  TBitmap image;
  const Status status = DecodePsd(DataBytes("psd/4x4_16bit_multichannel.psd"), image);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("Multichannel"), std::string::npos);
  EXPECT_TRUE(image.Empty());
}

// The whole shared fixture collection, where it lies beside the repository (as on a
// developer's machine and in CI); the copies under tests/data are a subset of it.
TEST(PsdFiles, SharedCollectionDecodesToStoredComposites) {
  const std::filesystem::path folder =
      std::filesystem::path(TOLVANE_TEST_DATA) / "../../../shared/fixtures/psd";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no shared fixtures";
  int decoded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const Bytes file = ReadBytes(entry.path().string());
    const Composite c = ReadComposite(file);
    if (c.mode == 7) continue;  // Multichannel: refused, see above
    ExpectStoredComposite(file, entry.path().filename().string());
    ++decoded;
  }
  EXPECT_GT(decoded, 0);
}

}  // namespace
}  // namespace tolvane::testing
