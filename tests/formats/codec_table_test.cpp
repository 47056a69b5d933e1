// Which names each front-end takes: the window's list and open dialog keep the types of its
// design; tolvane-batch also reads ".tiff", as a TIFF kept under its own name.
#include <gtest/gtest.h>

#include "formats/codecs.h"

namespace tolvane {
namespace {

TEST(CodecTable, TiffLongSpellingIsTheBatchsAlone) {
  struct Case {
    const char* name;
    bool window, batch;
  } cases[] = {{"a.tif", true, true},   {"A.TIFF", false, true}, {"a.tiff", false, true},
               {"a.ico", false, false}, {"a.wmf", true, true},   {"a.txt", false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(IsReadableImageName(c.name), c.window) << c.name;
    EXPECT_EQ(IsBatchReadableName(c.name), c.batch) << c.name;
  }
  for (const auto& [description, patterns] : OpenDialogFilters()) {
    EXPECT_EQ(patterns.find(".tiff"), std::string::npos) << description;
  }
  EXPECT_NE(ReadableExtensions().find(" .tiff"), std::string::npos);
  const CodecRow* tiff = FindCodec("x.tiff");
  ASSERT_NE(tiff, nullptr);
  EXPECT_EQ(tiff->decode, FindCodec("x.tif")->decode);
  EXPECT_EQ(tiff->keep_writer, FindCodec("x.tif")->keep_writer);
  EXPECT_TRUE(tiff->keep_extension.empty());
}

}  // namespace
}  // namespace tolvane
