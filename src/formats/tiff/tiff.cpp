#include "formats/tiff/tiff.h"

#include "formats/tiff/TIFFBMP.h"

namespace tolvane {

namespace {

// The decoded picture drawn onto white.
Status DrawDecoded(const TTIFFBitMap& tiff, TBitmap& image) {
  TBitmap canvas;
  canvas.Create(tiff.Width(), tiff.Height(), 24);
  canvas.Draw(0, 0, tiff);
  image = std::move(canvas);
  return {};
}

}  // namespace

Status DecodeTiffFile(const std::string& path, TBitmap& image) {
  TTIFFBitMap tiff;
  if (Status s = tiff.LoadFromTiffFile(path); !s) return s;
  return DrawDecoded(tiff, image);
}

Status DecodeTiff(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t) {
  TTIFFBitMap tiff;
  if (Status s = tiff.LoadFromTiffBytes(file); !s) return s;
  return DrawDecoded(tiff, image);
}

std::vector<std::uint8_t> EncodeTiff(const TBitmap& image) {
  TTIFFBitMap tiff;
  tiff.Create(image.Width(), image.Height(), 24);
  tiff.Draw(0, 0, image);
  return tiff.SaveToTiffBytes(0);
}

}  // namespace tolvane
