// The run's settings for unattended batches: collisions decided by policy, shards, the
// planned output size and the header sizes --dry-run reads. The window's defaults leave every
// one of them off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/header_size.h"
#include "engine/naming.h"
#include "engine/run_conversion.h"
#include "formats/codecs.h"
#include "formats/formats.h"
#include "imaging/tbitmap.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using Status = EntryOutcome::Status;

// Records every entry's summary besides the other calls.
class OutcomeHost : public testing::RecordingHost {
 public:
  std::vector<std::pair<std::string, EntryOutcome>> finished;
  void EntryFinished(const TImageEntry& e, const EntryOutcome& o) override {
    finished.emplace_back(e.FileName, o);
  }
};

TBitmap Filled(int w, int h, std::uint8_t shade) {
  TBitmap image;
  image.Create(w, h, 24);
  image.FillRect(RGBColor(shade, 100, 200));
  return image;
}

TImageEntry Source(const TempDir& dir, const std::string& name, int w, int h,
                   std::uint8_t shade = 0) {
  Filled(w, h, shade).SaveToFile(dir / name);
  return {0, name, "", "", dir / name};
}

TEST(WrittenName, IsTheNameTheWriterGivesForEveryTypeAndFormat) {
  const TBitmap image = Filled(3, 2, 7);
  for (const CodecRow& row : Codecs()) {
    for (int format = 0; format <= int(TOutputFormat::kEmf); ++format) {
      const std::string name = "Photo.Name" + std::string(row.extension);
      SaveSettings settings;
      settings.format = TOutputFormat(format);
      EXPECT_EQ(WrittenName(name, settings.format), EncodeForSave(image, name, settings).name)
          << name << " format " << format;
    }
  }
}

TEST(SelectedEntries, TakesEveryNthFromK) {
  struct Case {
    std::size_t count;
    int k, n;
    std::vector<std::size_t> selected;
  } cases[] = {{5, 0, 1, {0, 1, 2, 3, 4}},
               {5, 0, 2, {0, 2, 4}},
               {5, 1, 2, {1, 3}},
               {2, 2, 3, {}},
               {7, 2, 3, {2, 5}}};
  for (const Case& c : cases) {
    RunSettings settings;
    settings.shard_index = c.k, settings.shard_count = c.n;
    EXPECT_EQ(SelectedEntries(c.count, settings), c.selected) << c.k << "/" << c.n;
  }
}

// The planned size of each output, and the values carried to the next file, are those the
// run's own steps give: two files in a row through each set of options.
TEST(PlanOutputSize, AgreesWithTheOperations) {
  struct Case {
    const char* name;
    void (*set)(TConvertOptions&);
  } cases[] = {
      {"nothing", [](TConvertOptions&) {}},
      {"quarter turn",
       [](TConvertOptions& o) {
         o.RotateEnabled = true, o.RotateOption = TRotateOption::kRotateLeft;
       }},
      {"turn off but transposed",
       [](TConvertOptions& o) { o.RotateOption = TRotateOption::kRotateRight; }},
      {"crop raised by a narrow file",
       [](TConvertOptions& o) {
         o.CropEnabled = true, o.CropLeft = 10, o.CropRight = 25, o.CropTop = 3;
       }},
      {"canvas after a turn",
       [](TConvertOptions& o) {
         o.RotateEnabled = true, o.RotateOption = TRotateOption::kRotateRight;
         o.CanvasEnabled = true, o.CanvasLeft = 5, o.CanvasBottom = 2;
       }},
      {"resize by width",
       [](TConvertOptions& o) { o.ResizeEnabled = true, o.ResizeWidth = 30, o.ResizeHeight = 30; }},
      {"resize by height",
       [](TConvertOptions& o) {
         o.ResizeEnabled = true, o.ResizeWidth = 30, o.ResizeHeight = 12;
         o.AspectByWidth = false, o.AspectByHeight = true;
       }},
      {"resize too small after a wide file",
       [](TConvertOptions& o) { o.ResizeEnabled = true, o.ResizeWidth = 8, o.ResizeHeight = 8; }},
  };
  for (const Case& c : cases) {
    TConvertOptions planned, run;
    c.set(planned);
    c.set(run);
    testing::RecordingHost host;
    for (const auto& [w, h] : {std::pair{60, 20}, std::pair{30, 40}}) {
      TBitmap image = Filled(w, h, 1);
      ApplyOperations(image, run, host);
      const PlannedSize size = PlanOutputSize(planned, w, h);
      EXPECT_EQ(size.width, image.Width()) << c.name << " " << w;
      EXPECT_EQ(size.height, image.Height()) << c.name << " " << w;
    }
    EXPECT_EQ(planned.CropRight, run.CropRight) << c.name;
    EXPECT_EQ(planned.ResizeWidth, run.ResizeWidth) << c.name;
    EXPECT_EQ(planned.ResizeHeight, run.ResizeHeight) << c.name;
    EXPECT_EQ(host.messages.empty(), PlanOutputSize(planned, 60, 20).message.empty()) << c.name;
  }
}

