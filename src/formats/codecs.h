#pragma once
// The formats the system reads and writes, one row each. Everything that depends on a file's
// type reads this table: the loaders, the writers (forced formats and keep-extension mode),
// the image list's acceptance rule, the open dialog's filters and tolvane-batch's help.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/tbitmap.h"
#include "platform/limits.h"
#include "platform/status.h"

namespace tolvane {

struct SaveSettings;

// A decoder: the whole file's bytes and the pixel limit in, the image or the reason out. A
// failed decode leaves the image as it was.
using DecodeFn = Status (*)(std::span<const std::uint8_t> file, TBitmap& image,
                            std::uint64_t max_pixels);
// An encoder: the whole output file, or why there is none. Never given an empty image.
using EncodeFn = Status (*)(const TBitmap& image, const SaveSettings& settings,
                            std::vector<std::uint8_t>& out);

// A format the system writes.
struct WriterRow {
  std::string_view name;       // as tolvane-batch's --format names it
  std::string_view extension;  // the extension a forced format gives the output
  EncodeFn encode;
};

// A type of source file, by its extension.
struct CodecRow {
  std::string_view extension;       // lower case, with its dot
  std::string_view dialog_caption;  // its own filter in the open dialog; empty: none
  int dialog_position;              // that filter's place in the dialog's list
  DecodeFn decode;                  // null: offered by the open dialog but not read
  const WriterRow* keep_writer;     // writes this type in keep-extension mode; null: none
  std::string_view keep_extension;  // the extension it then gets; empty: the name is kept
  bool previewed;
  bool pumps_events;    // a run lets the window breathe before decoding it
  bool scans_metadata;  // the run reads its EXIF segments and reports them
  bool preview_report;  // the preview shows its EXIF report
  bool beeps_when_unreadable;
  // The window's list and open dialog take it; tolvane-batch alone reads the other rows.
  bool in_window = true;
};

// Files larger than this are refused before they are read.
inline constexpr std::uint64_t kMaxSourceBytes = kMaxPixels * 4 + (std::uint64_t{1} << 20);

std::span<const CodecRow> Codecs();
// The row for a path's extension (any case), or null.
const CodecRow* FindCodec(std::string_view path);
// Whether the image list takes a file of this name: its type can be decoded and is the
// window's.
bool IsReadableImageName(std::string_view name);
// Whether tolvane-batch takes a file of this name under a folder: its type can be decoded.
bool IsBatchReadableName(std::string_view name);
// The open dialog's filters, (description, patterns), first "All Image Files".
std::vector<std::pair<std::string, std::string>> OpenDialogFilters();
// The extensions tolvane-batch reads, or with window_only those the window's list takes,
// space-separated, for help texts.
std::string ReadableExtensions(bool window_only = false);

// The writers in --format order: bmp, jpeg, png, gif, tiff, emf.
std::span<const WriterRow> Writers();

}  // namespace tolvane
