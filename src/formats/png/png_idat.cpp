#include "formats/png/png_idat.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_reader.h"

namespace tolvane::png_idat {
namespace {

constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
// Rows are inflated into a window of about this size, small enough to stay in the cache while
// they are unfiltered and handed on.
constexpr std::size_t kWindowBytes = std::size_t{256} << 10;
// After the last row, at most this much further output is inflated while looking for the
// stream's checksum; a stream that goes on longer is left unread, as extra data is ignored.
constexpr std::size_t kTrailingBytes = std::size_t{64} << 10;

Status Fail(const std::string& what) { return Status::Error("PNG: " + what); }

Status InflateFailure(int result) {
  switch (result) {
    case ISAL_INVALID_BLOCK:
      return Fail("IDAT: invalid block type");
    case ISAL_INVALID_SYMBOL:
      return Fail("IDAT: invalid code");
    case ISAL_INVALID_LOOKBACK:
      return Fail("IDAT: invalid distance too far back");
    case ISAL_INVALID_WRAPPER:
    case ISAL_UNSUPPORTED_METHOD:
      return Fail("IDAT: invalid zlib header");
    case ISAL_INCORRECT_CHECKSUM:
      return Fail("IDAT: incorrect data check");
    case ISAL_NEED_DICT:
      return Fail("IDAT: the stream needs a preset dictionary");
    default:
      return Fail("IDAT: damaged image data");
  }
}

// The data of consecutive IDAT chunks, one chunk at a time.
class IdatRun {
 public:
  IdatRun(std::span<const std::uint8_t> file, std::size_t first_data)
      : file_(file), next_(first_data >= 8 ? first_data - 8 : file.size() + 1) {}

  // The next non-empty chunk's data in *data, or nothing once a chunk of another type follows.
  Status Next(std::span<const std::uint8_t>* data) {
    *data = {};
    while (!ended_) {
      ByteReader r(file_);
      r.Seek(next_);
      const std::uint32_t length = r.u32be();
      const auto type = r.Bytes(4);
      if (!r.ok()) return Fail("the file is truncated");
      if (std::memcmp(type->data(), "IDAT", 4) != 0) {
        ended_ = true;
        break;
      }
      if (length > kMaxChunkLength) return Fail("PNG unsigned integer out of range");
      const auto body = r.Bytes(length);
      const std::uint32_t stored_crc = r.u32be();
      if (!r.ok()) return Fail("the file is truncated");
      // Type and data lie one after the other, and the CRC covers both.
      if (crc32_gzip_refl(0, type->data(), 4 + length) != stored_crc) {
        return Fail("IDAT: CRC error");
      }
      next_ = r.pos();
      if (length == 0) continue;
      *data = *body;
      return {};
    }
    return {};
  }

 private:
  std::span<const std::uint8_t> file_;
  std::size_t next_;  // where the next chunk's length field is
  bool ended_ = false;
};

std::uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c);
  const int pb = std::abs(a - c);
  const int pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return std::uint8_t(a);
  return std::uint8_t(pb <= pc ? b : c);
}

// Undoes one row's filter in place; `above` is the unfiltered row above (zeros for the first).
// The pixel distance is a constant so that the compiler can unroll the inner loops.
template <std::size_t B>
bool Unfilter(std::uint8_t filter, std::uint8_t* d, const std::uint8_t* above, std::size_t n) {
  const std::size_t lead = std::min(B, n);
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = B; i < n; ++i) d[i] = std::uint8_t(d[i] + d[i - B]);
      return true;
    case 2:
      for (std::size_t i = 0; i < n; ++i) d[i] = std::uint8_t(d[i] + above[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < lead; ++i) d[i] = std::uint8_t(d[i] + (above[i] >> 1));
      for (std::size_t i = B; i < n; ++i) {
        d[i] = std::uint8_t(d[i] + ((d[i - B] + above[i]) >> 1));
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < lead; ++i) d[i] = std::uint8_t(d[i] + above[i]);
      for (std::size_t i = B; i < n; ++i) {
        d[i] = std::uint8_t(d[i] + Paeth(d[i - B], above[i], above[i - B]));
      }
      return true;
    default:
      return false;
  }
}

bool UnfilterRow(int pixel_bytes, std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above,
                 std::size_t n) {
  switch (pixel_bytes) {
    case 1:
      return Unfilter<1>(filter, row, above, n);
    case 2:
      return Unfilter<2>(filter, row, above, n);
    case 3:
      return Unfilter<3>(filter, row, above, n);
    default:
      return Unfilter<4>(filter, row, above, n);
  }
}

