#pragma once
// The arithmetic of the Resize page: sizes in pixels, centimetres or inches at a DPI value,
// percentages of the selected image, the standard sizes, halving and doubling, and the aspect
// coupling of the two size fields. The window reads its controls and calls these; texts are
// UTF-8 and the decimal separator is passed in, so the same rules serve every locale.
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

enum class SizeUnit { kPixels = 0, kCm = 1, kInches = 2 };

struct PixelSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The nearest integer, halves to the even one; nothing when it does not fit an int.
std::optional<int> NearestInt(long double value);

// A field's text as a number: digits with at most one decimal separator and at least one digit.
std::optional<long double> ParseFieldNumber(std::string_view text, std::string_view separator);
// A whole number written in digits only, within int.
std::optional<int> ParseWholeNumber(std::string_view text);

// The value q / 100 written with up to two decimals and no trailing zeros ("26.46", "10.5", "7").
std::string HundredthsText(long long hundredths, std::string_view separator);

// A field value in the unit, as pixels. Nothing for a DPI of 0 or less in cm or inches, and for a
// result outside int.
std::optional<int> PixelsFromField(long double value, SizeUnit unit, int dpi);
std::optional<int> PixelsFromFieldText(std::string_view text, SizeUnit unit, int dpi,
                                       std::string_view separator);
// Pixels as a field text in the unit: an integer for pixels, two decimals for cm and inches.
std::optional<std::string> FieldTextFromPixels(int pixels, SizeUnit unit, int dpi,
                                               std::string_view separator);

// The text one size field gets from the other while an aspect flag is on. The width drives the
// height by dividing by the ratio; the height drives the width by multiplying, where the order
// of the factors differs between a key release and leaving the field.
enum class DriveOrder { kHundredthsFirst, kRatioFirst };
std::optional<std::string> DrivenHeightText(long double width_value, double aspect_ratio,
                                            SizeUnit unit, std::string_view separator);
std::optional<std::string> DrivenWidthText(long double height_value, double aspect_ratio,
                                           SizeUnit unit, DriveOrder order,
                                           std::string_view separator);

// percent % of extent, to the nearest pixel.
std::optional<int> PercentOf(int percent, int extent);

inline constexpr int kStandardSizeCount = 14;
// The size of a row of the standard-size list; the first row for an index outside the list.
PixelSize StandardSize(int row);

PixelSize HalfSize(PixelSize size);
// Nothing when the doubled size does not fit an int.
std::optional<PixelSize> DoubleSize(PixelSize size);

}  // namespace tolvane
