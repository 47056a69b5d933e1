#include <algorithm>
#include <new>

#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_glue.h"

namespace tolvane {
namespace {

// Greyscale files are quantised to this many levels.
constexpr int kGreyLevels = 236;

enum class Layout { kBgr, kGreyIndexed, kCmyk };

// Picks what the library delivers for the file's colour space.
Status ChooseLayout(jpeg_decompress_struct& info, Layout* layout) {
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      info.out_color_space = JCS_GRAYSCALE;
      info.quantize_colors = TRUE;
      info.desired_number_of_colors = kGreyLevels;
      info.two_pass_quantize = FALSE;
      info.dither_mode = JDITHER_FS;
      *layout = Layout::kGreyIndexed;
      return {};
    case JCS_YCbCr:
    case JCS_RGB:
      info.out_color_space = JCS_EXT_BGR;
      *layout = Layout::kBgr;
      return {};
    case JCS_CMYK:
    case JCS_YCCK:
      info.out_color_space = JCS_CMYK;
      *layout = Layout::kCmyk;
      return {};
    default:
      return Status::Error("JPEG: unsupported colour space with " +
                           std::to_string(info.num_components) + " components");
  }
}

void SetDecodeOptions(jpeg_decompress_struct& info) {
  info.scale_num = 1;
  info.scale_denom = 1;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  info.do_block_smoothing = TRUE;
}

std::vector<TRgb> GreyPalette(const jpeg_decompress_struct& info) {
  std::vector<TRgb> palette(static_cast<std::size_t>(info.actual_number_of_colors));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const std::uint8_t v = info.colormap[0][i];
    palette[i] = {v, v, v};
  }
  return palette;
}

// Adobe writes CMYK inverted (255 means no ink), which is what files carrying its APP14 marker
// hold; plain CMYK files store the ink itself.
void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const auto value = [&](int i) { return inverted ? unsigned{cmyk[i]} : 255u - cmyk[i]; };
    const unsigned k = value(3);
    bgr[0] = static_cast<std::uint8_t>((value(2) * k + 127) / 255);
    bgr[1] = static_cast<std::uint8_t>((value(1) * k + 127) / 255);
    bgr[2] = static_cast<std::uint8_t>((value(0) * k + 127) / 255);
  }
}

// Reads all rows straight into the image's rows.
Status ReadDirect(jpeg_glue::Decompressor& jpeg, TBitmap& image) {
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) rows[std::size_t(y)] = image.ScanLine(y);
  int done = 0;
  while (done < image.Height()) {
    int read = 0;
    if (Status s = jpeg.ReadRows(rows.data() + done, image.Height() - done, &read); !s) return s;
    if (read == 0) return Status::Error("JPEG: the decoder stopped early");
    done += read;
  }
  return {};
}

Status ReadCmyk(jpeg_glue::Decompressor& jpeg, TBitmap& image) {
  std::vector<std::uint8_t> cmyk(std::size_t(image.Width()) * 4);
  std::uint8_t* row = cmyk.data();
  const bool inverted = jpeg.info().saw_Adobe_marker;
  for (int y = 0; y < image.Height(); ++y) {
    int read = 0;
    if (Status s = jpeg.ReadRows(&row, 1, &read); !s) return s;
    if (read == 0) return Status::Error("JPEG: the decoder stopped early");
    CmykToBgr(row, image.ScanLine(y), image.Width(), inverted);
  }
  return {};
}

Status Decode(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  jpeg_glue::Decompressor jpeg;
  if (Status s = jpeg.Open(file); !s) return s;
  if (Status s = jpeg.ReadHeader(); !s) return s;
  jpeg_decompress_struct& info = jpeg.info();
  if (Status s = CheckImageSize(info.image_width, info.image_height, "JPEG"); !s) return s;
  if (std::uint64_t{info.image_width} * info.image_height > max_pixels) {
    return Status::Error("JPEG: image larger than this caller accepts");
  }
  Layout layout = Layout::kBgr;
  if (Status s = ChooseLayout(info, &layout); !s) return s;
  SetDecodeOptions(info);
  if (Status s = jpeg.Start(); !s) return s;

  // Every row is read into the image or the decode fails and the image is dropped.
  TBitmap decoded;
  decoded.CreateForOverwrite(static_cast<int>(info.output_width),
                             static_cast<int>(info.output_height),
                             layout == Layout::kGreyIndexed ? 8 : 24);
  if (layout == Layout::kGreyIndexed) decoded.SetPalette(GreyPalette(info));
  Status read = layout == Layout::kCmyk ? ReadCmyk(jpeg, decoded) : ReadDirect(jpeg, decoded);
  if (!read) return read;
  if (Status s = jpeg.Finish(); !s) return s;
  image = std::move(decoded);
  return {};
}

}  // namespace

Status DecodeJpeg(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  try {
    return Decode(file, image, max_pixels);
  } catch (const std::bad_alloc&) {
    return Status::Error("JPEG: out of memory");
  }
}

}  // namespace tolvane
