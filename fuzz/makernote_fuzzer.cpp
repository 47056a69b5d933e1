// Puts arbitrary bytes into the MakerNote field of a small EXIF segment of one of the makers
// the decoder knows (chosen by the first input byte), so every maker's private walk is reached.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"

namespace {

constexpr std::array<const char*, 10> kMakes = {"NIKON", "OLYMPUS", "CASIO",   "FUJIFILM", "Canon",
                                                "SEIKO", "SANYO",   "Minolta", "NIKON",    "Kodak"};
// The note must fit a segment's 16-bit length with the directories around it.
constexpr std::size_t kMaxNote = 60000;

class Writer {
 public:
  explicit Writer(bool mm) : mm_(mm) {}
  void Put(std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
      bytes_.push_back(std::uint8_t(v >> (mm_ ? 8 * (n - 1 - i) : 8 * i)));
  }
  void Entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    Put(tag, 2), Put(type, 2), Put(count, 4);
    if (type == 7 && count <= 4) {
      for (int i = 0; i < 4; ++i) bytes_.push_back(std::uint8_t(value >> (8 * (3 - i))));
    } else {
      Put(value, 4);
    }
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  bool mm_;
  std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> MakerJpeg(std::uint8_t choice, std::span<const std::uint8_t> note) {
  const bool mm = choice & 0x80;
  const std::string make = std::string(kMakes[choice % kMakes.size()]) + '\0';
  const std::uint32_t version = (choice & 0x40) ? 0x30323230 : 0x30323130;  // "0220" / "0210"
  Writer w(mm);
  // TIFF header, IFD0 {Make, ExifOffset} at 8, Exif {ExifVersion, MakerNote} at 38, data at 68.
  w.Put(mm ? 0x4D4D : 0x4949, 2), w.Put(42, 2), w.Put(8, 4);
  const std::uint32_t make_at = 68, note_at = 68 + std::uint32_t(make.size());
  w.Put(2, 2), w.Entry(0x010F, 2, std::uint32_t(make.size()), make_at), w.Entry(0x8769, 4, 1, 38),
      w.Put(0, 4);
  w.Put(2, 2), w.Entry(0x9000, 7, 4, version),
      w.Entry(0x927C, 7, std::uint32_t(note.size()), note_at), w.Put(0, 4);
  std::vector<std::uint8_t>& tiff = w.bytes();
  tiff.insert(tiff.end(), make.begin(), make.end());
  tiff.insert(tiff.end(), note.begin(), note.end());
  const std::size_t length = 2 + 6 + tiff.size();
  std::vector<std::uint8_t> jpeg = {
      0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length), 'E', 'x',
      'i',  'f',  0,    0};
  jpeg.insert(jpeg.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x02});
  return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto note = std::span<const std::uint8_t>(data + 1, std::min(size - 1, kMaxNote));
  tolvane::TimgData holder;
  if (!holder.ReadMetadataBytes(MakerJpeg(data[0], note))) return 0;
  const tolvane::TImageInfo* info = holder.ExifInfo();
  if (info == nullptr) std::abort();
  // An empty note is an entry of size 0, which the walk passes over.
  const bool known = data[0] % kMakes.size() != kMakes.size() - 1 && !note.empty();
  if (info->MakerNoteDecoded() != known) std::abort();
  for (const auto& entry : info->Entries()) {
    if (entry.TagNumber == 0) std::abort();
  }
  (void)tolvane::ReportMakerBlock(holder);
  return 0;
}
