#pragma once
// Builds small PSD documents byte by byte for the reader's tests and its fuzz seeds.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::testing {

using Bytes = std::vector<std::uint8_t>;

struct PsdDocument {
  std::string signature = "8BPS";
  std::uint16_t version = 1;
  std::uint16_t channels = 3;
  std::uint32_t height = 1;
  std::uint32_t width = 1;
  std::uint16_t depth = 8;
  std::uint16_t mode = 3;  // RGB
  Bytes colour_mode_data;
  Bytes resources;
  Bytes layers;
  std::uint16_t compression = 0;
  Bytes image_data;  // everything after the compression code
};

inline void PutBe(Bytes& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(v >> (8 * i)));
}

inline void PutSection(Bytes& out, const Bytes& section) {
  PutBe(out, section.size(), 4);
  out.insert(out.end(), section.begin(), section.end());
}

inline Bytes BuildPsd(const PsdDocument& d) {
  Bytes out(d.signature.begin(), d.signature.end());
  PutBe(out, d.version, 2);
  out.insert(out.end(), 6, 0);
  PutBe(out, d.channels, 2);
  PutBe(out, d.height, 4);
  PutBe(out, d.width, 4);
  PutBe(out, d.depth, 2);
  PutBe(out, d.mode, 2);
  PutSection(out, d.colour_mode_data);
  PutSection(out, d.resources);
  PutSection(out, d.layers);
  PutBe(out, d.compression, 2);
  out.insert(out.end(), d.image_data.begin(), d.image_data.end());
  return out;
}

// PackBits of one row as literals of up to 128 bytes, runs where 3 or more bytes repeat.
inline Bytes PackBitsRow(const Bytes& row) {
  Bytes out;
  std::size_t i = 0;
  while (i < row.size()) {
    std::size_t run = 1;
    while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 3) {
      out.push_back(std::uint8_t(257 - run));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    std::size_t n = 0;
    while (
        i + n < row.size() && n < 128 &&
        !(i + n + 2 < row.size() && row[i + n] == row[i + n + 1] && row[i + n] == row[i + n + 2])) {
      ++n;
    }
    out.push_back(std::uint8_t(n - 1));
    out.insert(out.end(), row.begin() + long(i), row.begin() + long(i + n));
    i += n;
  }
  return out;
}

// PackBits image data: the byte count table, then the packed rows (all planes, rows of
// row_bytes bytes one after another in `planes`).
inline Bytes PackBitsImageData(const Bytes& planes, std::size_t row_bytes) {
  Bytes table, rows;
  for (std::size_t at = 0; at < planes.size(); at += row_bytes) {
    const Bytes packed =
        PackBitsRow(Bytes(planes.begin() + long(at), planes.begin() + long(at + row_bytes)));
    PutBe(table, packed.size(), 2);
    rows.insert(rows.end(), packed.begin(), packed.end());
  }
  table.insert(table.end(), rows.begin(), rows.end());
  return table;
}

// ZIP image data; with prediction each row is first turned into differences of samples of
// `depth` bits (8 or 16).
inline Bytes ZipImageData(Bytes planes, std::size_t row_bytes, bool prediction, int depth) {
  if (prediction) {
    for (std::size_t at = 0; at < planes.size(); at += row_bytes) {
      const std::size_t step = depth / 8;
      for (std::size_t i = row_bytes - step; i >= step; i -= step) {
        unsigned v = 0, prev = 0;
        for (std::size_t b = 0; b < step; ++b) {
          v = (v << 8) | planes[at + i + b];
          prev = (prev << 8) | planes[at + i - step + b];
        }
        const unsigned diff = v - prev;
        for (std::size_t b = 0; b < step; ++b) {
          planes[at + i + b] = std::uint8_t(diff >> (8 * (step - 1 - b)));
        }
      }
    }
  }
  uLongf size = compressBound(uLong(planes.size()));
  Bytes out(size);
  compress(out.data(), &size, planes.data(), uLong(planes.size()));
  out.resize(size);
  return out;
}

}  // namespace tolvane::testing
