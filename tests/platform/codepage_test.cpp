#include "platform/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace tolvane {
namespace {

// The C library's converter, an independent reading of the code page; nothing when it does
// not map the byte.
std::optional<std::string> IconvFromCp1251(const std::string& text) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  if (cd == iconv_t(-1)) return std::nullopt;
  std::string in = text, out(text.size() * 4, '\0');
  char* in_ptr = in.data();
  char* out_ptr = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  const std::size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (result == std::size_t(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

TEST(Codepage, InvalidFileMessageReadsInCyrillic) {
  EXPECT_EQ(Cp1251ToUtf8("\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xF4\xE0\xE9\xEB"), "Неверный файл");
  EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9\x88"), "Ёё№€");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Codepage, EveryByteMatchesTheSystemConverter) {
  if (!IconvFromCp1251("a")) GTEST_SKIP() << "the C library has no CP1251 converter";
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, char(byte));
    const auto expected = IconvFromCp1251(one);
    if (!expected) {
      EXPECT_EQ(Cp1251ToUtf8(one), "\xEF\xBF\xBD") << byte;  // unassigned: U+FFFD
      continue;
    }
    EXPECT_EQ(Cp1251ToUtf8(one), *expected) << byte;
  }
}

TEST(Codepage, DisplayTextKeepsUtf8AndConvertsTheRest) {
  struct Case {
    std::string text, shown;
  };
  const Case cases[] = {
      {"cannot open \"a.psd\"", "cannot open \"a.psd\""},
      {"/home/\xD0\xBF\xD0\xB5/a.psd", "/home/пе/a.psd"},  // a UTF-8 file name stays
      {"\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xF4\xE0\xE9\xEB", "Неверный файл"},
      {"x\xC3", "xГ"},     // a lead byte without its continuation is not UTF-8
      {"\xC0\xAF", "АЇ"},  // an overlong form is not UTF-8 either
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayText(c.text), c.shown) << c.text;
  EXPECT_TRUE(IsValidUtf8("Неверный файл"));
  EXPECT_FALSE(IsValidUtf8("\xED\xE5"));
}

TEST(Codepage, EscapeControlsLeavesNoLineBreakOrTerminalCommand) {
  struct Case {
    std::string text, shown;
  };
  const Case cases[] = {
      {"a.png\ntolvane-batch: b.png: converted", "a.png\\ntolvane-batch: b.png: converted"},
      {"tab\there\r", "tab\\there\\r"},
      {"bell\a esc\x1b[2J del\x7f", "bell\\x07 esc\\x1b[2J del\\x7f"},
      {"csi\xC2\x9B"
       "2J",
       "csi\\xc2\\x9b2J"},                               // U+009B, the one-byte CSI
      {"back\\slash", "back\\\\slash"},                  // so an escape stays unambiguous
      {"\xD0\xBF\xC2\xA0\xC2", "\xD0\xBF\xC2\xA0\xC2"},  // letters, U+00A0, a lone lead byte
      {std::string("nul\0", 4), "nul\\x00"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeControls(c.text), c.shown) << c.text;
}

}  // namespace
}  // namespace tolvane
