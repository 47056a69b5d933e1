#pragma once
// Decoding source files into a TBitmap and encoding the working image into the target format:
//   LoadImageFile     the run's loader, by extension; never throws, leaves the image empty
//                     when the file cannot be decoded and says why
//   LoadPreviewImage  the preview's loader (".jps" is not previewed)
//   SaveImageFile     picks the writer and the written name, writes atomically under a
//                     collision-free name; writer failures throw
//   EncodeForSave     its first half, the encoding, which needs no file system
//   WriteEncoded      its second half, the collision-free atomic write
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/file_ops.h"
#include "platform/status.h"

namespace tolvane {

class TimgData;

// The items of "Save with Conversions Files", by index.
enum class TOutputFormat { kKeepExtension = 0, kBitmap, kJpeg, kPng, kGif, kTiff, kEmf };

struct SaveSettings {
  TOutputFormat format = TOutputFormat::kKeepExtension;
  int jpeg_quality = 100;  // 1..100
  bool clear_exif = false;
  int png_compression = 6;  // 0..9
  bool png_transparent = false;
  // The front-end's metadata holder: JPEG outputs carry its segments (none without one) and
  // clear_exif empties it.
  TimgData* metadata = nullptr;
};

// What the loaders need from the front-end.
struct CodecServices {
  std::function<void()> pump_events;                    // before each JPEG decode of a run
  std::function<void(const std::string&)> append_exif;  // one report line (may hold CR LF)
  // The front-end's metadata holder: reset for every source of a run, refilled from JPEG
  // sources. Without one the loaders use a holder of their own for the call.
  TimgData* metadata = nullptr;
  std::function<void()> clear_exif{};  // empties the EXIF panel before a JPEG's preview report
};

// Decodes path into image by its extension. The holder is emptied first; after a JPEG-family
// source it holds the file's metadata and its EXIF block has been appended. On failure the
// image stays empty and the status says why (nothing is shown: the caller decides).
Status LoadImageFile(const std::string& path, TBitmap& image, const CodecServices& services);
// A decoded picture, an empty image for an extension the preview does not read, or nothing
// when decoding failed. A decoded ".jpg" or ".jpeg" clears the EXIF panel, refills the holder
// and appends the full report; other formats leave both alone.
std::optional<TBitmap> LoadPreviewImage(const std::string& path, const CodecServices& services);

struct SaveResult {
  bool written = false;
  std::string path;    // the path written
  std::string reason;  // why nothing was written
};

// Writes image into folder under name M (extension replaced when a format is forced). An
// existing file is never replaced, except `replaceable`: a source that is about to be deleted,
// which then counts as absent for the collision rule. When the image cannot be encoded (an
// empty image, no writer for the format) nothing is written and the result says why. Throws
// std::runtime_error when the file cannot be written or no free name is found.
SaveResult SaveImageFile(const TBitmap& image, const std::string& folder, const std::string& name,
                         const SaveSettings& settings, const std::string& replaceable = {});

// An output before it has a place on disk.
struct EncodedImage {
  std::string name;                 // the name to write under (extension as the format gives)
  std::vector<std::uint8_t> bytes;  // the whole file, or its head when `rows` follow
  std::string refusal;              // why nothing can be written; empty when encoded
  // A BMP made from an image handed over goes out without a copy of its pixels: `rows` view
  // the rows of `pixels` in file order.
  TBitmap pixels;
  std::vector<std::span<const std::uint8_t>> rows;

  EncodedImage() = default;
  EncodedImage(EncodedImage&&) = default;  // the views stay valid: the pixels do not move
  EncodedImage& operator=(EncodedImage&&) = default;
  EncodedImage(const EncodedImage&) = delete;
  EncodedImage& operator=(const EncodedImage&) = delete;

  // Bytes held in memory.
  std::size_t HeldBytes() const;
};
// Encodes image for the target named name. Refusals are returned; a TIFF that cannot be made
// throws, as in SaveImageFile. The second form may keep the image's pixels for the write.
EncodedImage EncodeForSave(const TBitmap& image, const std::string& name,
                           const SaveSettings& settings);
EncodedImage EncodeForSave(TBitmap&& image, const std::string& name, const SaveSettings& settings);
// Writes an encoded output into folder under the collision rule of SaveImageFile; a refused
// encoding writes nothing and returns its refusal.
SaveResult WriteEncoded(const EncodedImage& encoded, const std::string& folder,
                        const std::string& replaceable, Durability durability);
// The same in two steps, so that the writing can run before the name is decided: the output is
// written under a temporary name in folder (false, with nothing staged, when that fails or the
// encoding was refused), then given its name under the collision rule.
bool StageEncoded(const EncodedImage& encoded, const std::string& folder, Durability durability,
                  StagedFile& staged);
SaveResult PlaceStaged(StagedFile& staged, const std::string& folder, const std::string& name,
                       const std::string& replaceable);

}  // namespace tolvane
