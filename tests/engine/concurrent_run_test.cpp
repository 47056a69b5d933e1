// A run with several files in work at once must be indistinguishable from the one-at-a-time
// run: the same files with the same bytes and names, the same sources left, and the same
// host calls in the same order, whatever the jobs and memory settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/run_conversion.h"
#include "formats/exif/ExifData.h"
#include "imaging/tbitmap.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A taken name gets a random number in front, different in every run: it is written "#_".
std::string WithoutDrawnNumbers(const std::string& text) {
  static const std::regex drawn("/[0-9]{1,4}_");
  return std::regex_replace(text, drawn, "/#_");
}

// Every call of the run as a line, with the test's folder written as "<root>/".
class SequenceHost final : public ConversionHost {
 public:
  SequenceHost(std::string root, int cancel_at_pump)
      : root_(std::move(root)), cancel_at_(cancel_at_pump) {
    preview_.Create(3, 2, 24);
  }
  std::vector<std::string> log;

  void EnterRunMode() override { log.push_back("enter"); }
  void LeaveRunMode() override { log.push_back("leave"); }
  void ProcessEvents() override {
    log.push_back("pump");
    if (++pumps_ == cancel_at_) cancel_ = true;
  }
  bool CancelRequested() override {
    log.push_back(cancel_ ? "cancelled" : "go on");
    return cancel_;
  }
  void SetProgressMaximum(int m) override { log.push_back("max " + std::to_string(m)); }
  void SetProgressPosition(int p) override { log.push_back("pos " + std::to_string(p)); }
  void ShowProgress(bool v) override { log.push_back(v ? "show" : "hide"); }
  TBitmap PreviewPicture() override {
    log.push_back("preview?");
    return preview_;
  }
  void SetPreviewPicture(const TBitmap& p) override {
    log.push_back("preview " + std::to_string(p.Width()) + "x" + std::to_string(p.Height()) + " " +
                  std::to_string(Sum(p)));
  }
  void AppendExifText(const std::string& text) override { log.push_back("exif " + text); }
  TimgData* MetadataHolder() override { return &holder; }
  void ShowMessage(const std::string& text) override { log.push_back("message " + text); }
  void ClearAllItems() override { log.push_back("clear"); }
  void CropRangesChanged(const CropRanges& r) override {
    log.push_back("crop " + std::to_string(r.horizontal_extent) + " " +
                  std::to_string(r.vertical_extent) + " " + std::to_string(r.left) + " " +
                  std::to_string(r.top) + " " + std::to_string(r.right) + " " +
                  std::to_string(r.bottom));
  }
  void ResizeTargetChanged(int w, int h) override {
    log.push_back("resize " + std::to_string(w) + "x" + std::to_string(h));
  }
  void CodecMessage(const std::string& text, const std::string& caption) override {
    log.push_back("codec " + caption + ": " + text);
  }
  void CodecBeep() override { log.push_back("beep"); }
  void EntryNotConverted(const TImageEntry& e, const std::string& reason) override {
    log.push_back("not converted " + Rooted(e.FullPath) + ": " + Rooted(reason));
  }
  void EntryConverted(const TImageEntry& e, const std::string& path) override {
    log.push_back("converted " + Rooted(e.FullPath) + " -> " + Rooted(path));
  }

  TimgData holder;

 private:
  static unsigned long Sum(const TBitmap& p) {
    unsigned long sum = 0;
    for (const std::uint8_t b : p.PixelBytes()) sum = sum * 31 + b;
    return sum;
  }
  std::string Rooted(std::string text) const {
    for (std::size_t at; (at = text.find(root_)) != std::string::npos;) {
      text.replace(at, root_.size(), "<root>/");
    }
    return WithoutDrawnNumbers(text);
  }

  std::string root_;
  int cancel_at_;
  int pumps_ = 0;
  bool cancel_ = false;
  TBitmap preview_;
};

std::string Data(const std::string& name) { return std::string(TOLVANE_TEST_DATA) + "/" + name; }

