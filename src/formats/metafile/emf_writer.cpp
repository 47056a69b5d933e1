// Records an image as an enhanced metafile: header, one STRETCHDIBITS, EOF.
#include <cstring>

#include "formats/metafile/metafile.h"
#include "formats/metafile/metafile_format.h"
#include "platform/checked_math.h"

namespace tolvane {
namespace {

using namespace metafile;

constexpr std::uint32_t kHeaderSize = 108;  // with the pixel-format and micrometre fields
constexpr std::uint32_t kStretchDiBitsSize = 80;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kEofSize = 20;
constexpr std::int32_t kPelsPerMeter = 3780;  // 96 DPI

class EmfBytes {
 public:
  explicit EmfBytes(std::vector<std::uint8_t>& out) : out_(out) {}
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void U16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void Rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    I32(l), I32(t), I32(r), I32(b);
  }

 private:
  std::vector<std::uint8_t>& out_;
};

void WriteHeader(EmfBytes& w, int width, int height, std::uint32_t total) {
  w.U32(emr::kHeader);
  w.U32(kHeaderSize);
  w.Rect(0, 0, width - 1, height - 1);  // bounds, inclusive device pixels
  // The frame: the image's size in hundredths of a millimetre on the reference display.
  w.Rect(0, 0, MulDiv(width, kReferenceWidthMm * 100, kReferenceWidthPx),
         MulDiv(height, kReferenceHeightMm * 100, kReferenceHeightPx));
  w.U32(kEmfSignature);
  w.U32(0x10000);  // version
  w.U32(total);
  w.U32(3);  // records
  w.U16(1);  // handles: only the reserved zero
  w.U16(0);
  w.U32(0), w.U32(0);  // no description
  w.U32(0);            // no palette
  w.I32(kReferenceWidthPx), w.I32(kReferenceHeightPx);
  w.I32(kReferenceWidthMm), w.I32(kReferenceHeightMm);
  w.U32(0), w.U32(0), w.U32(0);  // no pixel format, not OpenGL
  w.I32(kReferenceWidthMm * 1000), w.I32(kReferenceHeightMm * 1000);
}

void WriteStretchDiBits(EmfBytes& w, int width, int height, std::uint32_t bits_size) {
  w.U32(emr::kStretchDiBits);
  w.U32(kStretchDiBitsSize + kInfoHeaderSize + bits_size);
  w.Rect(0, 0, width - 1, height - 1);
  w.I32(0), w.I32(0);           // destination
  w.I32(0), w.I32(0);           // source origin
  w.I32(width), w.I32(height);  // source size
  w.U32(kStretchDiBitsSize), w.U32(kInfoHeaderSize);
  w.U32(kStretchDiBitsSize + kInfoHeaderSize), w.U32(bits_size);
  w.U32(0);  // DIB_RGB_COLORS
  w.U32(kSrcCopy);
  w.I32(width), w.I32(height);  // destination size
  // BITMAPINFOHEADER of a bottom-up 24-bit DIB.
  w.U32(kInfoHeaderSize);
  w.I32(width), w.I32(height);
  w.U16(1), w.U16(24);
  w.U32(0), w.U32(bits_size);
  w.I32(kPelsPerMeter), w.I32(kPelsPerMeter);
  w.U32(0), w.U32(0);
}

}  // namespace

Status EncodeEmf(const TBitmap& image, std::vector<std::uint8_t>& out) {
  out.clear();
  if (image.Empty()) return Status::Error("EMF: the image is empty");
  TBitmap converted;
  const TBitmap* source = &image;
  if (image.BitsPerPixel() != 24) {
    converted = image;
    converted.SetPixelFormat(24);
    source = &converted;
  }
  const int width = source->Width(), height = source->Height();
  const std::uint64_t stride = TBitmap::StrideFor(width, 24);
  const std::uint64_t bits = stride * std::uint64_t(height);
  const std::uint64_t total =
      std::uint64_t{kHeaderSize} + kStretchDiBitsSize + kInfoHeaderSize + bits + kEofSize;
  if (total > 0xFFFFFFFFu) return Status::Error("EMF: the image is too large for a metafile");
  out.reserve(static_cast<std::size_t>(total));
  EmfBytes w(out);
  WriteHeader(w, width, height, static_cast<std::uint32_t>(total));
  WriteStretchDiBits(w, width, height, static_cast<std::uint32_t>(bits));
  const std::size_t row_bytes = std::size_t(width) * 3;
  for (int y = height - 1; y >= 0; --y) {
    const std::uint8_t* row = source->ScanLine(y);
    out.insert(out.end(), row, row + row_bytes);
    out.insert(out.end(), stride - row_bytes, 0);  // padding is zero, whatever the image holds
  }
  w.U32(emr::kEof);
  w.U32(kEofSize);
  w.U32(0);   // no palette entries
  w.U32(16);  // where they would start
  w.U32(kEofSize);
  return {};
}

}  // namespace tolvane