// The stream's inflater over the run of IDAT chunks.
class Inflater {
 public:
  Inflater(std::span<const std::uint8_t> file, std::size_t first_data)
      : run_(file, first_data), state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_ZLIB;  // checks the zlib header and the checksum at the end
  }

  // Inflates into out[0, size) as far as the data allows, setting *produced; fails on damage
  // and when the data ends (stream or chunks) before the rows do.
  Status Into(std::uint8_t* out, std::size_t size, std::size_t* produced) {
    if (state_->block_state == ISAL_BLOCK_FINISH) return Fail("Not enough image data");
    if (state_->avail_in == 0) {
      if (Status s = Refill(); !s) return s;
      if (state_->avail_in == 0) return Fail("Not enough image data");
    }
    const std::uint32_t in_before = state_->avail_in;
    state_->next_out = out;
    state_->avail_out = std::uint32_t(size);
    const int result = isal_inflate(state_.get());
    if (result != ISAL_DECOMP_OK) return InflateFailure(result);
    *produced = size - state_->avail_out;
    // Never loop on a stream that neither reads nor writes.
    if (*produced == 0 && state_->avail_in == in_before &&
        state_->block_state != ISAL_BLOCK_FINISH) {
      return Fail("IDAT: damaged image data");
    }
    return {};
  }

  // Inflates what follows the last row, so that a checksum that does not match the image's
  // data is found. A missing checksum, a damaged chunk or stream, or extra data after the last
  // row leave the image as it is.
  Status CheckTrailer() {
    std::uint8_t scratch[4096];
    std::size_t extra = 0;
    while (state_->block_state != ISAL_BLOCK_FINISH && extra <= kTrailingBytes) {
      if (state_->avail_in == 0 && (!Refill() || state_->avail_in == 0)) return {};
      const std::uint32_t in_before = state_->avail_in;
      state_->next_out = scratch;
      state_->avail_out = sizeof scratch;
      const int result = isal_inflate(state_.get());
      if (result == ISAL_INCORRECT_CHECKSUM) return InflateFailure(result);
      const std::size_t produced = sizeof scratch - state_->avail_out;
      if (result != ISAL_DECOMP_OK || (produced == 0 && state_->avail_in == in_before)) return {};
      extra += produced;
    }
    return {};
  }

 private:
  Status Refill() {
    std::span<const std::uint8_t> data;
    if (Status s = run_.Next(&data); !s) return s;
    state_->next_in = const_cast<std::uint8_t*>(data.data());
    state_->avail_in = std::uint32_t(data.size());
    return {};
  }

  IdatRun run_;
  std::unique_ptr<inflate_state> state_;
};

// Rows inflated into a window, unfiltered once complete and handed on. Slot 0 keeps the last
// unfiltered row of the previous window; the window follows it.
class RowWindow {
 public:
  explicit RowWindow(const Layout& layout)
      : layout_(layout),
        stride_(layout.row_bytes + 1),
        capacity_(std::max<std::size_t>(1, kWindowBytes / stride_) * stride_),
        buffer_(stride_ + capacity_, 0),
        above_(buffer_.data() + 1) {}

  std::uint8_t* FreeSpace() { return Window() + filled_; }
  std::size_t FreeSize() const { return capacity_ - filled_; }

  // Takes `produced` new bytes, unfilters the rows now complete and hands them to `use`,
  // advancing *y; extra rows after the last are dropped. False on an unknown filter.
  bool Take(std::size_t produced, int* y,
            const std::function<void(int, const std::uint8_t*)>& use) {
    filled_ += produced;
    std::size_t done = 0;
    for (; done + stride_ <= filled_ && *y < layout_.height; done += stride_, ++*y) {
      std::uint8_t* row = Window() + done;
      if (!UnfilterRow(layout_.pixel_bytes, row[0], row + 1, above_, layout_.row_bytes)) {
        return false;
      }
      use(*y, row + 1);
      above_ = row + 1;
    }
    if (done > 0) {
      std::memcpy(buffer_.data() + 1, above_, layout_.row_bytes);
      above_ = buffer_.data() + 1;
      std::memmove(Window(), Window() + done, filled_ - done);
      filled_ -= done;
    }
    return true;
  }

 private:
  std::uint8_t* Window() { return buffer_.data() + stride_; }

  const Layout layout_;
  const std::size_t stride_;  // the filter byte, then the row
  const std::size_t capacity_;
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* above_;  // the unfiltered row above the next one
  std::size_t filled_ = 0;
};

}  // namespace

Status ReadRows(std::span<const std::uint8_t> file, std::size_t first_data, const Layout& layout,
                const std::function<void(int y, const std::uint8_t* row)>& use) {
  if (layout.pixel_bytes < 1 || layout.pixel_bytes > 4 || layout.row_bytes == 0 ||
      layout.height <= 0) {
    return Fail("unsupported row layout");
  }
  RowWindow window(layout);
  Inflater inflater(file, first_data);
  for (int y = 0; y < layout.height;) {
    std::size_t produced = 0;
    if (Status s = inflater.Into(window.FreeSpace(), window.FreeSize(), &produced); !s) return s;
    if (!window.Take(produced, &y, use)) return Fail("bad adaptive filter value");
  }
  return inflater.CheckTrailer();
}

}  // namespace tolvane::png_idat
