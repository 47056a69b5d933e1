#include <exception>
#include <new>
#include <string_view>

#include "formats/codecs.h"
#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "formats/formats.h"
#include "platform/file_ops.h"
#include "platform/message_sink.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

// Reads the file and runs the row's decoder on it. Decoders report failures as values; this
// also catches what might still escape (memory), so that nothing passes the loaders.
Status RunDecoder(const CodecRow& row, const std::string& path, TBitmap& image) {
  try {
    Status status;
    const auto bytes = ReadFileBytes(path, kMaxSourceBytes, &status);
    if (!bytes) {
      if (row.beeps_when_unreadable) Messages().Beep();
      return status;
    }
    return row.decode(*bytes, image, kMaxPixels);
  } catch (const std::bad_alloc&) {
    return Status::Error("out of memory");
  } catch (const std::exception& e) {
    return Status::Error(e.what());
  }
}

Status NoDecoder(const std::string& path) {
  const std::string ext = LowerExtension(NameOf(path));
  return Status::Error(ext.empty() ? "no decoder for files without an extension"
                                   : "no decoder for files of type " + ext);
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
  const CodecRow* row = FindCodec(path);
  if (row == nullptr || row->decode == nullptr) return NoDecoder(path);
  if (row->pumps_events && services.pump_events) services.pump_events();
  TBitmap decoded;
  Status status = RunDecoder(*row, path, decoded);
  if (status.ok() && decoded.Empty()) status = Status::Error("the file holds no pixels");
  if (!status.ok()) return status;
  image = std::move(decoded);
  if (row->scans_metadata) ReadRunMetadata(path, holder, services);
  return {};
}

std::optional<TBitmap> LoadPreviewImage(const std::string& path, const CodecServices& services) {
  const CodecRow* row = FindCodec(path);
  if (row == nullptr || !row->previewed) return TBitmap();
  if (row->decode == nullptr) return std::nullopt;
  TBitmap decoded;
  if (!RunDecoder(*row, path, decoded).ok()) return std::nullopt;
  if (row->preview_report) {
    TimgData own_holder;
    TimgData& holder = services.metadata ? *services.metadata : own_holder;
    if (services.clear_exif) services.clear_exif();
    AppendLines(services, PreviewReport(holder, path));
  }
  return decoded;
}

}  // namespace tolvane
