#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/exif/ExifData.h"
#include "formats/formats.h"
#include "formats/gif/gif_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_frame.h"
#include "formats/metafile/metafile.h"
#include "formats/png/png_codec.h"
#include "formats/tiff/tiff.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

enum class Writer { kNone, kBmp, kJpeg, kPng, kGif, kTiff, kEmf };

struct Choice {
  Writer writer;
  std::string name;  // the written name
};

Choice KeepExtensionChoice(const std::string& name) {
  const std::string ext = LowerExtension(name);
  if (ext == ".bmp") return {Writer::kBmp, name};
  if (ext == ".psd") return {Writer::kBmp, ReplaceExtension(name, ".bmp")};
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jps") return {Writer::kJpeg, name};
  if (ext == ".png") return {Writer::kPng, name};
  if (ext == ".gif") return {Writer::kGif, name};
  if (ext == ".tif") return {Writer::kTiff, name};
  if (ext == ".emf") return {Writer::kEmf, name};
  return {Writer::kNone, name};
}

Choice ChooseWriter(TOutputFormat format, const std::string& name) {
  switch (format) {
    case TOutputFormat::kKeepExtension:
      return KeepExtensionChoice(name);
    case TOutputFormat::kBitmap:
      return {Writer::kBmp, ReplaceExtension(name, ".bmp")};
    case TOutputFormat::kJpeg:
      return {Writer::kJpeg, ReplaceExtension(name, ".jpg")};
    case TOutputFormat::kPng:
      return {Writer::kPng, ReplaceExtension(name, ".png")};
    case TOutputFormat::kGif:
      return {Writer::kGif, ReplaceExtension(name, ".gif")};
    case TOutputFormat::kTiff:
      return {Writer::kTiff, ReplaceExtension(name, ".tif")};
    case TOutputFormat::kEmf:
      return {Writer::kEmf, ReplaceExtension(name, ".emf")};
  }
  return {Writer::kNone, name};
}

Status EncodeJpegFile(const TBitmap& image, const SaveSettings& settings,
                      std::vector<std::uint8_t>& out) {
  std::vector<std::uint8_t> stream;
  if (Status s = EncodeJpeg(image, settings.jpeg_quality, stream); !s) return s;
  if (settings.clear_exif && settings.metadata != nullptr) settings.metadata->ClearMetadata();
  out = WriteJpegWithMetadata(settings.metadata, stream, image.Width(), image.Height(), true);
  return {};
}

// Moves image into encoded as the BMP file's head and row views; false when the rows cannot
// go out as held.
bool TakeBmpPieces(TBitmap& image, EncodedImage& encoded) {
  encoded.pixels = std::move(image);
  std::optional<BmpPieces> pieces = encoded.pixels.SaveToPieces();
  if (!pieces) {
    image = std::move(encoded.pixels);
    encoded.pixels = TBitmap();
    return false;
  }
  encoded.bytes = std::move(pieces->head);
  encoded.rows = std::move(pieces->rows);
  return true;
}

// The encoded file in `out`, or why there is none (no encoder for the writer in this version,
// an empty image, an encoder failure).
Status Encode(Writer writer, const TBitmap& image, const SaveSettings& settings,
              std::vector<std::uint8_t>& out) {
  switch (writer) {
    case Writer::kBmp:
      out = image.SaveToBytes();
      return {};
    case Writer::kJpeg:
      return EncodeJpegFile(image, settings, out);
    case Writer::kPng:
      return EncodePng(image, {settings.png_compression, settings.png_transparent}, out);
    case Writer::kGif:
      return EncodeGif(image, out);
    case Writer::kTiff:
      out = EncodeTiff(image);  // throws: a TIFF that cannot be made stops the run
      return {};
    case Writer::kEmf:
      return EncodeEmf(image, out);
    default:
      return Status::Error("no writer for this format");
  }
}

