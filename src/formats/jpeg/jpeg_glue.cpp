#include "formats/jpeg/jpeg_glue.h"

#include <jerror.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace tolvane::jpeg_glue {
namespace {

// Replaces libjpeg's exit(): keeps the message and jumps back to the glue call under way.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Nothing is printed: warnings either fail the decode (EmitMessage) or are harmless.
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

constexpr char kDataEnds[] = "the data ends early";

// Warnings after which libjpeg goes on with zero coefficients where the data could not be
// read: a grey band, or blocks smeared from a wrong place, in an image that looks decoded.
bool LosesData(int code) {
  switch (code) {
    case JWRN_HIT_MARKER:     // a marker, or the end, inside a scan's data
    case JWRN_HUFF_BAD_CODE:  // no Huffman code matches: the rest of the segment is lost
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:        // a restart marker missing or out of turn
    case JWRN_BOGUS_PROGRESSION:  // a scan refining bits no earlier scan sent
      return true;
    default:
      // Accepted, because the pixels come out whole:
      // JWRN_EXTRANEOUS_DATA: bytes between the end of a scan's data and the next marker.
      //   Every block was already decoded from the bytes before them; camera firmware often
      //   pads there.
      // JWRN_NOT_SEQUENTIAL: a sequential scan header whose spectral fields are not 0..63.
      //   libjpeg ignores them and reads whole blocks; some baseline writers leave them 0.
      // JWRN_ADOBE_XFORM, JWRN_JFIF_MAJOR: header fields it can guess around.
      return false;
  }
}

// Warnings only; trace messages (level 0 and up) are dropped as before.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0 || !cinfo->is_decompressor) return;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) {
    // The memory source supplies an end marker and decoding goes on. A file that lacks only
    // that marker is whole, so the loss is judged later from the scans (RequireWholeScans),
    // and for Huffman data at once from JWRN_HIT_MARKER. Arithmetic-coded data may stop short
    // legally (its writer drops trailing zero bytes) and gives no such warning: an end before
    // the scan's last row of blocks is all that shows the cut there.
    err->data_ended = true;
    if (d->arith_code && d->input_iMCU_row + 1 < d->total_iMCU_rows) Abort(cinfo, kDataEnds);
    return;
  }
  if (!LosesData(code)) return;
  if (err->data_ended) Abort(cinfo, kDataEnds);
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  constexpr char kPrefix[] = "Corrupt JPEG data: ";
  const char* detail =
      std::strncmp(text, kPrefix, sizeof kPrefix - 1) == 0 ? text + sizeof kPrefix - 1 : text;
  // A plain buffer: nothing here may need a destructor, the jump skips it.
  std::snprintf(err->message, sizeof err->message, "corrupt data: %.*s",
                int(sizeof err->message) - 16, detail);
  std::longjmp(err->jump, 1);
}

// Notes the components of the scan whose header was read last.
void NoteScan(j_decompress_ptr d) {
  auto* err = reinterpret_cast<ErrorManager*>(d->err);
  for (int i = 0; i < d->comps_in_scan; ++i) {
    err->scanned_components |= 1u << d->cur_comp_info[i]->component_index;
  }
}

// Called before each step of input, so it sees every scan's header.
void WatchScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  const auto d = reinterpret_cast<j_decompress_ptr>(cinfo);
  NoteScan(d);
  if (d->input_scan_number > kMaxScans) Abort(cinfo, "too many scans");
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
  err_.pub.emit_message = EmitMessage;
  cinfo_.err = &err_.pub;
  progress_.progress_monitor = WatchScans;
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
  NoteScan(&cinfo_);
  return {};
}

Status Decompressor::Start() {
  if (setjmp(err_.jump)) return Failure(err_);
  jpeg_start_decompress(&cinfo_);
  // Files of several scans are read whole here: a loss fails before any row is made.
  if (jpeg_input_complete(&cinfo_)) RequireWholeScans();
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
  RequireWholeScans();
  jpeg_finish_decompress(&cinfo_);
  return {};
}

// Only after an end by exhaustion: a file with its end marker is taken as its writer meant it.
// coef_bits (progressive files) lives in the image pool, which finishing frees.
void Decompressor::RequireWholeScans() {
  if (!err_.data_ended) return;
  bool whole = true;
  if (cinfo_.progressive_mode && cinfo_.coef_bits != nullptr) {
    // Each scan leaves the coefficients it carries at its successive-approximation bit: a
    // coefficient is whole at bit 0, and -1 was never sent.
    for (int c = 0; c < cinfo_.num_components; ++c) {
      for (int k = 0; k < DCTSIZE2; ++k) whole = whole && cinfo_.coef_bits[c][k] == 0;
    }
  } else {
    // Sequential scans carry whole blocks; a component whose scan never came has none.
    whole = err_.scanned_components == (1u << cinfo_.num_components) - 1;
  }
  if (!whole) Abort(reinterpret_cast<j_common_ptr>(&cinfo_), kDataEnds);
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
