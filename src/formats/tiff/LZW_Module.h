#pragma once
// TLZW: the LZW decoder of TIFF 6.0 (codes most significant bit first, 9 to 12 bits wide,
// the width growing one code early). One decoder serves every strip of a file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tolvane::tiff {

class TLZW {
 public:
  TLZW();

  // Decodes one strip into `out` with a fresh table and returns the number of bytes written.
  // Never writes past `out`; stops at the end code, at the end of `in`, when `out` is full, or
  // at a code the table cannot explain yet.
  std::size_t Decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

  static constexpr std::uint16_t kClear = 256;
  static constexpr std::uint16_t kEnd = 257;
  static constexpr std::uint16_t kFirstFree = 258;
  static constexpr std::size_t kTableSize = 4096;

 private:
  struct Code {
    std::uint16_t prefix = 0;
    std::uint16_t length = 1;  // bytes of the string; bounds the prefix walk
    std::uint8_t first = 0;
    std::uint8_t last = 0;
  };

  void ResetTable();
  std::optional<std::uint16_t> NextCode();
  // Handles one data code after the first of a table; false when the code is not yet known.
  bool Step(std::uint16_t code, std::uint16_t previous);
  void Assign(std::uint16_t prefix, std::uint8_t last);
  void Emit(std::uint16_t code);

  std::array<Code, kTableSize> table_;
  std::uint16_t next_free_ = kFirstFree;
  int width_ = 9;
  std::span<const std::uint8_t> in_;
  std::size_t bit_pos_ = 0;
  std::span<std::uint8_t> out_;
  std::size_t out_pos_ = 0;
};

}  // namespace tolvane::tiff
