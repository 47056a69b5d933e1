#include "engine/run_conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "engine/header_size.h"
#include "engine/host_calls.h"
#include "engine/naming.h"
#include "engine/worker_pool.h"
#include "formats/exif/ExifData.h"
#include "imaging/operations.h"
#include "platform/file_ops.h"
#include "platform/limits.h"

namespace tolvane {
namespace {

// Leaves run mode and hides the progress however the run ends.
class RunModeGuard {
 public:
  RunModeGuard(ConversionHost& host, bool converting) : host_(host), converting_(converting) {
    host_.EnterRunMode();
  }
  ~RunModeGuard() {
    if (converting_) {
      host_.SetProgressPosition(0);
      host_.ShowProgress(false);
    }
    host_.LeaveRunMode();
  }
  RunModeGuard(const RunModeGuard&) = delete;
  RunModeGuard& operator=(const RunModeGuard&) = delete;

 private:
  ConversionHost& host_;
  bool converting_;
};

void ApplyCrop(TBitmap& image, TConvertOptions& o, ConversionHost& host) {
  if (!o.CropEnabled) return;
  host.SetPreviewPicture(image);
  CropRanges ranges;
  const CropRect r = UpdateCropRange(o, image.Width(), image.Height(), &ranges);
  host.CropRangesChanged(ranges);
  CropImage(image, r.left, r.top, r.right, r.bottom, 1.0);
}

// The canvas margins left, top, right, bottom as they apply to the image: the fields are held
// as 16-bit signed values, and follow a quarter turn.
std::array<int, 4> CanvasMargins(const TConvertOptions& o) {
  const auto v = [](int field) { return int{static_cast<std::int16_t>(field)}; };
  if (IsQuarterTurn(o.RotateOption)) {
    return {v(o.CanvasTop), v(o.CanvasLeft), v(o.CanvasBottom), v(o.CanvasRight)};
  }
  return {v(o.CanvasLeft), v(o.CanvasTop), v(o.CanvasRight), v(o.CanvasBottom)};
}

void ApplyCanvas(TBitmap& image, const TConvertOptions& o) {
  if (!o.CanvasEnabled) return;
  const auto [left, top, right, bottom] = CanvasMargins(o);
  AddCanvas(image, left, top, right, bottom, 1.0, o.CanvasColor);
}

// Why an operation's result of this size is refused, or nothing: operations are held to the
// same pixel limit as decoding, so that a small file cannot make one ask for gigabytes.
std::string TooLarge(std::int64_t width, std::int64_t height) {
  try {
    RequireWithinImageLimits(width, height);
    return {};
  } catch (const ImageTooLarge& e) {
    return e.what();
  }
}

std::string CanvasTooLarge(const TBitmap& image, const TConvertOptions& o) {
  if (!o.CanvasEnabled) return {};
  const auto [left, top, right, bottom] = CanvasMargins(o);
  return TooLarge(std::int64_t{image.Width()} + left + right,
                  std::int64_t{image.Height()} + top + bottom);
}

// The size the resize step gives the image, written back into the options and reported; nothing
// when the step is off or its target too small (which only warns). A target over the pixel
// limit, when *too_large is given, is reported there instead, and nothing is written back.
std::optional<ResizeSettings> PlanResize(const TBitmap& image, TConvertOptions& o,
                                         ConversionHost& host, std::string* too_large = nullptr) {
  if (!o.ResizeEnabled) return std::nullopt;
  const ResizeSettings settings{o.ResizeWidth, o.ResizeHeight, o.AspectByWidth, o.AspectByHeight};
  const std::optional<ResizeSettings> target =
      ResizeTarget(image.Width(), image.Height(), settings);
  if (!target) {
    host.ShowMessage(kResizeTooSmallMessage);
    return std::nullopt;
  }
  if (too_large != nullptr) {
    *too_large = TooLarge(target->width, target->height);
    if (!too_large->empty()) return std::nullopt;
  }
  o.ResizeWidth = target->width;
  o.ResizeHeight = target->height;
  host.ResizeTargetChanged(o.ResizeWidth, o.ResizeHeight);
  return target;
}

// The run's sources by identity, taken when the run starts: no file of the batch may be replaced
// before its turn, or moved twice because it is listed twice.
class BatchSources {
 public:
  explicit BatchSources(const std::vector<TImageEntry>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      ids_.push_back(FileIdentity(SourceFolder(entries[i]) + entries[i].FileName));
      if (!ids_.back()) continue;
      first_.try_emplace(*ids_.back(), i);
      last_[*ids_.back()] = i;
    }
  }

