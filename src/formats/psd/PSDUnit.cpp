// Reading a PSD document: parse the header, validate it, walk past the sections that do not
// hold the composite image, then draw the picture from the image data section.
#include "formats/psd/PSDUnit.h"

#include <algorithm>
#include <cstring>

#include "formats/psd/psd.h"
#include "formats/psd/psd_colour.h"
#include "formats/psd/psd_planes.h"
#include "platform/byte_reader.h"
#include "platform/file_ops.h"

namespace tolvane {
namespace {

using psd::ColourMode;

// Source files larger than this are refused before they are read.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

Status Fail(const std::string& message) { return Status::Error("PSD: " + message); }

std::string Num(std::uint64_t v) { return std::to_string(v); }

const char* ModeName(std::uint16_t mode) {
  switch (static_cast<ColourMode>(mode)) {
    case ColourMode::kBitmap:
      return "Bitmap";
    case ColourMode::kGrayscale:
      return "Grayscale";
    case ColourMode::kIndexed:
      return "Indexed";
    case ColourMode::kRgb:
      return "RGB";
    case ColourMode::kCmyk:
      return "CMYK";
    case ColourMode::kMultichannel:
      return "Multichannel";
    case ColourMode::kDuotone:
      return "Duotone";
    case ColourMode::kLab:
      return "Lab";
  }
  return "unknown";
}

psd::Header ParseHeader(ByteReader& reader) {
  psd::Header h;
  h.signature = reader.u32be();
  h.version = reader.u16be();
  reader.Skip(6);  // reserved
  h.channels = reader.u16be();
  h.height = reader.u32be();
  h.width = reader.u32be();
  h.depth = reader.u16be();
  h.mode = reader.u16be();
  return h;
}

Status ValidateFormat(const psd::Header& h) {
  if (h.version == psd::kVersionLarge) {
    return Fail("large document format (version 2) is not supported");
  }
  if (h.version != psd::kVersionDocument) return Fail("unknown version " + Num(h.version));
  if (h.channels == 0 || h.channels > psd::kMaxChannels) {
    return Fail(Num(h.channels) + " channels (1 to 56 allowed)");
  }
  if (h.depth == 32) return Fail("32-bit samples are not supported");
  if (h.depth != 1 && h.depth != 8 && h.depth != 16) return Fail("depth " + Num(h.depth));
  return {};
}

Status ValidateMode(const psd::Header& h) {
  const auto mode = static_cast<ColourMode>(h.mode);
  const int planes = psd::PlanesOfMode(mode);
  const std::string name = "colour mode " + Num(h.mode) + " (" + ModeName(h.mode) + ")";
  if (planes == 0) return Fail(name + " is not supported");
  const bool depth_ok = mode == ColourMode::kBitmap    ? h.depth == 1
                        : mode == ColourMode::kIndexed ? h.depth == 8
                                                       : h.depth != 1;
  if (!depth_ok) return Fail(name + " at depth " + Num(h.depth) + " is not supported");
  if (h.channels < planes) {
    return Fail(name + " needs " + Num(planes) + " channels, the file has " + Num(h.channels));
  }
  return {};
}

Status ValidateHeader(const psd::Header& h, std::uint64_t max_pixels) {
  if (Status s = ValidateFormat(h); !s) return s;
  if (Status s = ValidateMode(h); !s) return s;
  if (Status s = CheckImageSize(h.width, h.height, "PSD"); !s) return s;
  if (std::uint64_t{h.width} * h.height > max_pixels) {
    return Fail("image of " + Num(h.width) + " x " + Num(h.height) +
                " pixels exceeds the size limit");
  }
  return {};
}

// A section is a 32-bit length and that many bytes.
std::optional<std::span<const std::uint8_t>> ReadSection(ByteReader& reader) {
  const std::uint32_t length = reader.u32be();
  return reader.ok() ? reader.Bytes(length) : std::nullopt;
}

// The colour-mode data: Indexed documents keep their colour table there.
Status ReadColourModeData(ByteReader& reader, const psd::Header& h,
                          std::array<std::uint8_t, psd::kColourTableSize>& table) {
  const auto data = ReadSection(reader);
  if (!data) return Fail("the file ends inside the colour mode data");
  table.fill(0);
  if (static_cast<ColourMode>(h.mode) == ColourMode::kIndexed) {
    std::copy_n(data->begin(), std::min<std::size_t>(data->size(), table.size()), table.begin());
  }
  return {};
}

Status SkipSections(ByteReader& reader) {
  if (!ReadSection(reader)) return Fail("the file ends inside the image resources");
  if (!ReadSection(reader)) return Fail("the file ends inside the layer and mask information");
  return {};
}

}  // namespace

std::size_t TPackbitsRLE::Decode(std::span<const std::uint8_t> input,
                                 std::span<std::uint8_t> output) const {
  std::size_t in = 0, out = 0;
  while (in < input.size() && out < output.size()) {
    const int h = static_cast<std::int8_t>(input[in++]);
    if (h == -128) continue;
    if (h >= 0) {
      const std::size_t n = std::min({std::size_t(h) + 1, input.size() - in, output.size() - out});
      std::memcpy(output.data() + out, input.data() + in, n);
      in += std::size_t(h) + 1;
      out += n;
    } else if (in < input.size()) {
      const std::size_t n = std::min(std::size_t(1 - h), output.size() - out);
      std::memset(output.data() + out, input[in++], n);
      out += n;
    }
  }
  return out;
}

Status TPSDGraphic::LoadFromStream(std::span<const std::uint8_t> data, std::uint64_t max_pixels) {
  ByteReader reader(data);
  const psd::Header header = ParseHeader(reader);
  if (header.signature != psd::kSignature) return Status::Error(kPsdInvalidFileText);
  if (!reader.ok()) return Fail("the file ends inside the header");
  if (Status s = ValidateHeader(header, max_pixels); !s) return s;
  std::array<std::uint8_t, psd::kColourTableSize> table{};
  if (Status s = ReadColourModeData(reader, header, table); !s) return s;
  if (Status s = SkipSections(reader); !s) return s;

  const auto mode = static_cast<ColourMode>(header.mode);
  const psd::PlaneLayout layout{header.width, header.height, header.channels,
                                std::uint16_t(psd::PlanesOfMode(mode)), header.depth};
  psd::PlaneRows rows;
  if (Status s = rows.Open(data.subspan(reader.pos()), layout); !s) return s;
  TBitmap picture;
  if (Status s = psd::BuildPicture(mode, rows, layout, table, picture); !s) return s;
  static_cast<TBitmap&>(*this) = std::move(picture);
  colour_table_ = table;
  return {};
}

Status TPSDGraphic::LoadFromFile(const std::string& path) {
  Status status;
  const auto bytes = ReadFileBytes(path, kMaxFileBytes, &status);
  if (!bytes) return status;
  return LoadFromStream(*bytes);
}

}  // namespace tolvane
