#include "engine/naming.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(OutputNaming, NumberedNamesFollowTheListPosition) {
  TConvertOptions o;
  o.Rename = true;
  EXPECT_EQ(OutputName(2, "Photo.JPG", o), "Image3.jpg");
  EXPECT_EQ(OutputName(0, "noext", o), "Image1");
  o.BaseName = "";
  EXPECT_EQ(OutputName(1, "a.png", o), "2.png");
  o.Rename = false;
  EXPECT_EQ(OutputName(2, "Photo.JPG", o), "Photo.JPG");
}

TEST(OutputNaming, OutputFolderIsTheSourceFolderOrTheTarget) {
  TConvertOptions o;
  o.TargetFolder = "/out/";
  TImageEntry e{1, "a.bmp", "", "", "/in/sub/a.bmp"};
  EXPECT_EQ(OutputFolder(e, o), "/out/");
  o.SameFolder = true;
  EXPECT_EQ(OutputFolder(e, o), "/in/sub/");
  EXPECT_EQ(o.TargetFolder, "/out/");
}

TEST(OutputNaming, BaseNamesThatLeaveTheFolderAreRefused) {
  for (const char* bad : {"../x", "a/b", "..", "a\\b", "x\ny", "\x7f"}) {
    EXPECT_TRUE(BaseNameProblem(bad)) << bad;
  }
  for (const char* good : {"Image", "", "holiday 2026", "Ünïcode"}) {
    EXPECT_FALSE(BaseNameProblem(good)) << good;
  }
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

TEST(NameChars, OnlyLettersDigitsAndFourSignsAreKept) {
  EXPECT_EQ(FilterNameChars("My photo-2024.v1_ok!&?"), "Myphoto2024v1_ok!&?");
  EXPECT_EQ(FilterNameChars("../a/b\\c\t"), "abc");
  EXPECT_EQ(FilterNameChars(std::string("a\0b", 3)), "ab");
  EXPECT_EQ(FilterNameChars("Zürich"), "Zrich");  // no byte of a non-ASCII letter survives
  EXPECT_EQ(FilterNameChars(kNameChars), kNameChars);
}

}  // namespace
}  // namespace tolvane
