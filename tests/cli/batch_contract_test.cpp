// tolvane-batch's contract with scripts: where outputs go, collisions, which files, what is
// printed (stdout JSON lines parsed strictly, stderr lines), shards, dry runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "imaging/tbitmap.h"
#include "json_lines.h"
#include "temp_dir.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::JsonObject;
using ::testing::StartsWith;
using testing::TempDir;

struct Result {
  int status = -1;
  std::string out, err;
  std::vector<std::string> ErrLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs tolvane-batch with shell-ready arguments, stdin from `input` when given.
Result Batch(const std::string& arguments, const std::string* input = nullptr) {
  TempDir io;
  std::string command = std::string(TOLVANE_BATCH_EXE) + " " + arguments + " 2>" + io / "err";
  if (input != nullptr) {
    std::ofstream(io / "in", std::ios::binary) << *input;
    command += " <" + io / "in";
  } else {
    command += " </dev/null";
  }
  Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream err(io / "err", std::ios::binary);
  result.err.assign(std::istreambuf_iterator<char>(err), {});
  return result;
}

// A picture whose pixels depend on its seed, so that outputs can be told apart.
void WriteBmp(const std::string& path, int w, int h, int seed = 0) {
  TBitmap image;
  image.Create(w, h, 24);
  image.FillRect(RGBColor(std::uint8_t(10 + seed), 20, std::uint8_t(30 * seed)));
  image.SaveToFile(path);
}

std::vector<JsonObject> Json(const Result& r) {
  const auto objects = testing::ParseJsonLines(r.out);
  EXPECT_TRUE(objects.has_value()) << "not one JSON object a line:\n" << r.out;
  return objects.value_or(std::vector<JsonObject>{});
}

// Every file under a folder by its path below it, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> Tree(const std::string& folder) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) {
      files[fs::relative(e.path(), folder).string()] = testing::ReadBytes(e.path().string());
    }
  }
  return files;
}

TEST(BatchUsage, MistakesAreUsageErrorsBeforeAnythingRuns) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 8, 8);
  const std::string file = " " + Quoted(in / "a.bmp");
  const std::string o = "-o " + Quoted(out / "new");
  struct Case {
    std::string args, message;
  } cases[] = {
      {file, "say where the outputs go: -o DIR or --same-folder"},
      {o, "no FILE given"},
      {o + " --resize 5x100" + file, "--resize expects W or WxH"},
      {o + " --resize 100x5" + file, "--resize expects W or WxH"},
      {o + " --resize 5" + file, "--resize expects W or WxH"},
      {o + " --resize 0x0" + file, "--resize expects W or WxH"},
      {o + " --resize 100x" + file, "--resize expects W or WxH"},
      {o + " --resize 100 --aspect none" + file, "--aspect none needs WxH"},
      {o + " --aspect height --resize 100" + file, "--aspect height needs WxH"},
      {o + " -Q 0" + file, "--quality expects a whole number from 1 to 100"},
      {o + " --jpeg-quality 101" + file, "--jpeg-quality expects"},
      {o + " --existing never" + file, "--existing expects one of prefix, replace, skip"},
      {o + " --shard 2/2" + file, "--shard's K expects"},
      {o + " --shard 1" + file, "--shard expects K/N"},
      {o + " --shard 0/0" + file, "--shard's N expects"},
      {o + " -0" + file, "-0 applies to --files-from"},
      {o + " " + Quoted(in.folder()), in.folder() + ": is a folder; -r, --recursive"},
      {o + " --files-from " + Quoted(in / "absent.txt"), "No such file or directory"},
      {o + " --files-from " + Quoted(in.folder()), "is a folder"},
      {"-o " + Quoted(in / "a.bmp") + file, "is not a folder"},
      {o + " --no-such-option" + file, "unknown option --no-such-option"},
  };
  for (const Case& c : cases) {
    const Result r = Batch(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_THAT(r.err, StartsWith("tolvane-batch: ")) << c.args;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
  }
  EXPECT_FALSE(fs::exists(out / "new"));
}