  // Why entry i may not be moved: an earlier entry names the same file; empty when it may.
  std::string MovedEarlier(const std::vector<TImageEntry>& entries, std::size_t i) const {
    if (!ids_[i]) return {};
    const std::size_t first = first_.at(*ids_[i]);
    if (first == i) return {};
    const TImageEntry& earlier = entries[first];
    return "the same file as \"" + SourceFolder(earlier) + earlier.FileName +
           "\", earlier in this batch";
  }

  // Whether `path` is the source of an entry after entry i.
  bool LaterSource(const std::string& path, std::size_t i) const {
    const auto id = FileIdentity(path);
    if (!id) return false;
    const auto found = last_.find(*id);
    return found != last_.end() && found->second > i;
  }

  // Whether `path` is the source of any entry.
  bool AnySource(const std::string& path) const {
    const auto id = FileIdentity(path);
    return id && first_.contains(*id);
  }

 private:
  std::vector<std::optional<FileId>> ids_;
  std::map<FileId, std::size_t> first_, last_;
};

// Deletes a moved entry's source once its output is in place, and says so when it cannot;
// the reason, or empty.
std::string DeleteSource(const TImageEntry& entry, ConversionHost& host) {
  const std::string source = SourceFolder(entry) + entry.FileName;
  std::string reason;
  if (DeleteFile(source, &reason)) return {};
  reason = "cannot delete the source: " + reason;
  host.SourceNotDeleted(entry, reason);
  return reason;
}

// The output paths of a batch whose collisions are not resolved by a prefix: a path that is
// the output of an earlier entry too would be skipped or replaced by the batch itself.
class BatchOutputs {
 public:
  // Only a run without the prefix rule needs them (`needed`); the window's runs skip the work.
  BatchOutputs(const TConvertOptions& o, const std::vector<TImageEntry>& entries, bool needed) {
    if (!needed) return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const TImageEntry& e = entries[i];
      paths_.push_back(OutputFolder(e, o) +
                       WrittenName(OutputName(int(i), e.FileName, o), o.OutputFormat));
      first_.try_emplace(paths_.back(), i);
    }
  }

  const std::string& PathOf(std::size_t i) const { return paths_[i]; }

  // Why entry i has no output of its own: an earlier entry's output has its path; empty when
  // it has.
  std::string SharedWithEarlier(const std::vector<TImageEntry>& entries, std::size_t i) const {
    const std::size_t first = first_.at(paths_[i]);
    if (first == i) return {};
    return "its output \"" + paths_[i] + "\" is the output of \"" + entries[first].FullPath +
           "\" too, earlier in this batch";
  }

 private:
  std::vector<std::string> paths_;
  std::map<std::string, std::size_t> first_;
};

// The system's reason when a source cannot even be opened; empty when it can.
std::string OpenProblem(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return {};
}

