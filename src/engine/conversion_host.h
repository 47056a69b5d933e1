#pragma once
#include <cstdint>
#include <string>

#include "engine/convert_options.h"
#include "imaging/tbitmap.h"
#include "platform/message_sink.h"

namespace tolvane {

class TimgData;

// The crop scroll bars after the crop-range update of a file: the extents of the two pairs and
// the values carried to the following files.
// How one entry of a run ended, told once it has (after the other calls about it).
struct EntryOutcome {
  enum class Status { kConverted, kSkipped, kFailed };
  Status status = Status::kFailed;
  std::string output_path;      // the output in place (or left alone when skipped); empty: none
  std::string reason;           // why it failed; empty otherwise
  int width = -1, height = -1;  // of the image written; -1 when nothing was encoded
  std::int64_t bytes = -1;      // the output's size; -1 when unknown
  double milliseconds = 0;      // the work done for it, summed over its stages
};

struct CropRanges {
  int horizontal_extent = 0;  // the left/right pair spans this many pixels
  int vertical_extent = 0;    // the top/bottom pair
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Everything the run needs from its front-end. The window implements it with its controls,
// tolvane-batch with stderr, the tests with a recording host.
class ConversionHost {
 public:
  virtual ~ConversionHost() = default;

  virtual void EnterRunMode() {}
  virtual void LeaveRunMode() {}
  // Lets the front-end handle pending events (repaints, Cancel).
  virtual void ProcessEvents() {}
  virtual bool CancelRequested() { return false; }

  virtual void SetProgressMaximum(int) {}
  virtual void SetProgressPosition(int) {}
  virtual void ShowProgress(bool) {}

  // The full-size picture of the source preview; the crop step shows the working image there
  // while it recomputes the crop ranges, and every file puts the old picture back.
  virtual TBitmap PreviewPicture() { return {}; }
  virtual void SetPreviewPicture(const TBitmap&) {}

  virtual void AppendExifText(const std::string&) {}
  // The front-end's metadata holder, which keeps the last source's metadata after the run;
  // nullptr gives the run a holder of its own.
  virtual TimgData* MetadataHolder() { return nullptr; }
  // A modal message (the resize step's).
  virtual void ShowMessage(const std::string&) {}
  // The Clear All Items command, after Move Files and Simple Move.
  virtual void ClearAllItems() {}

  virtual void CropRangesChanged(const CropRanges&) {}
  virtual void ResizeTargetChanged(int /*width*/, int /*height*/) {}

  // A codec's message box or beep during a file, delivered in the run's order. By default they
  // go to the current message sink.
  virtual void CodecMessage(const std::string& text, const std::string& caption) {
    Messages().Message(text, caption);
  }
  virtual void CodecBeep() { Messages().Beep(); }

  // An entry that produced no output, with the reason.
  virtual void EntryNotConverted(const TImageEntry&, const std::string& /*reason*/) {}
  // An entry whose output is in place.
  virtual void EntryConverted(const TImageEntry&, const std::string& /*output_path*/) {}
  // A moved entry whose output is in place but whose source could not be deleted.
  virtual void SourceNotDeleted(const TImageEntry&, const std::string& /*reason*/) {}
  // Every entry the run finishes, in list order, after the calls above: one summary each.
  virtual void EntryFinished(const TImageEntry&, const EntryOutcome&) {}
};

}  // namespace tolvane
