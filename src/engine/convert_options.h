#pragma once
#include <string>

#include "formats/formats.h"
#include "imaging/tbitmap.h"
#include "platform/file_ops.h"

namespace tolvane {

// The items of "Operations with Files", by index: the first two convert, the others only copy
// or move files.
enum class TFileOperation { kCopyFiles = 0, kMoveFiles, kSimpleCopy, kSimpleMove };

// The items of "Rotate Option", by index.
enum class TRotateOption {
  kRotateRight = 0,
  kRotateLeft,
  kFlipVertically,
  kFlipHorizontally,
  kCancelRotate
};

// Every setting of a run. The run reads the fields afresh for each file; the crop step and
// the resize step write back into them, and the changes carry to the following files.
struct TConvertOptions {
  TFileOperation Operation = TFileOperation::kCopyFiles;
  bool Rename = false;
  std::string BaseName = "Image";
  bool SameFolder = false;
  std::string TargetFolder = DefaultTargetFolder();  // ends in "/"

  TOutputFormat OutputFormat = TOutputFormat::kKeepExtension;
  int JpegQuality = 100;
  bool ClearExif = false;
  int PngCompression = 6;
  bool PngTransparent = false;

  bool AdjustEnabled = false;
  bool Invert = false, NightVision = false, GrayScale = false, Sepia = false;

  bool RotateEnabled = false;
  TRotateOption RotateOption = TRotateOption::kCancelRotate;

  bool CropEnabled = false;
  int CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;

  bool CanvasEnabled = false;
  int CanvasLeft = 0, CanvasTop = 0, CanvasRight = 0, CanvasBottom = 0;  // 0..10000
  TColor CanvasColor = kBlack;

  bool ResizeEnabled = false;
  int ResizeWidth = 0, ResizeHeight = 0;
  bool AspectByWidth = true;
  bool AspectByHeight = false;
};

// One row of the image list.
struct TImageEntry {
  int Number = 0;
  std::string FileName;
  std::string SizeText;
  std::string DateTimeText;
  std::string FullPath;
  // Where below TargetFolder the output goes, ending in "/" (a tree mirrored by tolvane-batch
  // --recursive); empty: TargetFolder itself. SameFolder ignores it.
  std::string OutputSubfolder{};
};

inline bool Converts(TFileOperation op) {
  return op == TFileOperation::kCopyFiles || op == TFileOperation::kMoveFiles;
}
inline bool IsQuarterTurn(TRotateOption option) {
  return option == TRotateOption::kRotateRight || option == TRotateOption::kRotateLeft;
}

}  // namespace tolvane