std::int64_t SizeOfFile(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

SaveSettings SaveSettingsOf(const TConvertOptions& o, TimgData* metadata) {
  return {o.OutputFormat, o.JpegQuality, o.ClearExif, o.PngCompression, o.PngTransparent, metadata};
}

// One file of a converting run on its way through the stages below. What it has to tell the
// host is recorded in `calls` and delivered when the file's turn comes.
struct FileWork {
  enum class Stage { kDecoding, kDecoded, kFinishing, kDone };

  FileWork(int i, const TImageEntry& e, int build_mode)
      : index(i), entry(e), metadata(build_mode) {}

  const int index;
  const TImageEntry& entry;
  Stage stage = Stage::kDecoding;  // guarded by the run's mutex
  std::size_t held_bytes = 0;      // guarded by the run's mutex
  HostCalls calls;
  TimgData metadata;  // the source's; goes to the host's holder at delivery
  TBitmap image;
  std::optional<ResizeSettings> resize;
  std::string name, folder;
  SaveSettings save;
  Durability durability = Durability::kCached;
  EncodedImage encoded;  // let go once staged
  StagedFile staged;     // the output written under a temporary name, waiting for its name
  std::string refusal;   // why there is no output, when there is none
  std::exception_ptr error;
  std::string target;           // the output's path when collisions are not resolved by a prefix
  bool skipped = false;         // the output exists and stays
  int width = -1, height = -1;  // of the image encoded
  std::chrono::steady_clock::duration work{};  // summed over its stages
};

// Decodes and applies the steps that do not depend on the files before: adjustments, rotation.
void DecodeStage(FileWork& w, const TConvertOptions& o) {
  ThreadMessageSink messages(w.calls);
  const CodecServices services{[&w] { w.calls.ProcessEvents(); },
                               [&w](const std::string& text) { w.calls.AppendExifText(text); },
                               &w.metadata};
  const std::string source = SourceFolder(w.entry) + w.entry.FileName;
  const Status loaded = LoadImageFile(source, w.image, services);
  if (!loaded.ok()) {
    const std::string problem = OpenProblem(source);
    w.refusal = problem.empty() ? "cannot decode: " + loaded.message() : "cannot open: " + problem;
    return;
  }
  ApplyAdjustments(w.image, o);
  ApplyRotate(w.image, o);
}

// The steps that read and write back the carried options, in list order: crop, canvas, the
// resize size. Cheap next to decoding, resampling and encoding.
void PlanStage(FileWork& w, TConvertOptions& o) {
  ThreadMessageSink messages(w.calls);
  w.name = OutputName(w.index, w.entry.FileName, o);
  w.folder = OutputFolder(w.entry, o);
  ApplyCrop(w.image, o, w.calls);
  // A result over the limit fails this file alone, as a file that cannot be decoded does.
  w.refusal = CanvasTooLarge(w.image, o);
  if (!w.refusal.empty()) return;
  ApplyCanvas(w.image, o);
  w.resize = PlanResize(w.image, o, w.calls, &w.refusal);
  if (!w.refusal.empty()) return;
  w.save = SaveSettingsOf(o, &w.metadata);
}

// An output must be on disk before its source may go, or before it replaces a file.
Durability DurabilityOf(const TConvertOptions& o, ExistingOutput existing) {
  const bool keep =
      o.Operation != TFileOperation::kMoveFiles && existing != ExistingOutput::kReplace;
  return keep ? Durability::kCached : Durability::kOnDisk;
}

// A file that asks for more memory than there is, or for an image over the limits, fails
// alone; what it held is let go.
void Refuse(FileWork& w, std::string reason) {
  w.image.Clear();
  w.encoded = {};
  w.refusal = std::move(reason);
}

void OutOfMemory(FileWork& w) { Refuse(w, "out of memory"); }

// Resamples, encodes and writes the output under a temporary name; the image is let go once
// encoded, the encoding once written. When the write fails, delivery writes again the plain
// way, which reports the failure under the output's final name.
void EncodeStage(FileWork& w) {
  ThreadMessageSink messages(w.calls);
  if (w.resize) ResizeTo(w.image, w.resize->width, w.resize->height);
  if (w.image.Empty()) {
    w.refusal = "no pixels are left after cropping";
    return;
  }
  w.width = w.image.Width();
  w.height = w.image.Height();
  w.encoded = EncodeForSave(std::move(w.image), w.name, w.save);
  w.image.Clear();
  w.name = w.encoded.name;  // with the extension its format gives
  if (StageEncoded(w.encoded, w.folder, w.durability, w.staged)) w.encoded = {};
}

// A converting run: up to `jobs` files are decoded and encoded at once on workers, while this
// thread decides each file's carried options and delivers each file to the host strictly in
// list order. Outputs are written and sources deleted only at delivery, so the host sees and the
// disk gets exactly what a one-file-at-a-time run gives, and a cancelled run leaves nothing
// of the files after the one delivered last.
class ConvertingRun {
 public:
  ConvertingRun(TConvertOptions& o, const std::vector<TImageEntry>& entries, ConversionHost& host,
                const RunSettings& settings)
      : o_(o),
        constant_(o),
        entries_(entries),
        host_(host),
        holder_(host.MetadataHolder() != nullptr ? host.MetadataHolder() : &run_holder_),
        jobs_(std::max(settings.jobs, 1)),
        max_in_flight_(jobs_ == 1 ? 1 : jobs_ + 1),
        memory_budget_(settings.memory_budget),
        existing_(settings.existing),
        durability_(DurabilityOf(o, settings.existing)),
        selected_(SelectedEntries(entries.size(), settings)),
        sources_(entries),
        outputs_(o, entries, settings.existing != ExistingOutput::kPrefix),
        pool_(jobs_ == 1 ? 0 : jobs_) {}

  void Run() {
    const int n = static_cast<int>(selected_.size());
    if (n == 0) return;
    host_.SetProgressMaximum(n - 1);
    host_.SetProgressPosition(0);
    host_.ShowProgress(true);
    while (next_delivery_ < n) {
      // The host learns of a file as soon as the one before is delivered, so that the file
      // it shows as current is the one being finished, and a Cancel then lets it finish.
      if (!preview_) {
        host_.ProcessEvents();
        if (host_.CancelRequested()) break;
        host_.SetProgressPosition(next_delivery_);
        preview_ = host_.PreviewPicture();
      }
      StartFiles();
      if (PlanNext()) continue;
      if (!HeadDone()) {
        Wait();
        continue;
      }
      Deliver(*in_flight_.front());
      in_flight_.pop_front();
      ++next_delivery_;
    }
    if (o_.Operation == TFileOperation::kMoveFiles) host_.ClearAllItems();
  }

 private:
  using Stage = FileWork::Stage;

  // Starts decoding the next files while the number in flight and their memory allow; one
  // file is always allowed.
  void StartFiles() {
    while (next_start_ < static_cast<int>(selected_.size()) && !stop_planning_) {
      {
        std::lock_guard lock(mutex_);
        const auto count = in_flight_.size();
        if (count >= max_in_flight_) return;
        if (count > 0 && ProjectedBytes() + largest_ > memory_budget_) return;
      }
      const std::size_t i = selected_[std::size_t(next_start_++)];
      in_flight_.push_back(std::make_unique<FileWork>(int(i), entries_[i], holder_->BuildMode()));
      FileWork* w = in_flight_.back().get();
      w->durability = durability_;
      if (Moves()) w->refusal = sources_.MovedEarlier(entries_, i);
      if (w->refusal.empty() && existing_ != ExistingOutput::kPrefix) SettleTarget(*w, i);
      if (!w->refusal.empty() || w->skipped) {
        w->stage = Stage::kDone;  // no worker has seen it yet
        continue;
      }
      decoded_.insert(i);
      pool_.Submit(
          [this, w] { RunStage(*w, Stage::kDecoded, [this, w] { DecodeStage(*w, constant_); }); });
    }
  }

  // Without a prefix to resolve collisions, an output has one path, known before decoding: an
  // existing file there is kept (without decoding the source) or may be replaced.
  void SettleTarget(FileWork& w, std::size_t i) {
    w.target = outputs_.PathOf(i);
    w.refusal = outputs_.SharedWithEarlier(entries_, i);
    if (!w.refusal.empty()) return;
    if (existing_ == ExistingOutput::kSkip) {
      w.skipped = FileExists(w.target);
      return;
    }
    const std::string source = SourceFolder(w.entry) + w.entry.FileName;
    if (Moves() && SameFile(w.target, source)) return;  // converted in place
    if (sources_.AnySource(w.target)) {
      w.refusal = "would replace \"" + w.target + "\", a source of this batch";
    }
  }

  // The bytes the files in flight hold, those still decoding counted at the largest size seen.
  std::size_t ProjectedBytes() const {
    std::size_t total = 0;
    for (const auto& w : in_flight_) {
      total += w->stage == Stage::kDecoding ? largest_ : w->held_bytes;
    }
    return total;
  }

  // Runs a stage's work on a worker and records where the file stands afterwards.
  template <typename Work>
  void RunStage(FileWork& w, Stage reached, Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    try {
      work();
    } catch (const std::bad_alloc&) {
      OutOfMemory(w);
    } catch (const ImageTooLarge& e) {
      Refuse(w, e.what());
    } catch (...) {
      w.error = std::current_exception();
    }
    w.work += std::chrono::steady_clock::now() - start;
    const bool finished = w.error || !w.refusal.empty() || reached == Stage::kDone;
    const std::size_t held =
        w.image.PixelBytes().size() + w.encoded.HeldBytes() + w.calls.HeldBytes();
    {
      std::lock_guard lock(mutex_);
      w.stage = finished ? Stage::kDone : reached;
      w.held_bytes = held;
      largest_ = std::max(largest_, w.image.PixelBytes().size());
      ++changes_;
    }
    changed_.notify_all();
  }

  // Plans the next file in list order once it is decoded, then sends it to be encoded.
  bool PlanNext() {
    const std::size_t offset = static_cast<std::size_t>(next_plan_ - next_delivery_);
    if (stop_planning_ || offset >= in_flight_.size()) return false;
    FileWork& w = *in_flight_[offset];
    {
      std::lock_guard lock(mutex_);
      if (w.stage == Stage::kDecoding) return false;
      if (w.stage == Stage::kDone) {
        ++next_plan_;
        // A file that stopped the run ends the planning: nothing after it is converted.
        if (w.error) stop_planning_ = true;
        return true;
      }
      w.stage = Stage::kFinishing;
    }
    ++next_plan_;
    const auto start = std::chrono::steady_clock::now();
    try {
      CarryUpTo(std::size_t(w.index));
      PlanStage(w, o_);
    } catch (const std::bad_alloc&) {
      OutOfMemory(w);
    } catch (const ImageTooLarge& e) {
      Refuse(w, e.what());
    } catch (...) {
      w.error = std::current_exception();
      stop_planning_ = true;
    }
    w.work += std::chrono::steady_clock::now() - start;
    if (w.error || !w.refusal.empty()) {
      w.image.Clear();
      std::lock_guard lock(mutex_);
      w.stage = Stage::kDone;
      w.held_bytes = w.calls.HeldBytes();
      return true;
    }
    pool_.Submit([this, &w] { RunStage(w, Stage::kDone, [&w] { EncodeStage(w); }); });
    return true;
  }

  // Carries the crop and resize values over the entries before `index` that this run does not
  // decode (those of other shards, and outputs kept by skip), from the sizes their headers
  // state, so that each file meets the values a whole run over the list gives it. Entries no
  // run converts (refused before decoding) carry nothing, as in a whole run.
  void CarryUpTo(std::size_t index) {
    const bool carries = o_.CropEnabled || o_.ResizeEnabled;
    for (; next_carry_ < index; ++next_carry_) {
      const std::size_t j = next_carry_;
      if (!carries || decoded_.contains(j)) continue;
      if (Moves() && !sources_.MovedEarlier(entries_, j).empty()) continue;
      if (existing_ != ExistingOutput::kPrefix &&
          !outputs_.SharedWithEarlier(entries_, j).empty()) {
        continue;
      }
      const TImageEntry& e = entries_[j];
      if (const auto size = HeaderSize(SourceFolder(e) + e.FileName)) {
        PlanOutputSize(o_, size->width, size->height);
      }
    }
    next_carry_ = index + 1;
  }

  bool HeadDone() {
    std::lock_guard lock(mutex_);
    return !in_flight_.empty() && in_flight_.front()->stage == Stage::kDone;
  }

  // Sleeps until a worker has finished a stage since the last wait.
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return changes_ != seen_changes_; });
    seen_changes_ = changes_;
  }

  // Tells the host what the file did, writes its output and, for Move Files, deletes its
  // source; the preview's picture is put back in any case.
  void Deliver(FileWork& w) {
    struct RestorePreview {
      ConversionHost& host;
      std::optional<TBitmap>& picture;
      ~RestorePreview() {
        host.SetPreviewPicture(*picture);
        picture.reset();
      }
    } restore{host_, preview_};
    holder_->Swap(w.metadata);
    w.calls.ReplayTo(host_);
    if (w.error) std::rethrow_exception(w.error);
    const auto start = std::chrono::steady_clock::now();
    EntryOutcome outcome = Place(w);
    outcome.milliseconds = Milliseconds(w.work + (std::chrono::steady_clock::now() - start));
    host_.EntryFinished(w.entry, outcome);
  }

  // Puts the file's output in place and, for Move Files, deletes its source.
  EntryOutcome Place(FileWork& w) {
    using Status = EntryOutcome::Status;
    if (w.skipped) return {Status::kSkipped, w.target, {}, -1, -1, SizeOfFile(w.target)};
    if (!w.refusal.empty()) {
      host_.EntryNotConverted(w.entry, w.refusal);
      return {Status::kFailed, {}, w.refusal};
    }
    const bool move = Moves();
    const std::string source = SourceFolder(w.entry) + w.entry.FileName;
    const std::string replaceable = move ? source : std::string();
    SaveResult saved;
    if (existing_ != ExistingOutput::kPrefix) {
      saved = PlaceAtTarget(w);
    } else if (w.staged.Waiting()) {
      saved = PlaceStaged(w.staged, w.folder, w.name, replaceable);
    } else {
      saved = WriteEncoded(w.encoded, w.folder, replaceable, w.durability);
    }
    w.encoded = {};
    if (w.skipped) return {Status::kSkipped, w.target, {}, -1, -1, SizeOfFile(w.target)};
    if (!saved.written) {
      host_.EntryNotConverted(w.entry, saved.reason);
      return {Status::kFailed, {}, saved.reason};
    }
    // The source goes only now that its output is in place (unless the output replaced it).
    host_.EntryConverted(w.entry, saved.path);
    EntryOutcome outcome{Status::kConverted,    saved.path, {}, w.width, w.height,
                         SizeOfFile(saved.path)};
    if (move && saved.path != source) {
      outcome.reason = DeleteSource(w.entry, host_);
      if (!outcome.reason.empty()) outcome.status = Status::kFailed;
    }
    return outcome;
  }

  // Writes the output under its one path: beside an existing file it is kept (skip) or
  // replaced in one rename. A file that appeared there since the run began is kept too.
  SaveResult PlaceAtTarget(FileWork& w) {
    if (!w.staged.Waiting() && !w.encoded.refusal.empty()) return {false, {}, w.encoded.refusal};
    const WriteMode mode =
        existing_ == ExistingOutput::kReplace ? WriteMode::kReplace : WriteMode::kNoReplace;
    std::string error;
    WriteResult result;
    if (w.staged.Waiting()) {
      result = w.staged.Place(w.target, mode, &error);
    } else {
      std::vector<std::span<const std::uint8_t>> pieces{w.encoded.bytes};
      pieces.insert(pieces.end(), w.encoded.rows.begin(), w.encoded.rows.end());
      result = WriteFileAtomic(w.target, pieces, mode, &error, w.durability);
    }
    if (result == WriteResult::kFailed) throw std::runtime_error(error);
    w.skipped = result == WriteResult::kExists;
    return {result == WriteResult::kWritten, w.target, {}};
  }

  bool Moves() const { return o_.Operation == TFileOperation::kMoveFiles; }

  TConvertOptions& o_;              // carries crop and resize from file to file
  const TConvertOptions constant_;  // what the workers read: the fields no file changes
  const std::vector<TImageEntry>& entries_;
  ConversionHost& host_;
  TimgData run_holder_;
  TimgData* holder_;
  const int jobs_;
  const std::size_t max_in_flight_;
  const std::size_t memory_budget_;
  const ExistingOutput existing_;
  const Durability durability_;
  const std::vector<std::size_t> selected_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t largest_ = 0;    // guarded by mutex_
  std::uint64_t changes_ = 0;  // guarded by mutex_: stages finished by workers
  std::uint64_t seen_changes_ = 0;

  // Owned by this thread.
  std::deque<std::unique_ptr<FileWork>> in_flight_;  // from the next file to deliver on
  int next_start_ = 0, next_plan_ = 0, next_delivery_ = 0;
  std::size_t next_carry_ = 0;     // entries before it carry no more values
  std::set<std::size_t> decoded_;  // the entries this run decodes
  bool stop_planning_ = false;
  // The preview's picture while a file is current, to be put back when it is delivered.
  std::optional<TBitmap> preview_;
  const BatchSources sources_;
  const BatchOutputs outputs_;

  // Last, so that it is stopped before the files its tasks work on go.
  WorkerPool pool_;
};

