// Formatters of the EXIF/TIFF and GPS rows: each turns the value text into its display text.
#include <cmath>
#include <vector>

#include "formats/exif/exif_tables.h"
#include "formats/exif/exif_text.h"

namespace tolvane::exif {
namespace {

// Splits at ", " as the value texts join their elements.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(", ", start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 2;
  }
  return parts;
}

double Part(const std::vector<std::string>& parts, std::size_t i) {
  return i < parts.size() ? RationalParse(parts[i]) : 0.0;
}

}  // namespace

std::optional<std::string> FormatComponents(const std::string& text, TImageInfo&) {
  static constexpr const char* kNames[] = {"", "Y", "Cb", "Cr", "R", "G", "B"};
  std::string out;
  for (std::size_t i = 1; i <= 4 && i < text.size(); ++i) {
    const unsigned v = static_cast<unsigned char>(text[i]);
    if (v >= 1 && v <= 6) out += kNames[v];
  }
  return out;
}

std::optional<std::string> FormatShutterSpeed(const std::string& text, TImageInfo&) {
  const double v = RationalParse(text);
  const double t = 1.0 / std::exp(v * std::log(2.0));
  std::string out = FormatReal("%4.4f sec", t);
  if (t <= 0.5) {
    const long long n = RoundEven(std::pow(2.0, v));
    out += " (1/" + std::to_string(n) + ")";
  }
  return out;
}

std::optional<std::string> FormatFlash(const std::string& text, TImageInfo&) {
  const auto parsed = ParseInteger(text);
  if (!parsed) return std::nullopt;
  const long long f = *parsed;
  std::string out = (f & 1) ? "On" : "Off";
  switch (f & 6) {
    case 2:
      out += ", UNKNOWN";
      break;
    case 4:
      out += ", no strobe return";
      break;
    case 6:
      out += ", strobe return";
      break;
  }
  switch (f & 24) {
    case 8:
      out += ", forced";
      break;
    case 16:
      out += ", surpressed";
      break;
    case 24:
      out += ", auto mode";
      break;
  }
  if (f & 32) out += ", no flash function";
  if (f & 64) out += ", red-eye reduction";
  return out;
}

std::optional<std::string> FormatUserComment(const std::string& text, TImageInfo&) {
  return text.size() > 8 ? text.substr(8) : std::string();
}

std::optional<std::string> FormatWideText(const std::string& text, TImageInfo&) {
  const std::vector<std::string> parts = SplitList(text);
  std::string out;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    const auto v = ParseInteger(parts[i]);
    if (!v) return std::nullopt;
    if ((*v & 0xFF) != 0) out += static_cast<char>(*v & 0xFF);
  }
  return out;
}

std::optional<std::string> FormatDegrees(const std::string& text, TImageInfo&) {
  const std::vector<std::string> parts = SplitList(text);
  double d = Part(parts, 0), m = Part(parts, 1), s = Part(parts, 2);
  if (s == 0) {
    s = (m - std::trunc(m)) * 100 * 0.6;
    m = std::trunc(m);
  }
  return FormatReal("%0.0f Degrees ", d) + FormatReal("%0.0f Minutes ", m) +
         FormatReal("%0.0f Seconds", s);
}

std::optional<std::string> FormatTimeOfDay(const std::string& text, TImageInfo&) {
  const std::vector<std::string> parts = SplitList(text);
  return FormatReal("%0.0f:", Part(parts, 0)) + FormatReal("%0.0f:", Part(parts, 1)) +
         FormatReal("%0.0f", Part(parts, 2));
}

}  // namespace tolvane::exif
