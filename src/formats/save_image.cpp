#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/codecs.h"
#include "formats/formats.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tolvane {
namespace {

struct Choice {
  const WriterRow* writer;  // null: none for this name
  std::string name;         // the written name
};

Choice ChooseWriter(TOutputFormat format, const std::string& name) {
  if (format == TOutputFormat::kKeepExtension) {
    const CodecRow* row = FindCodec(name);
    if (row == nullptr || row->keep_writer == nullptr) return {nullptr, name};
    return {row->keep_writer,
            row->keep_extension.empty() ? name : ReplaceExtension(name, row->keep_extension)};
  }
  const auto writers = Writers();
  const auto index = static_cast<std::size_t>(format) - 1;
  if (index >= writers.size()) return {nullptr, name};
  return {&writers[index], ReplaceExtension(name, writers[index].extension)};
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

// Encodes image; `owned` is the same image when the caller hands it over.
EncodedImage EncodeFor(const TBitmap& image, TBitmap* owned, const std::string& name,
                       const SaveSettings& settings) {
  const Choice choice = ChooseWriter(settings.format, name);
  EncodedImage encoded;
  encoded.name = choice.name;
  if (choice.writer == nullptr) {
    const std::string ext = LowerExtension(name);
    encoded.refusal = "no writer for files of type " + (ext.empty() ? "(none)" : ext);
  } else if (image.Empty()) {
    // Every writer refuses alike, so no format leaves an empty file or stops the run for it.
    encoded.refusal = "the image is empty";
  } else if (owned != nullptr && choice.writer->name == "bmp" && TakeBmpPieces(*owned, encoded)) {
    // The pixels themselves go to the file.
  } else if (Status s = choice.writer->encode(image, settings, encoded.bytes); !s) {
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

std::size_t EncodedImage::HeldBytes() const { return bytes.size() + pixels.PixelBytes().size(); }

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
