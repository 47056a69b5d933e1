// TIFF writing: one fixed layout, uncompressed little-endian RGB, 14 directory entries, strips
// of whole rows near 32 KB.
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/tiff/IFD_Module.h"
#include "formats/tiff/TIFFBMP.h"
#include "platform/file_ops.h"

namespace tolvane {
namespace {

using tiff::Entry;

constexpr std::uint32_t kMaxStripBytes = 32768;
constexpr std::uint16_t kEntryCount = 14;
// Header, entry count, the entries and the next-directory offset.
constexpr std::uint32_t kDirectoryEnd = tiff::kHeaderSize + 2 + kEntryCount * tiff::kEntrySize + 4;
static_assert(kDirectoryEnd == 182);

struct StripGeometry {
  std::uint64_t row_bytes = 0;
  std::uint64_t image_bytes = 0;
  std::uint64_t strip_bytes = 0;  // every strip but the last
  std::uint32_t rows_per_strip = 0;
  std::uint32_t strip_count = 0;
};

[[noreturn]] void WriteFailed(const std::string& why) {
  throw std::runtime_error(std::string(kTiffWriteFailedText) + ": " + why);
}

// Whole rows up to 32 KB per strip (one row when a row is longer), never more than the image.
StripGeometry PlanStrips(std::uint32_t width, std::uint32_t height) {
  StripGeometry g;
  g.row_bytes = std::uint64_t{width} * 3;
  g.image_bytes = g.row_bytes * height;
  const std::uint64_t rows = std::max<std::uint64_t>(kMaxStripBytes / g.row_bytes, 1);
  g.strip_bytes = std::min(rows * g.row_bytes, g.image_bytes);
  g.rows_per_strip = static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, height));
  g.strip_count = static_cast<std::uint32_t>((g.image_bytes + g.strip_bytes - 1) / g.strip_bytes);
  return g;
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16(out, static_cast<std::uint16_t>(v));
  PutU16(out, static_cast<std::uint16_t>(v >> 16));
}

void PutDirectory(std::vector<std::uint8_t>& out, const std::vector<Entry>& entries) {
  out.insert(out.end(), {'I', 'I'});
  PutU16(out, tiff::kMagic);
  PutU32(out, tiff::kHeaderSize);
  PutU16(out, static_cast<std::uint16_t>(entries.size()));
  for (const Entry& e : entries) {
    PutU16(out, e.tag);
    PutU16(out, e.type);
    PutU32(out, e.count);
    out.insert(out.end(), e.field.begin(), e.field.end());
  }
  PutU32(out, 0);  // no next directory
}

// With several strips the offsets and byte counts stand as LONG arrays after the directory.
void PutStripArrays(std::vector<std::uint8_t>& out, const StripGeometry& g,
                    std::uint32_t data_start) {
  if (g.strip_count == 1) return;
  for (std::uint32_t i = 0; i < g.strip_count; ++i) {
    PutU32(out, static_cast<std::uint32_t>(data_start + g.strip_bytes * i));
  }
  for (std::uint32_t i = 0; i + 1 < g.strip_count; ++i) {
    PutU32(out, static_cast<std::uint32_t>(g.strip_bytes));
  }
  PutU32(out, static_cast<std::uint32_t>(g.image_bytes - g.strip_bytes * (g.strip_count - 1)));
}

// Rows top row first, red, green and blue per pixel, without padding.
void PutPixels(std::vector<std::uint8_t>& out, const TBitmap& image) {
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
  }
}

void CheckWritable(const TBitmap& image, int compression) {
  if (compression != 0) WriteFailed("only uncompressed files are written");
  if (image.Empty()) WriteFailed("the image has no pixels");
  if (image.Width() > 0xFFFF || image.Height() > 0xFFFF) {
    WriteFailed("sides above 65535 pixels do not fit the file's 16-bit fields");
  }
}

}  // namespace

std::vector<std::uint8_t> TTIFFBitMap::SaveToTiffBytes(int compression) const {
  CheckWritable(*this, compression);
  TBitmap rgb = *this;
  rgb.SetPixelFormat(24);
  const StripGeometry g =
      PlanStrips(static_cast<std::uint32_t>(Width()), static_cast<std::uint32_t>(Height()));
  const std::uint32_t arrays = g.strip_count > 1 ? 8 * g.strip_count : 0;
  if (kDirectoryEnd + arrays + g.image_bytes > 0xFFFFFFFFu) {
    WriteFailed("the image does not fit a file of 4 GB");
  }
  const std::uint32_t counts_field = g.strip_count > 1 ? kDirectoryEnd + 4 * g.strip_count
                                                       : static_cast<std::uint32_t>(g.image_bytes);
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(kDirectoryEnd + arrays + g.image_bytes));
  PutDirectory(out, tiff::TIFD::RgbEntries(static_cast<std::uint16_t>(Width()),
                                           static_cast<std::uint16_t>(Height()),
                                           static_cast<std::uint16_t>(g.rows_per_strip),
                                           g.strip_count, kDirectoryEnd, counts_field));
  PutStripArrays(out, g, kDirectoryEnd + arrays);
  PutPixels(out, rgb);
  return out;
}

void TTIFFBitMap::SaveToTiffFile(const std::string& path, int compression) const {
  const std::vector<std::uint8_t> bytes = SaveToTiffBytes(compression);
  std::string error;
  if (WriteFileAtomic(path, bytes, WriteMode::kReplace, &error) != WriteResult::kWritten) {
    WriteFailed(error.empty() ? "cannot write " + path : error);
  }
}

}  // namespace tolvane
