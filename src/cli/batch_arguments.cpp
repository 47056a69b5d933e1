#include "cli/batch_arguments.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "engine/naming.h"
#include "formats/codecs.h"

namespace tolvane::cli {

namespace {

// The help text; @READABLE@ and @WRITERS@ come from the codec table.
const char kUsageTemplate[] = R"(Usage: tolvane-batch [options] -o DIR|--same-folder FILE...

Converts image files (BMP, JPEG, PNG, GIF, TIFF, PSD, EMF and placeable WMF) in the
order given, exactly as the window's Run command does with its list. Files of these
types are read: @READABLE@

Which files:
  -r, --recursive             a FOLDER stands for the images under it (by the types above),
                              sorted by name, folder by folder; their outputs mirror the
                              folder's tree under -o (folders are created as needed); the
                              output folder itself is left out
      --files-from FILE       also take the names in FILE, one a line ("-": standard input)
  -0, --null                  the names in --files-from end with a NUL byte, as
                              find -print0 writes them
      --shard K/N             only entries K, K+N, K+2N... (K from 0); each keeps its place
                              in the whole list, so --rename numbers and outputs are those
                              of one run over it: N machines can share a batch

Where the outputs go and what they are called (-o or --same-folder is required):
  -o, --output-dir DIR        folder of the outputs (created with its parents if missing)
      --same-folder           write each output beside its source
      --operation OP          copy (default): convert, keep the source
                              move: convert, delete the source once its output exists
                              simple-copy, simple-move: copy or move the files unchanged
      --rename BASE           name the outputs BASE1, BASE2, ... by list position
      --existing POLICY       when an output's name is taken:
                              prefix (default): a converted output gets a random number
                              and "_" in front, so nothing is replaced (simple-copy and
                              simple-move replace the file, as a copy does)
                              skip: leave the file alone and count the entry as done
                              (its source is not read, nor moved); a stopped run
                              started again finishes the rest
                              replace: put the new output in its place in one step; a
                              file the batch reads is never replaced

Output format:
  -f, --format FMT            keep (default) | @WRITERS@
  -Q, --quality N             JPEG quality 1..100 (default 100)
      --jpeg-quality N        the same as --quality
      --clear-exif            JPEG outputs carry no metadata
      --png-compression N     0..9 (default 6)
      --png-transparent       the bottom-left pixel's colour becomes transparent

Operations, applied in this order:
      --invert --night-vision --gray-scale --sepia
      --rotate OPT            right | left | flip-vertical | flip-horizontal
      --crop L,T,R,B          pixels to cut from the left, top, right, bottom
      --canvas L,T,R,B        border widths to add (0..10000 each)
      --canvas-color RRGGBB   border colour in hex, red first (default 000000)
      --resize W[xH]          target size in pixels, each side more than 5; W alone is the
                              width, the height following from the image's aspect
      --aspect width|height|none   keep the width and derive the height (default),
                              the other way round, or take WxH as it is

What is printed:
      --json                  one JSON object a line on stdout for every entry: source,
                              output (null when none), status (converted, skipped or
                              failed), reason (null when none), width, height, bytes (of
                              the output; null when not known), milliseconds; names that
                              are not UTF-8 come with source_raw/output_raw, one
                              character per byte (U+0000..U+00FF)
      --dry-run               print for every entry its output, what happens to a file of
                              that name, and the size after the operations as far as the
                              source's header tells; write nothing, create no folder
      --report                print on stdout the EXIF block of every JPEG source, as the
                              window's EXIF panel collects them during a run, each under a
                              line "==> FILE <==" (with --json: in the entry's "report")
      --exif-report FILE      print the EXIF report of one JPEG, line by line, as the
                              window's EXIF panel shows it for a selected file, and exit
                              (status 1 when FILE cannot be read)
  -q, --quiet                 no progress on stderr
      --verbose               name each output on stderr as it is written or skipped

Other:
  -j, --jobs N                files in work at once (default: the number of processors;
                              1 = strictly one after another); outputs, names and
                              messages are the same for every N
  -h, --help                  this text
      --version               the version

Every stderr line starts with "tolvane-batch: " and the file it is about. Every file that
yields no output is named there with the reason.
Exit status: 0 when every entry produced its output or was skipped by --existing skip, 1
when one did not or the run stopped on an error, 2 for bad usage.
)";

void ReplaceAll(std::string& text, std::string_view key, const std::string& value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    text.replace(at, key.size(), value);
    at += value.size();
  }
}

}  // namespace

