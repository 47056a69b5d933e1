#include "formats/exif/exif_report.h"

#include "formats/iptc/IptcData.h"

namespace tolvane {
namespace {

void AddTableLines(TImageInfo& info, int table_id, std::vector<std::string>& lines) {
  info.ResetTagCursor();
  TTagEntry entry;
  while (info.NextTagOfTable(table_id, entry)) lines.push_back(entry.Caption + " = " + entry.Text);
}

void AddIfPresent(std::vector<std::string>& lines, const char* label, const std::string& text) {
  if (!text.empty()) lines.push_back(label + text);
}

}  // namespace

std::vector<std::string> ReportExifBlock(TimgData& holder) {
  std::vector<std::string> lines = {" ", "-- EXIF-Data -------------- ",
                                    "ErrStr = " + holder.ErrorText()};
  if (holder.HasExif()) {
    lines.push_back(holder.MotorolaOrder() ? "Motorola Byte Order" : "Intel Byte Order");
    if (TImageInfo* info = holder.ExifInfo()) AddTableLines(*info, kTableExif, lines);
  }
  return lines;
}

std::vector<std::string> ReportMakerBlock(TimgData& holder) {
  std::vector<std::string> lines = {" ", " -- Maker Specific Data ---- "};
  if (TImageInfo* info = holder.ExifInfo()) AddTableLines(*info, kTableMaker, lines);
  return lines;
}

std::vector<std::string> PreviewReport(TimgData& holder, const std::string& path) {
  holder.SetBuildMode(255);
  holder.ReadMetadata(path);
  std::vector<std::string> lines = ReportExifBlock(holder);
  const auto append = [&lines](const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
  };
  TImageInfo* info = holder.ExifInfo();
  if (holder.HasMetadata()) {
    if (holder.HasExif() && info != nullptr && info->MakerNoteDecoded()) {
      append(ReportMakerBlock(holder));
    }
    if (holder.HasComment()) append({" ", " Comment Segment Available", holder.CommentText()});
    if (holder.HasIptc() && holder.IptcInfo() != nullptr) {
      const tSection* iptc = holder.IptcSegment();
      const std::vector<std::string> iptc_lines = holder.IptcInfo()->IptcLines(iptc->data);
      if (!iptc_lines.empty()) {
        lines.push_back("\r\n IPTC Segment Available\r\n");
        append(iptc_lines);
      }
    }
  }
  if (holder.HasExif() && info != nullptr) {
    append({" ", " -- EXIF Summary -(short)--- ", holder.ShortSummary(), " ",
            " -- EXIF Summary -(long)---- ", holder.LongSummary(), ""});
    AddIfPresent(lines, " ** Widest Aperture is ", info->FindTagText("MaxApertureValue"));
    AddIfPresent(lines, " ** Response Time is ", info->FindTagText("ShutterSpeedValue"));
    AddIfPresent(lines, " ** Light Meter mode is ", info->FindTagText("MeteringMode"));
  }
  return lines;
}

}  // namespace tolvane
