#pragma once
// Pixel operations on the working image. Each changes the image it is given in place and
// works in 24 bits (other formats are converted first).
#include <optional>

#include "imaging/tbitmap.h"

namespace tolvane {

// Colour adjustments.
void InvertImage(TBitmap& image);
void ColorizeImage(TBitmap& image, TColor low, TColor high);
void NightVisionImage(TBitmap& image);
void GrayScaleImage(TBitmap& image);
void SepiaImage(TBitmap& image);

// Rotation clockwise by degrees (quarter and half turns exact, other angles nearest-pixel
// about the top-left corner, uncovered area in the background colour) and flips.
void RotateImage(TBitmap& image, TColor background, double angle);
void FlipImage(TBitmap& image, bool horizontal);

// Keeps columns left..right-1 and rows top..bottom-1, each value divided by scale first and
// truncated. The caller keeps the rectangle inside the image and in order.
void CropImage(TBitmap& image, int left, int top, int right, int bottom, double scale);
// Surrounds the image with borders of the colour, each width divided by scale and rounded.
void AddCanvas(TBitmap& image, int left, int top, int right, int bottom, double scale,
               TColor colour);

// The resize step: target size, aspect rule, minimum size, bilinear resampling.
struct ResizeSettings {
  int width = 0;
  int height = 0;
  bool aspect_by_width = true;
  bool aspect_by_height = false;
};
inline constexpr char kResizeTooSmallMessage[] = "The new image must be > 5x5 pixels";
enum class ResizeOutcome { kResized, kTooSmall };
// On kResized the settings hold the size produced; on kTooSmall nothing changed and the caller
// shows kResizeTooSmallMessage.
ResizeOutcome ResizeImage(TBitmap& image, ResizeSettings& settings);
// The two halves of ResizeImage, for a caller that decides sizes ahead of the pixels: the
// settings the step produces for a width x height image (nothing when the target is too
// small), and the resampling to a size (a white image when image is empty).
std::optional<ResizeSettings> ResizeTarget(int width, int height, const ResizeSettings& settings);
void ResizeTo(TBitmap& image, int width, int height);
// Fills destination (its size already set) from source with the 16.16 fixed-point filter.
void ResampleBilinear(const TBitmap& source, TBitmap& destination);
// Nearest-pixel stretch to width x height, for the preview; false when it failed.
bool StretchImage(TBitmap& image, int width, int height);

}  // namespace tolvane
