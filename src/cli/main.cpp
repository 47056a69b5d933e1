// tolvane-batch: the conversion engine for scripts. Maps the command line onto the run's
// options, runs it with a host that reports on stderr, and exits 0 only when every file
// produced its output.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/batch_arguments.h"
#include "cli/inputs.h"
#include "cli/json.h"
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

// A name in a JSON object: the text, and its exact bytes when it is not UTF-8.
std::string JsonName(const char* key, const std::string& name) {
  std::string field = std::string("\"") + key + "\":" + JsonText(name);
  if (!IsValidUtf8(name)) field += std::string(",\"") + key + "_raw\":" + JsonBytes(name);
  return field;
}

std::string JsonNumber(std::int64_t value) { return value < 0 ? "null" : std::to_string(value); }

const char* StatusWord(EntryOutcome::Status status) {
  switch (status) {
    case EntryOutcome::Status::kConverted:
      return "converted";
    case EntryOutcome::Status::kSkipped:
      return "skipped";
    case EntryOutcome::Status::kFailed:
      break;
  }
  return "failed";
}

// One entry's line of --json.
void PrintJson(const std::string& source, const EntryOutcome& o,
               const std::vector<std::string>* report) {
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.3f", o.milliseconds);
  std::string line = "{" + JsonName("source", source) + ",";
  line += o.output_path.empty() ? "\"output\":null" : JsonName("output", o.output_path);
  line += std::string(",\"status\":\"") + StatusWord(o.status) + "\",\"reason\":";
  line += o.reason.empty() ? "null" : JsonText(DisplayText(o.reason));
  line += ",\"width\":" + JsonNumber(o.width) + ",\"height\":" + JsonNumber(o.height) +
          ",\"bytes\":" + JsonNumber(o.bytes) + ",\"milliseconds\":" + ms;
  if (report != nullptr) {
    line += ",\"report\":[";
    for (std::size_t i = 0; i < report->size(); ++i) {
      line += (i ? "," : "") + JsonText(DisplayText((*report)[i]));
    }
    line += "]";
  }
  std::printf("%s}\n", line.c_str());
}

struct Printing {
  bool progress = false;
  bool report = false;
  bool json = false;
  bool verbose = false;
};

class BatchHost final : public ConversionHost {
 public:
  BatchHost(const std::vector<TImageEntry>& entries, std::vector<std::size_t> selected,
            Printing printing)
      : entries_(entries), selected_(std::move(selected)), printing_(printing) {}

  TimgData* MetadataHolder() override { return &metadata_; }
  void AppendExifText(const std::string& text) override {
    if (!printing_.report) return;
    if (printing_.json) {
      report_.push_back(text);
      return;
    }
    // Each file's blocks under its name, as head and tail do for several files.
    if (reported_ != finished_) {
      reported_ = finished_;
      std::printf("==> %s <==\n", EscapeControls(DisplayText(CurrentFile())).c_str());
    }
    PrintReportLine(text);
  }

  void SetProgressMaximum(int maximum) override { maximum_ = maximum; }
  void SetProgressPosition(int position) override {
    if (!printing_.progress || maximum_ < 0 || (position == 0 && finished_ > 0)) return;
    std::fprintf(stderr, "\r[%d/%d]", position + 1, maximum_ + 1);
    std::fflush(stderr);
    progress_shown_ = true;
  }
  void ShowProgress(bool visible) override {
    if (!visible) ClearProgress();
  }
  void ShowMessage(const std::string& text) override { Report(CurrentFile(), text); }
  void EntryNotConverted(const TImageEntry& entry, const std::string& reason) override {
    ++failures_;
    // The codec's own message belongs to this line rather than to one of its own.
    const std::string held = messages_.Take();
    reason_ = held.empty() ? reason : reason + "; " + held;
    Report(entry.FullPath, reason_);
  }
  void EntryConverted(const TImageEntry& entry, const std::string&) override {
    if (const std::string held = messages_.Take(); !held.empty()) Report(entry.FullPath, held);
  }
  void SourceNotDeleted(const TImageEntry& entry, const std::string& reason) override {
    ++failures_;
    Report(entry.FullPath, reason);
  }
  void EntryFinished(const TImageEntry& entry, const EntryOutcome& outcome) override {
    ReportHeldMessages();
    if (printing_.verbose) Verbose(entry, outcome);
    if (printing_.json) {
      EntryOutcome told = outcome;
      if (!reason_.empty()) told.reason = reason_;
      PrintJson(entry.FullPath, told, printing_.report ? &report_ : nullptr);
      std::fflush(stdout);
    }
    report_.clear();
    reason_.clear();
    ++finished_;
  }

