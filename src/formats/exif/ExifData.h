#pragma once
// The metadata of a JPEG file's header segments:
//   TimgData    the holder: the segment scan, the held segments (EXIF APP1, IPTC APP13,
//               comment COM, header APP0), file facts and the error text
//   TImageInfo  the EXIF tag set: the walk of IFD0 with its Exif, GPS and interoperability
//               directories, the value texts, look-up, iteration and the two summaries
//   TTagEntry   one tagged field, for the static tables and the parsed list
// Texts are 8-bit code-page strings; nothing here throws to its caller.
#include <array>
#include <cstdint>
#include <ctime>
#include <istream>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tolvane {

class TImageInfo;
class TIPTCdata;

// Replaces the generic clean-up of a value text; nullopt when the input cannot be parsed.
// The tag set is there for formatters that add entries of their own.
using TagFormatter = std::optional<std::string> (*)(const std::string& text, TImageInfo& info);

struct TTagEntry {
  std::int32_t TableId = 0;  // 0 EXIF/TIFF or GPS, 1 maker note
  std::uint16_t ValueType = 0;
  std::uint16_t RecordNumber = 0;
  std::uint16_t TagNumber = 0;  // 0 marks an empty entry
  std::string KeyName;
  std::string Caption;
  std::string DecodeList;
  std::string Text;
  std::string RawBytes;
  std::int32_t RawPosition = 0;
  std::string FormatPattern;
  std::int32_t Length = 0;
  TagFormatter Formatter = nullptr;
};

struct tSection {
  std::vector<std::uint8_t> data;  // the two length bytes, then the payload
  std::uint8_t marker = 0;
  int size = 0;  // the declared length
};

inline constexpr int kMaxSections = 20;
inline constexpr int kTableExif = 0;
inline constexpr int kTableMaker = 1;

// Bytes per element of a TIFF field type; 0 for type 0 and types above 12.
int TiffTypeSize(int type);

class TImageInfo {
 public:
  TImageInfo(std::span<std::uint8_t> segment, bool motorola, int build_mode);

  // The walk of the segment's TIFF structure and the 35 mm estimate. False when a formatter
  // failed in IFD0 (the whole scan fails); header problems are recorded in error_text.
  bool Parse(std::string& error_text);

  std::string FindTagText(const std::string& key_name) const;
  void ResetTagCursor() { cursor_ = 0; }
  bool NextTagOfTable(int table_id, TTagEntry& entry);
  const std::vector<TTagEntry>& Entries() const { return entries_; }

  void AddEntry(const TTagEntry& entry);
  std::string ValueText(std::span<const std::uint8_t> raw, int type, const std::string& decode,
                        const std::string& pattern) const;
  double NumericValue(std::span<const std::uint8_t> raw, int type) const;

  // Writes new dimensions into the held segment bytes (in the fields that supplied the stored
  // ones); the stored width and height keep their values.
  void UpdateStoredDimensions(int height, int width);

  bool MotorolaOrder() const { return motorola_; }
  void SetMotorolaOrder(bool motorola) { motorola_ = motorola; }
  std::span<std::uint8_t> Segment() const { return segment_; }
  // Reads in the stored byte order; nullopt outside the segment.
  std::optional<std::uint32_t> Read16(std::uint64_t pos) const;
  std::optional<std::uint32_t> Read32(std::uint64_t pos) const;
  // Up to n bytes from pos, fewer where the segment ends.
  std::span<const std::uint8_t> BytesAt(std::uint64_t pos, std::uint64_t n) const;

  const std::string& Make() const { return make_; }
  const std::string& Model() const { return model_; }
  const std::string& ExifVersion() const { return exif_version_; }
  const std::string& PhotoDate() const { return photo_date_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FlashValue() const { return flash_; }
  const std::string& MakerNoteBytes() const { return maker_note_; }
  int MakerNotePosition() const { return maker_note_position_; }
  bool MakerNoteDecoded() const { return maker_note_decoded_; }
  const std::string& UserComment() const { return user_comment_; }
  int UserCommentPosition() const { return user_comment_position_; }
  int UserCommentLength() const { return user_comment_length_; }
  int BuildMode() const { return build_mode_; }
  // Maker-note problems are recorded here until the scan's result replaces them.
  void SetErrorText(const std::string& text) {
    if (error_text_) *error_text_ = text;
  }

 private:
  enum class DirKind { kMain, kGps };
  struct Field {
    int position = 0;
    int type = 0;
  };
  bool WalkDirectory(std::uint64_t start, DirKind kind, int depth);
  bool WalkEntry(std::uint64_t entry_pos, DirKind kind, int depth);
  void Remember(std::uint16_t tag, const TTagEntry& entry, std::span<const std::uint8_t> raw);
  double EntryNumber(const std::string& key) const;
  void Estimate35mm();
  void WriteField(const Field& field, int value);

  std::span<std::uint8_t> segment_;
  bool motorola_;
  int build_mode_;
  std::vector<TTagEntry> entries_;
  std::size_t cursor_ = 0;
  std::set<std::pair<std::uint64_t, std::uint64_t>> visited_;
  std::string* error_text_ = nullptr;
  std::string make_, model_, exif_version_, photo_date_;
  int width_ = 0, height_ = 0;
  Field width_field_, height_field_;
  int flash_ = 0;
  std::string maker_note_;
  int maker_note_position_ = 0;
  bool maker_note_decoded_ = false;
  std::string user_comment_;
  int user_comment_position_ = 0;
  int user_comment_length_ = 0;
};

class TimgData {
 public:
  explicit TimgData(int build_mode = 255);
  ~TimgData();
  TimgData(const TimgData&) = delete;
  TimgData& operator=(const TimgData&) = delete;

  // Resets the holder, then reads the header segments of a ".jpg", ".jpeg" or ".jpe" file.
  // True when an EXIF, IPTC or comment segment was found.
  bool ReadMetadata(const std::string& file_name);
  // The same scan over bytes already in memory (the fuzz target, tests).
  bool ReadMetadataBytes(std::span<const std::uint8_t> bytes);
  void Reset();
  // Exchanges everything held, the build mode excepted. The tag sets keep their views: the
  // segment bytes they point into change owner, not place.
  void Swap(TimgData& other) noexcept;

  bool HasExif() const { return exif_.has_value(); }
  bool HasMetadata() const { return exif_ || iptc_ || comment_; }
  bool HasIptc() const { return iptc_.has_value(); }
  bool HasComment() const { return comment_.has_value(); }
  std::string CommentText() const;

  void SetBuildMode(int mode) { build_mode_ = mode; }
  int BuildMode() const { return build_mode_; }
  const std::string& ErrorText() const { return error_text_; }
  bool MotorolaOrder() const { return motorola_; }
  const std::string& FileName() const { return file_name_; }
  std::time_t FileDateTime() const { return file_time_; }
  std::uint64_t FileSize() const { return file_size_; }
  TImageInfo* ExifInfo() const { return exif_info_.get(); }
  TIPTCdata* IptcInfo() const { return iptc_info_.get(); }

  // Held segments, nullptr when not held.
  tSection* ExifSegment() { return Section(exif_); }
  tSection* IptcSegment() { return Section(iptc_); }
  tSection* CommentSegment() { return Section(comment_); }
  tSection* HeaderSegment() { return Section(header_); }

  // Drops the EXIF, IPTC, comment and header references and frees both sets; the segments
  // themselves and the file facts stay.
  void ClearMetadata();

  std::string ShortSummary() const;
  std::string LongSummary() const;

 private:
  bool Scan(std::istream& in);
  tSection* Section(const std::optional<int>& index) {
    return index ? &sections_[static_cast<std::size_t>(*index)] : nullptr;
  }

  int build_mode_;
  // A fixed array: the tag set keeps a view of the EXIF segment's bytes.
  std::array<tSection, kMaxSections> sections_;
  int section_count_ = 0;
  std::optional<int> exif_, iptc_, comment_, header_;
  std::string file_name_;
  std::time_t file_time_ = 0;
  std::uint64_t file_size_ = 0;
  std::string error_text_;
  bool motorola_ = false;
  std::unique_ptr<TImageInfo> exif_info_;
  std::unique_ptr<TIPTCdata> iptc_info_;
};

}  // namespace tolvane
