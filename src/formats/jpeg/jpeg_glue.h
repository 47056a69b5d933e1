#pragma once
// Thin wrappers around libjpeg's decompress and compress objects. Every call that can reach
// libjpeg's error_exit runs under its own setjmp, so a fatal library error comes back as a
// Status instead of ending the process; the jumps never leave this pair of files.
// The decompressor also turns libjpeg's warnings about missing or corrupt entropy data, and
// an end of data before every scan was whole, into failures: libjpeg itself would fill the
// gap with grey and report success.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// jpeglib.h uses FILE and size_t without including their headers.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "platform/status.h"

namespace tolvane::jpeg_glue {

// libjpeg's error manager with a place to jump back to and the text of the last fatal error,
// and what the decoder's warnings and scans showed of the data.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool data_ended;              // the source ran out and libjpeg supplied an end marker
  unsigned scanned_components;  // bit i: component i appeared in a scan header
};

// Progressive files may hold any number of scans; a hostile one uses that to take forever.
inline constexpr int kMaxScans = 1000;

class Decompressor {
 public:
  Decompressor();
  ~Decompressor();
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // Creates the decompress object over the file's bytes, which must outlive it.
  Status Open(std::span<const std::uint8_t> file);
  Status ReadHeader();
  // The header fields after ReadHeader; the output settings are changed here before Start.
  jpeg_decompress_struct& info() { return cinfo_; }
  Status Start();
  // Reads up to `count` rows into rows[0..count); *read tells how many came.
  Status ReadRows(std::uint8_t* const* rows, int count, int* read);
  // Fails when the data ended before every scan was whole, then reads to the end marker.
  Status Finish();

 private:
  // Inside a setjmp: after the data ran out, jumps back unless every component was fully coded.
  void RequireWholeScans();

  ErrorManager err_{};
  jpeg_progress_mgr progress_{};
  jpeg_decompress_struct cinfo_{};
};

struct CompressSettings {
  int width = 0;
  int height = 0;
  int quality = 100;
};

class Compressor {
 public:
  Compressor();
  ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // Creates the compress object for blue-green-red rows into a memory buffer, applies the
  // defaults and the quality, and writes the stream's header.
  Status Start(const CompressSettings& settings);
  Status WriteRows(std::uint8_t* const* rows, int count);
  Status Finish();
  // The whole stream after Finish.
  std::vector<std::uint8_t>& Output() { return out_; }

  // libjpeg's destination manager, filling a fixed chunk that is appended to out_ when full.
  struct Destination {
    jpeg_destination_mgr pub;
    std::vector<std::uint8_t>* out;
    std::uint8_t chunk[1 << 16];
  };

 private:
  ErrorManager err_{};
  jpeg_compress_struct cinfo_{};
  Destination dest_{};
  std::vector<std::uint8_t> out_;
};

}  // namespace tolvane::jpeg_glue
