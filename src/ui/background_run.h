#pragma once
#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

#include "engine/conversion_host.h"
#include "engine/convert_options.h"
#include "engine/run_conversion.h"
#include "formats/exif/ExifData.h"

namespace tolvane {

// Runs a conversion on a thread of its own, so that the window keeps repainting and answering
// while files are decoded and written. Every call the run makes on its host is carried to the
// window's thread and waits there for its answer, so the window sees the calls in the run's
// order and a modal message holds the run until it is closed.
class BackgroundRun final : public ConversionHost {
 public:
  // `finished` is called on the window's thread once the run has ended, with the error that
  // stopped it (or none).
  BackgroundRun(QObject& window, ConversionHost& host, TConvertOptions options,
                std::vector<TImageEntry> entries, RunSettings settings,
                std::function<void(std::exception_ptr)> finished);
  // Waits for the run, which must have been told to stop, handling the window's events.
  ~BackgroundRun() override;
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  bool Finished() const { return finished_; }

  void EnterRunMode() override;
  void LeaveRunMode() override;
  bool CancelRequested() override;
  void SetProgressMaximum(int maximum) override;
  void SetProgressPosition(int position) override;
  void ShowProgress(bool shown) override;
  TBitmap PreviewPicture() override;
  void SetPreviewPicture(const TBitmap& picture) override;
  void AppendExifText(const std::string& text) override;
  TimgData* MetadataHolder() override { return &metadata_; }
  void ShowMessage(const std::string& text) override;
  void ClearAllItems() override;
  void CropRangesChanged(const CropRanges& ranges) override;
  void ResizeTargetChanged(int width, int height) override;
  void CodecMessage(const std::string& text, const std::string& caption) override;
  void CodecBeep() override;
  void EntryNotConverted(const TImageEntry& entry, const std::string& reason) override;
  void EntryConverted(const TImageEntry& entry, const std::string& output_path) override;
  void SourceNotDeleted(const TImageEntry& entry, const std::string& reason) override;

 private:
  // Runs call on the window's thread and waits for it; what it throws is thrown here.
  void OnWindow(const std::function<void()>& call);
  void Run();

  QObject& window_;
  ConversionHost& host_;
  TConvertOptions options_;
  const std::vector<TImageEntry> entries_;
  const RunSettings settings_;
  std::function<void(std::exception_ptr)> on_finished_;
  // The run's metadata holder, handed to the window's at the end of the run.
  TimgData metadata_;
  std::atomic<bool> finished_ = false;
  std::thread thread_;
};

}  // namespace tolvane
