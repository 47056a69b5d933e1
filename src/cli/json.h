#pragma once
#include <string>
#include <string_view>

namespace tolvane::cli {

// A JSON string (quotes included) for bytes that should be UTF-8: each valid UTF-8 sequence
// as it is, each byte outside one as U+FFFD; quotes, backslashes and control characters
// escaped. The result is always valid JSON.
std::string JsonText(std::string_view bytes);

// A JSON string holding each byte as the character of that number (U+0000..U+00FF): the exact
// bytes of a name that is not UTF-8, for a script to get back (Latin-1 encoding of the text).
std::string JsonBytes(std::string_view bytes);

// The length of the valid UTF-8 sequence at text[at], or 0 when none starts there.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

}  // namespace tolvane::cli
