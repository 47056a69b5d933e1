#pragma once
// The static tables of the EXIF walk: EXIF/TIFF rows, GPS rows and the default row.
#include <vector>

#include "formats/exif/ExifData.h"

namespace tolvane::exif {

// Rows with their captions filled by the caption rule (built once).
const std::vector<TTagEntry>& ExifTable();
const std::vector<TTagEntry>& GpsTable();
const TTagEntry& DefaultRow();
// The caption made from a key name: a space before each capital that follows a non-capital,
// from the third character on.
std::string CaptionFromKey(const std::string& key);

// Formatters of the EXIF/TIFF and GPS rows.
std::optional<std::string> FormatComponents(const std::string& text, TImageInfo&);
std::optional<std::string> FormatShutterSpeed(const std::string& text, TImageInfo&);
std::optional<std::string> FormatFlash(const std::string& text, TImageInfo&);
std::optional<std::string> FormatUserComment(const std::string& text, TImageInfo&);
std::optional<std::string> FormatWideText(const std::string& text, TImageInfo&);
std::optional<std::string> FormatDegrees(const std::string& text, TImageInfo&);
std::optional<std::string> FormatTimeOfDay(const std::string& text, TImageInfo&);

}  // namespace tolvane::exif