  // Reports what the file being processed left unsaid, the error that stopped the run at it,
  // and each file the run never reached.
  void RunStopped(const std::string& error) {
    ReportHeldMessages();
    std::string reason = "the run stopped: " + error;
    for (std::size_t i = finished_; i < selected_.size(); ++i) {
      const std::string& file = entries_[selected_[i]].FullPath;
      Report(file, reason);
      if (printing_.json) {
        EntryOutcome outcome;
        outcome.reason = reason;
        PrintJson(file, outcome, printing_.report ? &report_ : nullptr);
      }
      report_.clear();
      reason = "not converted: the run stopped before this file";
    }
  }
  void ReportHeldMessages() {
    if (const std::string held = messages_.Take(); !held.empty()) Report(CurrentFile(), held);
  }

  int failures() const { return failures_; }

 private:
  // The file whose calls arrive now: entries are finished in order.
  std::string CurrentFile() const {
    if (finished_ >= selected_.size()) return {};
    return entries_[selected_[finished_]].FullPath;
  }
  void Verbose(const TImageEntry& entry, const EntryOutcome& o) {
    if (o.status == EntryOutcome::Status::kSkipped) {
      Report(entry.FullPath, "skipped: \"" + o.output_path + "\" exists");
    } else if (o.status == EntryOutcome::Status::kConverted) {
      std::string size;
      if (o.width >= 0) size = ", " + std::to_string(o.width) + " x " + std::to_string(o.height);
      Report(entry.FullPath, "wrote \"" + o.output_path + "\"" + size);
    }
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
  const std::vector<std::size_t> selected_;
  const Printing printing_;
  HeldMessages messages_;
  TimgData metadata_;  // the one holder of the run, as the window owns one
  bool progress_shown_ = false;
  int maximum_ = -1;
  std::size_t finished_ = 0;                // entries of the selection finished so far
  std::size_t reported_ = std::size_t(-1);  // the last one whose report heading was printed
  std::vector<std::string> report_;         // the current entry's report lines, for --json
  std::string reason_;                      // the current entry's failure as told on stderr
  int failures_ = 0;
};

std::vector<TImageEntry> EntriesFor(const std::vector<Input>& inputs) {
  std::vector<TImageEntry> entries;
  for (const Input& input : inputs) {
    TImageEntry entry;
    entry.Number = static_cast<int>(entries.size()) + 1;
    entry.FullPath = ExpandLongPath(input.path);
    entry.FileName = NameOf(entry.FullPath);
    entry.OutputSubfolder = input.subfolder;
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
  const std::string path = ExpandLongPath(file);
  // A file that is not there, or not readable, is told in the system's words.
  if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); fd < 0) {
    ReportLine(file, std::string("cannot read the file: ") + std::strerror(errno));
    return 1;
  } else {
    ::close(fd);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || !LoadPreviewImage(path, services)) {
    const std::string held = messages.Take();
    ReportLine(file, held.empty() ? "cannot read the file" : "cannot read the file; " + held);
    return 1;
  }
  if (const std::string held = messages.Take(); !held.empty()) ReportLine(file, held);
  for (const std::string& line : lines) PrintReportLine(line);
  return 0;
}

// The output paths of a batch and its sources, for --dry-run to tell what the run would do.
class DryRunPlan {
 public:
  DryRunPlan(const BatchArguments& args, const std::vector<TImageEntry>& entries)
      : args_(args), entries_(entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const TImageEntry& e = entries[i];
      std::string name = OutputName(int(i), e.FileName, args.options);
      if (Converts(args.options.Operation)) name = WrittenName(name, args.options.OutputFormat);
      outputs_.push_back(OutputFolder(e, args.options) + name);
      first_.try_emplace(outputs_.back(), i);
      if (const auto id = FileIdentity(e.FullPath)) sources_.insert(*id);
    }
  }

  const std::string& Output(std::size_t i) const { return outputs_[i]; }

  // What meets a file at the entry's output path: "none", "prefix", "skip" or "replace", or
  // "refused" with *reason, as the run decides it.
  std::string Existing(std::size_t i, std::string* reason) const {
    const std::string& output = outputs_[i];
    const TFileOperation op = args_.options.Operation;
    const ExistingOutput policy = args_.run.existing;
    const bool moves_in_place =
        op == TFileOperation::kMoveFiles && SameFile(output, entries_[i].FullPath);
    if (Converts(op) && policy != ExistingOutput::kPrefix) {
      if (const std::size_t first = first_.at(output); first != i) {
        *reason = "its output is the output of \"" + entries_[first].FullPath + "\" too";
        return "refused";
      }
      const auto id = FileIdentity(output);
      if (policy == ExistingOutput::kReplace && id && sources_.contains(*id) && !moves_in_place) {
        *reason = "it would replace a source of this batch";
        return "refused";
      }
    }
    if (!FileExists(output)) return "none";
    if (policy == ExistingOutput::kSkip) return "skip";
    if (policy == ExistingOutput::kReplace || !Converts(op)) return "replace";
    // A moved source gives way to its own output.
    return moves_in_place ? "replace" : "prefix";
  }

 private:
  const BatchArguments& args_;
  const std::vector<TImageEntry>& entries_;
  std::vector<std::string> outputs_;
  std::map<std::string, std::size_t> first_;
  std::set<FileId> sources_;
};