// Every fixture a decoder reads states in its header the size the decoder gives.
TEST(HeaderSize, IsTheDecodedSizeOfEveryReadableFixture) {
  int compared = 0;
  for (const char* folder : {"bmp", "png", "gif", "jpeg", "psd", "tiff"}) {
    for (const auto& e : fs::directory_iterator(std::string(TOLVANE_TEST_DATA) + "/" + folder)) {
      const std::string path = e.path().string();
      TBitmap image;
      if (!e.is_regular_file() || !LoadImageFile(path, image, {}).ok()) continue;
      const auto size = HeaderSize(path);
      ASSERT_TRUE(size.has_value()) << path;
      EXPECT_EQ(size->width, image.Width()) << path;
      EXPECT_EQ(size->height, image.Height()) << path;
      ++compared;
    }
  }
  EXPECT_GT(compared, 40);
  EXPECT_FALSE(HeaderSize(std::string(TOLVANE_TEST_DATA) + "/metafile/gnuplot_plot.emf"));
}

// Headers that lie or end early give nothing, never a read past the file.
TEST(HeaderSize, RefusesTruncatedAndEmptyHeaders) {
  TempDir dir;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"short.bmp", {'B', 'M', 0, 0}},
      {"zero.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13,
                    'I',  'H', 'D', 'R', 0,  0,  0,  0,  0, 0, 0, 5}},
      {"loop.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0}},
      {"endless.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4}},
      {"far.tif", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"text.bmp", {'h', 'e', 'l', 'l', 'o'}},
  };
  for (const Case& c : cases) {
    testing::WriteBytes(dir / c.name, c.bytes);
    EXPECT_FALSE(HeaderSize(dir / c.name)) << c.name;
  }
  EXPECT_FALSE(HeaderSize(dir / "absent.png"));
  EXPECT_FALSE(HeaderSize(dir.folder()));
}

class ExistingOutputTest : public ::testing::Test {
 protected:
  TConvertOptions Options() {
    TConvertOptions o;
    o.TargetFolder = out.folder();
    return o;
  }
  RunSettings Settings(ExistingOutput existing, int jobs = 1) {
    RunSettings s;
    s.existing = existing;
    s.jobs = jobs;
    return s;
  }
  TempDir in, out;
  OutcomeHost host;
};

TEST_F(ExistingOutputTest, SkipKeepsTheFileAndNeverReadsTheSource) {
  const TImageEntry a = Source(in, "a.bmp", 4, 4, 1);
  Filled(2, 2, 9).SaveToFile(out / "a.bmp");
  const auto kept = testing::ReadBytes(out / "a.bmp");
  fs::remove(a.FullPath);  // a source that is not read cannot fail
  const TImageEntry b = Source(in, "b.bmp", 4, 4, 2);
  TConvertOptions o = Options();
  RunConversion(o, {a, b}, host, Settings(ExistingOutput::kSkip));
  ASSERT_EQ(host.finished.size(), 2u);
  EXPECT_EQ(host.finished[0].second.status, Status::kSkipped);
  EXPECT_EQ(host.finished[0].second.output_path, out / "a.bmp");
  EXPECT_EQ(host.finished[1].second.status, Status::kConverted);
  EXPECT_EQ(host.finished[1].second.width, 4);
  EXPECT_EQ(testing::ReadBytes(out / "a.bmp"), kept);
  EXPECT_TRUE(host.not_converted.empty());
}

