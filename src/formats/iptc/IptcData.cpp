#include "formats/iptc/IptcData.h"

#include <algorithm>
#include <string_view>

namespace tolvane {
namespace {

struct IptcRow {
  std::uint16_t record;
  std::uint16_t dataset;
  const char* key;
  const char* caption;
  int max_length;  // carried, not enforced
};

constexpr IptcRow kIptcRows[] = {
    {2, 0, "SKIP", "Record Version", 64},
    {2, 3, "ObjectType", "Object Type Ref", 67},
    {2, 4, "ObjectAttr", "Object Attribute Ref", 67},
    {2, 5, "ObjectName", "Object name", 64},
    {2, 7, "EditStatus", "Edit Status", 64},
    {2, 8, "EditorialUpdate", "Editorial Update", 2},
    {2, 10, "Urgency", "Urgency", 1},
    {2, 12, "SubRef", "Subject Reference", 236},
    {2, 15, "Category", "Category", 3},
    {2, 20, "SuppCategory", "Supplemental category", 32},
    {2, 22, "FixtureID", "Fixture ID", 32},
    {2, 25, "Keywords", "Keywords", 64},
    {2, 26, "ContentLocCode", "Content Location Code", 3},
    {2, 27, "ContentLocName", "Content Location Name", 64},
    {2, 30, "ReleaseDate", "Release Date", 8},
    {2, 35, "ReleaseTime", "Release Time", 11},
    {2, 37, "ExpireDate", "Expiration Date", 8},
    {2, 38, "ExpireTime", "Expiration Time", 11},
    {2, 40, "SpecialInstru", "Special Instructions", 256},
    {2, 42, "ActionAdvised", "Action Advised", 2},
    {2, 45, "RefService", "Reference Service", 10},
    {2, 47, "RefDate", "Reference Date", 8},
    {2, 50, "RefNumber", "Reference Number", 8},
    {2, 55, "DateCreated", "Date created", 8},
    {2, 60, "TimeCreated", "Time created", 11},
    {2, 62, "DigitizeDate", "Digital Creation Date", 8},
    {2, 63, "DigitizeTime", "Digital Creation Time", 11},
    {2, 65, "OriginatingProgram", "Originating Program", 32},
    {2, 70, "ProgramVersion", "Program version", 10},
    {2, 75, "ObjectCycle", "Object Cycle", 1},
    {2, 80, "ByLine", "ByLine", 32},
    {2, 85, "ByLineTitle", "ByLine Title", 32},
    {2, 90, "City", "City", 32},
    {2, 92, "SubLocation", "Sublocation", 32},
    {2, 95, "State", "Province/State", 32},
    {2, 100, "LocationCode", "Country/Primary Location Code", 3},
    {2, 101, "LocationName", "Country/Primary Location Name", 64},
    {2, 103, "TransmissionRef", "Original Transmission Reference", 32},
    {2, 105, "ImageHeadline", "Image headline", 256},
    {2, 110, "ImageCredit", "Image credit", 32},
    {2, 115, "Source", "Source", 32},
    {2, 116, "Copyright", "Copyright Notice", 128},
    {2, 118, "Contact", "Contact", 128},
    {2, 120, "ImageCaption", "Image caption", 2000},
    {2, 122, "ImageCaptionWriter", "Image caption writer", 32},
    {2, 130, "ImageType", "Image type", 2},
    {2, 131, "Orientation", "Image Orientation", 1},
    {2, 135, "LangID", "Language ID", 3},
    {8, 10, "Subfile", "Subfile", 2},
};
static_assert(std::size(kIptcRows) == 49);

constexpr std::string_view kPhotoshop = "Photoshop 3.0";
constexpr std::uint8_t kTagMarker = 0x1C;

TTagEntry EntryFor(std::uint16_t record, std::uint16_t dataset) {
  TTagEntry entry;
  entry.RecordNumber = record;
  entry.TagNumber = dataset;
  const auto row = std::find_if(std::begin(kIptcRows), std::end(kIptcRows), [&](const IptcRow& r) {
    return r.record == record && r.dataset == dataset;
  });
  if (row == std::end(kIptcRows)) {
    entry.KeyName = entry.Caption = "Custom_" + std::to_string(dataset);
    entry.Length = 64;
  } else {
    entry.KeyName = row->key;
    entry.Caption = row->caption;
    entry.Length = row->max_length;
  }
  return entry;
}

}  // namespace

std::vector<std::string> TIPTCdata::IptcLines(std::span<const std::uint8_t> segment) {
  entries_.clear();
  const std::string_view bytes(reinterpret_cast<const char*>(segment.data()), segment.size());
  const std::size_t found = bytes.find(kPhotoshop);
  // Positions below are 0-based; the search starts 13 bytes after the signature's first byte.
  std::size_t cursor = (found == std::string_view::npos ? 0 : found + 1) + 12;
  while (cursor + 1 < segment.size() && !(segment[cursor] == kTagMarker &&
                                          (segment[cursor + 1] == 2 || segment[cursor + 1] == 8))) {
    ++cursor;
  }
  ++cursor;  // on the record number
  std::vector<std::string> lines;
  while (segment.size() >= 3 && cursor + 1 < segment.size() - 2) {
    const std::uint16_t record = segment[cursor];
    const std::uint16_t dataset = segment[cursor + 1];
    const std::size_t length = (std::size_t{segment[cursor + 2]} << 8) | segment[cursor + 3];
    const std::size_t data = cursor + 4;
    const std::size_t available = data < segment.size() ? segment.size() - data : 0;
    const std::string value(
        bytes.substr(std::min(data, bytes.size()), std::min(length, available)));
    cursor += 4 + length + 1;
    if (record != 2 && record != 8) continue;
    TTagEntry entry = EntryFor(record, dataset);
    if (entry.KeyName == "SKIP") continue;
    entry.Text = value;
    entry.RawBytes = value;
    lines.push_back(entry.Caption + " = " + value);
    entries_.push_back(std::move(entry));
  }
  return lines;
}

}  // namespace tolvane
