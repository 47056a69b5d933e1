#pragma once
// Points, affine transforms and device-space paths shared by the device context and the
// canvas.
#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvane::metafile {

struct Point {
  double x = 0;
  double y = 0;
};

// The metafile XFORM: x' = x * m11 + y * m21 + dx, y' = x * m12 + y * m22 + dy.
struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

  Point Apply(Point p) const { return {p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy}; }
  Point ApplyVector(Point p) const { return {p.x * m11 + p.y * m21, p.x * m12 + p.y * m22}; }
  // This transform followed by next.
  Xform Then(const Xform& n) const {
    return {m11 * n.m11 + m12 * n.m21,      m11 * n.m12 + m12 * n.m22,
            m21 * n.m11 + m22 * n.m21,      m21 * n.m12 + m22 * n.m22,
            dx * n.m11 + dy * n.m21 + n.dx, dx * n.m12 + dy * n.m22 + n.dy};
  }
  double Determinant() const { return m11 * m22 - m12 * m21; }
  bool Finite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
  }
};

struct PathOp {
  enum Kind { kMove, kLine, kCurve, kClose };
  Kind kind = kMove;
  Point p[3];  // kMove/kLine: p[0]; kCurve: two control points and the end point
};
using Path = std::vector<PathOp>;

// Device coordinates are kept within this distance of the image so cairo's fixed-point
// arithmetic never overflows, whatever the file says.
inline constexpr double kCoordinateLimit = 1 << 21;

inline Point ClampPoint(Point p) {
  auto clamp = [](double v) {
    return std::isfinite(v) ? std::clamp(v, -kCoordinateLimit, kCoordinateLimit) : 0.0;
  };
  return {clamp(p.x), clamp(p.y)};
}

}  // namespace tolvane::metafile
