#include "formats/jpeg/jpeg_glue.h"

#include <cstdio>
#include <string>

namespace tolvane::jpeg_glue {
namespace {

// Replaces libjpeg's exit(): keeps the message and jumps back to the glue call under way.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (corrupt data the library worked around) are not printed: the image still decodes.
void SilentOutput(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = SilentOutput;
  err.message[0] = '\0';
}

// A failure found by our own callbacks, taking the same way back as the library's.
[[noreturn]] void Abort(j_common_ptr cinfo, const char* text) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::snprintf(err->message, sizeof err->message, "%s", text);
  std::longjmp(err->jump, 1);
}

void LimitScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    Abort(cinfo, "too many scans");
  }
}

Status Failure(const ErrorManager& err) {
  return Status::Error(std::string("JPEG: ") + err.message);
}

// Appends n bytes of the chunk; false when memory runs out. Never throws into libjpeg.
bool AppendChunk(Compressor::Destination& dest, std::size_t n) noexcept {
  try {
    dest.out->insert(dest.out->end(), dest.chunk, dest.chunk + n);
    return true;
  } catch (...) {
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Compressor::Destination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->chunk;
  dest->pub.free_in_buffer = sizeof dest->chunk;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Compressor::Destination*>(cinfo->dest);
  if (!AppendChunk(*dest, sizeof dest->chunk)) {
    Abort(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
  }
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Compressor::Destination*>(cinfo->dest);
  if (!AppendChunk(*dest, sizeof dest->chunk - dest->pub.free_in_buffer)) {
    Abort(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
  }
}

}  // namespace

Decompressor::Decompressor() {
  InstallErrorManager(err_);
  cinfo_.err = &err_.pub;
  progress_.progress_monitor = LimitScans;
}

// jpeg_destroy is safe on an object that was never created or failed half-way: it only frees
// what the memory manager holds.
Decompressor::~Decompressor() { jpeg_destroy_decompress(&cinfo_); }

Status Decompressor::Open(std::span<const std::uint8_t> file) {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_create_decompress(&cinfo_);
  cinfo_.progress = &progress_;
  jpeg_mem_src(&cinfo_, file.data(), static_cast<unsigned long>(file.size()));
  return {};
}

Status Decompressor::ReadHeader() {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_read_header(&cinfo_, TRUE);
  return {};
}

Status Decompressor::Start() {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_start_decompress(&cinfo_);
  return {};
}

Status Decompressor::ReadRows(std::uint8_t* const* rows, int count, int* read) {
  *read = 0;
  if (setjmp(err_.jump)) return Failure(err_);
  *read = static_cast<int>(
      jpeg_read_scanlines(&cinfo_, const_cast<JSAMPARRAY>(rows), static_cast<JDIMENSION>(count)));
  return {};
}

Status Decompressor::Finish() {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_finish_decompress(&cinfo_);
  return {};
}

Compressor::Compressor() {
  InstallErrorManager(err_);
  cinfo_.err = &err_.pub;
  dest_.out = &out_;
  dest_.pub.init_destination = InitDestination;
  dest_.pub.empty_output_buffer = EmptyOutputBuffer;
  dest_.pub.term_destination = TermDestination;
}

Compressor::~Compressor() { jpeg_destroy_compress(&cinfo_); }

Status Compressor::Start(const CompressSettings& settings) {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_create_compress(&cinfo_);
  // Room for a typical stream up front: growing a vector of megabytes copies it each time.
  // Pages that are reserved but never written cost nothing.
  out_.reserve(std::size_t(settings.width) * std::size_t(settings.height) / 2 + sizeof dest_.chunk);
  cinfo_.dest = &dest_.pub;
  cinfo_.image_width = static_cast<JDIMENSION>(settings.width);
  cinfo_.image_height = static_cast<JDIMENSION>(settings.height);
  cinfo_.input_components = 3;
  cinfo_.in_color_space = JCS_EXT_BGR;
  // Three-component YCbCr, chroma subsampled 2 x 2, standard Huffman tables.
  jpeg_set_defaults(&cinfo_);
  jpeg_set_quality(&cinfo_, settings.quality, TRUE);
  jpeg_start_compress(&cinfo_, TRUE);
  return {};
}

Status Compressor::WriteRows(std::uint8_t* const* rows, int count) {
  if (setjmp(err_.jump)) return Failure(err_);
  JDIMENSION done = 0;
  while (done < JDIMENSION(count)) {
    const JDIMENSION n = jpeg_write_scanlines(&cinfo_, const_cast<JSAMPARRAY>(rows + done),
                                              JDIMENSION(count) - done);
    if (n == 0) return Status::Error("JPEG: the encoder took no rows");
    done += n;
  }
  return {};
}

Status Compressor::Finish() {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_finish_compress(&cinfo_);
  return {};
}

}  // namespace tolvane::jpeg_glue
