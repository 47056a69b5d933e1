#include "formats/tiff/LZW_Module.h"

#include <algorithm>
#include <bit>

namespace tolvane::tiff {

TLZW::TLZW() {
  for (std::uint16_t i = 0; i < 256; ++i) {
    table_[i] = {0, 1, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i)};
  }
}

void TLZW::ResetTable() {
  next_free_ = kFirstFree;
  width_ = 9;
}

std::optional<std::uint16_t> TLZW::NextCode() {
  if (bit_pos_ + width_ > in_.size() * 8) return std::nullopt;
  std::uint32_t code = 0;
  for (int i = 0; i < width_; ++i, ++bit_pos_) {
    const unsigned bit = (in_[bit_pos_ / 8] >> (7 - bit_pos_ % 8)) & 1u;
    code = (code << 1) | bit;
  }
  return static_cast<std::uint16_t>(code);
}

void TLZW::Assign(std::uint16_t prefix, std::uint8_t last) {
  if (next_free_ >= kTableSize) return;  // a full table waits for the encoder's Clear
  const Code& p = table_[prefix];
  table_[next_free_] = {prefix, static_cast<std::uint16_t>(p.length + 1), p.first, last};
  ++next_free_;
  // The early change: the width grows as soon as the next code would need it.
  width_ = std::clamp(static_cast<int>(std::bit_width(unsigned{next_free_} + 1u)), 9, 12);
}

void TLZW::Emit(std::uint16_t code) {
  const std::size_t length = table_[code].length;
  std::size_t pos = out_pos_ + length;
  for (std::uint16_t c = code; pos > out_pos_; c = table_[c].prefix) {
    --pos;
    if (pos < out_.size()) out_[pos] = table_[c].last;
  }
  out_pos_ = std::min(out_pos_ + length, out_.size());
}

bool TLZW::Step(std::uint16_t code, std::uint16_t previous) {
  if (code < next_free_) {
    Emit(code);
    Assign(previous, table_[code].first);
    return true;
  }
  if (code == next_free_) {
    Assign(previous, table_[previous].first);
    Emit(code);
    return true;
  }
  return false;
}

std::size_t TLZW::Decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  in_ = in;
  out_ = out;
  bit_pos_ = 0;
  out_pos_ = 0;
  ResetTable();
  std::optional<std::uint16_t> previous;
  while (out_pos_ < out_.size()) {
    const auto code = NextCode();
    if (!code || *code == kEnd) break;
    if (*code == kClear) {
      ResetTable();
      previous.reset();
      continue;
    }
    if (!previous) {
      if (*code >= next_free_) break;  // right after a Clear only single bytes are known
      Emit(*code);
    } else if (!Step(*code, *previous)) {
      break;
    }
    previous = code;
  }
  return out_pos_;
}

}  // namespace tolvane::tiff
