#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tolvane {

// Bounds-checked cursor over file bytes. Every read reports failure instead of reading past
// the end; once a read fails the reader stays failed, so a parser may check once at the end
// of a header.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t size() const { return data_.size(); }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
  bool ok() const { return ok_; }

  bool Seek(std::uint64_t offset) {
    if (offset > data_.size()) return Fail();
    pos_ = static_cast<std::size_t>(offset);
    return true;
  }
  bool Skip(std::uint64_t n) { return n <= remaining() ? (pos_ += n, true) : Fail(); }

  std::uint8_t u8() { return static_cast<std::uint8_t>(Read(1, false)); }
  std::uint16_t u16le() { return static_cast<std::uint16_t>(Read(2, false)); }
  std::uint16_t u16be() { return static_cast<std::uint16_t>(Read(2, true)); }
  std::uint32_t u32le() { return static_cast<std::uint32_t>(Read(4, false)); }
  std::uint32_t u32be() { return static_cast<std::uint32_t>(Read(4, true)); }
  std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
  std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

  // The next n bytes, or an empty optional when fewer remain.
  std::optional<std::span<const std::uint8_t>> Bytes(std::uint64_t n) {
    if (n > remaining()) {
      Fail();
      return std::nullopt;
    }
    auto s = data_.subspan(pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return s;
  }

  // A sub-range of the whole data, independent of the cursor.
  std::optional<std::span<const std::uint8_t>> Sub(std::uint64_t offset, std::uint64_t n) const {
    if (offset > data_.size() || n > data_.size() - offset) return std::nullopt;
    return data_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(n));
  }

 private:
  bool Fail() {
    ok_ = false;
    return false;
  }
  std::uint64_t Read(std::size_t n, bool big_endian) {
    if (!ok_ || n > remaining()) {
      Fail();
      return 0;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t b = data_[pos_ + i];
      v |= big_endian ? b << (8 * (n - 1 - i)) : b << (8 * i);
    }
    pos_ += n;
    return v;
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace tolvane
