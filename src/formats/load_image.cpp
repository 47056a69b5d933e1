#include <exception>
#include <new>
#include <string_view>

#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "formats/formats.h"
#include "formats/gif/gif_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/metafile/metafile.h"
#include "formats/png/png_codec.h"
#include "formats/psd/psd.h"
#include "formats/tiff/tiff.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

using Decoder = Status (*)(const std::string& path, TBitmap& image, const CodecServices&);

// Source files larger than this are refused before they are read.
constexpr std::uint64_t kMaxSourceBytes = std::uint64_t{1} << 30;

using ByteDecoder = Status (*)(std::span<const std::uint8_t>, TBitmap&, std::uint64_t);

Status DecodeFileBytes(const std::string& path, TBitmap& image, ByteDecoder decode) {
  Status status;
  const auto bytes = ReadFileBytes(path, kMaxSourceBytes, &status);
  if (!bytes) return status;
  return decode(*bytes, image, kMaxPixels);
}

Status DecodeBmp(const std::string& path, TBitmap& image, const CodecServices&) {
  return image.LoadFromFile(path);
}

Status DecodeJpegFile(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeFileBytes(path, image, DecodeJpeg);
}

Status DecodePngFile(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeFileBytes(path, image, DecodePng);
}

Status DecodeGifFile(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeFileBytes(path, image, DecodeGif);
}

Status DecodeTiffSource(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeTiffFile(path, image);
}

Status DecodeMetafileSource(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeFileBytes(path, image, DecodeMetafile);
}

Status DecodePsdSource(const std::string& path, TBitmap& image, const CodecServices&) {
  return DecodeFileBytes(path, image, DecodePsd);
}

struct DecoderRow {
  std::string_view extension;
  Decoder decoder;  // null: accepted, but its decoder has not been built into this version
  bool previewed;
  bool pumps_events;  // a run lets the window breathe before this decoder
};

constexpr DecoderRow kDecoders[] = {
    {".bmp", DecodeBmp, true, false},      {".jpg", DecodeJpegFile, true, true},
    {".jpeg", DecodeJpegFile, true, true}, {".jps", DecodeJpegFile, false, true},
    {".gif", DecodeGifFile, true, false},  {".png", DecodePngFile, true, false},
    {".psd", DecodePsdSource, true, false},      {".tif", DecodeTiffSource, true, false},
    {".emf", DecodeMetafileSource, true, false}, {".wmf", DecodeMetafileSource, true, false},
};

// Decoders report failures as values; this catches what might still escape (memory) so that
// nothing passes the loaders.
Status RunDecoder(const DecoderRow& row, const std::string& path, TBitmap& image,
                  const CodecServices& services) {
  try {
    return row.decoder(path, image, services);
  } catch (const std::bad_alloc&) {
    return Status::Error("out of memory");
  } catch (const std::exception& e) {
    return Status::Error(e.what());
  }
}

const DecoderRow* FindDecoder(const std::string& path) {
  const std::string ext = LowerExtension(NameOf(path));
  for (const DecoderRow& row : kDecoders) {
    if (row.extension == ext) return &row;
  }
  return nullptr;
}

Status NoDecoder(const std::string& path) {
  const std::string ext = LowerExtension(NameOf(path));
  return Status::Error(ext.empty() ? "no decoder for files without an extension"
                                   : "no decoder for files of type " + ext);
}

bool IsJpegFamily(const std::string& path) {
  const std::string ext = LowerExtension(NameOf(path));
  return ext == ".jpg" || ext == ".jpeg" || ext == ".jps";
}

bool IsPreviewReported(const std::string& path) {
  const std::string ext = LowerExtension(NameOf(path));
  return ext == ".jpg" || ext == ".jpeg";
}

void AppendLines(const CodecServices& services, const std::vector<std::string>& lines) {
  if (!services.append_exif) return;
  for (const std::string& line : lines) services.append_exif(line);
}

// The run's metadata step after a JPEG-family source decoded.
void ReadRunMetadata(const std::string& path, TimgData& holder, const CodecServices& services) {
  holder.SetBuildMode(255);
  holder.ReadMetadata(path);
  AppendLines(services, ReportExifBlock(holder));
}

}  // namespace

Status LoadImageFile(const std::string& path, TBitmap& image, const CodecServices& services) {
  TimgData own_holder;
  TimgData& holder = services.metadata ? *services.metadata : own_holder;
  // Nothing of an earlier file may reach this file's output.
  holder.Reset();
  const DecoderRow* row = FindDecoder(path);
  if (row == nullptr || row->decoder == nullptr) return NoDecoder(path);
  if (row->pumps_events && services.pump_events) services.pump_events();
  TBitmap decoded;
  Status status = RunDecoder(*row, path, decoded, services);
  if (status.ok() && decoded.Empty()) status = Status::Error("the file holds no pixels");
  if (!status.ok()) return status;
  image = std::move(decoded);
  if (IsJpegFamily(path)) ReadRunMetadata(path, holder, services);
  return {};
}

std::optional<TBitmap> LoadPreviewImage(const std::string& path, const CodecServices& services) {
  const DecoderRow* row = FindDecoder(path);
  if (row == nullptr || !row->previewed) return TBitmap();
  if (row->decoder == nullptr) return std::nullopt;
  TBitmap decoded;
  if (!RunDecoder(*row, path, decoded, services).ok()) return std::nullopt;
  if (IsPreviewReported(path)) {
    TimgData own_holder;
    TimgData& holder = services.metadata ? *services.metadata : own_holder;
    if (services.clear_exif) services.clear_exif();
    AppendLines(services, PreviewReport(holder, path));
  }
  return decoded;
}

}  // namespace tolvane
