#pragma once
// Thin wrappers around libpng's read and write structs. libpng reports fatal errors by
// jumping; every wrapper call that can reach one sets its own jump point, so the error comes
// back as a Status. Reading is over a byte span, writing into a byte vector.
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/status.h"

namespace tolvane::png_glue {

// Where a fatal libpng error jumps to, and its text.
struct ErrorState {
  std::jmp_buf jump;
  char message[200];
};

class Reader {
 public:
  Reader() = default;
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // The file's bytes must outlive the reader.
  Status Open(std::span<const std::uint8_t> file);
  Status ReadInfo();
  // For the getters and the transform setters between ReadInfo and UpdateInfo.
  png_structp png() { return png_; }
  png_infop info() { return info_; }
  // Applies the transforms set; *passes is 7 for interlaced files, else 1.
  Status UpdateInfo(int* passes);
  Status ReadRow(std::uint8_t* row);
  Status ReadImage(std::uint8_t** rows);
  // How far into the file libpng has read: after ReadInfo, the start of the first IDAT
  // chunk's data, since libpng stops reading once it has that chunk's length and type.
  std::size_t Position() const { return source_.pos; }

  // The read callback's cursor, public for it.
  struct Source {
    std::span<const std::uint8_t> bytes;
    std::size_t pos = 0;
  };

 private:
  ErrorState err_{};
  Source source_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

struct WriteSettings {
  int width = 0;
  int height = 0;
  int bit_depth = 8;
  int color_type = PNG_COLOR_TYPE_RGB;
  std::vector<png_color> palette;               // palette images only
  std::vector<png_byte> alphas;                 // tRNS of a palette image
  std::optional<png_color_16> transparent_rgb;  // tRNS of a truecolour image
};

// libpng writes the signature and the chunks around the image data; the data itself comes
// filtered and compressed from the caller, so the compressor is ours to choose.
class Writer {
 public:
  Writer() = default;
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Makes room for a file around a zlib stream of this size, so that the output grows once.
  void Reserve(std::size_t stream_bytes);
  // Writes the signature and the chunks before the image data.
  Status Start(const WriteSettings& settings);
  // Writes a zlib stream of the filtered rows as IDAT chunks of at most 65535 bytes each.
  Status WriteImageData(std::span<const std::uint8_t> zlib_stream);
  // Writes IEND.
  Status Finish();
  std::vector<std::uint8_t>& Output() { return out_; }

 private:
  ErrorState err_{};
  std::vector<std::uint8_t> out_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

}  // namespace tolvane::png_glue
