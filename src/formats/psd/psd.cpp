#include "formats/psd/psd.h"

#include "formats/psd/PSDUnit.h"

namespace tolvane {

Status DecodePsd(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  TPSDGraphic graphic;
  if (Status s = graphic.LoadFromStream(file, max_pixels); !s) return s;
  image.Assign(graphic);  // takes the picture with its pixel format and palette
  return {};
}

Status DecodePsdFile(const std::string& path, TBitmap& image) {
  TPSDGraphic graphic;
  if (Status s = graphic.LoadFromFile(path); !s) return s;
  image.Assign(graphic);
  return {};
}

}  // namespace tolvane