void PrintDryRunEntry(const BatchArguments& args, const std::string& source,
                      const std::string& output, const std::string& existing,
                      const std::string& reason, const std::optional<PlannedSize>& size) {
  const std::string width = size ? std::to_string(size->width) : "null";
  const std::string height = size ? std::to_string(size->height) : "null";
  if (args.json) {
    std::printf(
        "{%s,%s,\"existing\":\"%s\",\"reason\":%s,\"width\":%s,\"height\":%s,"
        "\"dry_run\":true}\n",
        JsonName("source", source).c_str(), JsonName("output", output).c_str(), existing.c_str(),
        reason.empty() ? "null" : JsonText(reason).c_str(), width.c_str(), height.c_str());
    return;
  }
  const std::string what = reason.empty() ? "existing: " + existing : "refused: " + reason;
  const std::string size_text = size ? width + " x " + height : "size unknown";
  std::printf("%s -> %s (%s, %s)\n", EscapeControls(DisplayText(source)).c_str(),
              EscapeControls(DisplayText(output)).c_str(),
              EscapeControls(DisplayText(what)).c_str(), size_text.c_str());
}

// Prints what each selected entry would become, writing nothing. Sizes follow the run's steps
// from the headers of every entry, those of other shards too, so that the carried crop and
// resize values are as a whole run has them.
int DryRun(BatchArguments& args, const std::vector<TImageEntry>& entries,
           const std::vector<std::size_t>& selected) {
  const DryRunPlan plan(args, entries);
  const bool converts = Converts(args.options.Operation);
  std::size_t next = 0;
  for (std::size_t i = 0; i < entries.size() && next < selected.size(); ++i) {
    const TImageEntry& entry = entries[i];
    std::optional<PlannedSize> size;
    if (converts) {
      if (const auto header = HeaderSize(entry.FullPath)) {
        try {
          size = PlanOutputSize(args.options, header->width, header->height);
        } catch (const std::exception& e) {
          ReportLine(entry.FullPath, std::string("the run would stop here: ") + e.what());
          return 1;
        }
      }
    }
    if (selected[next] != i) continue;
    ++next;
    if (size && !size->message.empty()) ReportLine(entry.FullPath, size->message);
    std::string reason;
    const std::string existing = plan.Existing(i, &reason);
    PrintDryRunEntry(args, entry.FullPath, plan.Output(i), existing, reason, size);
  }
  return 0;
}

// Creates the output folder and the mirrored folders of the selected entries; false, with the
// reason on stderr, when one cannot be made.
bool MakeFolders(const BatchArguments& args, const std::vector<TImageEntry>& entries,
                 const std::vector<std::size_t>& selected) {
  if (args.options.SameFolder) return true;
  std::set<std::string> folders{args.options.TargetFolder};
  for (const std::size_t i : selected) folders.insert(OutputFolder(entries[i], args.options));
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) continue;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      ReportLine(folder, "cannot create the folder: " + ec.message());
      return false;
    }
    if (folder == args.options.TargetFolder) ReportLine(folder, "created the output folder");
  }
  return true;
}

int Run(int argc, char** argv) {
  BatchArguments args;
  std::vector<Input> inputs;
  std::vector<std::string> problems;
  try {
    args = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!args.help && !args.version && args.exif_report.empty()) {
      inputs = CollectInputs(args, &problems);
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
  for (const std::string& problem : problems) ReportLine({}, problem);
  const int listed = problems.empty() ? 0 : 1;
  const std::vector<TImageEntry> entries = EntriesFor(inputs);
  const std::vector<std::size_t> selected = SelectedEntries(entries.size(), args.run);
  if (args.dry_run) return std::max(DryRun(args, entries, selected), listed);
  if (!MakeFolders(args, entries, selected)) return 1;
  RemoveTemporariesOnSignals();
  BatchHost host(entries, selected,
                 {!args.quiet && ::isatty(STDERR_FILENO), args.report, args.json, args.verbose});
  try {
    RunConversion(args.options, entries, host, args.run);
  } catch (const std::exception& e) {
    host.RunStopped(e.what());
    return 1;
  }
  host.ReportHeldMessages();
  return host.failures() == 0 ? listed : 1;
}

}  // namespace
}  // namespace tolvane::cli

int main(int argc, char** argv) { return tolvane::cli::Run(argc, argv); }
