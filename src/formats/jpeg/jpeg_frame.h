#pragma once
// The frame of every JPEG output: the held metadata segments in front of the codec's stream.
#include <cstdint>
#include <span>
#include <vector>

namespace tolvane {

class TimgData;
class TImageInfo;

// Header segments a JPEG output carries from its source. Each holds the bytes that follow the
// segment's marker (the two length bytes and the payload); empty means not held. The metadata
// holder fills them; with none held the output gets the default JFIF header.
struct JpegHeaderSegments {
  std::vector<std::uint8_t> exif;     // APP1
  std::vector<std::uint8_t> app0;     // APP0, written only when no EXIF segment is held
  std::vector<std::uint8_t> iptc;     // APP13
  std::vector<std::uint8_t> comment;  // COM
};

// FF D8, the first segment (EXIF, else APP0, else the default JFIF APP0), the IPTC and comment
// segments, then the encoded stream from behind its SOI with its own leading APP0, APP1, APP13
// and COM segments dropped, in that order.
std::vector<std::uint8_t> WriteJpegWithMetadata(const JpegHeaderSegments& held,
                                                std::span<const std::uint8_t> encoded);

// The same frame around the segments the holder keeps (none without a holder). With adjust,
// the EXIF segment's stored width and height first take the encoded image's dimensions.
std::vector<std::uint8_t> WriteJpegWithMetadata(TimgData* holder,
                                                std::span<const std::uint8_t> encoded, int width,
                                                int height, bool adjust);

// What a JPEG output of this holder carries.
JpegHeaderSegments HeldSegments(TimgData& holder);

// "Clear Exif": the holder keeps no EXIF, IPTC, comment or APP0 segment for the outputs.
void ClearMetadata(TimgData& holder);
// Writes height and width into the fields of the held EXIF segment that supplied the stored
// dimensions (in its byte order, as SHORT or LONG); nothing when none were stored.
void UpdateStoredDimensions(TImageInfo& info, int height, int width);

}  // namespace tolvane
