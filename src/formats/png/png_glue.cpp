#include "formats/png/png_glue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tolvane::png_glue {
namespace {

// Each IDAT chunk holds at most this many bytes.
constexpr std::size_t kIdatLimit = 65535;

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* err = static_cast<ErrorState*>(png_get_error_ptr(png));
  std::snprintf(err->message, sizeof err->message, "%s", message);
  std::longjmp(err->jump, 1);
}

// Warnings describe data libpng repaired or skipped; the image still comes through.
void OnWarning(png_structp, png_const_charp) {}

Status Failure(const ErrorState& err) { return Status::Error(std::string("PNG: ") + err.message); }

void ReadData(png_structp png, png_bytep out, png_size_t n) {
  auto* source = static_cast<Reader::Source*>(png_get_io_ptr(png));
  if (n > source->bytes.size() - source->pos) png_error(png, "the file is truncated");
  std::memcpy(out, source->bytes.data() + source->pos, n);
  source->pos += n;
}

bool Append(std::vector<std::uint8_t>& out, png_bytep data, png_size_t n) noexcept {
  try {
    out.insert(out.end(), data, data + n);
    return true;
  } catch (...) {
    return false;
  }
}

void WriteData(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  if (!Append(*out, data, n)) png_error(png, "out of memory");
}

void Flush(png_structp) {}

}  // namespace

Reader::~Reader() {
  if (png_ != nullptr) png_destroy_read_struct(&png_, &info_, nullptr);
}

Status Reader::Open(std::span<const std::uint8_t> file) {
  source_.bytes = file;
  // Set before creating: libpng may already report an error while it builds its struct.
  if (setjmp(err_.jump)) return Failure(err_);
  png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err_, OnError, OnWarning);
  if (png_ == nullptr) return Status::Error("PNG: cannot create the reader");
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Status::Error("PNG: cannot create the reader");
  png_set_read_fn(png_, &source_, ReadData);
  return {};
}

Status Reader::ReadInfo() {
  if (setjmp(err_.jump)) return Failure(err_);
  png_read_info(png_, info_);
  return {};
}

Status Reader::UpdateInfo(int* passes) {
  if (setjmp(err_.jump)) return Failure(err_);
  *passes = png_set_interlace_handling(png_);
  png_read_update_info(png_, info_);
  return {};
}

Status Reader::ReadRow(std::uint8_t* row) {
  if (setjmp(err_.jump)) return Failure(err_);
  png_read_row(png_, row, nullptr);
  return {};
}

Status Reader::ReadImage(std::uint8_t** rows) {
  if (setjmp(err_.jump)) return Failure(err_);
  png_read_image(png_, rows);
  return {};
}

Writer::~Writer() {
  if (png_ != nullptr) png_destroy_write_struct(&png_, &info_);
}

void Writer::Reserve(std::size_t stream_bytes) {
  // 12 bytes of length, type and CRC per IDAT chunk; the other chunks fit in the last 4 KiB.
  out_.reserve(stream_bytes + (stream_bytes / kIdatLimit + 1) * 12 + 4096);
}

Status Writer::Start(const WriteSettings& s) {
  if (setjmp(err_.jump)) return Failure(err_);
  png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &err_, OnError, OnWarning);
  if (png_ == nullptr) return Status::Error("PNG: cannot create the writer");
  info_ = png_create_info_struct(png_);
  if (info_ == nullptr) return Status::Error("PNG: cannot create the writer");
  png_set_write_fn(png_, &out_, WriteData, Flush);
  png_set_IHDR(png_, info_, png_uint_32(s.width), png_uint_32(s.height), s.bit_depth, s.color_type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png_, info_, s.palette.data(), int(s.palette.size()));
  if (!s.alphas.empty()) {
    png_set_tRNS(png_, info_, s.alphas.data(), int(s.alphas.size()), nullptr);
  } else if (s.transparent_rgb) {
    png_color_16 colour = *s.transparent_rgb;
    png_set_tRNS(png_, info_, nullptr, 0, &colour);
  }
  png_write_info(png_, info_);
  return {};
}

Status Writer::WriteImageData(std::span<const std::uint8_t> zlib_stream) {
  if (setjmp(err_.jump)) return Failure(err_);
  for (std::size_t at = 0; at < zlib_stream.size(); at += kIdatLimit) {
    const std::size_t n = std::min(kIdatLimit, zlib_stream.size() - at);
    png_write_chunk(png_, reinterpret_cast<png_const_bytep>("IDAT"), zlib_stream.data() + at, n);
  }
  return {};
}

Status Writer::Finish() {
  if (setjmp(err_.jump)) return Failure(err_);
  png_write_chunk(png_, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return {};
}

}  // namespace tolvane::png_glue
