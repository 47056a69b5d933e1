#include "platform/limits.h"

namespace tolvane {

bool WithinImageLimits(std::uint64_t width, std::uint64_t height) {
  return width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

Status CheckImageSize(std::uint64_t width, std::uint64_t height, const char* format) {
  if (width == 0 || height == 0)
    return Status::Error(std::string(format) + ": image has no pixels");
  if (!WithinImageLimits(width, height)) {
    return Status::Error(std::string(format) + ": image of " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels exceeds the size limit");
  }
  return {};
}

ImageTooLarge::ImageTooLarge(std::int64_t width, std::int64_t height)
    : std::length_error("too large: " + std::to_string(width) + " x " + std::to_string(height)) {}

void RequireWithinImageLimits(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return;
  if (!WithinImageLimits(std::uint64_t(width), std::uint64_t(height))) {
    throw ImageTooLarge(width, height);
  }
}

}  // namespace tolvane
