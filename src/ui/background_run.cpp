#include "ui/background_run.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

namespace tolvane {

BackgroundRun::BackgroundRun(QObject& window, ConversionHost& host, TConvertOptions options,
                             std::vector<TImageEntry> entries, RunSettings settings,
                             std::function<void(std::exception_ptr)> finished)
    : window_(window),
      host_(host),
      options_(std::move(options)),
      entries_(std::move(entries)),
      settings_(settings),
      on_finished_(std::move(finished)),
      thread_([this] { Run(); }) {}

BackgroundRun::~BackgroundRun() {
  // The run may be waiting for the window's thread to take one of its calls.
  while (!finished_) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  thread_.join();
}

void BackgroundRun::Run() {
  std::exception_ptr error;
  try {
    RunConversion(options_, entries_, *this, settings_);
  } catch (...) {
    error = std::current_exception();
  }
  // Queued, not waited for: the window may be gone by the time it would answer.
  QMetaObject::invokeMethod(
      &window_, [finished = on_finished_, error] { finished(error); }, Qt::QueuedConnection);
  finished_ = true;
}

void BackgroundRun::OnWindow(const std::function<void()>& call) {
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      &window_,
      [&call, &error] {
        try {
          call();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

void BackgroundRun::EnterRunMode() {
  OnWindow([this] { host_.EnterRunMode(); });
}

void BackgroundRun::LeaveRunMode() {
  OnWindow([this] {
    // The window keeps the last source's metadata, as after a run on its own thread.
    if (TimgData* holder = host_.MetadataHolder()) holder->Swap(metadata_);
    host_.LeaveRunMode();
  });
}

bool BackgroundRun::CancelRequested() {
  bool cancel = false;
  OnWindow([this, &cancel] { cancel = host_.CancelRequested(); });
  return cancel;
}

void BackgroundRun::SetProgressMaximum(int maximum) {
  OnWindow([this, maximum] { host_.SetProgressMaximum(maximum); });
}

void BackgroundRun::SetProgressPosition(int position) {
  OnWindow([this, position] { host_.SetProgressPosition(position); });
}

void BackgroundRun::ShowProgress(bool shown) {
  OnWindow([this, shown] { host_.ShowProgress(shown); });
}

TBitmap BackgroundRun::PreviewPicture() {
  TBitmap picture;
  OnWindow([this, &picture] { picture = host_.PreviewPicture(); });
  return picture;
}

void BackgroundRun::SetPreviewPicture(const TBitmap& picture) {
  OnWindow([this, &picture] { host_.SetPreviewPicture(picture); });
}

void BackgroundRun::AppendExifText(const std::string& text) {
  OnWindow([this, &text] { host_.AppendExifText(text); });
}

void BackgroundRun::ShowMessage(const std::string& text) {
  OnWindow([this, &text] { host_.ShowMessage(text); });
}

void BackgroundRun::ClearAllItems() {
  OnWindow([this] { host_.ClearAllItems(); });
}

void BackgroundRun::CropRangesChanged(const CropRanges& ranges) {
  OnWindow([this, &ranges] { host_.CropRangesChanged(ranges); });
}

void BackgroundRun::ResizeTargetChanged(int width, int height) {
  OnWindow([this, width, height] { host_.ResizeTargetChanged(width, height); });
}

void BackgroundRun::CodecMessage(const std::string& text, const std::string& caption) {
  OnWindow([this, &text, &caption] { host_.CodecMessage(text, caption); });
}

void BackgroundRun::CodecBeep() {
  OnWindow([this] { host_.CodecBeep(); });
}

void BackgroundRun::EntryNotConverted(const TImageEntry& entry, const std::string& reason) {
  OnWindow([this, &entry, &reason] { host_.EntryNotConverted(entry, reason); });
}

void BackgroundRun::EntryConverted(const TImageEntry& entry, const std::string& output_path) {
  OnWindow([this, &entry, &output_path] { host_.EntryConverted(entry, output_path); });
}

void BackgroundRun::SourceNotDeleted(const TImageEntry& entry, const std::string& reason) {
  OnWindow([this, &entry, &reason] { host_.SourceNotDeleted(entry, reason); });
}

}  // namespace tolvane
