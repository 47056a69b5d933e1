// tolvane-batch: the conversion engine for scripts. Maps the command line onto the run's
// options, runs it with a host that reports on stderr, and exits 0 only when every file
// produced its output.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/batch_arguments.h"
#include "engine/engine.h"
#include "formats/exif/ExifData.h"
#include "formats/formats.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace tolvane::cli {
namespace {

// A report line as the EXIF panel shows it: one row per CR LF-separated piece, as UTF-8.
void PrintReportLine(const std::string& text) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", start);
    std::printf("%s\n", DisplayText(text.substr(start, end - start)).c_str());
    if (end == std::string::npos) break;
    start = end + 2;
  }
}

class BatchHost final : public ConversionHost {
 public:
  BatchHost(bool show_progress, bool report) : show_progress_(show_progress), report_(report) {}

  TimgData* MetadataHolder() override { return &metadata_; }
  void AppendExifText(const std::string& text) override {
    if (report_) PrintReportLine(text);
  }

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override {
    if (show_progress_ && maximum_ >= 0) {
      std::fprintf(stderr, "\r[%d/%d]", position + 1, maximum_ + 1);
      std::fflush(stderr);
      progress_shown_ = true;
    }
  }
  void ShowProgress(bool visible) override {
    if (!visible && progress_shown_) {
      std::fputs("\r\033[K", stderr);
      progress_shown_ = false;
    }
  }
  void ShowMessage(const std::string& text) override { Report("", text); }
  void EntryNotConverted(const TImageEntry& entry, const std::string& reason) override {
    ++failures_;
    Report(entry.FullPath + ": ", reason);
  }

  int failures() const { return failures_; }

 private:
  void Report(const std::string& prefix, const std::string& text) {
    if (progress_shown_) std::fputs("\r\033[K", stderr);
    // Codec messages may be 8-bit code-page text; paths are already UTF-8.
    std::fprintf(stderr, "tolvane-batch: %s%s\n", prefix.c_str(), DisplayText(text).c_str());
  }

  bool show_progress_;
  bool report_;
  TimgData metadata_;  // the one holder of the run, as the window owns one
  bool progress_shown_ = false;
  int maximum_ = -1;
  int failures_ = 0;
};

std::vector<TImageEntry> EntriesFor(const std::vector<std::string>& files) {
  std::vector<TImageEntry> entries;
  for (const std::string& file : files) {
    TImageEntry entry;
    entry.Number = static_cast<int>(entries.size()) + 1;
    entry.FullPath = ExpandLongPath(file);
    entry.FileName = NameOf(entry.FullPath);
    entries.push_back(std::move(entry));
  }
  return entries;
}

// What the EXIF panel holds after FILE is selected; 1 when FILE cannot be decoded.
int PrintExifReport(const std::string& file) {
  TimgData holder;
  std::vector<std::string> lines;
  CodecServices services;
  services.append_exif = [&lines](const std::string& line) { lines.push_back(line); };
  services.metadata = &holder;
  services.clear_exif = [&lines] { lines.clear(); };
  std::error_code ec;
  const std::string path = ExpandLongPath(file);
  if (!std::filesystem::is_regular_file(path, ec) || !LoadPreviewImage(path, services)) {
    std::fprintf(stderr, "tolvane-batch: %s: cannot read the file\n", file.c_str());
    return 1;
  }
  for (const std::string& line : lines) PrintReportLine(line);
  return 0;
}

int Run(int argc, char** argv) {
  BatchArguments args;
  try {
    args = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!args.help && !args.version && args.exif_report.empty() && args.files.empty()) {
      throw std::invalid_argument("no FILE given");
    }
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "tolvane-batch: %s\nTry 'tolvane-batch --help'.\n", e.what());
    return 2;
  }
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.version) {
    std::printf("tolvane-batch %s\n", TOLVANE_VERSION);
    return 0;
  }
  if (!args.exif_report.empty()) return PrintExifReport(args.exif_report);
  BatchHost host(!args.quiet && ::isatty(STDERR_FILENO), args.report);
  try {
    RunConversion(args.options, EntriesFor(args.files), host);
  } catch (const std::exception& e) {
    host.ShowProgress(false);
    std::fprintf(stderr, "tolvane-batch: the run stopped: %s\n", DisplayText(e.what()).c_str());
    return 1;
  }
  return host.failures() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tolvane::cli

int main(int argc, char** argv) { return tolvane::cli::Run(argc, argv); }
