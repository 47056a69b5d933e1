#pragma once
// IPTC-IIM datasets of a JPEG's APP13 segment (inside its Photoshop resource block):
//   TIPTCdata::IptcLines  one "caption = value" line per record-2 or record-8 dataset
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/exif/ExifData.h"

namespace tolvane {

class TIPTCdata {
 public:
  // Parses the segment (its two length bytes first) and returns the lines in file order;
  // the datasets stay in Entries() until the next call.
  std::vector<std::string> IptcLines(std::span<const std::uint8_t> segment);
  const std::vector<TTagEntry>& Entries() const { return entries_; }

 private:
  std::vector<TTagEntry> entries_;
};

}  // namespace tolvane
