#pragma once
// littleCMS as an independent Lab (D50) to sRGB converter for the PSD tests; built only where
// the library was found.
#include <optional>

#include "imaging/tbitmap.h"

#ifdef TOLVANE_HAVE_LCMS2
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#endif

namespace tolvane::testing {

inline std::optional<TRgb> LcmsLabToSrgb(double l_star, double a_star, double b_star) {
#ifdef TOLVANE_HAVE_LCMS2
  static const cmsHTRANSFORM transform = [] {
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);  // D50
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        cmsCreateTransform(lab, TYPE_Lab_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return t;
  }();
  cmsCIELab in{l_star, a_star, b_star};
  double out[3] = {0, 0, 0};
  cmsDoTransform(transform, &in, out, 1);
  auto byte = [](double v) { return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return TRgb{byte(out[0]), byte(out[1]), byte(out[2])};
#else
  (void)l_star, (void)a_star, (void)b_star;
  return std::nullopt;
#endif
}

}  // namespace tolvane::testing