// Why entry i of a simple run is not copied, or nothing when it is.
std::string SimpleRefusal(const BatchSources& sources, const std::vector<TImageEntry>& entries,
                          std::size_t i, const std::string& target, bool move) {
  if (move) {
    if (std::string earlier = sources.MovedEarlier(entries, i); !earlier.empty()) return earlier;
  }
  if (sources.LaterSource(target, i)) {
    return "would replace \"" + target + "\", which comes later in this batch";
  }
  return {};
}

// Copies (and for Simple Move deletes) entry i of a simple run.
EntryOutcome SimpleEntry(const TConvertOptions& o, const std::vector<TImageEntry>& entries,
                         std::size_t i, const BatchSources& sources, ExistingOutput existing,
                         ConversionHost& host) {
  using Status = EntryOutcome::Status;
  const TImageEntry& entry = entries[i];
  const bool move = o.Operation == TFileOperation::kSimpleMove;
  const std::string source = SourceFolder(entry) + entry.FileName;
  const std::string target = OutputFolder(entry, o) + OutputName(int(i), entry.FileName, o);
  // Copying a file onto itself, and then deleting it for a move, would lose it.
  if (SameFile(source, target)) return {Status::kConverted, target, {}, -1, -1, SizeOfFile(target)};
  if (existing == ExistingOutput::kSkip && FileExists(target)) {
    return {Status::kSkipped, target, {}, -1, -1, SizeOfFile(target)};
  }
  std::string reason = SimpleRefusal(sources, entries, i, target, move);
  if (reason.empty()) {
    // A moved file's copy must be on disk before the source goes.
    if (CopyFileTo(source, target, move ? Durability::kOnDisk : Durability::kCached, &reason)) {
      host.EntryConverted(entry, target);
      EntryOutcome outcome{Status::kConverted, target, {}, -1, -1, SizeOfFile(target)};
      if (move) outcome.reason = DeleteSource(entry, host);
      if (!outcome.reason.empty()) outcome.status = Status::kFailed;
      return outcome;
    }
    reason = "cannot copy to \"" + target + "\": " + reason;
  }
  host.EntryNotConverted(entry, reason);
  return {Status::kFailed, {}, reason};
}

