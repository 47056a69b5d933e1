// The codecs on a 24-megapixel picture: JPEG decode and encode (quality 90, 4:2:0), PNG encode
// at level 6, GIF encode. Figures are megapixels per second ("MP/s").
//
// Set TOLVANE_BENCH_OUT to a folder to also get the picture there as codecs_24mp.bmp and the
// JPEG as codecs_24mp.jpg, for libjpeg-turbo's tjbench on the same data:
//   tjbench codecs_24mp.bmp 90 -subsamp 420 -nowrite -benchtime 10    (encode)
//   tjbench codecs_24mp.jpg -nowrite -benchtime 10                     (decode)
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/gif/gif_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/png/png_codec.h"
#include "platform/file_ops.h"

namespace tolvane {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

// Photo-like content: broad shading, some detail at several scales, and sensor-like noise, so
// that the entropy coders see realistic work (a plain gradient would compress to nothing).
TBitmap MakePicture() {
  TBitmap image;
  image.Create(kWidth, kHeight, 24);
  std::uint32_t noise = 2024;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = int(noise >> 28) - 8;
      const double detail =
          40 * std::sin(x * 0.021) * std::cos(y * 0.017) + 18 * std::sin((x + y) * 0.13);
      for (int c = 0; c < 3; ++c) {
        const double shade = 60 + 120.0 * (c == 0 ? x : c == 1 ? y : x + y) / (kWidth + kHeight);
        const int v = int(shade + detail * (c == 1 ? 0.7 : 1.0)) + grain;
        row[3 * x + c] = std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  }
  return image;
}

const TBitmap& Picture() {
  static const TBitmap picture = MakePicture();
  return picture;
}

const std::vector<std::uint8_t>& PictureJpeg() {
  static const std::vector<std::uint8_t> jpeg = [] {
    std::vector<std::uint8_t> out;
    if (!EncodeJpeg(Picture(), 90, out)) std::abort();
    if (const char* folder = std::getenv("TOLVANE_BENCH_OUT")) {
      std::string error;
      const std::string base = std::string(folder) + "/codecs_24mp";
      WriteFileAtomic(base + ".jpg", out, WriteMode::kReplace, &error);
      WriteFileAtomic(base + ".bmp", Picture().SaveToBytes(), WriteMode::kReplace, &error);
    }
    return out;
  }();
  return jpeg;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_JpegDecode(benchmark::State& state) {
  const auto& jpeg = PictureJpeg();
  for (auto _ : state) {
    TBitmap image;
    if (!DecodeJpeg(jpeg, image)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.PixelBytes().data());
  }
  SetRate(state);
}
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// What every decode pays for its fresh output image (page faults and TBitmap's white fill),
// which tjbench, decoding into one buffer it reuses, does not.
void BM_NewImage(benchmark::State& state) {
  for (auto _ : state) {
    TBitmap image;
    image.Create(kWidth, kHeight, 24);
    benchmark::DoNotOptimize(image.PixelBytes().data());
  }
  SetRate(state);
}
BENCHMARK(BM_NewImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegEncode(benchmark::State& state) {
  const TBitmap& picture = Picture();
  PictureJpeg();  // writes the files for tjbench when asked
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    if (!EncodeJpeg(picture, 90, out)) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state);
}
BENCHMARK(BM_JpegEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngEncodeLevel6(benchmark::State& state) {
  const TBitmap& picture = Picture();
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    if (!EncodePng(picture, {6, false}, out)) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state);
}
BENCHMARK(BM_PngEncodeLevel6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_GifEncode(benchmark::State& state) {
  const TBitmap& picture = Picture();
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    if (!EncodeGif(picture, out)) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetRate(state);
}
BENCHMARK(BM_GifEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tolvane