TEST(BatchUsage, HelpNamesEveryOptionOneALine) {
  const Result r = Batch("--help");
  ASSERT_EQ(r.status, 0);
  for (const char* line :
       {"\n  -o, --output-dir DIR ", "\n      --existing POLICY ", "\n  -r, --recursive ",
        "\n      --files-from FILE ", "\n  -0, --null ", "\n      --shard K/N ",
        "\n  -Q, --quality N ", "\n      --jpeg-quality N ", "\n      --resize W[xH] ",
        "\n      --json ", "\n      --dry-run ", "\n  -q, --quiet ", "\n      --verbose "}) {
    EXPECT_THAT(r.out, HasSubstr(line));
  }
}

TEST(BatchOutput, AMissingOutputFolderIsCreatedAndSaidOnStderr) {
  TempDir in, root;
  WriteBmp(in / "a.bmp", 8, 8);
  const std::string out = root / "x/y";
  const Result r = Batch("-q -o " + Quoted(out) + " " + Quoted(in / "a.bmp"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tolvane-batch: " + out + "/: created the output folder\n");
  EXPECT_TRUE(fs::exists(out + "/a.bmp"));
}

// -q is --quiet now; -Q and --jpeg-quality set the quality.
TEST(BatchOutput, QualityOptionsAndQuiet) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 64, 64, 3);
  std::map<std::string, std::size_t> sizes;
  for (const std::string args : {"-q -Q 10", "--jpeg-quality 10", "--quality 95"}) {
    const Result r = Batch(args + " -f jpeg --existing replace -o " + Quoted(out.folder()) + " " +
                           Quoted(in / "a.bmp"));
    ASSERT_EQ(r.status, 0) << args << r.err;
    sizes[args] = fs::file_size(out / "a.jpg");
  }
  EXPECT_EQ(sizes["-q -Q 10"], sizes["--jpeg-quality 10"]);
  EXPECT_LT(sizes["-q -Q 10"], sizes["--quality 95"]);
}

TEST(BatchOutput, ResizeWidthAloneDerivesTheHeight) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 100, 50);
  ASSERT_EQ(Batch("--resize 40 -o " + Quoted(out.folder()) + " " + Quoted(in / "a.bmp")).status, 0);
  TBitmap result;
  ASSERT_TRUE(result.LoadFromFile(out / "a.bmp").ok());
  EXPECT_EQ(result.Width(), 40);
  EXPECT_EQ(result.Height(), 20);
}

// A name already taken in the output folder, under each policy: what is there afterwards, the
// exit status and what --json says.
TEST(BatchExisting, EachPolicy) {
  struct Case {
    const char* policy;
    std::size_t files;  // in the output folder afterwards
    bool old_kept;      // the file that was there keeps its bytes
    const char* status;
  } cases[] = {{"prefix", 2, true, "converted"},
               {"skip", 1, true, "skipped"},
               {"replace", 1, false, "converted"}};
  for (const Case& c : cases) {
    TempDir in, out;
    WriteBmp(in / "a.bmp", 8, 8, 1);
    WriteBmp(out / "a.bmp", 4, 4, 2);
    const auto old = testing::ReadBytes(out / "a.bmp");
    const Result r = Batch(std::string("--json --existing ") + c.policy + " -o " +
                           Quoted(out.folder()) + " " + Quoted(in / "a.bmp"));
    EXPECT_EQ(r.status, 0) << c.policy << r.err;
    EXPECT_EQ(out.Files().size(), c.files) << c.policy;
    EXPECT_EQ(testing::ReadBytes(out / "a.bmp") == old, c.old_kept) << c.policy;
    const auto lines = Json(r);
    ASSERT_EQ(lines.size(), 1u) << c.policy;
    EXPECT_EQ(lines[0].at("status").Text(), c.status) << c.policy;
    if (c.policy == std::string("replace")) {
      EXPECT_EQ(testing::ReadBytes(out / "a.bmp"), testing::ReadBytes(in / "a.bmp"));
    }
  }
}

