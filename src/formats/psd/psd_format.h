#pragma once
// On-disk layout of a Photoshop document as far as the composite image needs it. Every number
// in the file is big-endian.
#include <cstdint>

namespace tolvane::psd {

inline constexpr std::uint32_t kSignature = 0x38425053;  // "8BPS"
inline constexpr std::uint16_t kVersionDocument = 1;
inline constexpr std::uint16_t kVersionLarge = 2;  // large document format (".psb" layout)
inline constexpr int kHeaderSize = 26;
inline constexpr std::uint16_t kMaxChannels = 56;
inline constexpr std::uint32_t kColourTableSize = 768;  // 256 red, 256 green, 256 blue

enum class ColourMode : std::uint16_t {
  kBitmap = 0,
  kGrayscale = 1,
  kIndexed = 2,
  kRgb = 3,
  kCmyk = 4,
  kMultichannel = 7,
  kDuotone = 8,
  kLab = 9,
};

enum class Compression : std::uint16_t {
  kRaw = 0,
  kPackBits = 1,
  kZip = 2,            // one zlib stream over all planes
  kZipPrediction = 3,  // the same, with each row stored as differences
};

struct Header {
  std::uint32_t signature = 0;
  std::uint16_t version = 0;
  std::uint16_t channels = 0;
  std::uint32_t height = 0;
  std::uint32_t width = 0;
  std::uint16_t depth = 0;
  std::uint16_t mode = 0;
};

}  // namespace tolvane::psd
