#include "formats/codecs.h"

#include <algorithm>

#include "formats/exif/ExifData.h"
#include "formats/formats.h"
#include "formats/gif/gif_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_frame.h"
#include "formats/metafile/metafile.h"
#include "formats/png/png_codec.h"
#include "formats/psd/psd.h"
#include "formats/tiff/tiff.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

Status DecodeBmp(std::span<const std::uint8_t> file, TBitmap& image, std::uint64_t) {
  return image.LoadFromBytes(file);
}

Status EncodeBmp(const TBitmap& image, const SaveSettings&, std::vector<std::uint8_t>& out) {
  out = image.SaveToBytes();
  return {};
}

// JPEG outputs carry the source's metadata segments; "Clear Exif" empties them first.
Status EncodeJpegFile(const TBitmap& image, const SaveSettings& settings,
                      std::vector<std::uint8_t>& out) {
  std::vector<std::uint8_t> stream;
  if (Status s = EncodeJpeg(image, settings.jpeg_quality, stream); !s) return s;
  if (settings.clear_exif && settings.metadata != nullptr) settings.metadata->ClearMetadata();
  out = WriteJpegWithMetadata(settings.metadata, stream, image.Width(), image.Height(), true);
  return {};
}

Status EncodePngFile(const TBitmap& image, const SaveSettings& settings,
                     std::vector<std::uint8_t>& out) {
  return EncodePng(image, {settings.png_compression, settings.png_transparent}, out);
}

Status EncodeGifFile(const TBitmap& image, const SaveSettings&, std::vector<std::uint8_t>& out) {
  return EncodeGif(image, out);
}

// A TIFF that cannot be made throws: that stops the run.
Status EncodeTiffFile(const TBitmap& image, const SaveSettings&, std::vector<std::uint8_t>& out) {
  out = EncodeTiff(image);
  return {};
}

Status EncodeEmfFile(const TBitmap& image, const SaveSettings&, std::vector<std::uint8_t>& out) {
  return EncodeEmf(image, out);
}

constexpr WriterRow kWriters[] = {
    {"bmp", ".bmp", EncodeBmp},       {"jpeg", ".jpg", EncodeJpegFile},
    {"png", ".png", EncodePngFile},   {"gif", ".gif", EncodeGifFile},
    {"tiff", ".tif", EncodeTiffFile}, {"emf", ".emf", EncodeEmfFile},
};
constexpr const WriterRow* kBmp = &kWriters[0];
constexpr const WriterRow* kJpeg = &kWriters[1];
constexpr const WriterRow* kPng = &kWriters[2];
constexpr const WriterRow* kGif = &kWriters[3];
constexpr const WriterRow* kTiff = &kWriters[4];
constexpr const WriterRow* kEmf = &kWriters[5];

// In the order of the open dialog's "All Image Files" patterns.
constexpr CodecRow kCodecs[] = {
    // ext     dialog caption                           pos decoder  keep   keep-ext
    //         previewed pumps  scans  report beeps
    {".jpg", "JPEG Image File", 1, DecodeJpeg, kJpeg, "", true, true, true, true, false},
    {".jpeg", "JPEG Image File", 2, DecodeJpeg, kJpeg, "", true, true, true, true, false},
    {".jps", "JPEG Stereo Image File", 10, DecodeJpeg, kJpeg, "", false, true, true, false, false},
    {".bmp", "Bitmaps", 3, DecodeBmp, kBmp, "", true, false, false, false, false},
    // Offered by the dialog's first filter only; there is no icon reader.
    {".ico", "", 0, nullptr, nullptr, "", false, false, false, false, false},
    {".emf", "Enhanced Metafiles", 4, DecodeMetafile, kEmf, "", true, false, false, false, false},
    // Played metafiles have no writer of their own kind.
    {".wmf", "Metafiles", 5, DecodeMetafile, nullptr, "", true, false, false, false, false},
    {".psd", "PhotoShop Image File", 6, DecodePsd, kBmp, ".bmp", true, false, false, false, false},
    {".png", "PNG Image File", 7, DecodePng, kPng, "", true, false, false, false, false},
    {".gif", "GIF - Compuserve GIF", 8, DecodeGif, kGif, "", true, false, false, false, false},
    {".tif", "TIF - Tagged Image File Format", 9, DecodeTiff, kTiff, "", true, false, false, false,
     true},
    // The longer spelling other programs write; the window's design knows only ".tif".
    {".tiff", "", 0, DecodeTiff, kTiff, "", true, false, false, false, true, false},
};

}  // namespace

std::span<const CodecRow> Codecs() { return kCodecs; }

std::span<const WriterRow> Writers() { return kWriters; }

const CodecRow* FindCodec(std::string_view path) {
  const std::string extension = LowerExtension(NameOf(path));
  for (const CodecRow& row : kCodecs) {
    if (row.extension == extension) return &row;
  }
  return nullptr;
}

bool IsReadableImageName(std::string_view name) {
  const CodecRow* row = FindCodec(name);
  return row != nullptr && row->decode != nullptr && row->in_window;
}

bool IsBatchReadableName(std::string_view name) {
  const CodecRow* row = FindCodec(name);
  return row != nullptr && row->decode != nullptr;
}

std::vector<std::pair<std::string, std::string>> OpenDialogFilters() {
  std::string all;
  std::vector<const CodecRow*> own;
  for (const CodecRow& row : kCodecs) {
    if (!row.in_window) continue;
    all += (all.empty() ? "*" : ";*") + std::string(row.extension);
    if (!row.dialog_caption.empty()) own.push_back(&row);
  }
  std::stable_sort(own.begin(), own.end(), [](const CodecRow* a, const CodecRow* b) {
    return a->dialog_position < b->dialog_position;
  });
  std::vector<std::pair<std::string, std::string>> filters{{"All Image Files (" + all + ")", all}};
  for (const CodecRow* row : own) {
    const std::string pattern = "*" + std::string(row->extension);
    filters.emplace_back(std::string(row->dialog_caption) + " (" + pattern + ")", pattern);
  }
  return filters;
}

std::string ReadableExtensions(bool window_only) {
  std::string list;
  for (const CodecRow& row : kCodecs) {
    if (row.decode != nullptr && (row.in_window || !window_only))
      list += (list.empty() ? "" : " ") + std::string(row.extension);
  }
  return list;
}

}  // namespace tolvane
