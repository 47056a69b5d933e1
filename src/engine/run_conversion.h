#pragma once
#include <cstddef>
#include <vector>

#include "engine/conversion_host.h"
#include "engine/convert_options.h"

namespace tolvane {

inline constexpr char kCropOutOfRangeMessage[] = "Scrollbar property out of range";

// How a converting run uses the machine. Neither setting changes a result.
struct RunSettings {
  // Files in work at once. 1 takes each file from decoding to writing before the next;
  // more decode and encode files on that many workers, one more file than workers in flight.
  int jobs = 1;
  // Files are started only while the images and outputs held in flight stay within this
  // many bytes; one file is always allowed.
  std::size_t memory_budget = std::size_t{1} << 30;
};

// The number of processors: the front-ends' default for jobs.
int DefaultJobs();

// Runs the batch over the entries in list order. Does nothing for an empty list. Throws
// std::invalid_argument before anything happens when the options cannot be used, and
// std::runtime_error when a writer or the crop-range update fails (the run stops at that
// file); the host has left run mode in every case. The host's calls come in the same order
// and the outputs are the same whatever the settings.
void RunConversion(TConvertOptions& options, const std::vector<TImageEntry>& entries,
                   ConversionHost& host, const RunSettings& settings = {});

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
