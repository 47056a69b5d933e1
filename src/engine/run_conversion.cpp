#include "engine/run_conversion.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "engine/naming.h"
#include "formats/exif/ExifData.h"
#include "imaging/operations.h"
#include "platform/file_ops.h"

namespace tolvane {
namespace {

// Leaves run mode and hides the progress however the run ends.
class RunModeGuard {
 public:
  RunModeGuard(ConversionHost& host, bool converting) : host_(host), converting_(converting) {
    host_.EnterRunMode();
  }
  ~RunModeGuard() {
    if (converting_) {
      host_.SetProgressPosition(0);
      host_.ShowProgress(false);
    }
    host_.LeaveRunMode();
  }
  RunModeGuard(const RunModeGuard&) = delete;
  RunModeGuard& operator=(const RunModeGuard&) = delete;

 private:
  ConversionHost& host_;
  bool converting_;
};

// Puts the preview's picture back when a file is done, also when it fails.
class PreviewKeeper {
 public:
  explicit PreviewKeeper(ConversionHost& host) : host_(host), saved_(host.PreviewPicture()) {}
  ~PreviewKeeper() { host_.SetPreviewPicture(saved_); }
  PreviewKeeper(const PreviewKeeper&) = delete;
  PreviewKeeper& operator=(const PreviewKeeper&) = delete;

 private:
  ConversionHost& host_;
  TBitmap saved_;
};

void ApplyCrop(TBitmap& image, TConvertOptions& o, ConversionHost& host) {
  if (!o.CropEnabled) return;
  host.SetPreviewPicture(image);
  CropRanges ranges;
  const CropRect r = UpdateCropRange(o, image.Width(), image.Height(), &ranges);
  host.CropRangesChanged(ranges);
  CropImage(image, r.left, r.top, r.right, r.bottom, 1.0);
}

void ApplyCanvas(TBitmap& image, const TConvertOptions& o) {
  if (!o.CanvasEnabled) return;
  // The fields are held as 16-bit signed values.
  const auto w = [](int v) { return int{static_cast<std::int16_t>(v)}; };
  if (IsQuarterTurn(o.RotateOption)) {
    AddCanvas(image, w(o.CanvasTop), w(o.CanvasLeft), w(o.CanvasBottom), w(o.CanvasRight), 1.0,
              o.CanvasColor);
  } else {
    AddCanvas(image, w(o.CanvasLeft), w(o.CanvasTop), w(o.CanvasRight), w(o.CanvasBottom), 1.0,
              o.CanvasColor);
  }
}

void ApplyResize(TBitmap& image, TConvertOptions& o, ConversionHost& host) {
  if (!o.ResizeEnabled) return;
  ResizeSettings settings{o.ResizeWidth, o.ResizeHeight, o.AspectByWidth, o.AspectByHeight};
  if (ResizeImage(image, settings) == ResizeOutcome::kTooSmall) {
    host.ShowMessage(kResizeTooSmallMessage);
    return;
  }
  o.ResizeWidth = settings.width;
  o.ResizeHeight = settings.height;
  host.ResizeTargetChanged(o.ResizeWidth, o.ResizeHeight);
}

SaveSettings SaveSettingsOf(const TConvertOptions& o, TimgData* metadata) {
  return {o.OutputFormat, o.JpegQuality, o.ClearExif, o.PngCompression, o.PngTransparent,
          metadata};
}

// One file of a converting run: decode, operations, write, and for Move Files the deletion of
// the source once its output is in place.
void ConvertEntry(int index, const TImageEntry& entry, TConvertOptions& o, ConversionHost& host,
                  const CodecServices& services) {
  PreviewKeeper keep_preview(host);
  const std::string source = SourceFolder(entry) + entry.FileName;
  TBitmap image;
  const Status loaded = LoadImageFile(source, image, services);
  if (!loaded.ok()) {
    host.EntryNotConverted(entry, "cannot decode: " + loaded.message());
    return;
  }
  const bool move = o.Operation == TFileOperation::kMoveFiles;
  const std::string name = OutputName(index, entry.FileName, o);
  const std::string folder = OutputFolder(entry, o);

  ApplyOperations(image, o, host);
  if (image.Empty()) {
    host.EntryNotConverted(entry, "no pixels are left after cropping");
    return;
  }
  const SaveResult saved =
      SaveImageFile(image, folder, name, SaveSettingsOf(o, services.metadata),
                    move ? source : std::string());
  if (!saved.written) {
    host.EntryNotConverted(entry, saved.reason);
    return;
  }
  // The source goes only now that its output is in place (unless the output replaced it).
  if (move && saved.path != source) DeleteFile(source);
  host.EntryConverted(entry, saved.path);
}

void RunConverting(TConvertOptions& o, const std::vector<TImageEntry>& entries,
                   ConversionHost& host) {
  const int n = static_cast<int>(entries.size());
  host.SetProgressMaximum(n - 1);
  host.SetProgressPosition(0);
  host.ShowProgress(true);
  TimgData run_holder;
  TimgData* holder = host.MetadataHolder();
  const CodecServices services{[&host] { host.ProcessEvents(); },
                               [&host](const std::string& text) { host.AppendExifText(text); },
                               holder != nullptr ? holder : &run_holder};
  for (int i = 0; i < n; ++i) {
    host.ProcessEvents();
    if (host.CancelRequested()) break;
    host.SetProgressPosition(i);
    ConvertEntry(i, entries[i], o, host, services);
  }
  if (o.Operation == TFileOperation::kMoveFiles) host.ClearAllItems();
}

void RunSimple(const TConvertOptions& o, const std::vector<TImageEntry>& entries,
               ConversionHost& host) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TImageEntry& entry = entries[i];
    const std::string source = SourceFolder(entry) + entry.FileName;
    const std::string target = OutputFolder(entry, o) + OutputName(int(i), entry.FileName, o);
    if (source == target) continue;
    if (!CopyFileTo(source, target)) {
      host.EntryNotConverted(entry, "cannot copy to \"" + target + "\"");
      continue;
    }
    // A source is deleted only once its copy is in place.
    if (o.Operation == TFileOperation::kSimpleMove) DeleteFile(source);
    host.EntryConverted(entry, target);
  }
  if (o.Operation == TFileOperation::kSimpleMove) host.ClearAllItems();
}

}  // namespace

