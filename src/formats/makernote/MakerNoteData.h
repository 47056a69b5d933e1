#pragma once
// Camera maker notes (EXIF tag 0x927C) of Nikon (two formats), Olympus, Casio (two formats),
// Fujifilm, Canon, Seiko, Sanyo and Minolta:
//   DecodeMakerNote  walks the maker's private directory and adds its entries (table 1) to
//                    the tag set; false when the maker is not recognised
//   TmsInfo          the decoder of one maker note
#include <string>

#include "formats/exif/ExifData.h"

namespace tolvane {

class TmsInfo {
 public:
  explicit TmsInfo(TImageInfo& info) : info_(info) {}
  bool Decode();
  const std::string& MakerName() const { return maker_name_; }

 private:
  TImageInfo& info_;
  bool tiff_file_ = false;  // maker notes are read from JPEG files only
  std::string maker_name_;
};

bool DecodeMakerNote(TImageInfo& info);

}  // namespace tolvane
