// tolvane-batch: the conversion engine for scripts. Maps the command line onto the run's
// options, runs it with a host that reports on stderr, and exits 0 only when every file
// produced its output.
#include <unistd.h>

#include <algorithm>
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
#include "platform/file_ops.h"
#include "platform/message_sink.h"
#include "platform/paths.h"

namespace tolvane::cli {
namespace {

// A report line as the EXIF panel shows it: one row per CR LF-separated piece, as UTF-8.
void PrintReportLine(const std::string& text) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", start);
    std::printf("%s\n", EscapeControls(DisplayText(text.substr(start, end - start))).c_str());
    if (end == std::string::npos) break;
    start = end + 2;
  }
}

// Codec message boxes of the file being decoded, held so that each is reported with its file.
class HeldMessages final : public MessageSink {
 public:
  HeldMessages() : previous_(SetMessageSink(this)) {}
  ~HeldMessages() override { SetMessageSink(previous_); }
  HeldMessages(const HeldMessages&) = delete;
  HeldMessages& operator=(const HeldMessages&) = delete;

  void Message(const std::string& text, const std::string& caption) override {
    held_.push_back(caption.empty() ? text : caption + ": " + text);
  }
  void Beep() override {}

  // The held texts, joined by "; ", and none held afterwards.
  std::string Take() {
    std::string joined;
    for (const std::string& text : held_) joined += (joined.empty() ? "" : "; ") + text;
    held_.clear();
    return joined;
  }

 private:
  MessageSink* previous_;
  std::vector<std::string> held_;
};

// Every stderr line names the program and, where there is one, the file. Neither a name nor a
// codec's text can break the line.
void ReportLine(const std::string& file, const std::string& text) {
  // Codec messages may be 8-bit code-page text.
  std::fprintf(stderr, "tolvane-batch: %s%s%s\n", EscapeControls(DisplayText(file)).c_str(),
               file.empty() ? "" : ": ", EscapeControls(DisplayText(text)).c_str());
}

class BatchHost final : public ConversionHost {
 public:
  BatchHost(const std::vector<TImageEntry>& entries, bool show_progress, bool report)
      : entries_(entries), show_progress_(show_progress), report_(report) {}

  TimgData* MetadataHolder() override { return &metadata_; }
  void AppendExifText(const std::string& text) override {
    if (report_) PrintReportLine(text);
  }

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override {
    // Positions only grow while files are processed; the run's end puts the bar back to 0, and
    // the file last reached stays the one an error that stopped the run belongs to.
    if (position < current_) return;
    ReportHeldMessages();
    current_ = position;
    if (show_progress_ && maximum_ >= 0) {
      std::fprintf(stderr, "\r[%d/%d]", position + 1, maximum_ + 1);
      std::fflush(stderr);
      progress_shown_ = true;
    }
  }
  void ShowProgress(bool visible) override {
    if (!visible) ClearProgress();
  }
  void ShowMessage(const std::string& text) override { Report(CurrentFile(), text); }
  void EntryNotConverted(const TImageEntry& entry, const std::string& reason) override {
    ++failures_;
    // The codec's own message belongs to this line rather than to one of its own.
    const std::string held = messages_.Take();
    Report(entry.FullPath, held.empty() ? reason : reason + "; " + held);
  }
  void EntryConverted(const TImageEntry& entry, const std::string&) override {
    if (const std::string held = messages_.Take(); !held.empty()) Report(entry.FullPath, held);
  }
  void SourceNotDeleted(const TImageEntry& entry, const std::string& reason) override {
    ++failures_;
    Report(entry.FullPath, reason);
  }

  // Reports what the file being processed left unsaid, the error that stopped the run, and each
  // file the run never reached.
  void RunStopped(const std::string& error) {
    ReportHeldMessages();
    Report(CurrentFile(), "the run stopped: " + error);
    for (std::size_t i = std::size_t(std::max(current_ + 1, 0)); i < entries_.size(); ++i) {
      Report(entries_[i].FullPath, "not converted: the run stopped before this file");
    }
  }
  void ReportHeldMessages() {
    if (const std::string held = messages_.Take(); !held.empty()) Report(CurrentFile(), held);
  }

  int failures() const { return failures_; }

 private:
  std::string CurrentFile() const {
    if (current_ < 0 || current_ >= static_cast<int>(entries_.size())) return {};
    return entries_[static_cast<std::size_t>(current_)].FullPath;
  }
  void ClearProgress() {
    if (!progress_shown_) return;
    std::fputs("\r\033[K", stderr);
    progress_shown_ = false;
  }
  void Report(const std::string& file, const std::string& text) {
    ClearProgress();
    ReportLine(file, text);
  }

  const std::vector<TImageEntry>& entries_;
  bool show_progress_;
  bool report_;
  HeldMessages messages_;
  TimgData metadata_;  // the one holder of the run, as the window owns one
  bool progress_shown_ = false;
  int maximum_ = -1;
  int current_ = -1;
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
  HeldMessages messages;
  std::error_code ec;
  const std::string path = ExpandLongPath(file);
  if (!std::filesystem::is_regular_file(path, ec) || !LoadPreviewImage(path, services)) {
    const std::string held = messages.Take();
    ReportLine(file, held.empty() ? "cannot read the file" : "cannot read the file; " + held);
    return 1;
  }
  if (const std::string held = messages.Take(); !held.empty()) ReportLine(file, held);
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
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (args.version) {
    std::printf("tolvane-batch %s\n", TOLVANE_VERSION);
    return 0;
  }
  if (!args.exif_report.empty()) return PrintExifReport(args.exif_report);
  RemoveTemporariesOnSignals();
  const std::vector<TImageEntry> entries = EntriesFor(args.files);
  BatchHost host(entries, !args.quiet && ::isatty(STDERR_FILENO), args.report);
  try {
    RunConversion(args.options, entries, host, RunSettings{args.jobs});
  } catch (const std::exception& e) {
    host.RunStopped(e.what());
    return 1;
  }
  host.ReportHeldMessages();
  return host.failures() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tolvane::cli

int main(int argc, char** argv) { return tolvane::cli::Run(argc, argv); }
