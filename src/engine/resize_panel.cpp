#include "engine/resize_panel.h"

#include <cmath>
#include <limits>

namespace tolvane {
namespace {

constexpr long double kCmPerInch = 2.54L;

// By row of the list; the captions are only display text.
constexpr PixelSize kStandardSizes[kStandardSizeCount] = {
    {640, 480},   {800, 600},  {1024, 768},  {1152, 864},  {1280, 720},  {1280, 800},  {1280, 960},
    {1280, 1024}, {1440, 900}, {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1600},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<long long> NearestLong(long double value) {
  // Beyond this range llrintl has no defined result; the panel never needs it.
  constexpr long double kLimit = 9.0e18L;
  if (!std::isfinite(value) || value > kLimit || value < -kLimit) return std::nullopt;
  return std::llrintl(value);
}

// The field value of a driven side, q hundredths, written as the unit shows it.
std::optional<std::string> DrivenText(std::optional<long long> hundredths, SizeUnit unit,
                                      std::string_view separator) {
  if (!hundredths) return std::nullopt;
  if (unit != SizeUnit::kPixels) return HundredthsText(*hundredths, separator);
  const std::optional<int> pixels = NearestInt(static_cast<long double>(*hundredths) / 100);
  if (!pixels) return std::nullopt;
  return std::to_string(*pixels);
}

}  // namespace

std::optional<int> NearestInt(long double value) {
  const std::optional<long long> nearest = NearestLong(value);
  if (!nearest || *nearest > std::numeric_limits<int>::max() ||
      *nearest < std::numeric_limits<int>::min()) {
    return std::nullopt;
  }
  return static_cast<int>(*nearest);
}

std::optional<long double> ParseFieldNumber(std::string_view text, std::string_view separator) {
  long double whole = 0;
  long double fraction = 0;
  long double scale = 1;
  bool after_separator = false;
  bool any_digit = false;
  for (std::size_t i = 0; i < text.size();) {
    if (!separator.empty() && text.substr(i, separator.size()) == separator) {
      if (after_separator) return std::nullopt;
      after_separator = true;
      i += separator.size();
      continue;
    }
    if (!IsDigit(text[i])) return std::nullopt;
    const int digit = text[i] - '0';
    if (after_separator) {
      scale /= 10;
      fraction += digit * scale;
    } else {
      whole = whole * 10 + digit;
    }
    any_digit = true;
    ++i;
  }
  if (!any_digit) return std::nullopt;
  return whole + fraction;
}

std::optional<int> ParseWholeNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
  }
  return static_cast<int>(value);
}

std::string HundredthsText(long long hundredths, std::string_view separator) {
  const bool negative = hundredths < 0;
  const unsigned long long magnitude =
      negative ? 0ULL - static_cast<unsigned long long>(hundredths) : hundredths;
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / 100);
  const unsigned long long cents = magnitude % 100;
  if (cents != 0) {
    text += separator;
    text += static_cast<char>('0' + cents / 10);
    if (cents % 10 != 0) text += static_cast<char>('0' + cents % 10);
  }
  return text;
}

std::optional<int> PixelsFromField(long double value, SizeUnit unit, int dpi) {
  switch (unit) {
    case SizeUnit::kPixels:
      return NearestInt(value);
    case SizeUnit::kCm:
      if (dpi <= 0) return std::nullopt;
      return NearestInt(value * dpi / kCmPerInch);
    case SizeUnit::kInches:
      if (dpi <= 0) return std::nullopt;
      return NearestInt(value * dpi);
  }
  return std::nullopt;
}

std::optional<int> PixelsFromFieldText(std::string_view text, SizeUnit unit, int dpi,
                                       std::string_view separator) {
  const std::optional<long double> value = ParseFieldNumber(text, separator);
  if (!value) return std::nullopt;
  return PixelsFromField(*value, unit, dpi);
}

std::optional<std::string> FieldTextFromPixels(int pixels, SizeUnit unit, int dpi,
                                               std::string_view separator) {
  if (unit == SizeUnit::kPixels) return std::to_string(pixels);
  if (dpi <= 0) return std::nullopt;
  const long double value =
      unit == SizeUnit::kCm ? pixels * kCmPerInch / dpi : static_cast<long double>(pixels) / dpi;
  const std::optional<long long> hundredths = NearestLong(value * 100);
  if (!hundredths) return std::nullopt;
  return HundredthsText(*hundredths, separator);
}

std::optional<std::string> DrivenHeightText(long double width_value, double aspect_ratio,
                                            SizeUnit unit, std::string_view separator) {
  return DrivenText(NearestLong(width_value * 100 / aspect_ratio), unit, separator);
}

std::optional<std::string> DrivenWidthText(long double height_value, double aspect_ratio,
                                           SizeUnit unit, DriveOrder order,
                                           std::string_view separator) {
  const long double ratio = aspect_ratio;
  const long double product = order == DriveOrder::kHundredthsFirst ? height_value * 100 * ratio
                                                                    : height_value * ratio * 100;
  return DrivenText(NearestLong(product), unit, separator);
}

std::optional<int> PercentOf(int percent, int extent) {
  return NearestInt(static_cast<long double>(percent) * extent / 100);
}

PixelSize StandardSize(int row) {
  if (row < 0 || row >= kStandardSizeCount) row = 0;
  return kStandardSizes[row];
}

PixelSize HalfSize(PixelSize size) {
  return {*NearestInt(size.width / 2.0L), *NearestInt(size.height / 2.0L)};
}

std::optional<PixelSize> DoubleSize(PixelSize size) {
  const std::optional<int> width = NearestInt(size.width * 2.0L);
  const std::optional<int> height = NearestInt(size.height * 2.0L);
  if (!width || !height) return std::nullopt;
  return PixelSize{*width, *height};
}

}  // namespace tolvane
