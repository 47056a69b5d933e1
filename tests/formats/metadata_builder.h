#pragma once
// Small JPEG headers with EXIF, IPTC and comment segments, laid out byte by byte for the
// metadata tests.
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::testing {

using Bytes = std::vector<std::uint8_t>;

// One directory entry. Numbers are encoded by type in the file's byte order; `text` is used
// as the value bytes of ASCII and UNDEFINED fields (and of any type when numbers is empty).
// `to_dir` >= 0 makes the entry a LONG pointer to that directory.
struct ExifField {
  std::uint16_t tag;
  std::uint16_t type;
  std::vector<std::int64_t> numbers = {};
  std::string text = {};
  int to_dir = -1;
  std::uint32_t count_override = 0;   // a count other than the one the value implies
  std::uint32_t offset_override = 0;  // a value offset other than where the bytes go
};

using ExifDir = std::vector<ExifField>;

class ExifBuilder {
 public:
  explicit ExifBuilder(bool motorola) : mm_(motorola) {}

  // The APP1 payload: "Exif\0\0", the TIFF header, the directories (dirs[0] is IFD0) in
  // order, then the values that do not fit in their entries.
  Bytes Payload(const std::vector<ExifDir>& dirs) const {
    std::vector<std::uint32_t> dir_offsets;
    std::uint32_t at = 8;
    for (const ExifDir& d : dirs) {
      dir_offsets.push_back(at);
      at += 2 + 12 * static_cast<std::uint32_t>(d.size()) + 4;
    }
    Bytes tiff;
    tiff.push_back(mm_ ? 'M' : 'I');
    tiff.push_back(mm_ ? 'M' : 'I');
    Put(tiff, 42, 2);
    Put(tiff, 8, 4);
    Bytes data;
    for (std::size_t k = 0; k < dirs.size(); ++k) {
      Put(tiff, dirs[k].size(), 2);
      for (const ExifField& f : dirs[k]) {
        Bytes value = f.to_dir >= 0 ? Encode(4, {dir_offsets[std::size_t(f.to_dir)]}) : ValueOf(f);
        const std::uint32_t count = f.count_override ? f.count_override : CountOf(f, value);
        Put(tiff, f.tag, 2);
        Put(tiff, f.to_dir >= 0 ? 4 : f.type, 2);
        Put(tiff, count, 4);
        if (value.size() <= 4) {
          value.resize(4, 0);
          tiff.insert(tiff.end(), value.begin(), value.end());
        } else {
          Put(tiff, f.offset_override ? f.offset_override : at + data.size(), 4);
          data.insert(data.end(), value.begin(), value.end());
        }
      }
      Put(tiff, 0, 4);
    }
    tiff.insert(tiff.end(), data.begin(), data.end());
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
  }

  Bytes Encode(int type, const std::vector<std::int64_t>& numbers) const {
    Bytes out;
    for (const std::int64_t n : numbers) {
      switch (type) {
        case 1:
        case 6:
        case 7:
          Put(out, std::uint64_t(n), 1);
          break;
        case 3:
        case 8:
          Put(out, std::uint64_t(n), 2);
          break;
        default:
          Put(out, std::uint64_t(n), 4);
          break;  // LONG, SLONG, halves of rationals
      }
    }
    return out;
  }

 private:
  Bytes ValueOf(const ExifField& f) const {
    if (f.numbers.empty()) return Bytes(f.text.begin(), f.text.end());
    return Encode(f.type, f.numbers);
  }
  static std::uint32_t CountOf(const ExifField& f, const Bytes& value) {
    static constexpr int kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    const int size = f.type <= 12 ? kSizes[f.type] : 0;
    return size == 0 ? 1 : static_cast<std::uint32_t>(value.size() / size);
  }
  void Put(Bytes& out, std::uint64_t v, int n) const {
    for (int i = 0; i < n; ++i) {
      const int shift = mm_ ? 8 * (n - 1 - i) : 8 * i;
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  }
  bool mm_;
};

struct Segment {
  std::uint8_t marker;
  Bytes payload;
};

// SOI, the segments with their length bytes, a minimal SOS and EOI.
inline Bytes JpegHeader(const std::vector<Segment>& segments) {
  Bytes out = {0xFF, 0xD8};
  for (const Segment& s : segments) {
    const std::size_t length = s.payload.size() + 2;
    out.insert(out.end(), {0xFF, s.marker, std::uint8_t(length >> 8), std::uint8_t(length)});
    out.insert(out.end(), s.payload.begin(), s.payload.end());
  }
  out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9});
  return out;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An APP13 payload: the Photoshop signature, a resource header, then the datasets
// (record, dataset, value).
struct Dataset {
  std::uint8_t record;
  std::uint8_t number;
  std::string value;
};
inline Bytes IptcPayload(const std::vector<Dataset>& datasets) {
  Bytes out = Text(std::string("Photoshop 3.0") + '\0' + "8BIM");
  out.insert(out.end(), {0x04, 0x04, 0, 0, 0, 0, 0, 0});
  for (const Dataset& d : datasets) {
    out.insert(out.end(), {0x1C, d.record, d.number, std::uint8_t(d.value.size() >> 8),
                           std::uint8_t(d.value.size())});
    out.insert(out.end(), d.value.begin(), d.value.end());
  }
  return out;
}

}  // namespace tolvane::testing
