// TIFF reading: parse and check the directory, set the bitmap up from it, then decode the
// strips row by row into it; palette and 32-bit images end as 24 bits.
#include "formats/tiff/TIFFBMP.h"

#include <algorithm>
#include <cstring>

#include "formats/tiff/IFD_Module.h"
#include "formats/tiff/LZW_Module.h"
#include "platform/file_ops.h"
#include "platform/limits.h"
#include "platform/message_sink.h"

namespace tolvane {
namespace {

using tiff::TIFD;
using tiff::TLZW;

// The largest file worth reading: the biggest allowed image at 32 bits plus its directory.
constexpr std::uint64_t kMaxFileBytes = kMaxPixels * 4 + (std::uint64_t{1} << 20);
// LZW expands its input at most about 2600 times, so an image that would need more than this
// from the whole file cannot be there; refusing it early keeps a tiny file from making us
// allocate a huge bitmap.
constexpr std::uint64_t kMaxExpansion = 4096;
constexpr std::uint64_t kAlwaysPlausibleBytes = std::uint64_t{1} << 16;

Status Fail(const std::string& message) { return Status::Error("TIFF: " + message); }

std::string Num(std::uint64_t v) { return std::to_string(v); }

std::size_t RowBytes(const TIFD& ifd) {
  return (std::size_t{ifd.width()} * ifd.bits_per_pixel() + 7) / 8;
}

Status CheckPlausibleSize(const TIFD& ifd, std::size_t file_size) {
  const std::uint64_t needed = std::uint64_t{RowBytes(ifd)} * ifd.height();
  if (needed <= kAlwaysPlausibleBytes || needed / kMaxExpansion <= file_size) return {};
  return Fail("image of " + Num(ifd.width()) + " x " + Num(ifd.height()) +
              " pixels cannot come from a file of " + Num(file_size) + " bytes");
}

// Colour-map values span 0..65535; TIFF 6.0 scales them to 8 bits by 255/65535.
std::uint8_t MapValue(std::uint16_t v) {
  return static_cast<std::uint8_t>((std::uint32_t{v} + 128) / 257);
}

// The palette through which 1-, 4- and 8-bit rows are read: evenly spaced grey levels in the
// file's photometric sense, or the file's own colour map.
std::vector<TRgb> ColourTable(const TIFD& ifd) {
  const unsigned bits = ifd.bits_per_pixel();
  const unsigned levels = 1u << bits;
  std::vector<TRgb> table(levels);
  const bool mapped = ifd.photometric() == tiff::kPalette && bits > 1;
  const auto& map = ifd.colour_map();
  const unsigned step = 255 / (levels - 1);
  for (unsigned i = 0; i < levels; ++i) {
    if (mapped) {
      table[i] = {MapValue(map[i]), MapValue(map[levels + i]), MapValue(map[2 * levels + i])};
      continue;
    }
    const auto level = static_cast<std::uint8_t>(step * i);
    const auto grey = ifd.photometric() == tiff::kWhiteIsZero ? std::uint8_t(255 - level) : level;
    table[i] = {grey, grey, grey};
  }
  return table;
}

// Rows of strip s: RowsPerStrip, fewer in the last strip, none past the image.
std::size_t StripRows(const TIFD& ifd, std::size_t s) {
  const std::uint64_t first = std::uint64_t{ifd.rows_per_strip()} * s;
  if (first >= ifd.height()) return 0;
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(ifd.rows_per_strip(), ifd.height() - first));
}

// Fills `buffer` with strip s, decoded; `bytes` tells how much of it the file really gave.
Status FetchStrip(const TIFD& ifd, std::span<const std::uint8_t> file, std::size_t s, TLZW& lzw,
                  std::vector<std::uint8_t>& buffer, std::size_t& bytes) {
  const ByteReader reader(file);
  const std::uint32_t offset = ifd.strip_offset(s);
  if (ifd.compression() == tiff::kNoCompression) {
    const auto data = reader.Sub(offset, buffer.size());
    if (!data) return Fail("strip " + Num(s) + " at offset " + Num(offset) + " runs past the file");
    std::memcpy(buffer.data(), data->data(), data->size());
    bytes = data->size();
    return {};
  }
  const auto data = reader.Sub(offset, ifd.strip_byte_count(s));
  if (!data) return Fail("strip " + Num(s) + " at offset " + Num(offset) + " runs past the file");
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  bytes = lzw.Decode(*data, buffer);
  return {};
}

// Horizontal differencing stores each byte as its difference to the same byte of the pixel
// before; running sums along the row restore it.
void UndoDifferencing(std::span<std::uint8_t> row, std::size_t pixel_bytes) {
  for (std::size_t i = pixel_bytes; i < row.size(); ++i) {
    row[i] = static_cast<std::uint8_t>(row[i] + row[i - pixel_bytes]);
  }
}

// Copies one file row into a bitmap row; RGB(A) samples become the bitmap's BGR(A).
void StoreRow(std::span<const std::uint8_t> row, unsigned bits_per_pixel, std::uint8_t* target) {
  if (bits_per_pixel <= 8) {
    std::memcpy(target, row.data(), row.size());
    return;
  }
  const std::size_t step = bits_per_pixel / 8;
  for (std::size_t i = 0; i + step <= row.size(); i += step) {
    target[i] = row[i + 2];
    target[i + 1] = row[i + 1];
    target[i + 2] = row[i];
    if (step == 4) target[i + 3] = row[i + 3];
  }
}

// The complete rows of a decoded strip into the bitmap, from row `first` on.
void StoreRows(const TIFD& ifd, std::span<std::uint8_t> rows, std::size_t first, TBitmap& image) {
  const std::size_t row_bytes = RowBytes(ifd);
  const std::size_t pixel_bytes = std::max<std::size_t>(ifd.bits_per_pixel() / 8, 1);
  // TIFF 6.0 defines the predictor for LZW data only.
  const bool differenced = ifd.compression() == tiff::kLzw && ifd.differencing();
  for (std::size_t r = 0; r * row_bytes < rows.size(); ++r) {
    const std::span<std::uint8_t> row = rows.subspan(r * row_bytes, row_bytes);
    if (differenced) UndoDifferencing(row, pixel_bytes);
    StoreRow(row, ifd.bits_per_pixel(), image.ScanLine(static_cast<int>(first + r)));
  }
}

}  // namespace

