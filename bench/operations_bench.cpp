// Throughput of the pixel operations on a 6000 x 4000 photo-sized image, in megapixels per
// second (output pixels for the resampling).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "imaging/operations.h"
#include "imaging/tbitmap.h"

namespace tolvane {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Varied pixels, so that nothing can take a shortcut on uniform data.
TBitmap VariedImage(int width, int height) {
  TBitmap image;
  image.Create(width, height, 24);
  std::uint32_t state = 0x9E3779B9u;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int i = 0; i < width * 3; ++i) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      row[i] = static_cast<std::uint8_t>(state >> 24);
    }
  }
  return image;
}

const TBitmap& PhotoImage() {
  static const TBitmap image = VariedImage(kWidth, kHeight);
  return image;
}

void SetRate(benchmark::State& state, double megapixels) {
  state.counters["MP/s"] =
      benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// Operations whose speed does not depend on the pixels run again and again on one image.
template <typename Op>
void Repeated(benchmark::State& state, Op op) {
  TBitmap image = PhotoImage();
  for (auto _ : state) {
    op(image);
    benchmark::DoNotOptimize(image.PixelBytes().data());
  }
  SetRate(state, kWidth * kHeight / 1e6);
}

// Sepia's exact fallback depends on the colours, so it always starts from the same pixels.
template <typename Op>
void Fresh(benchmark::State& state, Op op) {
  TBitmap image;
  for (auto _ : state) {
    state.PauseTiming();
    image = PhotoImage();
    state.ResumeTiming();
    op(image);
    benchmark::DoNotOptimize(image.PixelBytes().data());
  }
  SetRate(state, kWidth * kHeight / 1e6);
}

void BM_RotateRight(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { RotateImage(i, kWhite, 90); });
}
void BM_RotateLeft(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { RotateImage(i, kWhite, 270); });
}
void BM_FlipVertical(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { FlipImage(i, false); });
}
void BM_FlipHorizontal(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { FlipImage(i, true); });
}
void BM_InvertImage(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { InvertImage(i); });
}
void BM_GrayScaleImage(benchmark::State& s) {
  Fresh(s, [](TBitmap& i) { GrayScaleImage(i); });
}
void BM_SepiaImage(benchmark::State& s) {
  Fresh(s, [](TBitmap& i) { SepiaImage(i); });
}
void BM_NightVisionImage(benchmark::State& s) {
  Repeated(s, [](TBitmap& i) { NightVisionImage(i); });
}

void Resample(benchmark::State& state, const TBitmap& source, int width, int height) {
  TBitmap destination;
  destination.Create(width, height, 24);
  for (auto _ : state) {
    ResampleBilinear(source, destination);
    benchmark::DoNotOptimize(destination.PixelBytes().data());
  }
  SetRate(state, double(width) * height / 1e6);
}

void BM_ResampleDown(benchmark::State& s) { Resample(s, PhotoImage(), 1920, 1280); }
void BM_ResampleUp(benchmark::State& s) {
  static const TBitmap small = VariedImage(1920, 1280);
  Resample(s, small, kWidth, kHeight);
}

BENCHMARK(BM_RotateRight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateLeft)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipVertical)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlipHorizontal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InvertImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrayScaleImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SepiaImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NightVisionImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleDown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleUp)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane
