#include "formats/exif/ExifData.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "formats/exif/exif_tables.h"
#include "formats/exif/exif_text.h"
#include "formats/iptc/IptcData.h"
#include "formats/makernote/MakerNoteData.h"

namespace tolvane {

using namespace exif;

namespace {

constexpr std::uint64_t kTiffHeader = 8;  // segment offset of the TIFF header
// Sub-directories nest a few levels in real files; deeper chains are not walked.
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxValueElements = 128;

constexpr std::uint16_t kTagImageWidth = 0x0100, kTagImageLength = 0x0101;
constexpr std::uint16_t kTagExifImageWidth = 0xA002, kTagExifImageLength = 0xA003;
constexpr std::uint16_t kTagMake = 0x010F, kTagModel = 0x0110, kTagDateTime = 0x0132;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003, kTagExifVersion = 0x9000;
constexpr std::uint16_t kTagFlash = 0x9209, kTagMakerNote = 0x927C, kTagUserComment = 0x9286;
constexpr std::uint16_t kTagExifOffset = 0x8769, kTagInteropOffset = 0xA005;
constexpr std::uint16_t kTagSubIfds = 0x014A, kTagGpsInfo = 0x8825;

constexpr std::uint8_t kMarkerApp0 = 0xE0, kMarkerApp1 = 0xE1, kMarkerApp13 = 0xED;
constexpr std::uint8_t kMarkerCom = 0xFE, kMarkerEoi = 0xD9, kMarkerSos = 0xDA;

std::string AsText(std::span<const std::uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The element as an unsigned number in the stored byte order.
std::uint64_t ElementValue(std::span<const std::uint8_t> e, bool motorola) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < e.size(); ++i) {
    const std::uint64_t b = e[i];
    v = motorola ? (v << 8) | b : v | (b << (8 * i));
  }
  return v;
}

bool IsIntegerType(int type) {
  return type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9;
}

std::string NameWithoutFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtensionOf(const std::string& path) {
  const std::string name = NameWithoutFolder(path);
  const std::size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

}  // namespace

int TiffTypeSize(int type) {
  static constexpr int kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type >= 0 && type <= 12 ? kSizes[type] : 0;
}

// ---- TImageInfo -------------------------------------------------------------------------

TImageInfo::TImageInfo(std::span<std::uint8_t> segment, bool motorola, int build_mode)
    : segment_(segment), motorola_(motorola), build_mode_(build_mode) {}

std::span<const std::uint8_t> TImageInfo::BytesAt(std::uint64_t pos, std::uint64_t n) const {
  if (pos >= segment_.size()) return {};
  const std::uint64_t available = segment_.size() - pos;
  return std::span<const std::uint8_t>(segment_).subspan(
      static_cast<std::size_t>(pos), static_cast<std::size_t>(std::min(n, available)));
}

std::optional<std::uint32_t> TImageInfo::Read16(std::uint64_t pos) const {
  const auto b = BytesAt(pos, 2);
  if (b.size() < 2) return std::nullopt;
  return static_cast<std::uint32_t>(ElementValue(b, motorola_));
}

std::optional<std::uint32_t> TImageInfo::Read32(std::uint64_t pos) const {
  const auto b = BytesAt(pos, 4);
  if (b.size() < 4) return std::nullopt;
  return static_cast<std::uint32_t>(ElementValue(b, motorola_));
}

void TImageInfo::AddEntry(const TTagEntry& entry) {
  if (entry.TagNumber != 0) entries_.push_back(entry);
}

std::string TImageInfo::ValueText(std::span<const std::uint8_t> raw, int type,
                                  const std::string& decode, const std::string& pattern) const {
  const int element = TiffTypeSize(type);
  if (element == 0) return "0";
  std::string text;
  const std::size_t count = std::min(raw.size() / element, kMaxValueElements);
  for (std::size_t i = 0; i < count; ++i) {
    const auto e = raw.subspan(i * element, element);
    if (i > 0) text += ", ";
    if (type == 5 || type == 10) {
      const auto n = static_cast<std::int32_t>(ElementValue(e.first(4), motorola_));
      const auto d = static_cast<std::int32_t>(ElementValue(e.subspan(4), motorola_));
      text += std::to_string(n) + "/" + std::to_string(d);
    } else if (type == 11 || type == 12) {
      text += "-9999.99";
    } else {
      const std::string value =
          std::to_string(static_cast<std::int32_t>(ElementValue(e, motorola_)));
      text += decode.empty() ? value : DecodeLookup(decode, value);
    }
  }
  if (pattern.empty()) return text;
  const std::size_t s = pattern.find("%s");
  if (s != std::string::npos) return pattern.substr(0, s) + text + pattern.substr(s + 2);
  return FormatReal(pattern.c_str(), NumericValue(raw, type));
}

double TImageInfo::NumericValue(std::span<const std::uint8_t> raw, int type) const {
  if (raw.empty()) return 0;
  if (IsIntegerType(type)) {
    // All raw bytes as one number; beyond four bytes only 32 bits are kept.
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (motorola_) {
        v = (v << 8) | raw[i];
      } else if (i < 4) {
        v |= std::uint32_t{raw[i]} << (8 * i);
      }
    }
    return static_cast<std::int32_t>(v);
  }
  if (type == 5 || type == 10) {
    if (raw.size() < 8) return 0;
    const auto n = static_cast<std::int32_t>(ElementValue(raw.first(4), motorola_));
    const auto d = static_cast<std::int32_t>(ElementValue(raw.subspan(4, 4), motorola_));
    return d == 0 ? 0 : double(n) / double(d);
  }
  // FLOAT and DOUBLE show "-9999.99" as text, but their number is the stored IEEE value.
  if (type == 11 && raw.size() >= 4) {
    return double(
        std::bit_cast<float>(static_cast<std::uint32_t>(ElementValue(raw.first(4), motorola_))));
  }
  if (type == 12 && raw.size() >= 8) {
    const double v = std::bit_cast<double>(ElementValue(raw.first(8), motorola_));
    return std::isfinite(v) ? v : 0;
  }
  return 0;
}

bool TImageInfo::Parse(std::string& error_text) {
  error_text_ = &error_text;
  visited_.clear();
  const auto segment = BytesAt(0, segment_.size());
  if (segment.size() < 7 || std::memcmp(segment.data() + 2, "Exif\0", 5) != 0) {
    error_text = "Incorrect Exif header";
    return true;
  }
  const auto order = BytesAt(8, 2);
  if (order.size() == 2 && order[0] == 'I' && order[1] == 'I') {
    motorola_ = false;
  } else if (order.size() == 2 && order[0] == 'M' && order[1] == 'M') {
    motorola_ = true;
  } else {
    error_text = "Invalid Exif alignment marker";
    return true;
  }
  std::uint64_t first = Read32(12).value_or(0);
  if (first == 0) first = 8;
  if (!WalkDirectory(kTiffHeader + first, DirKind::kMain, 0)) return false;
  Estimate35mm();
  return true;
}

bool TImageInfo::WalkDirectory(std::uint64_t start, DirKind kind, int depth) {
  visited_.insert({kTiffHeader, start});
  const auto n = Read16(start);
  if (!n) return true;  // a directory outside the segment holds nothing
  const std::uint64_t declared = (std::uint64_t{segment_.size() > 1 ? segment_[0] : 0u} << 8) |
                                 (segment_.size() > 1 ? segment_[1] : 0u);
  if (2 + 12 * std::uint64_t{*n} > declared + 3) {
    SetErrorText("Illegally sized directory");
    return true;
  }
  for (std::uint64_t i = 0; i < *n; ++i) {
    const std::uint64_t entry_pos = start + 2 + 12 * i;
    // An entry that runs past the segment ends the directory.
    if (BytesAt(entry_pos, 12).size() < 12) break;
    if (!WalkEntry(entry_pos, kind, depth)) return false;
  }
  return true;
}

bool TImageInfo::WalkEntry(std::uint64_t entry_pos, DirKind kind, int depth) {
  const std::uint16_t tag = static_cast<std::uint16_t>(*Read16(entry_pos));
  const int type = static_cast<int>(*Read16(entry_pos + 2));
  const std::uint64_t count = *Read32(entry_pos + 4);
  const std::uint64_t size = count * static_cast<std::uint64_t>(TiffTypeSize(type));
  if (size == 0) return true;
  const std::uint64_t value_pos = size <= 4 ? entry_pos + 8 : kTiffHeader + *Read32(entry_pos + 8);
  const auto raw = BytesAt(value_pos, size);

  const auto& table = kind == DirKind::kMain ? ExifTable() : GpsTable();
  const TTagEntry* row = &DefaultRow();
  for (const TTagEntry& candidate : table) {
    if (candidate.TagNumber == tag) row = &candidate;  // on duplicates the last wins
  }
  TTagEntry entry = *row;
  std::string text;
  if (type == 2) {
    text = AsText(raw);
    if (!text.empty() && text.back() == '\0') text.pop_back();
  } else if (type == 7) {
    text = "\"" + AsText(raw) + "\"";
  } else {
    text = ValueText(raw, type, row->DecodeList, row->FormatPattern);
  }
  if (row->TagNumber != 0 && row->Formatter != nullptr) {
    const auto formatted = row->Formatter(text, *this);
    if (!formatted) return false;
    text = *formatted;
  } else {
    text = CleanText(text);
  }
  if (tag == kTagUserComment) {
    const std::string bytes = AsText(raw);
    const std::size_t length = count > 9 ? static_cast<std::size_t>(count - 9) : 0;
    user_comment_ = Trim(bytes.size() > 8 ? bytes.substr(8, length) : std::string());
    user_comment_position_ = static_cast<int>(value_pos);
    user_comment_length_ = static_cast<int>(user_comment_.size());
    text = user_comment_;
  }
  entry.Text = text;
  entry.RawBytes = AsText(raw);
  entry.RawPosition = static_cast<std::int32_t>(value_pos);
  entry.ValueType = static_cast<std::uint16_t>(type);
  entry.Length = static_cast<std::int32_t>(raw.size());
  entry.TagNumber = row->TagNumber;
  Remember(tag, entry, raw);
  if (tag == kTagMakerNote) {
    maker_note_ = entry.RawBytes;
    maker_note_position_ = entry.RawPosition;
    maker_note_decoded_ = DecodeMakerNote(*this);
  }

  const bool to_main = tag == kTagExifOffset || tag == kTagInteropOffset || tag == kTagSubIfds;
  if ((to_main || tag == kTagGpsInfo) && raw.size() >= 4 && depth < kMaxDepth) {
    const std::uint64_t sub = kTiffHeader + ElementValue(raw.first(4), motorola_);
    if (!visited_.contains({kTiffHeader, sub})) {
      // A broken sub-directory must not cost the entries around it.
      (void)WalkDirectory(sub, to_main ? DirKind::kMain : DirKind::kGps, depth + 1);
    }
  }
  AddEntry(entry);
  return true;
}

void TImageInfo::Remember(std::uint16_t tag, const TTagEntry& entry,
                          std::span<const std::uint8_t> raw) {
  const auto number = [&] {
    return static_cast<int>(RoundEven(NumericValue(raw, entry.ValueType)));
  };
  switch (tag) {
    case kTagImageWidth:
    case kTagExifImageWidth:
      width_ = number();
      width_field_ = {entry.RawPosition, entry.ValueType};
      break;
    case kTagImageLength:
    case kTagExifImageLength:
      height_ = number();
      height_field_ = {entry.RawPosition, entry.ValueType};
      break;
    case kTagMake:
      make_ = entry.Text.substr(0, 32);
      break;
    case kTagModel:
      model_ = entry.Text.substr(0, 40);
      break;
    case kTagDateTime:
    case kTagDateTimeOriginal:
      photo_date_ = entry.Text.substr(0, 20);
      break;
    case kTagExifVersion:
      exif_version_ = entry.RawBytes.substr(0, 6);
      break;
    case kTagFlash:
      flash_ = number();
      break;
    default:
      break;
  }
}

double TImageInfo::EntryNumber(const std::string& key) const {
  const std::string wanted = Upper(key);
  for (const TTagEntry& e : entries_) {
    if (Upper(e.KeyName) == wanted) return NumericValue(AsBytes(e.RawBytes), e.ValueType);
  }
  return 0;
}

void TImageInfo::Estimate35mm() {
  if (std::any_of(entries_.begin(), entries_.end(),
                  [](const TTagEntry& e) { return Upper(e.KeyName) == "FOCALLENGTHIN35MMFILM"; })) {
    return;
  }
  long long unit = RoundEven(EntryNumber("FocalPlaneResolutionUnit"));
  if (unit <= 0) unit = RoundEven(EntryNumber("ResolutionUnit"));
  double mm_per_unit = 0;
  if (unit == 2) {
    mm_per_unit = 25.4;
  } else if (unit == 3) {
    mm_per_unit = 10.0;
  } else {
    return;
  }
  const double f = EntryNumber("FocalLength");
  if (f == 0) return;
  const double x_res = EntryNumber("FocalPlaneXResolution");
  const double y_res = EntryNumber("FocalPlaneYResolution");
  const double x = x_res > 0 ? double(RoundEven(width_ * mm_per_unit / x_res)) : 0.0;
  const double y = y_res > 0 ? double(RoundEven(height_ * mm_per_unit / y_res)) : 0.0;
  if (x * y <= 0) return;
  const double f35 = f * (43.26661531 / std::sqrt(x * x + y * y));
  for (const TTagEntry& row : ExifTable()) {
    if (row.KeyName != "FocalLengthin35mmFilm") continue;
    TTagEntry entry = row;
    entry.Text = FormatReal("%5.2f", f35);
    entry.FormatPattern = "%s mm";
    AddEntry(entry);
    return;
  }
}

std::string TImageInfo::FindTagText(const std::string& key_name) const {
  const std::string wanted = Upper(key_name);
  for (const TTagEntry& e : entries_) {
    if (Upper(e.KeyName) == wanted) return e.Text;
  }
  return {};
}

bool TImageInfo::NextTagOfTable(int table_id, TTagEntry& entry) {
  while (cursor_ < entries_.size()) {
    const TTagEntry& e = entries_[cursor_++];
    if (e.TableId == table_id) {
      entry = e;
      return true;
    }
  }
  entry = TTagEntry{};
  return false;
}

void TImageInfo::WriteField(const Field& field, int value) {
  const int bytes = field.type == 3 ? 2 : field.type == 4 ? 4 : 0;
  if (bytes == 0 || field.position < 0 || std::uint64_t(field.position) + bytes > segment_.size()) {
    return;
  }
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < bytes; ++i) {
    const int shift = motorola_ ? 8 * (bytes - 1 - i) : 8 * i;
    segment_[static_cast<std::size_t>(field.position + i)] = static_cast<std::uint8_t>(v >> shift);
  }
}

void TImageInfo::UpdateStoredDimensions(int height, int width) {
  if (width_ <= 0 || height_ <= 0 || (width_ == width && height_ == height)) return;
  WriteField(height_field_, height);
  WriteField(width_field_, width);
}

// ---- TimgData ---------------------------------------------------------------------------

TimgData::TimgData(int build_mode) : build_mode_(build_mode) { Reset(); }
TimgData::~TimgData() = default;

void TimgData::Reset() {
  exif_info_.reset();
  iptc_info_.reset();
  for (tSection& s : sections_) s = tSection{};
  section_count_ = 0;
  exif_.reset();
  iptc_.reset();
  comment_.reset();
  header_.reset();
  file_name_.clear();
  file_time_ = 0;
  file_size_ = 0;
  error_text_.clear();
  motorola_ = false;
}

void TimgData::Swap(TimgData& other) noexcept {
  using std::swap;
  swap(sections_, other.sections_);
  swap(section_count_, other.section_count_);
  swap(exif_, other.exif_);
  swap(iptc_, other.iptc_);
  swap(comment_, other.comment_);
  swap(header_, other.header_);
  swap(file_name_, other.file_name_);
  swap(file_time_, other.file_time_);
  swap(file_size_, other.file_size_);
  swap(error_text_, other.error_text_);
  swap(motorola_, other.motorola_);
  swap(exif_info_, other.exif_info_);
  swap(iptc_info_, other.iptc_info_);
}

void TimgData::ClearMetadata() {
  exif_.reset();
  exif_info_.reset();
  iptc_.reset();
  header_.reset();
  iptc_info_.reset();
  comment_.reset();
}

std::string TimgData::CommentText() const {
  if (!comment_) return {};
  const tSection& s = sections_[static_cast<std::size_t>(*comment_)];
  const std::size_t n = s.size > 2 ? static_cast<std::size_t>(s.size - 2) : 0;
  const std::size_t available = s.data.size() > 2 ? s.data.size() - 2 : 0;
  return std::string(s.data.begin() + 2, s.data.begin() + 2 + std::min(n, available));
}

bool TimgData::ReadMetadata(const std::string& file_name) {
  Reset();
  try {
    std::error_code ec;
    const std::filesystem::path path(file_name);
    // Only regular files: opening a pipe named like a photograph would wait forever.
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    file_name_ = file_name;
    file_size_ = std::filesystem::file_size(path, ec);
    if (ec) file_size_ = 0;
    const auto written = std::filesystem::last_write_time(path, ec);
    if (!ec) {
      file_time_ = std::chrono::system_clock::to_time_t(
          std::chrono::time_point_cast<std::chrono::system_clock::duration>(
              std::chrono::file_clock::to_sys(written)));
    }
    error_text_ = "Not an EXIF file";
    const std::string ext = LowerExtensionOf(file_name);
    if (ext != ".jpg" && ext != ".jpeg" && ext != ".jpe") return false;
    std::ifstream in(path, std::ios::binary);
    if (!in || !Scan(in)) return false;
    error_text_ = "<none>";
    return true;
  } catch (const std::exception&) {
    error_text_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::ReadMetadataBytes(std::span<const std::uint8_t> bytes) {
  Reset();
  try {
    error_text_ = "Not an EXIF file";
    file_size_ = bytes.size();
    std::istringstream in(std::string(bytes.begin(), bytes.end()), std::ios::binary);
    if (!Scan(in)) return false;
    error_text_ = "<none>";
    return true;
  } catch (const std::exception&) {
    error_text_ = "Illegal Exif construction";
    return false;
  }
}

bool TimgData::Scan(std::istream& in) {
  const int first = in.get(), second = in.get();
  if (first != 0xFF || second != 0xD8) return false;
  int read = 0;
  while (read < kMaxSections) {
    int marker = in.get();
    while (marker == 0xFF) marker = in.get();
    if (marker == std::char_traits<char>::eof()) break;
    ++read;
    const int hi = in.get(), lo = in.get();
    if (lo == std::char_traits<char>::eof()) break;
    const int length = (hi << 8) | lo;
    // A length below 2 cannot hold its own length bytes: the header ends there.
    if (length < 2) break;
    tSection& section = sections_[static_cast<std::size_t>(section_count_)];
    section.marker = static_cast<std::uint8_t>(marker);
    section.size = length;
    section.data.assign(static_cast<std::size_t>(length), 0);
    section.data[0] = static_cast<std::uint8_t>(hi);
    section.data[1] = static_cast<std::uint8_t>(lo);
    in.read(reinterpret_cast<char*>(section.data.data() + 2), length - 2);
    if (in.eof()) in.clear(std::ios::eofbit);  // a short read leaves zeros behind
    if (read == 5 && !HasMetadata()) return false;
    if (marker == kMarkerEoi || marker == kMarkerSos) break;
    const int index = section_count_;
    bool keep = true;
    if (marker == kMarkerApp0) {
      header_ = index;
    } else if (marker == kMarkerApp1) {
      if (read <= 5 && !exif_) {
        exif_ = index;
        exif_info_ = std::make_unique<TImageInfo>(section.data, motorola_, build_mode_);
        if (!exif_info_->Parse(error_text_)) {
          motorola_ = exif_info_->MotorolaOrder();
          return false;
        }
        motorola_ = exif_info_->MotorolaOrder();
      } else {
        keep = false;  // its slot goes to the next segment
      }
    } else if (marker == kMarkerApp13) {
      if (!iptc_) {
        iptc_ = index;
        iptc_info_ = std::make_unique<TIPTCdata>();
      }
    } else if (marker == kMarkerCom) {
      comment_ = index;
    }
    if (keep) {
      ++section_count_;
    } else {
      section = tSection{};
    }
    if (in.eof()) break;
  }
  return HasMetadata();
}

// ---- Summaries --------------------------------------------------------------------------

namespace {

std::string ShortDate(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
  return buffer;
}

}  // namespace

std::string TimgData::ShortSummary() const {
  if (!exif_ || !exif_info_) return {};
  const std::string name = NameWithoutFolder(file_name_);
  if (error_text_ != "<none>") return name + " Exif Error: " + error_text_;
  const TImageInfo& info = *exif_info_;
  std::string out = name + " " + std::to_string(file_size_ / 1024) + "k " +
                    info.PhotoDate().substr(0, 10) + " " + std::to_string(info.Width()) + "w " +
                    std::to_string(info.Height()) + "h ";
  if (info.FlashValue() & 1) out += " Flash";
  return out;
}

std::string TimgData::LongSummary() const {
  if (!exif_ || !exif_info_) return {};
  const std::string name = NameWithoutFolder(file_name_);
  if (error_text_ != "<none>") return "File Name: " + name + "\r\nExif Error: " + error_text_;
  const TImageInfo& info = *exif_info_;
  std::string out = "File Name: " + name;
  out += "\r\nFile Size: " + std::to_string(file_size_ / 1024) + "k";
  out += "\r\nFile Date: " + ShortDate(file_time_);
  out += "\r\nPhoto Date: " + info.PhotoDate();
  out += "\r\nMake (Model): " + info.Make() + " (" + info.Model() + ")";
  out += "\r\nDimensions: " + std::to_string(info.Width()) + " x " + std::to_string(info.Height());
  std::string exposure = info.FindTagText("ExposureTime");
  if (exposure.empty()) exposure = info.FindTagText("ShutterSpeedValue");
  const std::pair<const char*, std::string> optional_lines[] = {
      {"Exposure Time: ", exposure},
      {"Focal Length: ", info.FindTagText("FocalLength")},
      {"Focal Length (35mm): ", info.FindTagText("FocalLengthin35mmFilm")},
      {"FNumber: ", info.FindTagText("FNumber")},
      {"ISO: ", info.FindTagText("ISOSpeedRatings")},
  };
  for (const auto& [label, value] : optional_lines) {
    if (!value.empty()) out += "\r\n" + std::string(label) + value;
  }
  out += std::string("\r\nFlash: ") + ((info.FlashValue() & 1) ? "Yes" : "No");
  return out;
}

}  // namespace tolvane