TTIFFBitMap::TTIFFBitMap() { Create(0, 0, 24); }

Status TTIFFBitMap::LoadFromTiffFile(const std::string& path) {
  Clear();
  Create(1, 1, 24);
  Status status;
  const auto bytes = ReadFileBytes(path, kMaxFileBytes, &status);
  if (!bytes) {
    Messages().Beep();
    return status.ok() ? Fail("cannot read " + path) : status;
  }
  return LoadFromTiffBytes(*bytes);
}

Status TTIFFBitMap::LoadFromTiffBytes(std::span<const std::uint8_t> file) {
  Status status = Decode(file);
  if (!status) Messages().Message(kTiffReadFailedText, kTiffReadFailedCaption);
  return status;
}

Status TTIFFBitMap::Decode(std::span<const std::uint8_t> file) {
  Clear();
  Create(1, 1, 24);
  TIFD ifd;
  if (Status s = ifd.Read(file); !s) return s;
  if (Status s = ifd.CheckPixelLayout(); !s) return s;
  if (Status s = CheckPlausibleSize(ifd, file.size()); !s) return s;
  const unsigned bits = ifd.bits_per_pixel();
  Create(static_cast<int>(ifd.width()), static_cast<int>(ifd.height()), static_cast<int>(bits));
  SetPalette(bits <= 8 ? ColourTable(ifd) : std::vector<TRgb>{});
  Status status = ReadStrips(ifd, file);
  // Mapped colours and alpha have no place in the working format.
  if ((bits > 1 && ifd.photometric() == tiff::kPalette) || bits == 32) SetPixelFormat(24);
  return status;
}

Status TTIFFBitMap::ReadStrips(const tiff::TIFD& ifd, std::span<const std::uint8_t> file) {
  if (Status s = ifd.CheckStrips(); !s) return s;
  const std::size_t row_bytes = RowBytes(ifd);
  TLZW lzw;
  std::vector<std::uint8_t> buffer;
  std::size_t stored = 0;
  for (std::size_t s = 0; s < ifd.strip_count() && stored < ifd.height(); ++s) {
    const std::size_t rows = StripRows(ifd, s);
    if (rows == 0) break;
    buffer.resize(rows * row_bytes);
    std::size_t bytes = 0;
    if (Status st = FetchStrip(ifd, file, s, lzw, buffer, bytes); !st) return st;
    const std::size_t complete = bytes / row_bytes;
    StoreRows(ifd, std::span(buffer).first(complete * row_bytes), stored, *this);
    stored += complete;
    if (complete < rows) {
      return Fail("strip " + Num(s) + " gives " + Num(bytes) + " of " + Num(buffer.size()) +
                  " bytes");
    }
  }
  if (stored < ifd.height()) {
    return Fail("the strips hold " + Num(stored) + " of " + Num(ifd.height()) + " rows");
  }
  return {};
}

}  // namespace tolvane
