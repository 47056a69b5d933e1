#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_host.h"
#include "platform/message_sink.h"

namespace tolvane {

// The host calls and codec messages of one file, made where the host cannot be reached (on a
// worker, or ahead of the files before it) and delivered later, in the order they were made.
class HostCalls final : public ConversionHost, public MessageSink {
 public:
  // Makes the recorded calls on host, in order, and forgets them.
  void ReplayTo(ConversionHost& host);

  // ConversionHost: the calls a file's decoding and operations make.
  void ProcessEvents() override;
  void SetPreviewPicture(const TBitmap& picture) override;
  void AppendExifText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void CropRangesChanged(const CropRanges& ranges) override;
  void ResizeTargetChanged(int width, int height) override;

  // MessageSink: a codec's message boxes and beeps.
  void Message(const std::string& text, const std::string& caption) override;
  void Beep() override;

  // Bytes of pictures held for replay.
  std::size_t HeldBytes() const { return held_bytes_; }

 private:
  std::vector<std::function<void(ConversionHost&)>> calls_;
  std::size_t held_bytes_ = 0;
};

}  // namespace tolvane
