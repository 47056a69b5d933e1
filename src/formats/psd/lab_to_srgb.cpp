#include "formats/psd/lab_to_srgb.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/checked_math.h"

namespace tolvane::psd {
namespace {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

// The D50 reference white that Photoshop's Lab is relative to (CIE 1931 2-degree observer).
constexpr Vec3 kD50 = {0.96422, 1.0, 0.82521};

// XYZ (D50) to linear sRGB: the sRGB matrix (IEC 61966-2-1) times the Bradford adaptation
// from D50 to D65. A D50 white becomes (1, 1, 1).
constexpr Mat3 kXyzD50ToLinearSrgb = {{
    {3.1338561, -1.6168667, -0.4906146},
    {-0.9787684, 1.9161415, 0.0334540},
    {0.0719453, -0.2289914, 1.4052427},
}};

// The inverse of CIE's f(t) companding.
double FInverse(double f) {
  constexpr double kEpsilon = 6.0 / 29.0;
  return f > kEpsilon ? f * f * f : 3.0 * kEpsilon * kEpsilon * (f - 4.0 / 29.0);
}

Vec3 LabToXyzD50(double l_star, double a_star, double b_star) {
  const double fy = (l_star + 16.0) / 116.0;
  return {kD50[0] * FInverse(fy + a_star / 500.0), kD50[1] * FInverse(fy),
          kD50[2] * FInverse(fy - b_star / 200.0)};
}

double SrgbEncode(double linear) {
  if (linear <= 0.0031308) return 12.92 * linear;
  return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

std::uint8_t ToByte(double linear) {
  const double v = SrgbEncode(std::clamp(linear, 0.0, 1.0)) * 255.0;
  return static_cast<std::uint8_t>(std::clamp<long long>(RoundHalfEven(v), 0, 255));
}

}  // namespace

TRgb LabToSrgb(double l_star, double a_star, double b_star) {
  const Vec3 xyz = LabToXyzD50(l_star, a_star, b_star);
  Vec3 rgb{};
  for (int i = 0; i < 3; ++i) {
    const Vec3& m = kXyzD50ToLinearSrgb[i];
    rgb[i] = m[0] * xyz[0] + m[1] * xyz[1] + m[2] * xyz[2];
  }
  return {ToByte(rgb[0]), ToByte(rgb[1]), ToByte(rgb[2])};
}

TRgb PsdLabToSrgb(std::uint8_t l, std::uint8_t a, std::uint8_t b) {
  return LabToSrgb(l * 100.0 / 255.0, a - 128.0, b - 128.0);
}

}  // namespace tolvane::psd
