#include "formats/gif/gif_glue.h"

#include <algorithm>
#include <cstring>

namespace tolvane::gif_glue {
namespace {

// giflib treats a short count as a read failure, which is what a truncated file is.
int ReadBytes(GifFileType* gif, GifByteType* out, int n) {
  auto* source = static_cast<Source*>(gif->UserData);
  const std::size_t count =
      std::min(std::size_t(n < 0 ? 0 : n), source->bytes.size() - source->pos);
  if (count == 0) return 0;
  std::memcpy(out, source->bytes.data() + source->pos, count);
  source->pos += count;
  return int(count);
}

int WriteBytes(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  try {
    out->insert(out->end(), data, data + n);
    return n;
  } catch (...) {
    return 0;  // giflib reports a write failure
  }
}

}  // namespace

void DecoderCloser::operator()(GifFileType* gif) const {
  int error = 0;
  DGifCloseFile(gif, &error);
}

Decoder OpenDecoder(Source& source, int* error) {
  return Decoder(DGifOpen(&source, ReadBytes, error));
}

void EncoderCloser::operator()(GifFileType* gif) const {
  int error = 0;
  EGifCloseFile(gif, &error);
}

Encoder OpenEncoder(std::vector<std::uint8_t>& out, int* error) {
  return Encoder(EGifOpen(&out, WriteBytes, error));
}

bool CloseEncoder(Encoder encoder, int* error) {
  return EGifCloseFile(encoder.release(), error) == GIF_OK;
}

std::string Message(int error) {
  const char* text = GifErrorString(error);
  return std::string("GIF: ") + (text != nullptr ? text : "error " + std::to_string(error));
}

}  // namespace tolvane::gif_glue
