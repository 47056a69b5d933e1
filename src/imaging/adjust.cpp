// Colour adjustments: invert, colorize (night vision), gray scale, sepia. Each rewrites the
// 24-bit pixels row by row in place.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "imaging/operations.h"
#include "imaging/pixel_rows.h"

namespace tolvane {
namespace {

using pixel_rows::ForEachRow;
using ByteTable = std::array<std::uint8_t, 256>;

// One channel of the linear map 0 -> low, 255 -> high, in the order of operations whose
// rounding the results depend on.
ByteTable ColorizeTable(int low, int high) {
  ByteTable table{};
  for (int v = 0; v < 256; ++v) {
    long double t = static_cast<long double>(v) / 255.0L;
    t = t * static_cast<long double>(high - low);
    t = t + static_cast<long double>(low);
    table[v] = static_cast<std::uint8_t>(static_cast<int>(t));
  }
  return table;
}

// Rows: new red, green, blue; columns: weight of the incoming red, green, blue.
constexpr long double kSepiaWeights[3][3] = {
    {0.393L, 0.769L, 0.189L},
    {0.349L, 0.686L, 0.168L},
    {0.272L, 0.534L, 0.131L},
};

// The reference evaluation: products rounded separately, red and green terms added first,
// truncated toward zero.
std::uint8_t SepiaExact(int out, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  const long double* w = kSepiaWeights[out];
  long double sum = static_cast<long double>(r) * w[0] + static_cast<long double>(g) * w[1];
  sum = sum + static_cast<long double>(b) * w[2];
  return sum >= 255.0L ? 255 : static_cast<std::uint8_t>(static_cast<int>(sum));
}

// Fixed-point copies of the products. Each entry is within half a unit of the extended
// product, so a sum more than kSepiaMargin units away from a whole number truncates exactly as
// the reference does; sums closer than that (mostly exact decimal whole numbers, about one
// pixel in a thousand) take the reference path.
constexpr int kSepiaFractionBits = 22;
constexpr std::uint32_t kSepiaOne = std::uint32_t{1} << kSepiaFractionBits;
constexpr std::uint32_t kSepiaMargin = 4;

struct SepiaTables {
  std::array<std::array<std::uint32_t, 256>, 3> term[3];  // [new channel][incoming channel][v]
};

const SepiaTables& Sepia() {
  static const SepiaTables tables = [] {
    SepiaTables t{};
    const long double one = static_cast<long double>(kSepiaOne);
    for (int out = 0; out < 3; ++out) {
      for (int in = 0; in < 3; ++in) {
        for (int v = 0; v < 256; ++v) {
          const long double product = static_cast<long double>(v) * kSepiaWeights[out][in];
          t.term[out][in][v] = static_cast<std::uint32_t>(std::llroundl(product * one));
        }
      }
    }
    return t;
  }();
  return tables;
}

std::uint8_t SepiaChannel(const SepiaTables& t, int out, std::uint8_t r, std::uint8_t g,
                          std::uint8_t b) {
  const std::uint32_t sum = t.term[out][0][r] + t.term[out][1][g] + t.term[out][2][b];
  const std::uint32_t fraction = sum & (kSepiaOne - 1);
  if (fraction < kSepiaMargin || fraction > kSepiaOne - kSepiaMargin) {
    return SepiaExact(out, r, g, b);
  }
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(sum >> kSepiaFractionBits, 255));
}

TOLVANE_PIXEL_LOOP void GrayRow(std::uint8_t* __restrict p, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; i += 3) {
    const unsigned sum = unsigned{p[i]} + p[i + 1] + p[i + 2];
    const auto mean = static_cast<std::uint8_t>(sum / 3);
    p[i] = mean;
    p[i + 1] = mean;
    p[i + 2] = mean;
  }
}

}  // namespace

void InvertImage(TBitmap& image) {
  ForEachRow(image, [](std::span<std::uint8_t> row) {
    std::uint8_t* p = row.data();
    for (std::size_t i = 0; i < row.size(); ++i) p[i] = static_cast<std::uint8_t>(~p[i]);
  });
}

void ColorizeImage(TBitmap& image, TColor low, TColor high) {
  const ByteTable blue = ColorizeTable(BlueOf(low), BlueOf(high));
  const ByteTable green = ColorizeTable(GreenOf(low), GreenOf(high));
  const ByteTable red = ColorizeTable(RedOf(low), RedOf(high));
  ForEachRow(image, [&](std::span<std::uint8_t> row) {
    std::uint8_t* p = row.data();
    for (std::size_t i = 0; i < row.size(); i += 3) {
      p[i] = blue[p[i]];
      p[i + 1] = green[p[i + 1]];
      p[i + 2] = red[p[i + 2]];
    }
  });
}

void NightVisionImage(TBitmap& image) { ColorizeImage(image, RGBColor(0, 255, 0), kBlack); }

void GrayScaleImage(TBitmap& image) {
  ForEachRow(image, [](std::span<std::uint8_t> row) { GrayRow(row.data(), row.size()); });
}

void SepiaImage(TBitmap& image) {
  const SepiaTables& tables = Sepia();
  ForEachRow(image, [&](std::span<std::uint8_t> row) {
    std::uint8_t* p = row.data();
    for (std::size_t i = 0; i < row.size(); i += 3) {
      const std::uint8_t b = p[i], g = p[i + 1], r = p[i + 2];
      p[i] = SepiaChannel(tables, 2, r, g, b);
      p[i + 1] = SepiaChannel(tables, 1, r, g, b);
      p[i + 2] = SepiaChannel(tables, 0, r, g, b);
    }
  });
}

}  // namespace tolvane
