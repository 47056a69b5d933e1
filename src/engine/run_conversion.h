#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "engine/conversion_host.h"
#include "engine/convert_options.h"

namespace tolvane {

inline constexpr char kCropOutOfRangeMessage[] = "Scrollbar property out of range";

// What a run does with an output name that is taken.
enum class ExistingOutput {
  kPrefix,   // a random numeric prefix, as the window does (simple runs replace, as a copy does)
  kSkip,     // the existing file stays; the entry counts as done and is not decoded
  kReplace,  // the new output takes its place in one step
};

// How a run uses the machine and which entries it takes. jobs and memory_budget never change
// a result; the defaults of the others are the window's run.
struct RunSettings {
  // Files in work at once. 1 takes each file from decoding to writing before the next;
  // more decode and encode files on that many workers, one more file than workers in flight.
  int jobs = 1;
  // Files are started only while the images and outputs held in flight stay within this
  // many bytes; one file is always allowed.
  std::size_t memory_budget = std::size_t{1} << 30;
  ExistingOutput existing = ExistingOutput::kPrefix;
  // Only entries shard_index, shard_index + shard_count, ... are processed; each keeps its
  // place in the whole list (the number of its output name), so the shards of a list together
  // give the outputs of one run over it.
  int shard_index = 0;
  int shard_count = 1;
};

// The positions of the entries a run with these settings processes, in order.
std::vector<std::size_t> SelectedEntries(std::size_t count, const RunSettings& settings);

// The number of processors: the front-ends' default for jobs.
int DefaultJobs();

// Runs the batch over the entries in list order. Does nothing for an empty list. Throws
// std::invalid_argument before anything happens when the options cannot be used, and
// std::runtime_error when a writer or the crop-range update fails (the run stops at that
// file); the host has left run mode in every case. The host's calls come in the same order
// and the outputs are the same whatever jobs and memory_budget say.
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

// The size a width x height source is written at, as the run's steps make it, with the crop
// and resize values carried to the following files written back into options as the run
// does. `message` holds the resize step's message when it would show one. Throws like
// UpdateCropRange.
struct PlannedSize {
  int width = 0, height = 0;
  std::string message;
};
PlannedSize PlanOutputSize(TConvertOptions& options, int width, int height);

// The crop rectangle for a W x H working image, after the crop-range update: the carried
// right and bottom values are written back into options. Throws std::runtime_error with
// kCropOutOfRangeMessage when the left or top value does not fit the image.
struct CropRect {
  int left, top, right, bottom;
};
CropRect UpdateCropRange(TConvertOptions& options, int width, int height, CropRanges* ranges);

}  // namespace tolvane
