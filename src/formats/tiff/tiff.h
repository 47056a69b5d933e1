#pragma once
// TIFF files with the system's own codec (no library):
//   DecodeTiff      the loaders' entry (DecodeTiffFile reads the file first): the first image of a
//   strip-organised file, either byte
//                   order, uncompressed or LZW (with horizontal differencing), bilevel, 4- and
//                   8-bit grey, 4- and 8-bit palette, 8-bit RGB and RGBA, drawn onto a white
//                   24-bit image of its size. Failures beep (unreadable file) or show
//                   "Picture reading failed!" through the message sink.
//   EncodeTiff      the saver's entry: the fixed layout, uncompressed little-endian RGB with 14
//                   directory entries and strips of whole rows near 32 KB.
// TTIFFBitMap (TIFFBMP.h), TIFD (IFD_Module.h) and TLZW (LZW_Module.h) are the parts behind them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/status.h"

namespace tolvane {

// On success `image` becomes a 24-bit image of the file's size with the picture on white. On
// failure the image is left as it was, the status says why, and the sink has been told.
Status DecodeTiffFile(const std::string& path, TBitmap& image);
// The same for the file's bytes (the pixel limit is the codec's own).
Status DecodeTiff(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels);

// The whole file for `image`; pixels of its transparent colour mark are written white. Throws
// std::runtime_error ("Picture Write Failed: ...") for an empty image or one with a side above
// 65535 pixels.
std::vector<std::uint8_t> EncodeTiff(const TBitmap& image);

}  // namespace tolvane
