#pragma once
// Builds small enhanced and placeable Windows metafiles record by record for the player's tests.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace tolvane::testing {

class RecordBytes {
 public:
  RecordBytes& U8(std::uint8_t v) { return Push(v, 1); }
  RecordBytes& U16(std::uint16_t v) { return Push(v, 2); }
  RecordBytes& I16(std::int16_t v) { return Push(static_cast<std::uint16_t>(v), 2); }
  RecordBytes& U32(std::uint32_t v) { return Push(v, 4); }
  RecordBytes& I32(std::int32_t v) { return Push(static_cast<std::uint32_t>(v), 4); }
  RecordBytes& F32(float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return U32(u);
  }
  RecordBytes& I32s(std::initializer_list<std::int32_t> vs) {
    for (std::int32_t v : vs) I32(v);
    return *this;
  }
  RecordBytes& I16s(std::initializer_list<std::int16_t> vs) {
    for (std::int16_t v : vs) I16(v);
    return *this;
  }
  RecordBytes& Append(const std::vector<std::uint8_t>& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
  }
  std::vector<std::uint8_t> bytes;

 private:
  RecordBytes& Push(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
};

// An EMF whose logical units are image pixels: the reference device has 10 pixels per mm
// and the frame covers width x height of them.
class EmfBuilder {
 public:
  EmfBuilder(int width, int height) : width_(width), height_(height) {}

  // A record of the given type; its size is filled in by Build.
  EmfBuilder& Record(std::uint32_t type, const RecordBytes& params = {}) {
    records_.push_back({type, params.bytes, std::nullopt});
    return *this;
  }
  // A record that states a size of its own (for damaged files).
  EmfBuilder& RawRecord(std::uint32_t type, std::uint32_t size, const RecordBytes& params = {}) {
    records_.push_back({type, params.bytes, size});
    return *this;
  }
  EmfBuilder& Handles(std::uint16_t n) {
    handles_ = n;
    return *this;
  }

  std::vector<std::uint8_t> Build(bool with_eof = true) const {
    RecordBytes out;
    out.U32(1).U32(88).I32s({0, 0, width_ - 1, height_ - 1, 0, 0, width_ * 10, height_ * 10});
    out.U32(0x464D4520).U32(0x10000).U32(0).U32(0).U16(handles_).U16(0);
    out.U32(0).U32(0).U32(0).I32s({1000, 1000, 100, 100});
    for (const Rec& r : records_) {
      out.U32(r.type).U32(r.size.value_or(std::uint32_t(8 + r.params.size()))).Append(r.params);
    }
    if (with_eof) out.U32(14).U32(20).U32(0).U32(16).U32(20);
    std::vector<std::uint8_t> bytes = out.bytes;
    const std::uint32_t total = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 48, &total, 4);
    return bytes;
  }

 private:
  struct Rec {
    std::uint32_t type;
    std::vector<std::uint8_t> params;
    std::optional<std::uint32_t> size;
  };
  int width_, height_;
  std::uint16_t handles_ = 8;
  std::vector<Rec> records_;
};

// A placeable WMF with the given bounding box and units per inch.
class WmfBuilder {
 public:
  WmfBuilder(std::int16_t right, std::int16_t bottom, std::uint16_t units_per_inch)
      : right_(right), bottom_(bottom), inch_(units_per_inch) {}

  WmfBuilder& Record(std::uint16_t function, const RecordBytes& params = {}) {
    RecordBytes r;
    r.U32(std::uint32_t(3 + params.bytes.size() / 2)).U16(function).Append(params.bytes);
    body_.Append(r.bytes);
    return *this;
  }
  WmfBuilder& Raw(const RecordBytes& bytes) {
    body_.Append(bytes.bytes);
    return *this;
  }

  std::vector<std::uint8_t> Build() const {
    RecordBytes out;
    out.U32(0x9AC6CDD7).U16(0).I16s({0, 0, right_, bottom_}).U16(inch_).U32(0);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
      sum ^= std::uint16_t(out.bytes[i] | out.bytes[i + 1] << 8);
    out.U16(sum);
    const std::uint32_t words = std::uint32_t(9 + body_.bytes.size() / 2 + 3);
    out.U16(1).U16(9).U16(0x300).U32(words).U16(8).U32(64).U16(0);
    out.Append(body_.bytes);
    out.U32(3).U16(0);
    return out.bytes;
  }

 private:
  std::int16_t right_, bottom_;
  std::uint16_t inch_;
  RecordBytes body_;
};

// A 40-byte-header, bottom-up 24-bit DIB (info, bits) of w x h pixels, colour(x, y) with y
// counted from the top.
template <typename F>
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> Dib24(int w, int h, F colour) {
  RecordBytes info;
  const int stride = (w * 3 + 3) & ~3;
  info.U32(40).I32(w).I32(h).U16(1).U16(24).U32(0).U32(std::uint32_t(stride * h));
  info.I32(3780).I32(3780).U32(0).U32(0);
  std::vector<std::uint8_t> bits(std::size_t(stride) * h, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = colour(x, y);  // 0x00BBGGRR
      std::uint8_t* p = &bits[std::size_t(h - 1 - y) * stride + 3 * x];
      p[0] = std::uint8_t(c >> 16), p[1] = std::uint8_t(c >> 8), p[2] = std::uint8_t(c);
    }
  }
  return {info.bytes, bits};
}

}  // namespace tolvane::testing