TEST_F(ExistingOutputTest, ReplaceTakesThePlaceOfTheOldFile) {
  const TImageEntry a = Source(in, "a.bmp", 4, 4, 1);
  Filled(2, 2, 9).SaveToFile(out / "a.bmp");
  for (const int jobs : {1, 3}) {
    TConvertOptions o = Options();
    RunConversion(o, {a}, host, Settings(ExistingOutput::kReplace, jobs));
    EXPECT_EQ(out.Files(), std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(testing::ReadBytes(out / "a.bmp"), testing::ReadBytes(a.FullPath));
  }
  // Simple copies replace too; skip leaves the file.
  TConvertOptions simple = Options();
  simple.Operation = TFileOperation::kSimpleCopy;
  Filled(2, 2, 9).SaveToFile(out / "a.bmp");
  RunConversion(simple, {a}, host, Settings(ExistingOutput::kSkip));
  EXPECT_EQ(host.finished.back().second.status, Status::kSkipped);
  EXPECT_NE(testing::ReadBytes(out / "a.bmp"), testing::ReadBytes(a.FullPath));
}

// Without a prefix, two entries with one output path would skip or replace each other's work:
// the later one fails instead, and a source of the batch is never replaced.
TEST_F(ExistingOutputTest, OutputsAndSourcesOfTheBatchAreNeverTaken) {
  const TImageEntry a = Source(in, "a.bmp", 4, 4, 1);
  const TImageEntry b = Source(in, "a.png", 4, 4, 2);
  for (const ExistingOutput policy : {ExistingOutput::kSkip, ExistingOutput::kReplace}) {
    host.finished.clear();
    TConvertOptions o = Options();
    o.OutputFormat = TOutputFormat::kPng;
    RunConversion(o, {a, b}, host, Settings(policy));
    ASSERT_EQ(host.finished.size(), 2u);
    EXPECT_EQ(host.finished[1].second.status, Status::kFailed);
    EXPECT_THAT(host.finished[1].second.reason, ::testing::HasSubstr("is the output of"));
  }
  TConvertOptions same = Options();
  same.SameFolder = true;
  same.OutputFormat = TOutputFormat::kPng;
  const auto source = testing::ReadBytes(b.FullPath);
  host.finished.clear();
  RunConversion(same, {a}, host, Settings(ExistingOutput::kReplace));
  RunConversion(same, {b}, host, Settings(ExistingOutput::kReplace));
  EXPECT_EQ(host.finished[0].second.status, Status::kConverted);  // a.bmp -> a.png, not a source
  EXPECT_EQ(host.finished[1].second.status, Status::kFailed);     // a.png would replace itself
  EXPECT_NE(testing::ReadBytes(b.FullPath), source);  // a.bmp's output replaced the old a.png
}

// A shard numbers its outputs by their places in the whole list.
TEST_F(ExistingOutputTest, AShardKeepsThePlacesOfItsEntries) {
  std::vector<TImageEntry> entries;
  for (int i = 0; i < 5; ++i) entries.push_back(Source(in, "s" + std::to_string(i) + ".bmp", 3, 3));
  TConvertOptions o = Options();
  o.Rename = true;
  o.BaseName = "N";
  RunSettings s;
  s.shard_index = 1, s.shard_count = 2, s.jobs = 2;
  RunConversion(o, entries, host, s);
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"N2.bmp", "N4.bmp"}));
  ASSERT_EQ(host.finished.size(), 2u);
  EXPECT_EQ(host.finished[0].first, "s1.bmp");
  EXPECT_THAT(host.calls, ::testing::Contains("max 1"));
}

}  // namespace
}  // namespace tolvane