std::string Usage() {
  std::string writers;
  for (const WriterRow& writer : Writers()) {
    writers += (writers.empty() ? "" : " | ") + std::string(writer.name);
  }
  std::string text = kUsageTemplate;
  ReplaceAll(text, "@READABLE@", ReadableExtensions());
  ReplaceAll(text, "@WRITERS@", writers);
  return text;
}

namespace {

[[noreturn]] void Bad(const std::string& message) { throw std::invalid_argument(message); }

int ParseInt(const std::string& text, const std::string& option, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < low || value > high) {
    Bad(option + " expects a whole number from " + std::to_string(low) + " to " +
        std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

std::vector<int> ParseList(const std::string& text, const std::string& option, int high) {
  std::vector<int> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    values.push_back(ParseInt(text.substr(start, comma - start), option, 0, high));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (values.size() != 4) Bad(option + " expects four numbers L,T,R,B, not \"" + text + "\"");
  return values;
}

template <typename T>
T Choose(const std::string& text, const std::string& option, const std::map<std::string, T>& map) {
  const auto it = map.find(text);
  if (it != map.end()) return it->second;
  std::string names;
  for (const auto& [name, value] : map) names += (names.empty() ? "" : ", ") + name;
  Bad(option + " expects one of " + names + ", not \"" + text + "\"");
}

TColor ParseColour(const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
  if (text.size() != 6 || ec != std::errc() || ptr != end) {
    Bad("--canvas-color expects six hex digits RRGGBB, not \"" + text + "\"");
  }
  return RGBColor(std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value));
}

// The smallest side the resize step accepts.
constexpr int kMinResize = 6;

// "WxH", or "W" alone: the width, the height then following from the aspect (the height is
// left 0 here and checked once --aspect is known).
void ParseResize(const std::string& text, TConvertOptions& o) {
  const std::size_t x = text.find_first_of("xX");
  const auto side = [](const std::string& number) {
    return ParseInt(number, "--resize", kMinResize, 65535);
  };
  try {
    o.ResizeWidth = side(text.substr(0, x));
    o.ResizeHeight = x == std::string::npos ? 0 : side(text.substr(x + 1));
  } catch (const std::invalid_argument&) {
    Bad("--resize expects W or WxH, each side a whole number from 6 to 65535, not \"" + text +
        "\"");
  }
  o.ResizeEnabled = true;
}

// The resize and its aspect rule together: a width alone needs the height derived.
void CheckResize(TConvertOptions& o) {
  if (!o.ResizeEnabled || o.ResizeHeight != 0) return;
  if (!o.AspectByWidth) {
    Bad(std::string("--resize ") + std::to_string(o.ResizeWidth) +
        " gives only a width; --aspect " + (o.AspectByHeight ? "height" : "none") + " needs WxH");
  }
  // Any allowed value: the step derives the height from the width.
  o.ResizeHeight = o.ResizeWidth;
}

// The output folder, absolute and ending in "/"; it need not exist yet.
std::string FolderText(const std::string& dir) {
  if (dir.empty()) Bad("--output-dir expects a folder");
  std::error_code ec;
  if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec)) {
    Bad("output folder \"" + dir + "\" is not a folder");
  }
  std::string folder = ExpandLongPath(dir);
  if (folder.back() != '/') folder += '/';
  return folder;
}