void RunSimple(const TConvertOptions& o, const std::vector<TImageEntry>& entries,
               ConversionHost& host, const RunSettings& settings) {
  const BatchSources sources(entries);
  for (const std::size_t i : SelectedEntries(entries.size(), settings)) {
    const auto start = std::chrono::steady_clock::now();
    EntryOutcome outcome = SimpleEntry(o, entries, i, sources, settings.existing, host);
    outcome.milliseconds = Milliseconds(std::chrono::steady_clock::now() - start);
    host.EntryFinished(entries[i], outcome);
  }
  if (o.Operation == TFileOperation::kSimpleMove) host.ClearAllItems();
}

// Clears what runs that died left in the folders this one writes to.
void RemoveStaleTemporariesOf(const TConvertOptions& o, const std::vector<TImageEntry>& entries) {
  std::set<std::string> folders;
  for (const TImageEntry& entry : entries) folders.insert(OutputFolder(entry, o));
  for (const std::string& folder : folders) RemoveStaleTemporaries(folder);
}

}  // namespace

void ApplyAdjustments(TBitmap& image, const TConvertOptions& o) {
  if (!o.AdjustEnabled) return;
  if (o.Invert) InvertImage(image);
  if (o.NightVision) NightVisionImage(image);
  if (o.GrayScale) GrayScaleImage(image);
  if (o.Sepia) SepiaImage(image);
}

