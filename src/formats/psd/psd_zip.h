#pragma once
// zlib glue for ZIP-compressed PSD image data.
#include <cstdint>
#include <span>

#include "platform/status.h"

namespace tolvane::psd {

// Inflates the zlib stream in input until output is full. Fails when the stream is damaged
// or ends before output is full; data after that point is not looked at.
Status InflateInto(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

}  // namespace tolvane::psd
