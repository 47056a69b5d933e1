#include "platform/codepage.h"

#include <array>
#include <cstdint>

namespace tolvane {
namespace {

// Bytes 0x80 to 0xBF of Windows-1251; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

void AppendUtf8(std::string& out, char16_t code) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

// The length of the UTF-8 sequence a lead byte starts, 0 for a byte that cannot lead.
int SequenceLength(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    const char16_t code = byte < 0x80   ? char16_t(byte)
                          : byte < 0xC0 ? kHighHalf[byte - 0x80]
                                        : char16_t(0x0410 + (byte - 0xC0));
    AppendUtf8(out, code);
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const int length = SequenceLength(static_cast<std::uint8_t>(text[i]));
    if (length == 0 || text.size() - i < std::size_t(length)) return false;
    for (int k = 1; k < length; ++k) {
      if ((static_cast<std::uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += std::size_t(length);
  }
  return true;
}

std::string DisplayText(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Cp1251ToUtf8(text);
}

namespace {

void AppendHex(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendHex(out, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      // U+0080 to U+009F: terminals take some of them as commands.
      AppendHex(out, byte);
      AppendHex(out, static_cast<unsigned char>(text[++i]));
    } else {
      out += char(byte);
    }
  }
  return out;
}

}  // namespace tolvane
