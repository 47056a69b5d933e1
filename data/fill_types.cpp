// Fills a template with the file types the window takes, taken from the codec table, so the
// desktop entry's "Open with" types and the manual page cannot fall behind the readers.
//   tolvane_fill_types TEMPLATE OUTPUT
// replaces @MIME_TYPES@ (each type followed by ";", as desktop entries list them) and
// @READABLE_EXTENSIONS@ (space-separated). A readable extension without a MIME type below
// fails the build.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "formats/codecs.h"

namespace {

struct MimeRow {
  std::string_view extension;
  std::string_view mime_type;  // shared-mime-info's canonical name
};

constexpr MimeRow kMimeTypes[] = {
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    // Stereo JPEG has no type of its own; file managers sniff its content as JPEG.
    {".jps", "image/jpeg"},
    {".bmp", "image/bmp"},
    {".emf", "image/emf"},
    {".wmf", "image/wmf"},
    {".psd", "image/vnd.adobe.photoshop"},
    {".png", "image/png"},
    {".gif", "image/gif"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
};

std::string_view MimeTypeOf(std::string_view extension) {
  for (const MimeRow& row : kMimeTypes) {
    if (row.extension == extension) return row.mime_type;
  }
  return {};
}

void ReplaceAll(std::string& text, std::string_view key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos;
       at = text.find(key, at + value.size())) {
    text.replace(at, key.size(), value);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tolvane_fill_types TEMPLATE OUTPUT\n";
    return 2;
  }
  std::vector<std::string_view> types;
  std::string extensions;
  for (const tolvane::CodecRow& row : tolvane::Codecs()) {
    // The window's list takes these; tolvane-batch alone reads the other rows.
    if (row.decode == nullptr || !row.in_window) continue;
    extensions += (extensions.empty() ? "" : " ") + std::string(row.extension);
    const std::string_view type = MimeTypeOf(row.extension);
    if (type.empty()) {
      std::cerr << "tolvane_fill_types: the readable extension " << row.extension
                << " has no MIME type in data/fill_types.cpp\n";
      return 1;
    }
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  std::string mime_list;
  for (const std::string_view type : types) mime_list += std::string(type) + ";";

  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "tolvane_fill_types: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ReplaceAll(text, "@MIME_TYPES@", mime_list);
  ReplaceAll(text, "@READABLE_EXTENSIONS@", tolvane::ReadableExtensions(/*window_only=*/true));
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::cerr << "tolvane_fill_types: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