void WriteText(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A list over every source format, with two undecodable files in the middle and two sources of
// the same name from different folders; the output folder already holds one of the names.
std::vector<TImageEntry> MakeSources(const TempDir& root) {
  fs::create_directories(root / "in");
  fs::create_directories(root / "in2");
  fs::create_directories(root / "out");
  const std::vector<std::pair<std::string, std::string>> copies = {
      {"jpeg/NikonD70.jpg", "in/n.jpg"},
      {"png/rgba8.png", "in/p.png"},
      {"bmp/rgb24.bmp", "in/a.bmp"},
      {"gif/transparent.gif", "in/g.gif"},
      {"tiff/rgb8_lzw_pred2_small.tif", "in/t.tif"},
      {"psd/4x4_8bit_rgb.psd", "in/s.psd"},
      {"metafile/pillow_drawing.emf", "in/m.emf"},
      {"metafile/pillow_drawing_placeable.wmf", "in/w.wmf"},
      {"png/pal8.png", "in2/a.png"},
      {"bmp/rgb24.bmp", "in2/a.bmp"},
      {"jpeg/Canon.jpg", "in/c.jpg"},
  };
  for (const auto& [from, to] : copies) fs::copy_file(Data(from), root / to);
  WriteText(root / "in/bad.bmp", "BM this is no bitmap");
  WriteText(root / "in/bad.tif", std::string("II*\0\x08\0\0\0\xff\xff", 10));
  WriteText(root / "out/n.jpg", "taken");
  const std::vector<std::string> order = {
      "in/n.jpg", "in/p.png", "in/a.bmp", "in/bad.bmp", "in/g.gif",  "in/t.tif", "in/bad.tif",
      "in/s.psd", "in/m.emf", "in/w.wmf", "in2/a.png",  "in2/a.bmp", "in/c.jpg"};
  std::vector<TImageEntry> entries;
  for (const std::string& name : order) {
    const fs::path path = root / name;
    entries.push_back({int(entries.size()) + 1, path.filename().string(), "", "", path.string()});
  }
  return entries;
}

struct Variant {
  const char* label;
  void (*set)(TConvertOptions&);
  int cancel_at_pump = 0;
};

// What a run leaves behind: the host's log, every file under the root with its bytes, and
// the error that stopped it.
struct Outcome {
  std::vector<std::string> log;
  // Several outputs can share a name once their drawn numbers are taken out.
  std::map<std::string, std::multiset<std::string>> files;
  std::string error;
  bool operator==(const Outcome&) const = default;
};

Outcome RunOnce(const Variant& variant, const RunSettings& settings) {
  TempDir root;
  const std::vector<TImageEntry> entries = MakeSources(root);
  TConvertOptions o;
  o.TargetFolder = root / "out/";
  variant.set(o);
  SequenceHost host(root.folder(), variant.cancel_at_pump);
  Outcome outcome;
  try {
    RunConversion(o, entries, host, settings);
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  outcome.log = host.log;
  for (const auto& e : fs::recursive_directory_iterator(root.folder())) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    outcome.files[WithoutDrawnNumbers("/" + fs::relative(e.path(), root.folder()).string())].insert(
        std::string(std::istreambuf_iterator<char>(in), {}));
  }
  return outcome;
}

// Where two outcomes part: the first differing log line and every file that differs.
std::string Difference(const Outcome& a, const Outcome& b) {
  std::string text;
  const std::size_t n = std::min(a.log.size(), b.log.size());
  for (std::size_t i = 0; i <= n; ++i) {
    const std::string x = i < a.log.size() ? a.log[i] : "(end)";
    const std::string y = i < b.log.size() ? b.log[i] : "(end)";
    if (x != y) {
      text += "call " + std::to_string(i) + ": \"" + x + "\" against \"" + y + "\"\n";
      break;
    }
  }
  for (const auto& [name, bytes] : a.files) {
    const auto other = b.files.find(name);
    if (other == b.files.end() || other->second != bytes) text += "file " + name + " differs\n";
  }
  for (const auto& [name, bytes] : b.files) {
    if (!a.files.count(name)) text += "file " + name + " only in the second\n";
  }
  return text;
}

const Variant kVariants[] = {
    {"copy, keep formats, crop carried, resize written back",
     [](TConvertOptions& o) {
       o.CropEnabled = true;
       o.CropLeft = 1, o.CropTop = 1, o.CropRight = 30, o.CropBottom = 2;
       o.ResizeEnabled = true;
       o.ResizeWidth = 40, o.ResizeHeight = 40;
     }},
    {"move to PNG, turned right, with a canvas",
     [](TConvertOptions& o) {
       o.Operation = TFileOperation::kMoveFiles;
       o.OutputFormat = TOutputFormat::kPng;
       o.RotateEnabled = true;
       o.RotateOption = TRotateOption::kRotateRight;
       o.CanvasEnabled = true;
       o.CanvasLeft = 3, o.CanvasBottom = 2;
     }},
    {"JPEG without metadata, grey, renamed, resize by height",
     [](TConvertOptions& o) {
       o.OutputFormat = TOutputFormat::kJpeg;
       o.ClearExif = true;
       o.JpegQuality = 80;
       o.AdjustEnabled = o.GrayScale = true;
       o.Rename = true;
       o.ResizeEnabled = true;
       o.ResizeWidth = 7, o.ResizeHeight = 9;
       o.AspectByWidth = false, o.AspectByHeight = true;
     }},
    {"move to BMP, cancelled in the middle",
     [](TConvertOptions& o) {
       o.Operation = TFileOperation::kMoveFiles;
       o.OutputFormat = TOutputFormat::kBitmap;
     },
     6},
    {"crop that stops the run at a small file",
     [](TConvertOptions& o) {
       o.OutputFormat = TOutputFormat::kTiff;
       o.CropEnabled = true;
       o.CropLeft = 12;
     }},
};

TEST(ConcurrentRun, EveryJobsSettingGivesTheSequentialRunsFilesAndCalls) {
  const RunSettings settings[] = {{2}, {4}, {3, 1}};  // {3, 1}: memory for one file at a time
  for (const Variant& variant : kVariants) {
    const Outcome sequential = RunOnce(variant, {1});
    EXPECT_GT(sequential.log.size(), 20u) << variant.label;
    for (const RunSettings& s : settings) {
      const Outcome concurrent = RunOnce(variant, s);
      EXPECT_EQ(concurrent.error, sequential.error) << variant.label << ", jobs " << s.jobs;
      EXPECT_TRUE(concurrent == sequential) << variant.label << ", jobs " << s.jobs << "\n"
                                            << Difference(concurrent, sequential);
    }
  }
}

// The scenario covers what it claims: each run's log shows the events the comparison relies on.
TEST(ConcurrentRun, TheMixedListExercisesEveryOrderingRule) {
  auto joined = [](const Outcome& o) {
    std::string all;
    for (const std::string& line : o.log) all += line + "\n";
    return all;
  };
  const std::string first = joined(RunOnce(kVariants[0], {2}));
  EXPECT_NE(first.find("crop "), std::string::npos);
  EXPECT_NE(first.find("resize 40x"), std::string::npos);
  EXPECT_NE(first.find("exif "), std::string::npos);
  EXPECT_NE(first.find("codec "), std::string::npos);
  EXPECT_NE(first.find("not converted <root>/in/bad.bmp"), std::string::npos);
  EXPECT_NE(first.find("out/#_n.jpg"), std::string::npos);  // the taken name got a prefix
  EXPECT_NE(first.find("out/#_a.bmp"), std::string::npos);  // so did the second a.bmp
  const Outcome cancelled = RunOnce(kVariants[3], {2});
  EXPECT_NE(joined(cancelled).find("cancelled"), std::string::npos);
  EXPECT_TRUE(cancelled.files.count("/in/c.jpg"));  // not reached: still in place
  const Outcome stopped = RunOnce(kVariants[4], {2});
  EXPECT_EQ(stopped.error, "Scrollbar property out of range");
  EXPECT_TRUE(stopped.files.count("/out/n.tif"));
  EXPECT_FALSE(stopped.files.count("/out/m.tif"));
}

}  // namespace
}  // namespace tolvane
