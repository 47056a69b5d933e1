// The memory behind TBitmap: fresh images, large buffers, copies and moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "imaging/tbitmap.h"

namespace tolvane {
namespace {

bool AllBytesAre(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

TEST(TBitmapStorage, OverwriteCreationZeroesTheRowPadding) {
  // Leave white bytes in memory the next small image is likely to get.
  for (int round = 0; round < 4; ++round) {
    TBitmap white;
    white.Create(3, 2, 24);
    ASSERT_TRUE(AllBytesAre(white.PixelBytes(), 0xFF));
  }
  TBitmap image;
  image.CreateForOverwrite(3, 2, 24);
  ASSERT_EQ(image.Stride(), 12u);
  for (int y = 0; y < 2; ++y) {
    EXPECT_TRUE(AllBytesAre({image.ScanLine(y) + 9, 3}, 0x00)) << "row " << y;
  }
}

TEST(TBitmapStorage, LargeImagesAreWhiteAndCopyAndMoveWhole) {
  TBitmap image;
  image.Create(2048, 1100, 24);  // above the size that takes aligned, huge-page storage
  ASSERT_TRUE(AllBytesAre(image.PixelBytes(), 0xFF));
  image.ScanLine(1099)[6143] = 7;
  TBitmap copy = image;
  EXPECT_TRUE(std::equal(copy.PixelBytes().begin(), copy.PixelBytes().end(),
                         image.PixelBytes().begin(), image.PixelBytes().end()));
  const TBitmap moved = std::move(copy);
  EXPECT_EQ(moved.ScanLine(1099)[6143], 7);
  EXPECT_EQ(moved.PixelBytes().size(), 2048u * 3 * 1100);
  image.Create(4, 4, 8);  // the large buffer goes back through the large path
  EXPECT_TRUE(AllBytesAre(image.PixelBytes(), 0x00));
}

}  // namespace
}  // namespace tolvane
