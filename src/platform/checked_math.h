#pragma once
#include <cmath>
#include <cstdint>
#include <optional>

namespace tolvane {

// a * b, or nothing when the product does not fit 64 bits.
inline std::optional<std::uint64_t> CheckedMul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
  return r;
}

inline std::optional<std::uint64_t> CheckedAdd(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = 0;
  if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
  return r;
}

// Windows MulDiv: a * b / c exact in 64 bits, rounded to nearest with halves away from zero.
// Returns -1 for c == 0, as the platform does.
inline std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t p = std::int64_t{a} * b;
  const bool negative = (p < 0) != (c < 0);
  const std::uint64_t up = p < 0 ? std::uint64_t(-p) : std::uint64_t(p);
  const std::uint64_t uc = c < 0 ? std::uint64_t(-std::int64_t{c}) : std::uint64_t(c);
  const std::uint64_t q = (up + uc / 2) / uc;
  return negative ? -static_cast<std::int32_t>(q) : static_cast<std::int32_t>(q);
}

// Nearest integer with halves to the even integer (the default rounding of the FPU).
inline long long RoundHalfEven(long double v) { return std::llrintl(v); }

}  // namespace tolvane
