#pragma once
// CIE L*a*b* (D50 white, as Photoshop stores Lab) to 8-bit sRGB.
#include <cstdint>

#include "imaging/tbitmap.h"

namespace tolvane::psd {

// L* in 0..100, a* and b* about -128..127. The colour is adapted from D50 to sRGB's D65 white
// (Bradford), converted with the sRGB matrix and encoded with the sRGB transfer curve;
// channels outside the sRGB gamut are clamped.
TRgb LabToSrgb(double l_star, double a_star, double b_star);

// A Lab sample as PSD files store it in 8 bits: L* = l * 100 / 255, a* = a - 128,
// b* = b - 128.
TRgb PsdLabToSrgb(std::uint8_t l, std::uint8_t a, std::uint8_t b);

}  // namespace tolvane::psd