// "K/N" with 0 <= K < N.
void ParseShard(const std::string& text, RunSettings& run) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) Bad("--shard expects K/N, not \"" + text + "\"");
  run.shard_count = ParseInt(text.substr(slash + 1), "--shard's N", 1, 1 << 20);
  run.shard_index = ParseInt(text.substr(0, slash), "--shard's K", 0, run.shard_count - 1);
}

using Handler = std::function<void(BatchArguments&, const std::string&)>;

const std::map<std::string, Handler>& ValueOptions() {
  static const std::map<std::string, Handler> options = {
      {"--output-dir",
       [](BatchArguments& a, const std::string& v) {
         a.options.TargetFolder = FolderText(v);
         a.output_dir = v;
       }},
      {"--existing",
       [](BatchArguments& a, const std::string& v) {
         a.run.existing = Choose<ExistingOutput>(v, "--existing",
                                                 {{"prefix", ExistingOutput::kPrefix},
                                                  {"skip", ExistingOutput::kSkip},
                                                  {"replace", ExistingOutput::kReplace}});
       }},
      {"--files-from",
       [](BatchArguments& a, const std::string& v) {
         if (a.files_from_given) Bad("--files-from is given twice");
         a.files_from_given = true;
         a.files_from = v;
       }},
      {"--shard", [](BatchArguments& a, const std::string& v) { ParseShard(v, a.run); }},
      {"--operation",
       [](BatchArguments& a, const std::string& v) {
         a.options.Operation =
             Choose<TFileOperation>(v, "--operation",
                                    {{"copy", TFileOperation::kCopyFiles},
                                     {"move", TFileOperation::kMoveFiles},
                                     {"simple-copy", TFileOperation::kSimpleCopy},
                                     {"simple-move", TFileOperation::kSimpleMove}});
       }},
      {"--rename",
       [](BatchArguments& a, const std::string& v) {
         if (const auto problem = BaseNameProblem(v)) Bad(*problem);
         a.options.Rename = true;
         a.options.BaseName = v;
       }},
      {"--format",
       [](BatchArguments& a, const std::string& v) {
         std::map<std::string, TOutputFormat> formats = {{"keep", TOutputFormat::kKeepExtension}};
         for (std::size_t i = 0; i < Writers().size(); ++i) {
           formats.emplace(Writers()[i].name, static_cast<TOutputFormat>(i + 1));
         }
         a.options.OutputFormat = Choose<TOutputFormat>(v, "--format", formats);
       }},
      {"--quality",
       [](BatchArguments& a, const std::string& v) {
         a.options.JpegQuality = ParseInt(v, "--quality", 1, 100);
       }},
      {"--jpeg-quality",
       [](BatchArguments& a, const std::string& v) {
         a.options.JpegQuality = ParseInt(v, "--jpeg-quality", 1, 100);
       }},
      {"--png-compression",
       [](BatchArguments& a, const std::string& v) {
         a.options.PngCompression = ParseInt(v, "--png-compression", 0, 9);
       }},
      {"--rotate",
       [](BatchArguments& a, const std::string& v) {
         a.options.RotateEnabled = true;
         a.options.RotateOption =
             Choose<TRotateOption>(v, "--rotate",
                                   {{"right", TRotateOption::kRotateRight},
                                    {"left", TRotateOption::kRotateLeft},
                                    {"flip-vertical", TRotateOption::kFlipVertically},
                                    {"flip-horizontal", TRotateOption::kFlipHorizontally}});
       }},
      {"--crop",
       [](BatchArguments& a, const std::string& v) {
         const auto c = ParseList(v, "--crop", 1 << 24);
         a.options.CropEnabled = true;
         a.options.CropLeft = c[0], a.options.CropTop = c[1], a.options.CropRight = c[2],
         a.options.CropBottom = c[3];
       }},
      {"--canvas",
       [](BatchArguments& a, const std::string& v) {
         const auto c = ParseList(v, "--canvas", 10000);
         a.options.CanvasEnabled = true;
         a.options.CanvasLeft = c[0], a.options.CanvasTop = c[1], a.options.CanvasRight = c[2],
         a.options.CanvasBottom = c[3];
       }},
      {"--canvas-color",
       [](BatchArguments& a, const std::string& v) { a.options.CanvasColor = ParseColour(v); }},
      {"--resize", [](BatchArguments& a, const std::string& v) { ParseResize(v, a.options); }},
      {"--jobs",
       [](BatchArguments& a, const std::string& v) { a.run.jobs = ParseInt(v, "--jobs", 1, 256); }},
      {"--exif-report", [](BatchArguments& a, const std::string& v) { a.exif_report = v; }},
      {"--aspect",
       [](BatchArguments& a, const std::string& v) {
         const int rule = Choose<int>(v, "--aspect", {{"width", 0}, {"height", 1}, {"none", 2}});
         a.options.AspectByWidth = rule == 0;
         a.options.AspectByHeight = rule == 1;
       }},
  };
  return options;
}