// A stopped run started again with skip finishes the rest and leaves what was done alone.
TEST(BatchExisting, SkipFinishesAStoppedRunWithoutReadingDoneSources) {
  TempDir in, out;
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteBmp(in / name, 6, 6);
  const std::string files =
      Quoted(in / "a.bmp") + " " + Quoted(in / "b.bmp") + " " + Quoted(in / "c.bmp");
  ASSERT_EQ(Batch("-o " + Quoted(out.folder()) + " " + Quoted(in / "a.bmp")).status, 0);
  // The done source is gone: skip must not need it.
  fs::remove(in / "a.bmp");
  const Result r = Batch("--json --existing skip -o " + Quoted(out.folder()) + " " + files);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(out.Files(), (std::vector<std::string>{"a.bmp", "b.bmp", "c.bmp"}));
  const auto lines = Json(r);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].at("status").Text(), "skipped");
  EXPECT_EQ(lines[1].at("status").Text(), "converted");
}

// replace never puts an output over a file the batch reads, nor two outputs on one path.
TEST(BatchExisting, ReplaceSparesSourcesAndOutputsOfTheBatch) {
  TempDir in;
  WriteBmp(in / "a.bmp", 8, 8, 1);
  WriteBmp(in / "b.png.bmp", 8, 8, 1);
  const auto source = testing::ReadBytes(in / "a.bmp");
  const Result own = Batch("--existing replace --same-folder -f bmp " + Quoted(in / "a.bmp"));
  EXPECT_EQ(own.status, 1);
  EXPECT_THAT(own.err,
              HasSubstr(in / "a.bmp: would replace \"" + in / "a.bmp\", a source of this batch"));
  EXPECT_EQ(testing::ReadBytes(in / "a.bmp"), source);

  TempDir out;
  WriteBmp(in / "a.png", 8, 8, 2);
  const Result twice = Batch("--existing replace -f png -o " + Quoted(out.folder()) + " " +
                             Quoted(in / "a.bmp") + " " + Quoted(in / "a.png"));
  EXPECT_EQ(twice.status, 1);
  EXPECT_THAT(twice.err, HasSubstr(in / "a.png: its output \"" +
                                   out / "a.png\" is the output of \"" + in / "a.bmp\" too"));

  // Moving converts in place.
  const Result move =
      Batch("--existing replace --operation move --same-folder -f bmp " + Quoted(in / "a.bmp"));
  EXPECT_EQ(move.status, 0) << move.err;
}

TEST(BatchInputs, RecursiveMirrorsTheTreeInNameOrder) {
  TempDir in, out;
  fs::create_directories(in / "b/deeper");
  fs::create_directories(in / "a");
  WriteBmp(in / "z.bmp", 4, 4);
  WriteBmp(in / "b/deeper/y.bmp", 4, 4);
  WriteBmp(in / "b/x.bmp", 4, 4);
  WriteBmp(in / "a/TIFF.bmp", 4, 4);
  // ".tiff" is read and, in its own format, written under its own name, as ".tif" is.
  fs::copy_file(std::string(TOLVANE_TEST_DATA) + "/tiff/rgb8_lzw_pred2_small.tif",
                in / "a/scan.tiff");
  std::ofstream(in / "b/notes.txt") << "not an image";
  const Result r = Batch("--json -r -o " + Quoted(out / "mirror") + " " + Quoted(in.folder()));
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> sources, outputs;
  for (const JsonObject& line : Json(r)) {
    sources.push_back(line.at("source").Text());
    outputs.push_back(line.at("output").Text());
  }
  EXPECT_EQ(sources,
            (std::vector<std::string>{in / "a/TIFF.bmp", in / "a/scan.tiff", in / "b/deeper/y.bmp",
                                      in / "b/x.bmp", in / "z.bmp"}));
  EXPECT_EQ(outputs,
            (std::vector<std::string>{out / "mirror/a/TIFF.bmp", out / "mirror/a/scan.tiff",
                                      out / "mirror/b/deeper/y.bmp", out / "mirror/b/x.bmp",
                                      out / "mirror/z.bmp"}));
  EXPECT_EQ(Tree(out / "mirror").size(), 5u);
  TBitmap scan;
  EXPECT_TRUE(LoadImageFile(out / "mirror/a/scan.tiff", scan, {}).ok());
  EXPECT_EQ(testing::ReadBytes(out / "mirror/a/scan.tiff").at(2), 42);
}

