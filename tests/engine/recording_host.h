#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_host.h"

namespace tolvane::testing {

// Records every call of the run, in order, as a line of text.
class RecordingHost : public ConversionHost {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::vector<std::string> not_converted;  // "file: reason"
  std::vector<std::string> outputs;
  std::vector<std::string> not_deleted;  // "file: reason"
  std::vector<CropRanges> crop_ranges;
  int pumped = 0;
  bool in_run_mode = false;
  // Called at each pump with the number of pumps so far; returns whether to cancel.
  std::function<bool(int)> cancel_at_pump;

  void EnterRunMode() override { in_run_mode = true, calls.push_back("enter"); }
  void LeaveRunMode() override { in_run_mode = false, calls.push_back("leave"); }
  void ProcessEvents() override {
    ++pumped;
    if (cancel_at_pump && cancel_at_pump(pumped)) cancel_ = true;
  }
  bool CancelRequested() override { return cancel_; }
  void SetProgressMaximum(int m) override { calls.push_back("max " + std::to_string(m)); }
  void SetProgressPosition(int p) override { calls.push_back("pos " + std::to_string(p)); }
  void ShowProgress(bool v) override { calls.push_back(v ? "show" : "hide"); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ClearAllItems() override { calls.push_back("clear"); }
  void CropRangesChanged(const CropRanges& r) override { crop_ranges.push_back(r); }
  void ResizeTargetChanged(int w, int h) override {
    calls.push_back("resize " + std::to_string(w) + "x" + std::to_string(h));
  }
  void EntryNotConverted(const TImageEntry& e, const std::string& reason) override {
    not_converted.push_back(e.FileName + ": " + reason);
  }
  void EntryConverted(const TImageEntry&, const std::string& path) override {
    outputs.push_back(path);
  }
  void SourceNotDeleted(const TImageEntry& e, const std::string& reason) override {
    not_deleted.push_back(e.FileName + ": " + reason);
  }

 private:
  bool cancel_ = false;
};

}  // namespace tolvane::testing
