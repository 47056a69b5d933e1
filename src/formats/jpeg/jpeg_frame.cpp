#include "formats/jpeg/jpeg_frame.h"

#include <algorithm>
#include <array>

#include "formats/exif/ExifData.h"

namespace tolvane {
namespace {

// JFIF 1.02, 300 x 300 dots per inch, no thumbnail.
constexpr std::array<std::uint8_t, 18> kDefaultApp0 = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46,
                                                       0x49, 0x46, 0x00, 0x01, 0x02, 0x01,
                                                       0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
// Leading segments of the codec's own stream that the frame replaces, in the order looked for.
constexpr std::array<std::uint8_t, 4> kReplacedMarkers = {0xE0, 0xE1, 0xED, 0xFE};

void PutSegment(std::vector<std::uint8_t>& out, std::uint8_t marker,
                const std::vector<std::uint8_t>& body) {
  out.push_back(0xFF);
  out.push_back(marker);
  out.insert(out.end(), body.begin(), body.end());
}

// Where the stream continues once a segment with this marker at `pos` is skipped; pos itself
// when another marker stands there. The segment is looked at through a 12-byte window, so a
// stream too short for it is left alone.
std::size_t SkipSegment(std::span<const std::uint8_t> stream, std::size_t pos,
                        std::uint8_t marker) {
  if (pos + 12 > stream.size() || stream[pos + 1] != marker) return pos;
  const std::size_t length = (std::size_t{stream[pos + 2]} << 8) | stream[pos + 3];
  return std::min(pos + length + 2, stream.size());
}

}  // namespace

std::vector<std::uint8_t> WriteJpegWithMetadata(const JpegHeaderSegments& held,
                                                std::span<const std::uint8_t> encoded) {
  std::vector<std::uint8_t> out;
  out.reserve(kDefaultApp0.size() + held.exif.size() + held.app0.size() + held.iptc.size() +
              held.comment.size() + encoded.size() + 10);
  out.push_back(0xFF);
  out.push_back(0xD8);
  if (!held.exif.empty()) {
    PutSegment(out, 0xE1, held.exif);
  } else if (!held.app0.empty()) {
    PutSegment(out, 0xE0, held.app0);
  } else {
    out.insert(out.end(), kDefaultApp0.begin(), kDefaultApp0.end());
  }
  if (!held.iptc.empty()) PutSegment(out, 0xED, held.iptc);
  if (!held.comment.empty()) PutSegment(out, 0xFE, held.comment);

  std::size_t pos = 2;
  for (const std::uint8_t marker : kReplacedMarkers) {
    pos = SkipSegment(encoded, pos, marker);
  }
  if (pos < encoded.size()) out.insert(out.end(), encoded.begin() + pos, encoded.end());
  return out;
}

namespace {

std::vector<std::uint8_t> BodyOf(const tSection* section) {
  return section == nullptr ? std::vector<std::uint8_t>() : section->data;
}

}  // namespace

JpegHeaderSegments HeldSegments(TimgData& holder) {
  return {BodyOf(holder.ExifSegment()), BodyOf(holder.HeaderSegment()),
          BodyOf(holder.IptcSegment()), BodyOf(holder.CommentSegment())};
}

std::vector<std::uint8_t> WriteJpegWithMetadata(TimgData* holder,
                                                std::span<const std::uint8_t> encoded, int width,
                                                int height, bool adjust) {
  if (holder == nullptr) return WriteJpegWithMetadata(JpegHeaderSegments{}, encoded);
  if (adjust && holder->ExifInfo() != nullptr) {
    UpdateStoredDimensions(*holder->ExifInfo(), height, width);
  }
  return WriteJpegWithMetadata(HeldSegments(*holder), encoded);
}

void ClearMetadata(TimgData& holder) { holder.ClearMetadata(); }

void UpdateStoredDimensions(TImageInfo& info, int height, int width) {
  info.UpdateStoredDimensions(height, width);
}

}  // namespace tolvane
