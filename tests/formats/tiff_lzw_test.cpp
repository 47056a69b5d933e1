#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "formats/tiff/LZW_Module.h"

namespace tolvane::tiff {
namespace {

// Packs codes most significant bit first.
class CodeWriter {
 public:
  void Put(unsigned code, int width) {
    for (int i = width - 1; i >= 0; --i) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if ((code >> i) & 1u) bytes_.back() |= std::uint8_t(0x80u >> (bits_ % 8));
      ++bits_;
    }
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bits_ = 0;
};

// The width a reader uses while `next_free` is the next code it will assign.
int ReaderWidth(unsigned next_free) {
  return std::clamp(static_cast<int>(std::bit_width(next_free + 1)), 9, 12);
}

// A plain TIFF LZW encoder for the round trips: Clear first, Clear again when the table
// reaches 4094 codes, End last. The reader assigns each entry one code later than the writer,
// hence the width of next - 1.
std::vector<std::uint8_t> EncodeLzw(const std::vector<std::uint8_t>& data) {
  CodeWriter out;
  std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;
  unsigned next = TLZW::kFirstFree;
  out.Put(TLZW::kClear, 9);
  int prefix = -1;
  for (std::uint8_t b : data) {
    if (prefix < 0) {
      prefix = b;
      continue;
    }
    if (auto it = table.find({unsigned(prefix), b}); it != table.end()) {
      prefix = int(it->second);
      continue;
    }
    out.Put(unsigned(prefix), ReaderWidth(std::max(next - 1, unsigned{TLZW::kFirstFree})));
    table[{unsigned(prefix), b}] = next++;
    if (next == 4094) {
      out.Put(TLZW::kClear, ReaderWidth(next - 1));
      table.clear();
      next = TLZW::kFirstFree;
    }
    prefix = b;
  }
  if (prefix >= 0)
    out.Put(unsigned(prefix), ReaderWidth(std::max(next - 1, unsigned{TLZW::kFirstFree})));
  out.Put(TLZW::kEnd, ReaderWidth(next));
  return out.bytes();
}

std::vector<std::uint8_t> Bytes(const char* text) {
  return std::vector<std::uint8_t>(text, text + std::char_traits<char>::length(text));
}

// Clear, 'a', 'b', 258 ("ab"), 260: the code being defined ("aba"), End: all 9 bits.
std::vector<std::uint8_t> AbStream(bool with_end) {
  CodeWriter w;
  for (unsigned code : {256u, unsigned('a'), unsigned('b'), 258u, 260u}) w.Put(code, 9);
  if (with_end) w.Put(TLZW::kEnd, 9);
  return w.bytes();
}

TEST(TiffLzw, DecodesKnownCodesAndTheCodeBeingDefined) {
  for (bool with_end : {true, false}) {
    std::vector<std::uint8_t> out(16, 0xEE);
    TLZW lzw;
    ASSERT_EQ(lzw.Decode(AbStream(with_end), out), 7u) << "with end code: " << with_end;
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 7), Bytes("abababa"));
  }
}

TEST(TiffLzw, NeverWritesPastTheOutput) {
  std::vector<std::uint8_t> out(10, 0xEE);
  TLZW lzw;
  // "abababa" into 4 bytes: the long string of code 260 is cut at the buffer's end.
  EXPECT_EQ(lzw.Decode(AbStream(true), std::span(out).first(4)), 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 4), Bytes("abab"));
  EXPECT_TRUE(std::all_of(out.begin() + 4, out.end(), [](auto b) { return b == 0xEE; }));
}

TEST(TiffLzw, StopsAtCodesTheTableCannotExplain) {
  struct Case {
    const char* name;
    std::vector<unsigned> codes;
    const char* expected;
  };
  const Case cases[] = {
      {"code beyond the next free one", {256, 'a', 'b', 300, 'c'}, "ab"},
      {"first code after Clear not a byte", {256, 258, 'a'}, ""},
      {"End ends the strip", {256, 'a', 257, 'b'}, "a"},
      {"Clear forgets the table", {256, 'a', 'b', 256, 258}, "ab"},
  };
  for (const Case& c : cases) {
    CodeWriter w;
    for (unsigned code : c.codes) w.Put(code, 9);
    std::vector<std::uint8_t> out(16);
    TLZW lzw;
    const std::size_t n = lzw.Decode(w.bytes(), out);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + n), Bytes(c.expected)) << c.name;
  }
}

// Long inputs take the code width through 10, 11 and 12 bits and the table through Clear codes;
// one decoder then serves every "strip" with a fresh table.
TEST(TiffLzw, RoundTripsThroughEveryCodeWidth) {
  std::mt19937 random(8);
  TLZW lzw;
  for (std::size_t size : {1u, 600u, 3000u, 20000u, 150000u}) {
    std::vector<std::uint8_t> data(size);
    for (auto& b : data) b = std::uint8_t(random() % 7 + (random() % 16 == 0 ? random() % 256 : 0));
    std::vector<std::uint8_t> out(size);
    ASSERT_EQ(lzw.Decode(EncodeLzw(data), out), size) << size;
    EXPECT_EQ(out, data) << size;
  }
}

}  // namespace
}  // namespace tolvane::tiff
