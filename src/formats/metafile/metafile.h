#pragma once
// Windows metafiles: playing enhanced (EMF) and placeable Windows (WMF) metafiles onto a
// 24-bit image, and recording an image as an enhanced metafile.
//   DecodeMetafile  by content: an EMF when its header says so, else a placeable WMF (key
//                   9AC6CDD7 and a valid header checksum); any other WMF is refused. The image
//                   is white at the metafile's size and the records are played onto it at (0, 0)
//   EncodeEmf       header, one STRETCHDIBITS of the whole image at (0, 0), EOF
// Inside the folder: metafile_format.h (record numbers and the record cursor), players.h with
// emf_player.cpp and wmf_player.cpp (headers, and records to device calls), device.h (the
// device context: mapping, world transform, save/restore, objects, paths, clipping, text and
// bitmaps), dib.h (bitmaps inside records), geometry.h (points, transforms, paths),
// cairo_canvas.h (the only code that draws, through cairo with antialiasing off) and
// emf_writer.cpp.
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/status.h"

namespace tolvane {

// Without a screen the recording reference is a fixed 96 DPI display of 1920 x 1440 pixels
// and 508 x 381 mm, so one pixel is 2540 / 96 (about 26.46) hundredths of a millimetre on both
// axes. Placeable WMFs are sized at the same 96 DPI.
inline constexpr int kReferenceWidthPx = 1920;
inline constexpr int kReferenceHeightPx = 1440;
inline constexpr int kReferenceWidthMm = 508;
inline constexpr int kReferenceHeightMm = 381;
inline constexpr int kScreenDpi = 96;

// Decodes an EMF or placeable WMF. On failure the image is left empty and the status says why.
// Records must lead to the end-of-file record: data that ends before it, or a record whose size
// runs past the data, fails the decode. Fields that lie inside a whole record only skip it.
// Drawing has a work budget that grows with the file's size; once it is spent, playback draws
// nothing more and the picture is what was drawn before.
Status DecodeMetafile(std::span<const std::uint8_t> bytes, TBitmap& image,
                      std::uint64_t max_pixels);

// Records image as an enhanced metafile into out. An empty image is an error.
Status EncodeEmf(const TBitmap& image, std::vector<std::uint8_t>& out);

}  // namespace tolvane
