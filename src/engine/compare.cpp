#include "engine/compare.h"

#include "engine/run_conversion.h"

namespace tolvane {
namespace {

// Passes on only the resize step's message and write-back.
class ResizeOnlyHost final : public ConversionHost {
 public:
  explicit ResizeOnlyHost(ConversionHost& outer) : outer_(outer) {}
  void ShowMessage(const std::string& text) override { outer_.ShowMessage(text); }
  void ResizeTargetChanged(int width, int height) override {
    outer_.ResizeTargetChanged(width, height);
  }

 private:
  ConversionHost& outer_;
};

}  // namespace

TBitmap PrepareCompareImage(const TBitmap& source, TConvertOptions& options, ConversionHost& host) {
  if (source.Empty()) return {};
  TBitmap prepared = source;
  // A copy, so that the crop step's carried values do not reach the crop page.
  TConvertOptions working = options;
  ResizeOnlyHost resize_only(host);
  ApplyOperations(prepared, working, resize_only);
  options.ResizeWidth = working.ResizeWidth;
  options.ResizeHeight = working.ResizeHeight;
  return prepared;
}

}  // namespace tolvane
