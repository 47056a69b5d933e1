#include "formats/exif/exif_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tolvane::exif {

std::string DecodeLookup(const std::string& list, const std::string& value) {
  const std::string haystack = "," + list + ",";
  const std::string needle = "," + Trim(value) + ":";
  const std::size_t at = haystack.find(needle);
  if (at == std::string::npos) return {};
  const std::size_t from = at + needle.size();
  return haystack.substr(from, haystack.find(',', from) - from);
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

namespace {

std::optional<double> ParseReal(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<double> ParseFraction(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return ParseReal(text);
  const auto n = ParseReal(text.substr(0, slash));
  const auto d = ParseReal(text.substr(slash + 1));
  if (!n || !d || *d == 0) return std::nullopt;
  return *n / *d;
}

}  // namespace

double RationalParse(const std::string& text) {
  const std::string t = Trim(text);
  const std::size_t space = t.find(' ');
  if (space == std::string::npos) return ParseFraction(t).value_or(0.0);
  const auto whole = ParseReal(t.substr(0, space));
  const std::string fraction = Trim(t.substr(space + 1));
  const std::size_t slash = fraction.find('/');
  if (!whole || slash == std::string::npos) return 0.0;
  const auto n = ParseReal(fraction.substr(0, slash));
  const auto d = ParseReal(fraction.substr(slash + 1));
  if (!n || !d || *d == 0) return 0.0;
  return (*whole * *d + *n) / *d;
}

std::string CleanText(const std::string& text) {
  std::string out = text.substr(0, 50);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32) c = '.';
  }
  return out;
}

std::string FormatReal(const char* pattern, double value) {
  char buffer[512];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, value);
  if (n < 0) return {};
  return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

std::optional<long long> ParseInteger(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 18) return std::nullopt;
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  long long v = 0;
  for (std::size_t k = i; k < t.size(); ++k) {
    if (t[k] < '0' || t[k] > '9') return std::nullopt;
    v = v * 10 + (t[k] - '0');
  }
  return t[0] == '-' ? -v : v;
}

long long RoundEven(double value) {
  if (!std::isfinite(value)) return 0;
  constexpr double kLimit = 9.2e18;
  if (value > kLimit) return std::numeric_limits<long long>::max();
  if (value < -kLimit) return std::numeric_limits<long long>::min();
  return std::llrint(value);  // the default rounding mode rounds halves to even
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace tolvane::exif
