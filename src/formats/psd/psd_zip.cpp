#include "formats/psd/psd_zip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>

namespace tolvane::psd {
namespace {

// zlib counts in 32 bits; feed it in slices no larger than that.
constexpr std::size_t kSlice = std::numeric_limits<uInt>::max();

class Inflater {
 public:
  Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ready() const { return ready_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

Status InflateInto(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  Inflater inflater;
  if (!inflater.ready()) return Status::Error("PSD: cannot start the ZIP decoder");
  z_stream& z = inflater.stream();
  std::size_t in_done = 0, out_done = 0;
  while (out_done < output.size()) {
    const std::size_t in_slice = std::min(kSlice, input.size() - in_done);
    const std::size_t out_slice = std::min(kSlice, output.size() - out_done);
    z.next_in = const_cast<Bytef*>(input.data() + in_done);
    z.avail_in = static_cast<uInt>(in_slice);
    z.next_out = output.data() + out_done;
    z.avail_out = static_cast<uInt>(out_slice);
    const int result = inflate(&z, Z_NO_FLUSH);
    const bool progress = z.avail_in != in_slice || z.avail_out != out_slice;
    in_done += in_slice - z.avail_in;
    out_done += out_slice - z.avail_out;
    if (result == Z_STREAM_END || (result == Z_BUF_ERROR && !progress)) break;
    if (result != Z_OK && result != Z_BUF_ERROR) {
      const std::string why = z.msg ? z.msg : "zlib error " + std::to_string(result);
      return Status::Error("PSD: ZIP image data is damaged (" + why + ")");
    }
  }
  if (out_done < output.size()) {
    return Status::Error("PSD: ZIP image data ends after " + std::to_string(out_done) + " of " +
                         std::to_string(output.size()) + " bytes");
  }
  return {};
}

}  // namespace tolvane::psd