// An output folder inside the walked tree is not walked: run again, the run finds only its
// sources.
TEST(BatchInputs, RecursiveLeavesTheOutputFolderOut) {
  TempDir in;
  WriteBmp(in / "a.bmp", 4, 4);
  const std::string args =
      "--json --existing skip -r -o " + Quoted(in / "out") + " " + Quoted(in.folder());
  ASSERT_EQ(Batch(args).status, 0);
  const auto again = Json(Batch(args));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].at("status").Text(), "skipped");
  EXPECT_EQ(Tree(in.folder()).size(), 2u);
}

TEST(BatchInputs, FilesFromStandardInputNulSeparated) {
  TempDir in, out;
  const std::vector<std::string> names = {"with space.bmp", "line\nbreak.bmp", "plain.bmp"};
  std::string list;
  for (const std::string& name : names) {
    WriteBmp(in / name, 4, 4);
    list += in / name;
    list += '\0';
  }
  const Result r = Batch("--json -0 --files-from - -o " + Quoted(out.folder()), &list);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = Json(r);
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(lines[i].at("source").Text(), in / names[i]);
    EXPECT_EQ(lines[i].at("output").Text(), out / names[i]);
  }
  EXPECT_EQ(out.Files().size(), 3u);

  // One name a line, and a NUL inside a line is a usage error.
  const std::string lines_list = in / "plain.bmp" + "\n\n";
  EXPECT_EQ(
      Batch("--files-from - --existing replace -o " + Quoted(out.folder()), &lines_list).status, 0);
  const std::string bad = in / "plain.bmp" + std::string(1, '\0') + "\n";
  const Result nul = Batch("--files-from - -o " + Quoted(out.folder()), &bad);
  EXPECT_EQ(nul.status, 2);
  EXPECT_THAT(nul.err, HasSubstr("line 1 holds a NUL byte"));
}

TEST(BatchJson, EveryEntryHasOneStrictObject) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 12, 7);
  testing::WriteBytes(in / "broken.bmp", {'B', 'M'});
  const std::string latin1 = std::string("caf\xE9 \"q\"\x01.bmp");
  WriteBmp(in / latin1, 3, 3);
  const Result r = Batch("--json -o " + Quoted(out.folder()) + " " + Quoted(in / "a.bmp") + " " +
                         Quoted(in / "broken.bmp") + " " + Quoted(in / "missing.bmp") + " " +
                         Quoted(in / latin1));
  EXPECT_EQ(r.status, 1);
  const auto lines = Json(r);
  ASSERT_EQ(lines.size(), 4u);
  const JsonObject& ok = lines[0];
  EXPECT_EQ(ok.at("source").Text(), in / "a.bmp");
  EXPECT_EQ(ok.at("output").Text(), out / "a.bmp");
  EXPECT_EQ(ok.at("status").Text(), "converted");
  EXPECT_TRUE(ok.at("reason").IsNull());
  EXPECT_EQ(ok.at("width").Number(), 12);
  EXPECT_EQ(ok.at("height").Number(), 7);
  EXPECT_EQ(ok.at("bytes").Number(), double(fs::file_size(out / "a.bmp")));
  EXPECT_GE(ok.at("milliseconds").Number(), 0);
  EXPECT_EQ(lines[1].at("status").Text(), "failed");
  EXPECT_TRUE(lines[1].at("output").IsNull());
  EXPECT_THAT(lines[1].at("reason").Text(), StartsWith("cannot decode: "));
  EXPECT_EQ(lines[2].at("reason").Text(), "cannot open: No such file or directory");
  // The PSD reader's 8-bit message comes out as UTF-8.
  testing::WriteBytes(in / "bad.psd", std::vector<std::uint8_t>(64, 'x'));
  const auto psd = Json(Batch("--json -o " + Quoted(out.folder()) + " " + Quoted(in / "bad.psd")));
  ASSERT_EQ(psd.size(), 1u);
  EXPECT_EQ(
      psd[0].at("reason").Text(),
      "cannot decode: \u041d\u0435\u0432\u0435\u0440\u043d\u044b\u0439 \u0444\u0430\u0439\u043b");
  // A name that is not UTF-8: replaced in the text, exact in the _raw form.
  const JsonObject& odd = lines[3];
  EXPECT_EQ(odd.at("source").Text(), in / "caf\xEF\xBF\xBD \"q\"\x01.bmp");
  EXPECT_EQ(odd.at("source_raw").Text(), in / "caf\xC3\xA9 \"q\"\x01.bmp");
  EXPECT_EQ(odd.at("status").Text(), "converted");
}

