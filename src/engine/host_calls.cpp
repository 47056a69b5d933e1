#include "engine/host_calls.h"

#include <utility>

namespace tolvane {

void HostCalls::ReplayTo(ConversionHost& host) {
  std::vector<std::function<void(ConversionHost&)>> calls;
  calls.swap(calls_);
  held_bytes_ = 0;
  for (const auto& call : calls) call(host);
}

void HostCalls::ProcessEvents() {
  calls_.push_back([](ConversionHost& host) { host.ProcessEvents(); });
}

void HostCalls::SetPreviewPicture(const TBitmap& picture) {
  held_bytes_ += picture.PixelBytes().size();
  calls_.push_back([picture](ConversionHost& host) { host.SetPreviewPicture(picture); });
}

void HostCalls::AppendExifText(const std::string& text) {
  calls_.push_back([text](ConversionHost& host) { host.AppendExifText(text); });
}

void HostCalls::ShowMessage(const std::string& text) {
  calls_.push_back([text](ConversionHost& host) { host.ShowMessage(text); });
}

void HostCalls::CropRangesChanged(const CropRanges& ranges) {
  calls_.push_back([ranges](ConversionHost& host) { host.CropRangesChanged(ranges); });
}

void HostCalls::ResizeTargetChanged(int width, int height) {
  calls_.push_back(
      [width, height](ConversionHost& host) { host.ResizeTargetChanged(width, height); });
}

void HostCalls::Message(const std::string& text, const std::string& caption) {
  calls_.push_back([text, caption](ConversionHost& host) { host.CodecMessage(text, caption); });
}

void HostCalls::Beep() {
  calls_.push_back([](ConversionHost& host) { host.CodecBeep(); });
}

}  // namespace tolvane
