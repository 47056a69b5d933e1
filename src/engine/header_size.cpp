#include "engine/header_size.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "formats/codecs.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace tolvane {
namespace {

// Positioned reads of an open file that fail cleanly past its end.
class HeaderReader {
 public:
  explicit HeaderReader(int fd) : fd_(fd) {}

  bool Read(std::uint64_t at, std::size_t count, std::vector<std::uint8_t>& out) const {
    out.resize(count);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, out.data() + done, count - done, off_t(at + done));
      if (n <= 0) return false;
      done += std::size_t(n);
    }
    return true;
  }
  std::optional<std::uint32_t> U16(std::uint64_t at, bool big) const { return Number(at, 2, big); }
  std::optional<std::uint32_t> U32(std::uint64_t at, bool big) const { return Number(at, 4, big); }

 private:
  std::optional<std::uint32_t> Number(std::uint64_t at, std::size_t count, bool big) const {
    std::vector<std::uint8_t> bytes;
    if (!Read(at, count, bytes)) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t b = big ? bytes[i] : bytes[count - 1 - i];
      value = (value << 8) | b;
    }
    return value;
  }

  int fd_;
};

std::optional<PictureSize> Sized(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0 || width > 1 << 30 || height > 1 << 30) return std::nullopt;
  return PictureSize{int(width), int(height)};
}

std::optional<PictureSize> Both(std::optional<std::uint32_t> w, std::optional<std::uint32_t> h) {
  if (!w || !h) return std::nullopt;
  return Sized(*w, *h);
}

std::optional<PictureSize> BmpSize(const HeaderReader& r) {
  const auto info = r.U32(14, false);
  if (!info) return std::nullopt;
  if (*info == 12) return Both(r.U16(18, false), r.U16(20, false));
  const auto w = r.U32(18, false), h = r.U32(22, false);
  if (!w || !h) return std::nullopt;
  // A negative height marks rows stored top-down.
  return Sized(std::int32_t(*w), std::abs(std::int64_t(std::int32_t(*h))));
}

std::optional<PictureSize> PngSize(const HeaderReader& r) {
  return Both(r.U32(16, true), r.U32(20, true));
}

std::optional<PictureSize> PsdSize(const HeaderReader& r) {
  const auto h = r.U32(14, true), w = r.U32(18, true);
  return Both(w, h);
}

// The frame marker (SOF0..SOF15 but DHT, JPG and DAC) carries the size; segments before it are
// skipped by their lengths.
std::optional<PictureSize> JpegSize(const HeaderReader& r) {
  std::uint64_t at = 2;
  for (int segments = 0; segments < 4096; ++segments) {
    const auto marker = r.U16(at, true);
    if (!marker || (*marker >> 8) != 0xFF) return std::nullopt;
    const std::uint32_t code = *marker & 0xFF;
    if (code == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const auto length = r.U16(at + 2, true);
    if (!length || *length < 2) return std::nullopt;
    if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
      return Both(r.U16(at + 7, true), r.U16(at + 5, true));
    }
    at += 2 + *length;
  }
  return std::nullopt;
}

// Skips the sub-blocks starting at `at`, up to and past the empty one; false at the file's end.
bool SkipSubBlocks(const HeaderReader& r, std::uint64_t& at) {
  std::vector<std::uint8_t> size;
  for (;;) {
    if (!r.Read(at, 1, size)) return false;
    at += 1 + size[0];
    if (size[0] == 0) return true;
  }
}

// The frame the decoder takes (one third into the frames, as it counts them): the sizes of
// the image descriptors, walking past colour tables, extensions and image data.
std::optional<PictureSize> GifSize(const HeaderReader& r) {
  std::vector<std::uint8_t> byte;
  if (!r.Read(10, 1, byte)) return std::nullopt;
  std::uint64_t at = 13;
  if (byte[0] & 0x80) at += 3u << ((byte[0] & 7) + 1);
  std::vector<PictureSize> frames;
  while (r.Read(at, 1, byte) && byte[0] != 0x3B) {
    if (byte[0] == 0x21) {
      at += 2;  // introducer and label
    } else if (byte[0] == 0x2C) {
      const auto frame = Both(r.U16(at + 5, false), r.U16(at + 7, false));
      if (!frame || !r.Read(at + 9, 1, byte)) break;
      at += 10 + ((byte[0] & 0x80) ? 3u << ((byte[0] & 7) + 1) : 0) + 1;  // and the code size
      frames.push_back(*frame);
    } else {
      break;
    }
    if (!SkipSubBlocks(r, at)) break;
  }
  if (frames.empty()) return std::nullopt;
  return frames[frames.size() / 3];
}

std::optional<PictureSize> TiffSize(const HeaderReader& r, bool big) {
  const auto ifd = r.U32(4, big);
  const auto count = ifd ? r.U16(*ifd, big) : std::nullopt;
  if (!count) return std::nullopt;
  std::optional<std::uint32_t> width, height;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::uint64_t entry = *ifd + 2 + 12 * std::uint64_t(i);
    const auto tag = r.U16(entry, big), type = r.U16(entry + 2, big);
    if (!tag || !type) return std::nullopt;
    if (*tag != 256 && *tag != 257) continue;
    const auto value = *type == 3 ? r.U16(entry + 8, big) : r.U32(entry + 8, big);
    (*tag == 256 ? width : height) = value;
  }
  return Both(width, height);
}

}  // namespace

std::optional<PictureSize> HeaderSize(const std::string& path) {
  const CodecRow* row = FindCodec(path);
  if (row == nullptr || row->decode == nullptr) return std::nullopt;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const HeaderReader r(fd.get());
  std::vector<std::uint8_t> magic;
  if (!r.Read(0, 4, magic)) return std::nullopt;
  const auto starts = [&magic](std::initializer_list<std::uint8_t> bytes) {
    return std::equal(bytes.begin(), bytes.end(), magic.begin());
  };
  // By the file's own signature: the decoders judge the content too.
  if (starts({'B', 'M'})) return BmpSize(r);
  if (starts({0x89, 'P', 'N', 'G'})) return PngSize(r);
  if (starts({0xFF, 0xD8})) return JpegSize(r);
  if (starts({'G', 'I', 'F', '8'})) return GifSize(r);
  if (starts({'8', 'B', 'P', 'S'})) return PsdSize(r);
  if (starts({'I', 'I', 42, 0})) return TiffSize(r, false);
  if (starts({'M', 'M', 0, 42})) return TiffSize(r, true);
  return std::nullopt;
}

}  // namespace tolvane