// Encodes image; `owned` is the same image when the caller hands it over.
EncodedImage EncodeFor(const TBitmap& image, TBitmap* owned, const std::string& name,
                       const SaveSettings& settings) {
  const Choice choice = ChooseWriter(settings.format, name);
  EncodedImage encoded;
  encoded.name = choice.name;
  if (choice.writer == Writer::kNone) {
    const std::string ext = LowerExtension(name);
    encoded.refusal = "no writer for files of type " + (ext.empty() ? "(none)" : ext);
  } else if (image.Empty()) {
    // Every writer refuses alike, so no format leaves an empty file or stops the run for it.
    encoded.refusal = "the image is empty";
  } else if (owned != nullptr && choice.writer == Writer::kBmp && TakeBmpPieces(*owned, encoded)) {
    // The pixels themselves go to the file.
  } else if (Status s = Encode(choice.writer, image, settings, encoded.bytes); !s) {
    encoded.refusal = s.message();
  }
  return encoded;
}

std::vector<std::span<const std::uint8_t>> PiecesOf(const EncodedImage& encoded) {
  std::vector<std::span<const std::uint8_t>> pieces{encoded.bytes};
  pieces.insert(pieces.end(), encoded.rows.begin(), encoded.rows.end());
  return pieces;
}

// Puts an output under the first free name for name in folder; `put(path, mode, error)` writes
// or renames it there.
template <typename Put>
SaveResult UnderFreeName(const std::string& folder, const std::string& name,
                         const std::string& replaceable, Put put) {
  NameRandom random;  // seeded afresh for every output
  // Another process may take a name between the test and the rename: draw again then.
  for (int attempt = 0; attempt < kMaxCollisionDraws; ++attempt) {
    const auto path = CollisionFreePath(folder, name, random, replaceable);
    if (!path) break;
    const WriteMode mode = *path == replaceable ? WriteMode::kReplace : WriteMode::kNoReplace;
    std::string error;
    switch (put(*path, mode, &error)) {
      case WriteResult::kWritten:
        return {true, *path, {}};
      case WriteResult::kFailed:
        throw std::runtime_error(error);
      case WriteResult::kExists:
        continue;
    }
  }
  throw std::runtime_error("no free file name for \"" + folder + name + "\"");
}

}  // namespace

std::size_t EncodedImage::HeldBytes() const {
  return bytes.size() + pixels.PixelBytes().size();
}

EncodedImage EncodeForSave(const TBitmap& image, const std::string& name,
                           const SaveSettings& settings) {
  return EncodeFor(image, nullptr, name, settings);
}

EncodedImage EncodeForSave(TBitmap&& image, const std::string& name, const SaveSettings& settings) {
  return EncodeFor(image, &image, name, settings);
}

SaveResult WriteEncoded(const EncodedImage& encoded, const std::string& folder,
                        const std::string& replaceable, Durability durability) {
  if (!encoded.refusal.empty()) return {false, {}, encoded.refusal};
  const auto pieces = PiecesOf(encoded);
  return UnderFreeName(folder, encoded.name, replaceable,
                       [&](const std::string& path, WriteMode mode, std::string* error) {
                         return WriteFileAtomic(path, pieces, mode, error, durability);
                       });
}

bool StageEncoded(const EncodedImage& encoded, const std::string& folder, Durability durability,
                  StagedFile& staged) {
  if (!encoded.refusal.empty()) return false;
  return staged.Stage(folder + encoded.name, PiecesOf(encoded), durability, nullptr);
}

SaveResult PlaceStaged(StagedFile& staged, const std::string& folder, const std::string& name,
                       const std::string& replaceable) {
  return UnderFreeName(folder, name, replaceable,
                       [&](const std::string& path, WriteMode mode, std::string* error) {
                         return staged.Place(path, mode, error);
                       });
}

SaveResult SaveImageFile(const TBitmap& image, const std::string& folder, const std::string& name,
                         const SaveSettings& settings, const std::string& replaceable) {
  return WriteEncoded(EncodeForSave(image, name, settings), folder, replaceable,
                      Durability::kOnDisk);
}

}  // namespace tolvane
