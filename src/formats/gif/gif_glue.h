#pragma once
// giflib over memory: a reader on a byte span and a writer into a byte vector, both closed by
// their owners. giflib reports errors by return codes; the text of a code comes from Message.
#include <gif_lib.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tolvane::gif_glue {

// The bytes a decoder reads and its position in them.
struct Source {
  std::span<const std::uint8_t> bytes;
  std::size_t pos = 0;
};

struct DecoderCloser {
  void operator()(GifFileType* gif) const;
};
using Decoder = std::unique_ptr<GifFileType, DecoderCloser>;

// A decoder reading from source, which must outlive it; null when even the screen descriptor
// cannot be read, with *error set.
Decoder OpenDecoder(Source& source, int* error);

struct EncoderCloser {
  void operator()(GifFileType* gif) const;
};
using Encoder = std::unique_ptr<GifFileType, EncoderCloser>;

// An encoder appending to out, which must outlive it.
Encoder OpenEncoder(std::vector<std::uint8_t>& out, int* error);
// Writes the trailer and frees the encoder; false (and *error) when that fails.
bool CloseEncoder(Encoder encoder, int* error);

// "GIF: " and giflib's text for the code.
std::string Message(int error);

}  // namespace tolvane::gif_glue
