#pragma once
// Text helpers shared by the EXIF walk, the maker notes and their formatters.
#include <optional>
#include <string>

namespace tolvane::exif {

// The text after ",v:" in the list (up to the next ","), empty when v is not listed.
std::string DecodeLookup(const std::string& list, const std::string& value);
// "w n/d", "n/d" or a plain number; 0 for anything unreadable.
double RationalParse(const std::string& text);
// At most 50 characters, control characters shown as ".".
std::string CleanText(const std::string& text);
std::string Trim(const std::string& text);
// printf-style formatting of one real value with a pattern from the tables.
std::string FormatReal(const char* pattern, double value);
// A whole number (optional sign, digits, surrounding blanks allowed); nullopt otherwise.
std::optional<long long> ParseInteger(const std::string& text);
// Nearest integer, halves to even.
long long RoundEven(double value);
std::string Upper(std::string text);

}  // namespace tolvane::exif