// Each line on stderr starts with the program and the file it is about, the resize step's
// message too (it comes from the carried height: 100 x 10 at width 20 leaves 2 rows).
TEST(BatchStderr, EveryLineNamesTheProgramAndItsFile) {
  TempDir in, out;
  WriteBmp(in / "wide.bmp", 100, 10);
  WriteBmp(in / "b.bmp", 8, 8);
  for (const char* jobs : {"-j 1", "-j 3"}) {
    const Result r = Batch(std::string(jobs) + " --existing replace --resize 20 -o " +
                           Quoted(out.folder()) + " " + Quoted(in / "wide.bmp") + " " +
                           Quoted(in / "b.bmp") + " " + Quoted(in / "gone.bmp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.ErrLines(),
        (std::vector<std::string>{
            "tolvane-batch: " + in / "b.bmp" + ": The new image must be > 5x5 pixels",
            "tolvane-batch: " + in / "gone.bmp" + ": cannot open: No such file or directory"}))
        << jobs;
  }
}

// --verbose names each output as it is written, and each kept one; -q alone says nothing.
TEST(BatchStderr, VerboseNamesEachOutput) {
  TempDir in, out;
  WriteBmp(in / "a.bmp", 5, 3);
  WriteBmp(in / "b.bmp", 4, 4);
  WriteBmp(out / "b.bmp", 4, 4);
  const std::string files = " " + Quoted(in / "a.bmp") + " " + Quoted(in / "b.bmp");
  const Result r = Batch("-q --verbose --existing skip -o " + Quoted(out.folder()) + files);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.ErrLines(),
            (std::vector<std::string>{
                "tolvane-batch: " + in / "a.bmp" + ": wrote \"" + out / "a.bmp" + "\", 5 x 3",
                "tolvane-batch: " + in / "b.bmp" + ": skipped: \"" + out / "b.bmp" + "\" exists"}));
  EXPECT_EQ(Batch("-q --existing skip -o " + Quoted(out.folder()) + files).err, "");
}

TEST(BatchReport, BlocksSayWhichFileTheyBelongTo) {
  TempDir out;
  const std::string canon = std::string(TOLVANE_TEST_DATA) + "/jpeg/Canon.jpg";
  const Result r = Batch("--report -o " + Quoted(out.folder()) + " " + Quoted(canon));
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, StartsWith("==> " + canon + " <==\n \n-- EXIF-Data"));
  const Result json =
      Batch("--json --report --existing replace -o " + Quoted(out.folder()) + " " + Quoted(canon));
  const auto lines = Json(json);
  ASSERT_EQ(lines.size(), 1u);
  const auto& report = std::get<std::vector<std::string>>(lines[0].at("report").value);
  EXPECT_THAT(report, ::testing::Contains("Make = Canon"));
}

