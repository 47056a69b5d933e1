// Run-length decoding of RLE8 and RLE4 pixel data. Every code is checked against the row and
// the image before a pixel is written; pixels the data never reaches keep index 0. Some
// encoders code whole padded rows, so runs may reach into the row padding; those pixels are
// dropped, and only codes beyond the padded row are refused.
#include <string>

#include "imaging/bmp/bmp_format.h"
#include "imaging/tbitmap.h"
#include "platform/byte_reader.h"

namespace tolvane::bmp {
namespace {

Status Fail(const std::string& message) { return Status::Error("BMP: RLE " + message); }

std::string At(int x, int y) {
  return " at column " + std::to_string(x) + " of row " + std::to_string(y);
}

class RleDecoder {
 public:
  RleDecoder(std::span<const std::uint8_t> data, bool four_bit, bool top_down, TBitmap& out)
      : reader_(data),
        four_bit_(four_bit),
        top_down_(top_down),
        width_(out.Width()),
        height_(out.Height()),
        stride_(out.Stride()),
        row_slots_(int(out.Stride() * 8 / std::size_t(out.BitsPerPixel()))),
        pixels_(out.MutablePixels()) {}

  Status Run() {
    while (reader_.remaining() > 0) {
      const std::uint8_t count = reader_.u8();
      const std::uint8_t value = reader_.u8();
      if (!reader_.ok()) return Fail("data ends inside a code");
      Status status;
      if (count > 0) {
        status = Repeat(count, value);
      } else if (value == 0) {
        status = EndOfLine();
      } else if (value == 1) {
        return {};
      } else if (value == 2) {
        status = Delta();
      } else {
        status = Literal(value);
      }
      if (!status) return status;
    }
    // Data may end without an end-of-bitmap code once every row is coded; a file cut short
    // would otherwise pass for a whole picture with its last rows at index 0.
    if (y_ < height_ - 1 || (y_ == height_ - 1 && x_ < width_)) {
      return Fail("data ends before the image does" + At(x_, y_));
    }
    return {};
  }

 private:
  Status CheckRoom(int count) const {
    if (y_ >= height_) return Fail("pixels past the last row" + At(x_, y_));
    if (count > row_slots_ - x_) {
      return Fail("run of " + std::to_string(count) + " pixels past the row end" + At(x_, y_));
    }
    return {};
  }

  // File rows count from the bottom unless the image is stored top-down.
  std::uint8_t* Row() {
    const int y = top_down_ ? y_ : height_ - 1 - y_;
    return pixels_.data() + std::size_t(y) * stride_;
  }

  void Put(std::uint8_t* row, unsigned index) {
    if (x_ >= width_) {
      ++x_;
      return;
    }
    if (four_bit_) {
      const int shift = x_ % 2 ? 0 : 4;
      row[x_ / 2] = static_cast<std::uint8_t>((row[x_ / 2] & ~(0xF << shift)) | (index << shift));
    } else {
      row[x_] = static_cast<std::uint8_t>(index);
    }
    ++x_;
  }

  // RLE4 runs alternate the two nibbles of the value; RLE8 repeats the byte.
  Status Repeat(int count, std::uint8_t value) {
    if (Status s = CheckRoom(count); !s) return s;
    std::uint8_t* row = Row();
    for (int i = 0; i < count; ++i) {
      Put(row, four_bit_ ? (i % 2 ? value & 0xF : value >> 4) : value);
    }
    return {};
  }

  Status EndOfLine() {
    if (y_ >= height_) return Fail("end of line past the last row");
    x_ = 0;
    ++y_;
    return {};
  }

  Status Delta() {
    const int dx = reader_.u8();
    const int dy = reader_.u8();
    if (!reader_.ok()) return Fail("data ends inside a delta code");
    if (dx > row_slots_ - x_ || dy >= height_ - y_) {
      return Fail("delta (" + std::to_string(dx) + ", " + std::to_string(dy) +
                  ") moves past the image end" + At(x_, y_));
    }
    x_ += dx;
    y_ += dy;
    return {};
  }

  // Literal pixels, padded to an even number of bytes.
  Status Literal(int count) {
    if (Status s = CheckRoom(count); !s) return s;
    const int bytes = four_bit_ ? (count + 1) / 2 : count;
    const auto data = reader_.Bytes(std::uint64_t(bytes + bytes % 2));
    if (!data) return Fail("literal run of " + std::to_string(count) + " pixels past the data end");
    std::uint8_t* row = Row();
    for (int i = 0; i < count; ++i) {
      const std::uint8_t byte = (*data)[four_bit_ ? i / 2 : i];
      Put(row, four_bit_ ? (i % 2 ? byte & 0xF : byte >> 4) : byte);
    }
    return {};
  }

  ByteReader reader_;
  bool four_bit_;
  bool top_down_;
  int width_;
  int height_;
  std::size_t stride_;
  int row_slots_;  // pixels a padded row could hold
  std::span<std::uint8_t> pixels_;
  int x_ = 0;
  int y_ = 0;
};

}  // namespace

Status DecodeRle(std::span<const std::uint8_t> data, std::uint32_t compression, bool top_down,
                 TBitmap& out) {
  return RleDecoder(data, compression == kRle4, top_down, out).Run();
}

}  // namespace tolvane::bmp