void ApplyRotate(TBitmap& image, const TConvertOptions& o) {
  if (!o.RotateEnabled) return;
  switch (o.RotateOption) {
    case TRotateOption::kRotateRight:
      RotateImage(image, kWhite, 90);
      break;
    case TRotateOption::kRotateLeft:
      RotateImage(image, kWhite, 270);
      break;
    case TRotateOption::kFlipVertically:
      FlipImage(image, false);
      break;
    case TRotateOption::kFlipHorizontally:
      FlipImage(image, true);
      break;
    case TRotateOption::kCancelRotate:
      break;
  }
}

void ApplyOperations(TBitmap& image, TConvertOptions& options, ConversionHost& host) {
  ApplyAdjustments(image, options);
  ApplyRotate(image, options);
  ApplyCrop(image, options, host);
  ApplyCanvas(image, options);
  if (const auto target = PlanResize(image, options, host)) {
    ResizeTo(image, target->width, target->height);
  }
}

CropRect UpdateCropRange(TConvertOptions& o, int width, int height, CropRanges* ranges) {
  const bool quarter = IsQuarterTurn(o.RotateOption);
  const int d1 = quarter ? height : width;
  const int d2 = quarter ? width : height;
  if (o.CropLeft > d1 || o.CropTop > d2 || o.CropLeft < 0 || o.CropTop < 0 || o.CropRight < 0 ||
      o.CropBottom < 0) {
    throw std::runtime_error(kCropOutOfRangeMessage);
  }
  const int a = o.CropLeft;
  const int b = std::max(d1 - o.CropRight, a);
  const int c = o.CropTop;
  const int d = std::max(d2 - o.CropBottom, c);
  o.CropRight = d1 - b;
  o.CropBottom = d2 - d;
  if (ranges) *ranges = {d1, d2, o.CropLeft, o.CropTop, o.CropRight, o.CropBottom};
  if (quarter) return {c, a, d, b};
  return {a, c, b, d};
}

