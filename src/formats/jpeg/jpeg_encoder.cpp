#include <algorithm>
#include <new>

#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_glue.h"

namespace tolvane {
namespace {

// The largest side libjpeg accepts (JPEG_MAX_DIMENSION).
constexpr int kMaxJpegSide = 65500;

Status Compress(const TBitmap& bgr, int quality, std::vector<std::uint8_t>& out) {
  jpeg_glue::Compressor jpeg;
  const jpeg_glue::CompressSettings settings{bgr.Width(), bgr.Height(),
                                             std::clamp(quality, 1, 100)};
  if (Status s = jpeg.Start(settings); !s) return s;
  // libjpeg does not write through the row pointers; the cast only meets its C signature.
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(bgr.Height()));
  for (int y = 0; y < bgr.Height(); ++y) {
    rows[std::size_t(y)] = const_cast<std::uint8_t*>(bgr.ScanLine(y));
  }
  if (Status s = jpeg.WriteRows(rows.data(), bgr.Height()); !s) return s;
  if (Status s = jpeg.Finish(); !s) return s;
  out = std::move(jpeg.Output());
  return {};
}

}  // namespace

Status EncodeJpeg(const TBitmap& image, int quality, std::vector<std::uint8_t>& out) {
  if (image.Empty()) return Status::Error("the image is empty");
  if (image.Width() > kMaxJpegSide || image.Height() > kMaxJpegSide) {
    return Status::Error("JPEG: sides longer than 65500 pixels cannot be stored");
  }
  try {
    if (image.BitsPerPixel() == 24) return Compress(image, quality, out);
    TBitmap copy = image;
    copy.SetPixelFormat(24);
    return Compress(copy, quality, out);
  } catch (const std::bad_alloc&) {
    return Status::Error("JPEG: out of memory");
  }
}

}  // namespace tolvane