// Two shards of a list give the names and bytes of one run over it, numbers included, and the
// crop values a narrow file carries to the files after it (12 pixels wide, it keeps no column
// and fails, and raises the right edge: the 40-pixel files after it keep 28 columns, not 10).
TEST(BatchShard, ShardsTogetherEqualOneWholeRun) {
  TempDir in, whole, parts;
  std::string files;
  const int widths[] = {40, 40, 12, 40, 40, 40};
  for (int i = 0; i < 6; ++i) {
    const std::string name = "p" + std::to_string(i) + ".bmp";
    WriteBmp(in / name, widths[i], 4 + i, i);
    files += " " + Quoted(in / name);
  }
  const std::string common = "--rename Shot --crop 10,0,20,0 -f png";
  EXPECT_EQ(Batch(common + " -o " + Quoted(whole.folder()) + files).status, 1);
  const Result first = Batch(common + " --json --shard 0/2 -o " + Quoted(parts.folder()) + files);
  const Result second = Batch(common + " --json --shard 1/2 -o " + Quoted(parts.folder()) + files);
  EXPECT_EQ(first.status, 1);  // the narrow file is its
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(Tree(parts.folder()), Tree(whole.folder()));
  EXPECT_EQ(whole.Files(), (std::vector<std::string>{"Shot1.png", "Shot2.png", "Shot4.png",
                                                     "Shot5.png", "Shot6.png"}));
  ASSERT_EQ(Json(second).size(), 3u);
  EXPECT_EQ(Json(second)[0].at("width").Number(), 10);
  EXPECT_EQ(Json(second)[1].at("width").Number(), 28);
}

// A run stopped half-way and started again with skip ends as one whole run: a kept output's
// source still carries its values, read from its header. Here the resize height derived for a
// 100 x 10 file (2) leaves the next file unresized.
TEST(BatchShard, SkipRestartCarriesOverTheKeptOutputs) {
  TempDir in, whole, restarted;
  WriteBmp(in / "wide.bmp", 100, 10, 1);
  WriteBmp(in / "b.bmp", 8, 8, 2);
  const std::string files = " " + Quoted(in / "wide.bmp") + " " + Quoted(in / "b.bmp");
  const std::string common = "--resize 20 --existing skip -o ";
  ASSERT_EQ(Batch(common + Quoted(whole.folder()) + files).status, 0);
  ASSERT_EQ(Batch(common + Quoted(restarted.folder()) + " " + Quoted(in / "wide.bmp")).status, 0);
  const Result again = Batch(common + Quoted(restarted.folder()) + files);
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.err, HasSubstr(in / "b.bmp: The new image must be > 5x5 pixels"));
  EXPECT_EQ(Tree(restarted.folder()), Tree(whole.folder()));
}

TEST(BatchDryRun, SaysWhatEachEntryBecomesAndWritesNothing) {
  TempDir in, root;
  WriteBmp(in / "a.bmp", 40, 20);
  WriteBmp(in / "b.bmp", 10, 10);
  const std::string out = root / "not-yet";
  const std::string files =
      " " + Quoted(in / "a.bmp") + " " + Quoted(in / "b.bmp") + " " + Quoted(in / "c.emf");
  const Result text =
      Batch("--dry-run --rotate right --resize 30 -f jpeg -o " + Quoted(out) + files);
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out, in / "a.bmp -> " + out + "/a.jpg (existing: none, 30 x 60)\n" +
                          in / "b.bmp -> " + out + "/b.jpg (existing: none, 30 x 30)\n" +
                          in / "c.emf -> " + out + "/c.jpg (existing: none, size unknown)\n");
  EXPECT_FALSE(fs::exists(out));

  const Result json = Batch("--dry-run --json --existing skip --same-folder" + files);
  const auto lines = Json(json);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].at("output").Text(), in / "a.bmp");
  EXPECT_EQ(lines[0].at("existing").Text(), "skip");
  EXPECT_EQ(lines[0].at("width").Number(), 40);
  EXPECT_TRUE(lines[2].at("width").IsNull());
  EXPECT_EQ(in.Files(), (std::vector<std::string>{"a.bmp", "b.bmp"}));

  // What the run would refuse is told as it would be.
  const Result refused = Batch("--dry-run --json --existing replace --same-folder -f png " +
                               Quoted(in / "a.bmp") + " " + Quoted(in / "a.bmp"));
  const auto twice = Json(refused);
  ASSERT_EQ(twice.size(), 2u);
  EXPECT_EQ(twice[0].at("existing").Text(), "none");
  EXPECT_TRUE(twice[0].at("reason").IsNull());
  EXPECT_EQ(twice[1].at("existing").Text(), "refused");
  EXPECT_THAT(twice[1].at("reason").Text(), HasSubstr("is the output of"));
}

}  // namespace
}  // namespace tolvane
