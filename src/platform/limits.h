#pragma once
#include <cstdint>
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

}  // namespace tolvane
