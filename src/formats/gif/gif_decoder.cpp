#include <new>

#include "formats/gif/gif_codec.h"
#include "formats/gif/gif_glue.h"

namespace tolvane {
namespace {

Status Failure(const GifFileType* gif) { return Status::Error(gif_glue::Message(gif->Error)); }

Status SkipExtension(GifFileType* gif) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return Failure(gif);
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Failure(gif);
  }
  return {};
}

// Passes over a frame's compressed data without decoding it.
Status SkipFrameData(GifFileType* gif) {
  int code_size = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &code_size, &block) == GIF_ERROR) return Failure(gif);
  while (block != nullptr) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return Failure(gif);
  }
  return {};
}

// Moves to the next image descriptor and reads it; *found is false at the trailer.
Status NextFrame(GifFileType* gif, bool* found) {
  *found = false;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return Failure(gif);
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_ERROR) return Failure(gif);
        *found = true;
        return {};
      case EXTENSION_RECORD_TYPE:
        if (Status s = SkipExtension(gif); !s) return s;
        break;
      case TERMINATE_RECORD_TYPE:
        return {};
      default:
        return Status::Error("GIF: unexpected record");
    }
  }
}

// The number of complete frames. A damaged tail (a common sight: files cut short) ends the
// count; a file without one complete frame fails.
Status CountFrames(std::span<const std::uint8_t> file, int* frames) {
  *frames = 0;
  gif_glue::Source source{file, 0};
  int error = 0;
  gif_glue::Decoder gif = gif_glue::OpenDecoder(source, &error);
  if (!gif) return Status::Error(gif_glue::Message(error));
  for (;;) {
    bool found = false;
    Status s = NextFrame(gif.get(), &found);
    if (s) {
      if (!found) break;
      s = SkipFrameData(gif.get());
    }
    if (!s) {
      if (*frames > 0) break;
      return s;
    }
    ++*frames;
  }
  if (*frames == 0) return Status::Error("GIF: the file holds no frame");
  return {};
}

std::vector<TRgb> FramePalette(const ColorMapObject& map) {
  std::vector<TRgb> palette;
  for (int i = 0; i < map.ColorCount; ++i) {
    palette.push_back({map.Colors[i].Red, map.Colors[i].Green, map.Colors[i].Blue});
  }
  return palette;
}

// Interlaced frames store every 8th row from 0, every 8th from 4, every 4th from 2, then every
// 2nd from 1.
Status ReadRows(GifFileType* gif, TBitmap& frame) {
  const int height = frame.Height();
  const auto read = [&](int y) {
    return DGifGetLine(gif, frame.ScanLine(y), frame.Width()) == GIF_OK;
  };
  if (!gif->Image.Interlace) {
    for (int y = 0; y < height; ++y) {
      if (!read(y)) return Failure(gif);
    }
    return {};
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) {
      if (!read(y)) return Failure(gif);
    }
  }
  return {};
}

Status DecodeFrame(std::span<const std::uint8_t> file, int index, TBitmap& image,
                   std::uint64_t max_pixels) {
  gif_glue::Source source{file, 0};
  int error = 0;
  gif_glue::Decoder gif = gif_glue::OpenDecoder(source, &error);
  if (!gif) return Status::Error(gif_glue::Message(error));
  for (int i = 0;; ++i) {
    bool found = false;
    if (Status s = NextFrame(gif.get(), &found); !s) return s;
    if (!found) return Status::Error("GIF: the frame is missing");
    if (i == index) break;
    if (Status s = SkipFrameData(gif.get()); !s) return s;
  }
  const GifImageDesc& desc = gif->Image;
  if (Status s = CheckImageSize(std::uint64_t(std::max(desc.Width, 0)),
                                std::uint64_t(std::max(desc.Height, 0)), "GIF");
      !s) {
    return s;
  }
  const std::uint64_t pixels = std::uint64_t(desc.Width) * std::uint64_t(desc.Height);
  if (pixels > max_pixels) return Status::Error("GIF: image larger than this caller accepts");
  // An LZW code takes at least 3 bits and stands for at most 4096 pixels: a frame larger than
  // that allows is refused before its pixels are allocated.
  if (pixels * 3 > std::uint64_t(file.size()) * 8 * 4096) {
    return Status::Error("GIF: a frame of " + std::to_string(desc.Width) + " x " +
                         std::to_string(desc.Height) + " pixels cannot come from a file of " +
                         std::to_string(file.size()) + " bytes");
  }
  const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
  if (map == nullptr) return Status::Error("GIF: the frame has no colour table");
  TBitmap frame;
  frame.Create(desc.Width, desc.Height, 8);
  frame.SetPalette(FramePalette(*map));
  if (Status s = ReadRows(gif.get(), frame); !s) return s;
  image = std::move(frame);
  return {};
}

}  // namespace

Status DecodeGif(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t max_pixels) {
  try {
    int frames = 0;
    if (Status s = CountFrames(file, &frames); !s) return s;
    return DecodeFrame(file, frames / 3, image, max_pixels);
  } catch (const std::bad_alloc&) {
    return Status::Error("GIF: out of memory");
  }
}

}  // namespace tolvane
