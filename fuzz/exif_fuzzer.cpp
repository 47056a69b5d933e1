// Feeds arbitrary bytes to the JPEG header scan as ReadMetadata reads a file, then builds the
// full report and a JPEG output from whatever the holder kept.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "formats/exif/ExifData.h"
#include "formats/exif/exif_report.h"
#include "formats/iptc/IptcData.h"
#include "formats/jpeg/jpeg_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::TimgData holder;
  const bool found = holder.ReadMetadataBytes(std::span<const std::uint8_t>(data, size));
  // A failed scan may leave segments attached; a successful one always holds one.
  if (found && !holder.HasMetadata()) std::abort();
  std::size_t lines = tolvane::ReportExifBlock(holder).size();
  lines += tolvane::ReportMakerBlock(holder).size();
  if (holder.HasIptc()) lines += holder.IptcInfo()->IptcLines(holder.IptcSegment()->data).size();
  (void)holder.ShortSummary();
  (void)holder.LongSummary();
  (void)holder.CommentText();
  const std::vector<std::uint8_t> stream = {0xFF, 0xD8, 0xFF, 0xD9};
  const auto out = tolvane::WriteJpegWithMetadata(&holder, stream, 640, 480, true);
  if (out.size() < 4 || out[0] != 0xFF || out[1] != 0xD8 || lines < 3) std::abort();
  return 0;
}
