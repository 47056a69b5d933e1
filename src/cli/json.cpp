#include "cli/json.h"

#include <cstdio>

namespace tolvane::cli {
namespace {

void AppendEscaped(std::string& out, unsigned code) {
  switch (code) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  // C0 controls must be escaped; DEL and C1 are, so that a line shown raw stays one line.
  if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", code);
    out += escape;
  } else if (code < 0x80) {
    out += static_cast<char>(code);
  } else {
    // U+00A0..U+00FF as two UTF-8 bytes.
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

std::string JsonText(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8SequenceLength(bytes, at);
    if (length == 0) {
      out += "\\ufffd";
      ++at;
    } else if (length == 1) {
      AppendEscaped(out, static_cast<unsigned char>(bytes[at]));
      ++at;
    } else {
      // C1 controls arrive as two bytes C2 80..C2 9F.
      const auto second = static_cast<unsigned char>(bytes[at + 1]);
      if (length == 2 && static_cast<unsigned char>(bytes[at]) == 0xC2 && second < 0xA0) {
        AppendEscaped(out, second);
      } else {
        out.append(bytes.substr(at, length));
      }
      at += length;
    }
  }
  return out + "\"";
}

std::string JsonBytes(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) AppendEscaped(out, static_cast<unsigned char>(c));
  return out + "\"";
}

}  // namespace tolvane::cli
