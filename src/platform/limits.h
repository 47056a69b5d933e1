#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/status.h"

namespace tolvane {

// Images beyond these sizes are refused before anything is allocated.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
inline constexpr std::uint32_t kMaxSide16 = 65535;  // formats that store sides in 16 bits
// A side may never exceed this, whatever the format stores: keeps every stride in 32 bits.
inline constexpr std::uint32_t kMaxSide = 1u << 24;

// Whether an image of this size stays within the side and pixel limits (a zero side does).
bool WithinImageLimits(std::uint64_t width, std::uint64_t height);
// Checks a decoded image size against the limits; the message names the format.
Status CheckImageSize(std::uint64_t width, std::uint64_t height, const char* format);

// What an operation whose result would pass the limits throws instead of allocating it; the
// run fails that file alone with the message "too large: W x H".
class ImageTooLarge : public std::length_error {
 public:
  ImageTooLarge(std::int64_t width, std::int64_t height);
};

// Throws ImageTooLarge unless an image of this size stays within the limits (a side at or
// below zero makes an empty image, which is always within them).
void RequireWithinImageLimits(std::int64_t width, std::int64_t height);

}  // namespace tolvane
