// Lab to sRGB against littleCMS over a grid of the stored Lab values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "formats/psd/lab_to_srgb.h"
#include "psd_lcms.h"

namespace tolvane::testing {
namespace {

TEST(PsdLab, MatchesLittleCmsWithinOneLevel) {
  if (!LcmsLabToSrgb(0, 0, 0)) GTEST_SKIP() << "built without littleCMS";
  int worst = 0;
  for (int l = 0; l < 256; l += 5) {
    for (int a = 0; a < 256; a += 15) {
      for (int b = 0; b < 256; b += 15) {
        const TRgb ours = psd::PsdLabToSrgb(std::uint8_t(l), std::uint8_t(a), std::uint8_t(b));
        const TRgb theirs = *LcmsLabToSrgb(l * 100.0 / 255.0, a - 128.0, b - 128.0);
        const int diff = std::max({std::abs(ours.r - theirs.r), std::abs(ours.g - theirs.g),
                                   std::abs(ours.b - theirs.b)});
        worst = std::max(worst, diff);
        EXPECT_LE(diff, 1) << "L " << l << " a " << a << " b " << b;
      }
    }
  }
  RecordProperty("worst_difference", worst);
}

}  // namespace
}  // namespace tolvane::testing