const std::map<std::string, std::function<void(BatchArguments&)>>& FlagOptions() {
  static const std::map<std::string, std::function<void(BatchArguments&)>> flags = {
      {"--same-folder", [](BatchArguments& a) { a.options.SameFolder = true; }},
      {"--clear-exif", [](BatchArguments& a) { a.options.ClearExif = true; }},
      {"--png-transparent", [](BatchArguments& a) { a.options.PngTransparent = true; }},
      {"--invert", [](BatchArguments& a) { a.options.AdjustEnabled = a.options.Invert = true; }},
      {"--night-vision",
       [](BatchArguments& a) { a.options.AdjustEnabled = a.options.NightVision = true; }},
      {"--gray-scale",
       [](BatchArguments& a) { a.options.AdjustEnabled = a.options.GrayScale = true; }},
      {"--sepia", [](BatchArguments& a) { a.options.AdjustEnabled = a.options.Sepia = true; }},
      {"--quiet", [](BatchArguments& a) { a.quiet = true; }},
      {"--verbose", [](BatchArguments& a) { a.verbose = true; }},
      {"--json", [](BatchArguments& a) { a.json = true; }},
      {"--dry-run", [](BatchArguments& a) { a.dry_run = true; }},
      {"--recursive", [](BatchArguments& a) { a.recursive = true; }},
      {"--null", [](BatchArguments& a) { a.null_separated = true; }},
      {"--report", [](BatchArguments& a) { a.report = true; }},
      {"--help", [](BatchArguments& a) { a.help = true; }},
      {"--version", [](BatchArguments& a) { a.version = true; }},
  };
  return flags;
}

std::string LongName(const std::string& arg) {
  static const std::map<std::string, std::string> shorts = {
      {"-o", "--output-dir"}, {"-f", "--format"}, {"-Q", "--quality"},   {"-q", "--quiet"},
      {"-h", "--help"},       {"-j", "--jobs"},   {"-r", "--recursive"}, {"-0", "--null"}};
  const auto it = shorts.find(arg);
  return it == shorts.end() ? arg : it->second;
}

}  // namespace

BatchArguments ParseArguments(const std::vector<std::string>& args) {
  BatchArguments result;
  bool only_files = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
      result.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_files = true;
      continue;
    }
    std::string name = LongName(arg), value;
    bool has_value = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (const auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
      if (has_value) Bad(name + " takes no value");
      flag->second(result);
    } else if (const auto opt = ValueOptions().find(name); opt != ValueOptions().end()) {
      if (!has_value) {
        if (i + 1 >= args.size()) Bad(name + " expects a value");
        value = args[++i];
      }
      opt->second(result, value);
    } else {
      Bad("unknown option " + arg);
    }
  }
  if (result.help || result.version || !result.exif_report.empty()) return result;
  if (result.output_dir.empty() && !result.options.SameFolder) {
    Bad("say where the outputs go: -o DIR or --same-folder");
  }
  if (result.files.empty() && !result.files_from_given) Bad("no FILE given");
  if (result.null_separated && !result.files_from_given) Bad("-0 applies to --files-from");
  CheckResize(result.options);
  return result;
}

}  // namespace tolvane::cli
