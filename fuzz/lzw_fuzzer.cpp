// Feeds arbitrary bytes to the LZW decoder alone. The first two bytes choose the size of the
// output buffer, so short and long strips are both tried; the decoder must stay inside it.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/tiff/LZW_Module.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t out_size = (std::size_t{data[0]} << 8 | data[1]) * 4;
  std::vector<std::uint8_t> out(out_size);
  tolvane::tiff::TLZW lzw;
  const std::span<const std::uint8_t> in(data + 2, size - 2);
  const std::size_t written = lzw.Decode(in, out);
  if (written > out.size()) std::abort();
  // One decoder serves every strip: a second run over the same bytes must give the same output.
  std::vector<std::uint8_t> again(out_size);
  if (lzw.Decode(in, again) != written || again != out) std::abort();
  return 0;
}
