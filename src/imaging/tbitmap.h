#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/byte_buffer.h"
#include "platform/status.h"

namespace tolvane {

// 0x00BBGGRR: red in the low byte.
using TColor = std::uint32_t;

constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return TColor{r} | (TColor{g} << 8) | (TColor{b} << 16);
}
constexpr std::uint8_t RedOf(TColor c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t GreenOf(TColor c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t BlueOf(TColor c) { return static_cast<std::uint8_t>(c >> 16); }
inline constexpr TColor kWhite = 0x00FFFFFF;
inline constexpr TColor kBlack = 0;

struct TRgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const TRgb&, const TRgb&) = default;
};

// What an image read from a BMP file remembers of that file, so that writing it back keeps the
// file's resolution and, while the pixels are untouched, its depth, header and row order.
struct BmpOrigin {
  bool from_file = false;
  std::int32_t x_pels_per_meter = 0;
  std::int32_t y_pels_per_meter = 0;
  bool os2 = false;       // 12-byte core header, 3-byte colour entries
  bool top_down = false;  // negative height in the file
  // The info header exactly as stored, followed by its bit-field masks when they stood
  // apart from it: rewritten unchanged while `pristine`.
  std::vector<std::uint8_t> info_header;
  bool pristine = false;
  // The whole file of a run-length-compressed BMP, written back byte for byte while pristine.
  std::vector<std::uint8_t> kept_file;
};

// A BMP file in pieces: `head`, then each of `rows`.
struct BmpPieces {
  std::vector<std::uint8_t> head;
  std::vector<std::span<const std::uint8_t>> rows;
};

// The raster of the whole system. Rows are padded to 4 bytes and addressed top-down (row 0 is
// the top row); formats are 1, 4, 8 (palette), 16, 24 (blue, green, red) and 32 bits.
class TBitmap {
 public:
  TBitmap() = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bpp_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  std::size_t Stride() const { return stride_; }
  static std::size_t StrideFor(int width, int bpp);

  // Converts the pixels to another format, keeping the size. To 24 bits every format works;
  // other conversions are only defined on an empty image, which just takes the format.
  void SetPixelFormat(int bpp);

  // Changes the extent; pixels keep their place from the top-left, new area is white.
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  // A new image of the given size and format: white at 16 bits and above, index 0 below.
  void Create(int width, int height, int bpp);
  // The same, for a writer that sets every pixel itself: the pixels start undefined (row
  // padding is zero), which saves a pass over a large image.
  void CreateForOverwrite(int width, int height, int bpp);

  void Assign(const TBitmap& other) { *this = other; }
  void Clear() { *this = TBitmap(); }

  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const { return pixels_.data() + std::size_t(y) * stride_; }
  // All rows, top row first, each Stride() bytes.
  std::span<std::uint8_t> MutablePixels();
  std::span<const std::uint8_t> PixelBytes() const { return pixels_; }

  TColor Pixels(int x, int y) const;

  const std::vector<TRgb>& Palette() const { return palette_; }
  void SetPalette(std::vector<TRgb> palette);

  // Bit-field masks (red, green, blue) of 16- and 32-bit pixels.
  const std::array<std::uint32_t, 3>& Masks() const { return masks_; }
  void SetMasks(const std::array<std::uint32_t, 3>& masks);
  static std::array<std::uint32_t, 3> DefaultMasks(int bpp);

  bool Transparent() const { return transparent_; }
  // The explicit colour, or the bottom-left pixel's when none was given.
  TColor TransparentColor() const;
  void SetTransparent(bool on, std::optional<TColor> colour = std::nullopt);

  // Paints source unscaled with its top-left corner at (x, y); pixels of a transparent
  // source's colour are left out.
  void Draw(int x, int y, const TBitmap& source);
  // Nearest-pixel scaling of source onto the rectangle.
  void StretchDraw(int x, int y, int width, int height, const TBitmap& source);
  void FillRect(TColor colour);
  // Copies an equal-sized rectangle of source into this image; both must lie inside.
  void CopyRect(int dx, int dy, const TBitmap& source, int sx, int sy, int width, int height);

  // BMP files. Loading leaves the image unchanged on failure.
  Status LoadFromFile(const std::string& path);
  Status LoadFromBytes(std::span<const std::uint8_t> bytes);
  // Throws std::runtime_error when the file cannot be written.
  void SaveToFile(const std::string& path) const;
  std::vector<std::uint8_t> SaveToBytes() const;
  // The same file as the headers and views of the rows in file order, for a writer that
  // gathers them without a copy; the views live as long as the pixels stay untouched. Nothing
  // where SaveToBytes has more to do (a kept file, row padding to clear, no pixels).
  std::optional<BmpPieces> SaveToPieces() const;

  const BmpOrigin& Origin() const { return origin_; }
  BmpOrigin& MutableOrigin() { return origin_; }

 private:
  // Every change of pixels or format ends the claim to be the unchanged file.
  void Touch() {
    origin_.pristine = false;
    if (!origin_.kept_file.empty()) origin_.kept_file.clear();
  }
  // Create without touching the pixel bytes.
  void Reshape(int width, int height, int bpp);
  void ConvertTo24();
  void WritePixel(std::uint8_t* row, int x, TColor colour);
  std::uint8_t NearestIndex(TColor colour) const;

  int width_ = 0;
  int height_ = 0;
  int bpp_ = 24;
  std::size_t stride_ = 0;
  ByteBuffer pixels_;
  std::vector<TRgb> palette_;
  std::array<std::uint32_t, 3> masks_ = {0, 0, 0};
  bool transparent_ = false;
  std::optional<TColor> transparent_colour_;
  BmpOrigin origin_;
};

}  // namespace tolvane
