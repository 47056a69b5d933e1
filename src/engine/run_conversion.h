#pragma once
#include <vector>

#include "engine/conversion_host.h"
#include "engine/convert_options.h"

namespace tolvane {

inline constexpr char kCropOutOfRangeMessage[] = "Scrollbar property out of range";

// Runs the batch over the entries in list order. Does nothing for an empty list. Throws
// std::invalid_argument before anything happens when the options cannot be used, and
// std::runtime_error when a writer or the crop-range update fails (the run stops at that
// file); the host has left run mode in every case.
void RunConversion(TConvertOptions& options, const std::vector<TImageEntry>& entries,
                   ConversionHost& host);

// The operations of a converting run on one decoded image, in the run's order: adjustments,
// rotate or flip, crop, canvas, resize. Crop and resize write their results back into options
// and report them to the host; the crop step shows the working image in the host's preview.
void ApplyOperations(TBitmap& image, TConvertOptions& options, ConversionHost& host);
// The first two steps alone, shared with the preview: the enabled adjustments in their fixed
// order, then the rotate option (white background for the quarter turns).
void ApplyAdjustments(TBitmap& image, const TConvertOptions& options);
void ApplyRotate(TBitmap& image, const TConvertOptions& options);

// The crop rectangle for a W x H working image, after the crop-range update: the carried
// right and bottom values are written back into options. Throws std::runtime_error with
// kCropOutOfRangeMessage when the left or top value does not fit the image.
struct CropRect {
  int left, top, right, bottom;
};
CropRect UpdateCropRange(TConvertOptions& options, int width, int height, CropRanges* ranges);

}  // namespace tolvane