void ApplyAdjustments(TBitmap& image, const TConvertOptions& o) {
  if (!o.AdjustEnabled) return;
  if (o.Invert) InvertImage(image);
  if (o.NightVision) NightVisionImage(image);
  if (o.GrayScale) GrayScaleImage(image);
  if (o.Sepia) SepiaImage(image);
}

void ApplyRotate(TBitmap& image, const TConvertOptions& o) {
  if (!o.RotateEnabled) return;
  switch (o.RotateOption) {
    case TRotateOption::kRotateRight:
      RotateImage(image, kWhite, 90);
      break;
    case TRotateOption::kRotateLeft:
      RotateImage(image, kWhite, 270);
      break;
    case TRotateOption::kFlipVertically:
      FlipImage(image, false);
      break;
    case TRotateOption::kFlipHorizontally:
      FlipImage(image, true);
      break;
    case TRotateOption::kCancelRotate:
      break;
  }
}

void ApplyOperations(TBitmap& image, TConvertOptions& options, ConversionHost& host) {
  ApplyAdjustments(image, options);
  ApplyRotate(image, options);
  ApplyCrop(image, options, host);
  ApplyCanvas(image, options);
  ApplyResize(image, options, host);
}

CropRect UpdateCropRange(TConvertOptions& o, int width, int height, CropRanges* ranges) {
  const bool quarter = IsQuarterTurn(o.RotateOption);
  const int d1 = quarter ? height : width;
  const int d2 = quarter ? width : height;
  if (o.CropLeft > d1 || o.CropTop > d2 || o.CropLeft < 0 || o.CropTop < 0 || o.CropRight < 0 ||
      o.CropBottom < 0) {
    throw std::runtime_error(kCropOutOfRangeMessage);
  }
  const int a = o.CropLeft;
  const int b = std::max(d1 - o.CropRight, a);
  const int c = o.CropTop;
  const int d = std::max(d2 - o.CropBottom, c);
  o.CropRight = d1 - b;
  o.CropBottom = d2 - d;
  if (ranges) *ranges = {d1, d2, o.CropLeft, o.CropTop, o.CropRight, o.CropBottom};
  if (quarter) return {c, a, d, b};
  return {a, c, b, d};
}

void RunConversion(TConvertOptions& options, const std::vector<TImageEntry>& entries,
                   ConversionHost& host) {
  if (entries.empty()) return;
  if (options.Rename) {
    if (const auto problem = BaseNameProblem(options.BaseName)) {
      throw std::invalid_argument(*problem);
    }
  }
  const bool converting = Converts(options.Operation);
  RunModeGuard run_mode(host, converting);
  if (converting) {
    RunConverting(options, entries, host);
  } else {
    RunSimple(options, entries, host);
  }
}

}  // namespace tolvane