std::vector<std::size_t> SelectedEntries(std::size_t count, const RunSettings& settings) {
  const auto step = static_cast<std::size_t>(std::max(settings.shard_count, 1));
  std::vector<std::size_t> selected;
  for (auto i = static_cast<std::size_t>(std::max(settings.shard_index, 0)); i < count; i += step) {
    selected.push_back(i);
  }
  return selected;
}

PlannedSize PlanOutputSize(TConvertOptions& o, int width, int height) {
  PlannedSize size{width, height, {}};
  if (o.RotateEnabled && IsQuarterTurn(o.RotateOption)) std::swap(size.width, size.height);
  if (o.CropEnabled) {
    const CropRect r = UpdateCropRange(o, size.width, size.height, nullptr);
    size.width = r.right - r.left;
    size.height = r.bottom - r.top;
  }
  if (o.CanvasEnabled) {
    const auto [left, top, right, bottom] = CanvasMargins(o);
    size.width += left + right;
    size.height += top + bottom;
  }
  if (!o.ResizeEnabled) return size;
  const auto target = ResizeTarget(
      size.width, size.height, {o.ResizeWidth, o.ResizeHeight, o.AspectByWidth, o.AspectByHeight});
  if (!target) {
    size.message = kResizeTooSmallMessage;
    return size;
  }
  o.ResizeWidth = size.width = target->width;
  o.ResizeHeight = size.height = target->height;
  return size;
}

int DefaultJobs() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

void RunConversion(TConvertOptions& options, const std::vector<TImageEntry>& entries,
                   ConversionHost& host, const RunSettings& settings) {
  if (entries.empty()) return;
  if (options.Rename) {
    if (const auto problem = BaseNameProblem(options.BaseName)) {
      throw std::invalid_argument(*problem);
    }
  }
  const bool converting = Converts(options.Operation);
  RunModeGuard run_mode(host, converting);
  RemoveStaleTemporariesOf(options, entries);
  try {
    if (converting) {
      ConvertingRun(options, entries, host, settings).Run();
    } else {
      RunSimple(options, entries, host, settings);
    }
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("out of memory");  // in words a user reads, not the type's name
  }
}

}  // namespace tolvane
