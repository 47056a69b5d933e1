#include <string_view>

#include "formats/formats.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

using Decoder = Status (*)(const std::string& path, TBitmap& image, const CodecServices&);

Status DecodeBmp(const std::string& path, TBitmap& image, const CodecServices&) {
  return image.LoadFromFile(path);
}

struct DecoderRow {
  std::string_view extension;
  Decoder decoder;  // null: accepted, but its decoder has not been built into this version
  bool previewed;
};

constexpr DecoderRow kDecoders[] = {
    {".bmp", DecodeBmp, true},  {".jpg", nullptr, true},  {".jpeg", nullptr, true},
    {".jps", nullptr, false},   {".gif", nullptr, true},  {".png", nullptr, true},
    {".psd", nullptr, true},    {".tif", nullptr, true},  {".emf", nullptr, true},
    {".wmf", nullptr, true},
};

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

}  // namespace

Status LoadImageFile(const std::string& path, TBitmap& image, const CodecServices& services) {
  const DecoderRow* row = FindDecoder(path);
  if (row == nullptr || row->decoder == nullptr) return NoDecoder(path);
  TBitmap decoded;
  Status status = row->decoder(path, decoded, services);
  if (status.ok() && decoded.Empty()) status = Status::Error("the file holds no pixels");
  if (!status.ok()) return status;
  image = std::move(decoded);
  return {};
}

std::optional<TBitmap> LoadPreviewImage(const std::string& path, const CodecServices& services) {
  const DecoderRow* row = FindDecoder(path);
  if (row == nullptr || !row->previewed) return TBitmap();
  if (row->decoder == nullptr) return std::nullopt;
  TBitmap decoded;
  if (!row->decoder(path, decoded, services).ok()) return std::nullopt;
  return decoded;
}

}  // namespace tolvane
