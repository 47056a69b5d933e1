#include "formats/metafile/metafile.h"

#include "formats/metafile/cairo_canvas.h"
#include "formats/metafile/players.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

// cairo image surfaces are limited to this side.
constexpr std::int64_t kMaxSurfaceSide = 32767;

// Playback work allowed to a file (units of about one pixel drawn, see cairo_canvas.h): four
// passes over the whole picture, and 16384 units for every byte. The drawings of the test
// collection use at most a quarter of theirs (3.5 pictures' worth in the 1.7 KB Inkscape file).
// 24 KB of nothing but full-picture fills stops after about 28 of them on a 4096 x 4096 picture
// (0.1 s instead of 4 s) and after about 5 at the 16384 x 16384 limit.
constexpr std::uint64_t kWorkPerByte = std::uint64_t{1} << 14;
constexpr std::uint64_t kWorkPasses = 4;

Status CheckSize(std::int64_t width, std::int64_t height, std::uint64_t max_pixels,
                 const char* format) {
  if (width <= 0 || height <= 0) {
    return Status::Error(std::string(format) + ": picture of " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels has no area");
  }
  if (Status s = CheckImageSize(std::uint64_t(width), std::uint64_t(height), format); !s) return s;
  if (std::uint64_t(width) * std::uint64_t(height) > max_pixels || width > kMaxSurfaceSide ||
      height > kMaxSurfaceSide) {
    return Status::Error(std::string(format) + ": picture of " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels exceeds the size limit");
  }
  return {};
}

template <typename Header, typename Play>
Status Render(std::span<const std::uint8_t> bytes, const Header& header, TBitmap& image,
              std::uint64_t max_pixels, const char* format, Play play) {
  if (Status s = CheckSize(header.width, header.height, max_pixels, format); !s) return s;
  auto canvas = metafile::Canvas::Create(int(header.width), int(header.height));
  if (!canvas) return Status::Error(std::string(format) + ": no drawing surface of that size");
  canvas->SetWorkBudget(kWorkPerByte * bytes.size() +
                        kWorkPasses * std::uint64_t(header.width) * std::uint64_t(header.height));
  if (Status s = play(bytes, header, *canvas, max_pixels); !s) return s;
  canvas->TakePixels(image);
  return {};
}

}  // namespace

Status DecodeMetafile(std::span<const std::uint8_t> bytes, TBitmap& image,
                      std::uint64_t max_pixels) {
  image.Clear();
  if (metafile::LooksLikeEmf(bytes)) {
    metafile::EmfHeader header;
    if (Status s = metafile::ReadEmfHeader(bytes, header); !s) return s;
    return Render(bytes, header, image, max_pixels, "EMF", metafile::PlayEmf);
  }
  metafile::PlaceableHeader header;
  if (Status s = metafile::ReadPlaceableHeader(bytes, header); !s) return s;
  return Render(bytes, header, image, max_pixels, "WMF", metafile::PlayWmf);
}

}  // namespace tolvane
