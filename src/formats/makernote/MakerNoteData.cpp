#include "formats/makernote/MakerNoteData.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/exif/exif_text.h"

namespace tolvane {

using namespace exif;

namespace {

// ---- Formatters -------------------------------------------------------------------------

std::vector<std::string> SplitAtComma(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t at = text.find(',', start);
    items.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return items;
}

std::optional<std::string> FormatLensRange(const std::string& text, TImageInfo&) {
  std::vector<double> v;
  std::size_t start = 0;
  while (v.size() < 4) {
    const std::size_t at = text.find(", ", start);
    v.push_back(RationalParse(text.substr(start, at - start)));
    if (at == std::string::npos) break;
    start = at + 2;
  }
  v.resize(4, 0.0);
  return FormatReal("%0.1f-", v[0]) + FormatReal("%0.1f(mm)  ", v[1]) +
         FormatReal("F%0.1f-", v[2]) + FormatReal("F%0.1f", v[3]);
}

std::optional<std::string> FormatColorMode(const std::string& text, TImageInfo&) {
  const std::string mode = text.size() > 1 ? text.substr(1, 5) : std::string();
  if (mode == "MODE1") return std::string("Mode1 (sRGB)");
  if (mode == "MODE2") return std::string("Mode 2 (Adobe RGB)");
  if (mode == "MODE3") return std::string("Mode 3 (sRGB): higher saturation");
  return mode;
}

// One sub-field of a Canon list: item k (1-based) looked up in the decode list, or taken as
// it is when there is none.
struct CanonField {
  const char* name;
  int item;
  const char* decode;  // nullptr: plain
};

std::string CanonItem(const std::vector<std::string>& items, int k, const char* decode) {
  const bool present = k >= 1 && std::size_t(k) <= items.size();
  if (decode == nullptr) return present ? items[std::size_t(k) - 1] : std::string();
  if (!present || !ParseInteger(items[std::size_t(k) - 1])) return "0";
  return DecodeLookup(decode, items[std::size_t(k) - 1]);
}

// Adds the sub-field as an entry of its own and returns its part of the formatter's text.
std::string AddCanonField(TImageInfo& info, std::uint16_t tag, const std::string& name,
                          const std::string& value) {
  if (Trim(value).empty()) return {};
  TTagEntry entry;
  entry.TableId = kTableMaker;
  entry.TagNumber = tag;  // the Canon list it came from
  entry.KeyName = entry.Caption = name;
  entry.Text = entry.RawBytes = value;
  entry.ValueType = 2;
  info.AddEntry(entry);
  return "\r\n" + name + " = " + value;
}

std::string CanonFields(const std::string& text, TImageInfo& info, std::uint16_t tag,
                        std::span<const CanonField> fields) {
  const std::vector<std::string> items = SplitAtComma(text);
  std::string out;
  for (const CanonField& f : fields)
    out += AddCanonField(info, tag, f.name, CanonItem(items, f.item, f.decode));
  return out;
}

constexpr const char* kLowNormalHigh = "65535:Low,0:Normal,1:High";

constexpr CanonField kCanonSettings1[] = {
    {"Macro mode", 2, "1:Macro,2:Normal"},
    {"Self Timer", 2, nullptr},
    {"Compression Rate", 4, "0:SuperFine,1:Fine,2:Normal,3:Basic,5:SuperFine"},
    {"Flash Mode", 5,
     "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
    {"Drive Mode", 6, "0:Single,1:Continuous"},
    {"Focus Mode", 8, "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {"Image Size", 11, "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {"Easy Shoot", 12,
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow "
     "Shutter,5:Night,6:B&W,7:Sepia,8:Portrait,9:Sports,10:Macro/Close-Up,11:Pan Focus"},
    {"Contrast", 14, kLowNormalHigh},
    {"Saturation", 15, kLowNormalHigh},
    {"Sharpness", 16, kLowNormalHigh},
    {"CCD ISO", 17, "0:Not used,15:auto,16:50,17:100,18:200,19:400"},
    {"Metering Mode", 18, kLowNormalHigh},
    {"AF Point", 20, kLowNormalHigh},
    {"Exposure Mode", 21, kLowNormalHigh},
    {"Long focal", 24, nullptr},
    {"Short focal", 25, nullptr},
    {"Focal Units", 26, nullptr},
    {"Flash Details", 29, nullptr},
    {"Focus Mode", 33, kLowNormalHigh},
};

constexpr CanonField kCanonSettings2[] = {
    {"White balance", 8, "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {"Sequence Number", 9, nullptr},
    {"OpticalZoom Step", 11, nullptr},
    {"AF point", 14, nullptr},
    {"Flash bias", 16,
     "65472:-2 EV,65484:-1.67 EV,65488:-1.50 EV,65492:-1.33 EV,65504:-1 EV,65516:-0.67 "
     "EV,65520:-0.50 EV,65524:-0.33 EV,0:0 EV,12:0.33 EV,16:0.50 EV,20:0.67 EV,32:1 EV,44:1.33 "
     "EV,48:1.50 EV,52:1.67 EV,64:2 EV"},
    {"Distance", 19, nullptr},
};

struct CustomFunction {
  const char* name;
  const char* decode;
};

constexpr CustomFunction kCanonCustomFunctions[] = {
    {"Noise Reduction", "0: Off,1: On"},
    {"Shutter AE Lock Button", "0:AF/AE lock,1:AE lock/AF,2:AF/AF lock,3:AE+release/AE+AF"},
    {"Mirror Lockup", "0:Disable,1:Enable"},
    {"Exposure Level", "0:1/2 stop,1:1/3 stop"},
    {"AF Assist", "0:On (auto),1:Off"},
    {"AV Shutter Speed", "0:Automatic,1: 1/200 (fixed)"},
    {"AEB Sequence",
     "0:0, -, + / Enabled1: 0, -, + / Disabled,2: -, 0, + / Enabled,3: -, 0, + / Disabled"},
    {"Shutter Sync", "0:1st-curtain sync,1: 2nd-curtain sync"},
    {"Lens AF Button", "0:AF stop,1:Operate AF,2:Lock AE and start timer"},
    {"Fill Flash Reduction", "0:Enable,1:Disable"},
    {"Menu Return", "0:Top,1:Previous (volatile),2:Previous"},
    {"Set Button", "0:Not assigned,1:Change quality,2:Change ISO speed,3:Select parameters"},
    {"Sensor Cleaning", "0:Disable,1:Enable"},
    {"Superimposed Display", "0: On,1: Off"},
    {"Shutter Release w/o CF Card", "0:Enable,1:Disable"},
};

std::optional<std::string> FormatCanonSettings1(const std::string& text, TImageInfo& info) {
  return CanonFields(text, info, 0x0001, kCanonSettings1);
}

std::optional<std::string> FormatCanonSettings2(const std::string& text, TImageInfo& info) {
  return CanonFields(text, info, 0x0004, kCanonSettings2);
}

std::optional<std::string> FormatCanonCustom(const std::string& text, TImageInfo& info) {
  std::string out;
  for (const std::string& item : SplitAtComma(text)) {
    const auto v = ParseInteger(item);
    if (!v || *v < 0 || *v > 4095) continue;
    const long long function = *v / 256;
    if (function < 1 || function > 15) continue;
    const CustomFunction& f = kCanonCustomFunctions[function - 1];
    out += AddCanonField(info, 0x000F, f.name, DecodeLookup(f.decode, std::to_string(*v % 256)));
  }
  return out;
}

// ---- Tables -----------------------------------------------------------------------------

struct MakerRow {
  std::uint16_t tag;
  const char* key;
  const char* caption = nullptr;  // nullptr: the key name
  const char* decode = "";
  TagFormatter formatter = nullptr;
};

constexpr MakerRow kNikon1[] = {
    {0x0002, "FamilyID"},
    {0x0003, "Quality", nullptr,
     "1:Vga Basic,2:Vga Normal,3:Vga Fine,4:SXGA Basic,5:SXGA Normal,6:SXGA Fine10:2 Mpixel "
     "Basic,11:2 Mpixel Normal,12:2 Mpixel Fine"},
    {0x0004, "ColorMode", nullptr, "1:Color,2:Monochrome"},
    {0x0005, "ImageAdjustment", nullptr, "0:Normal,1:Bright+,2:Bright-,3:Contrast+,4:Contrast-"},
    {0x0006, "ISOSpeed", nullptr, "0:ISO80,2:ISO160,4:ISO320,5:ISO100"},
    {0x0007, "WhiteBalance", nullptr,
     "0:Auto,1:Preset,2:Daylight,3:Incandescense,4:Fluorescence,5:Cloudy,6:SpeedLight"},
    {0x0008, "Focus"},
    {0x0009, "Skip"},
    {0x000A, "DigitalZoom"},
    {0x000B, "Converter", nullptr, "0:Not used,1:Used"},
    {0x0F00, "Skip"},
};

constexpr MakerRow kNikon3[] = {
    {0x0001, "FamilyID", "Family ID"},
    {0x0002, "ISOSpeed", "ISO Speed"},
    {0x0003, "ColorMode", "Color Mode"},
    {0x0004, "Quality"},
    {0x0005, "WhiteBalance", "White Balance"},
    {0x0006, "ImageSharpening", "Image Sharpening"},
    {0x0007, "FocusMode", "Focus Mode"},
    {0x0008, "FlashSetting", "Flash Setting"},
    {0x0009, "AutoFlashMode", "Auto Flash Mode"},
    {0x000A, "Skip"},
    {0x000B, "WhiteBiasValue", "White Bias Value"},
    {0x000F, "DigitalZoom", "Digital Zoom"},
    {0x0010, "Skip"},
    {0x0011, "Skip"},
    {0x0080, "ImageAdjustment", "Image Adjustment"},
    {0x0081, "ImageAdjustment", "Image Adjustment"},
    {0x0082, "Adapter"},
    {0x0084, "LensInformation", "Lens information", "", FormatLensRange},
    {0x0085, "ManualFocusDistance", "Manual Focus Distance"},
    {0x0086, "DigitalZoom", "Digital Zoom"},
    {0x0088, "FocusArea", "Focus Area"},
    {0x0089, "Mode"},
    {0x008D, "ColorMode", "Color Mode", "", FormatColorMode},
    {0x008F, "SceneMode", "Scene Mode"},
    {0x0092, "HueAdjustment", "Hue Adjustment"},
    {0x0094, "Saturation"},
    {0x0095, "NoiseReduction", "Noise Reduction"},
    {0x0F00, "Skip"},
};

constexpr MakerRow kOlympus[] = {
    {0x0200, "SpecialMode"},
    {0x0201, "JpegQual", nullptr, "1:SQ,2:HQ,3:SHQ,4:Raw"},
    {0x0202, "Macro", nullptr, "0=Normal,1:Macro;"},
    {0x0203, "Skip"},
    {0x0204, "DigiZoom", "Digital Zoom Ratio"},
    {0x0205, "Skip"},
    {0x0206, "Skip"},
    {0x0207, "Firmware"},
    {0x0208, "PictInfo", "Picture Info"},
    {0x0209, "CameraID", "Camera ID"},
    {0x0F00, "Skip"},
    {0x1004, "FlashMode", "Flash Mode"},
    {0x1006, "Bracket"},
    {0x100B, "FocusMode", "Focus Mode"},
    {0x100C, "FocusDistance", "Focus Distance"},
    {0x100D, "Zoom"},
    {0x100E, "MacroFocus", "Macro Focus"},
    {0x100F, "Sharpness"},
    {0x1011, "ColorMatrix", "Color Matrix"},
    {0x1012, "BlackLevel", "Black Level"},
    {0x1015, "WhiteBalance", "White Balance"},
    {0x1017, "RedBias", "Red Bias"},
    {0x1018, "BlueBias", "Blue Bias"},
    {0x101A, "SerialNumber"},
    {0x1023, "FlashBias", "Flash Bias"},
    {0x1029, "Contrast"},
    {0x102A, "SharpnessFactor", "Sharpness Factor"},
    {0x102B, "ColorControl", "Color Control"},
    {0x102C, "ValidBits", "Valid Bits"},
    {0x102D, "Coring", "Coring Filter"},
    {0x102E, "FinalWidth", "Final Width"},
    {0x102F, "FinalHeight", "Final Height"},
    {0x1034, "CompressionRatio", "Compression Ratio"},
};

constexpr MakerRow kCasio1[] = {
    {0x0001, "RecordingMode", nullptr,
     "1:Single Shutter,2:Panorama,3:Night Scene,4:Portrait,5:Landscape"},
    {0x0002, "Quality", nullptr, "1:Economy,2:Normal,3:Fine"},
    {0x0003, "FocusingMode", nullptr, "2:Macro,3:Auto Focus,4:Manual Focus,5:Infinity"},
    {0x0004, "FlashMode", nullptr, "1:Auto,2:On,3:Off,4:Red Eye Reduction"},
    {0x0005, "FlashIntensity", nullptr, "11:Weak,13:Normal,15:Strong"},
    {0x0006, "ObjectDistance"},
    {0x0007, "WhiteBalance", nullptr,
     "1:Auto,2:Tungsten,3:Daylight,4:Fluorescent,5:Shade,129:Manual"},
    {0x0008, "Skip"},
    {0x0009, "Skip"},
    {0x000A, "DigitalZoom", nullptr, "65536:Off,65537:2X Digital Zoom"},
    {0x000B, "Sharpness", nullptr, "0:Normal,1:Soft,2:Hard"},
    {0x000C, "Contrast", nullptr, "0:Normal,1:Low,2:High"},
    {0x000D, "Saturation", nullptr, "0:Normal,1:Low,2:High"},
    {0x000E, "Skip"},
    {0x000F, "Skip"},
    {0x0010, "Skip"},
    {0x0011, "Skip"},
    {0x0012, "Skip"},
    {0x0013, "Skip"},
    {0x0014, "CCDSensitivity", nullptr, "64:Normal,125:+1.0,250:+2.0,244:+3.0,80:Normal,100:High"},
    {0x0015, "Skip"},
    {0x0016, "Skip"},
    {0x0017, "Skip"},
    {0x0018, "Skip"},
    {0x0019, "Skip"},
    {0x001A, "Skip"},
};

constexpr MakerRow kCasio2[] = {
    {0x0002, "ThumbnailDimensions", "Thumbnail Dimensions"},
    {0x0003, "ThumbnailSize", "Thumbnail Size"},
    {0x0004, "ThumbnailOffset", "Thumbnail OffSet"},
    {0x0008, "Quality", nullptr, "1:Fine,2:Super Fine"},
    {0x0009, "ImageSize", nullptr,
     "0:640 x 480,4:1600 x 1200,5:2048 x 1536,20:2288 x 1712,21:2592 x 1944,22:2304 x 1728,36:3008 "
     "x 2008"},
    {0x000D, "FocusMode", nullptr, "0:Normal,1:Macro"},
    {0x0014, "IsoSensitivity", nullptr, "3:50,4:64,6:100,9:200"},
    {0x0019, "WhiteBalance", nullptr,
     "0:Auto,1:Daylight,2:Shade,3:Tungsten,4:Fluorescent,5:Manual"},
    {0x001D, "FocalLength", "Focal Length (.1 mm)"},
    {0x001F, "Saturation", nullptr, "0:-1,1:Normal,2:+1"},
    {0x0020, "Contrast", nullptr, "0:-1,1:Normal,2:+1"},
    {0x0021, "Sharpness", nullptr, "0:-1,1:Normal,2:+1"},
    {0x0E00, "PIM", "\tPrint Image Matching Info"},
    {0x2000, "Skip"},
    {0x2001, "Skip"},
    {0x2002, "Skip"},
    {0x2003, "Skip"},
    {0x2011, "WhiteBalanceBias", "White Balance Bias"},
    {0x2013, "Skip"},
    {0x2012, "WhiteBalance", "White Balance", "0:Manual,1:Auto,4:Flash,12:Flash"},
    {0x2021, "Skip"},
    {0x2022, "ObjectDistance", "Object Distance (mm)"},
    {0x2023, "Skip"},
    {0x2031, "Skip"},
    {0x2032, "Skip"},
    {0x2033, "Skip"},
    {0x2034, "FlashDistance", "Flash Distance"},
    {0x3000, "RecordMode", "Record Mode", "2:Normal"},
    {0x3001, "SelfTimer", "Self Timer", "0:Off,1:On"},
    {0x3002, "Quality", nullptr, "1:Economy,2:Normal,3:Fine"},
    {0x3003, "FocusMode", "Focus Mode", "1:Fixed,3:Auto Focus,6:Multi-Area Auto Focus"},
    {0x3005, "Skip"},
    {0x3006, "TimeZone", "Time Zone"},
    {0x3007, "BestshotMode", "Bestshot Mode", "0:Off,1:On"},
    {0x3011, "Skip"},
    {0x3012, "Skip"},
    {0x3013, "Skip"},
    {0x3014, "CCDSensitivity", "CCD Sensitivity"},
    {0x3015, "ColorMode", "Color Mode", "0:Off,1:On"},
    {0x3016, "Enhancement", nullptr, "0:Off,1:On"},
    {0x3017, "Filter", nullptr, "0:Off,1:On"},
    {0x3018, "Skip"},
    {0x3019, "Skip"},
    {0x301A, "Skip"},
    {0x301B, "Skip"},
};

constexpr MakerRow kFujifilm[] = {
    {0x0000, "Version"},
    {0x1000, "Quality"},
    {0x1001, "Sharpness", nullptr, "1:Soft,2:Soft,3:Normal,4:Hard,5:Hard"},
    {0x1002, "WhiteBalance", nullptr,
     "0:Auto,256:Daylight,512:Cloudy,768:DaylightColor-fluorescence,769:DaywhiteColor-fluorescence,"
     "770:White-fluorescence,1024:Incandenscense,3840:Custom white balance."},
    {0x1003, "Color", nullptr, "0:Normal,256:High,512:Low"},
    {0x1004, "Tone", nullptr, "0:Normal,256:High,512:Low"},
    {0x1010, "FlashMode", nullptr, "0:Auto,1:On,2:Off,3:Red-eye reduction"},
    {0x1011, "FlashStrength"},
    {0x1020, "Macro", nullptr, "0:Off,1:On"},
    {0x1021, "Focusmode", nullptr, "0:Auto Focus,1:Manual Focus"},
    {0x1030, "SlowSync", nullptr, "0:Off,1:On"},
    {0x1031, "PictureMode", nullptr,
     "0:Auto,1:Portrait scene,2:Landscape scene,4:Sports scene,5:Night scene,6:Program "
     "AE,256:Aperture prior AE,512:Shutter prior AE,768:Manual exposure"},
    {0x1032, "Skip"},
    {0x1100, "ContTake/Bracket", nullptr, "0:Off,1:On"},
    {0x1200, "Skip"},
    {0x1300, "BlurWarning", nullptr, "0:No blur warning,1:Blur warning"},
    {0x1301, "FocusWarning", nullptr, "0:Auto Focus good,1:Out of focus"},
    {0x1302, "AEWarning", nullptr, "0:AE good,1:Over exposure"},
};

constexpr MakerRow kCanon[] = {
    {0x0000, "Skip"},
    {0x0001, "ExposureInfo1", nullptr, "", FormatCanonSettings1},
    {0x0002, "Skip"},
    {0x0003, "Skip"},
    {0x0004, "ExposureInfo2", nullptr, "", FormatCanonSettings2},
    {0x0006, "ImageType"},
    {0x0007, "FirmwareVersion"},
    {0x0008, "ImageNumber"},
    {0x0009, "OwnerName"},
    {0x000A, "Skip"},
    {0x000B, "Skip"},
    {0x000C, "CameraSerialNumber"},
    {0x000D, "Skip"},
    {0x000E, "Skip"},
    {0x000F, "CustomFunctions", nullptr, "", FormatCanonCustom},
    {0x0010, "Skip"},
};

constexpr MakerRow kSeiko[] = {
    {0x0200, "Special Mode"}, {0x0201, "JpegQuality"}, {0x0202, "Macro"},    {0x0203, "Skip"},
    {0x0204, "DigiZoom"},     {0x0209, "CameraID"},    {0x020A, "Comments"}, {0x020B, "Width"},
    {0x020C, "Height"},       {0x020D, "SoftRelease"}, {0x0300, "??"},       {0x0F00, "skip"},
};

constexpr MakerRow kSanyo[] = {
    {0x0200, "Special Mode"}, {0x0201, "JpegQuality"}, {0x0202, "Macro"},
    {0x0203, "Skip"},         {0x0204, "DigiZoom"},    {0x0F00, "DataDump"},
};

constexpr MakerRow kMinolta[] = {
    {0x0000, "ModelID"},
    {0x0E00, "PIMdata"},
};

static_assert(std::size(kNikon1) == 11 && std::size(kNikon3) == 28 && std::size(kOlympus) == 33);
static_assert(std::size(kCasio1) == 26 && std::size(kCasio2) == 45 && std::size(kFujifilm) == 18);
static_assert(std::size(kCanon) == 16 && std::size(kSeiko) == 12 && std::size(kSanyo) == 6);
static_assert(std::size(kMinolta) == 2);

// Where value offsets count from.
enum class OffsetBase { kTiffHeader, kMakerNote, kMakerNotePlus10 };

struct MakerLayout {
  std::span<const MakerRow> table;
  std::uint64_t directory;  // offset of the private directory inside the maker note
  OffsetBase base;
  bool force_intel = false;
};

constexpr std::uint64_t kTiffHeader = 8;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::optional<MakerLayout> LayoutFor(const TImageInfo& info) {
  const std::string maker = Upper(info.Make().substr(0, 5));
  const std::string& note = info.MakerNoteBytes();
  if (maker == "NIKON") {
    if (info.ExifVersion() > "0210") return MakerLayout{kNikon3, 18, OffsetBase::kMakerNotePlus10};
    if (StartsWith(note, "Nikon")) return MakerLayout{kNikon1, 8, OffsetBase::kTiffHeader};
    return MakerLayout{kNikon3, 0, OffsetBase::kTiffHeader};
  }
  if (maker == "OLYMP") return MakerLayout{kOlympus, 8, OffsetBase::kTiffHeader};
  if (maker == "CASIO") {
    if (StartsWith(note, "QVC")) return MakerLayout{kCasio2, 6, OffsetBase::kTiffHeader};
    return MakerLayout{kCasio1, 0, OffsetBase::kTiffHeader};
  }
  if (maker == "FUJIF") return MakerLayout{kFujifilm, 12, OffsetBase::kMakerNote, true};
  if (maker == "CANON") return MakerLayout{kCanon, 0, OffsetBase::kTiffHeader};
  if (maker == "SEIKO") return MakerLayout{kSeiko, 8, OffsetBase::kTiffHeader};
  if (maker == "SANYO") return MakerLayout{kSanyo, 8, OffsetBase::kTiffHeader};
  if (maker == "MINOL") return MakerLayout{kMinolta, 0, OffsetBase::kTiffHeader};
  return std::nullopt;
}

bool IsSkip(const char* key) { return Upper(key) == "SKIP"; }

std::string Quoted(std::span<const std::uint8_t> raw) {
  return "\"" + std::string(raw.begin(), raw.end()) + "\"";
}

class MakerWalk {
 public:
  MakerWalk(TImageInfo& info, const MakerLayout& layout) : info_(info), layout_(layout) {}

  // The private directory; false with a message when it leaves the segment.
  bool Run(std::string& error) {
    const std::uint64_t note = std::uint64_t(std::max(info_.MakerNotePosition(), 0));
    const std::uint64_t start = note + layout_.directory;
    const auto n = info_.Read16(start);
    if (!n) {
      error = "maker note directory outside the segment";
      return false;
    }
    for (std::uint64_t i = 0; i < *n; ++i) {
      const std::uint64_t entry = start + 2 + 12 * i;
      if (info_.BytesAt(entry, 12).size() < 12) {
        error = "maker note entry " + std::to_string(i) + " outside the segment";
        return false;
      }
      Entry(entry, note);
    }
    return true;
  }

 private:
  std::uint64_t Base(std::uint64_t note) const {
    switch (layout_.base) {
      case OffsetBase::kMakerNote:
        return note;
      case OffsetBase::kMakerNotePlus10:
        return note + 10;
      case OffsetBase::kTiffHeader:
        break;
    }
    return kTiffHeader;
  }

  void Entry(std::uint64_t pos, std::uint64_t note) {
    const auto tag = static_cast<std::uint16_t>(*info_.Read16(pos));
    const int type = static_cast<int>(*info_.Read16(pos + 2));
    const std::uint64_t count = *info_.Read32(pos + 4);
    const std::uint64_t size = count * std::uint64_t(TiffTypeSize(type));
    // Values outside the maker note are read from the same place in the EXIF segment.
    const std::uint64_t value_pos = size <= 4 ? pos + 8 : Base(note) + *info_.Read32(pos + 8);
    const auto raw = info_.BytesAt(value_pos, size);

    const MakerRow* row = nullptr;
    const MakerRow* last = nullptr;
    for (const MakerRow& r : layout_.table) {
      if (r.tag != tag) continue;
      if (row == nullptr) row = &r;
      last = &r;
    }
    if (row == nullptr || IsSkip(row->key)) return;
    std::string text = (type == 2 || type == 7)
                           ? Quoted(raw)
                           : info_.ValueText(raw, type, last->decode, std::string());
    const bool canon = row->formatter == FormatCanonSettings1 ||
                       row->formatter == FormatCanonSettings2 ||
                       row->formatter == FormatCanonCustom;
    if (row->formatter != nullptr) {
      const auto formatted = row->formatter(text, info_);
      // The Canon lists keep their value text: their sub-fields are entries of their own.
      if (!canon) text = formatted.value_or(Quoted(raw));
    } else {
      text = CleanText(text);
    }
    TTagEntry entry;
    entry.TableId = kTableMaker;
    entry.TagNumber = tag;  // AddEntry passes over tag 0 (Fujifilm Version, Minolta ModelID)
    entry.KeyName = row->key;
    entry.Caption = row->caption ? row->caption : row->key;
    entry.DecodeList = last->decode;
    entry.Formatter = row->formatter;
    entry.Text = text;
    entry.RawBytes = std::string(raw.begin(), raw.end());
    entry.RawPosition = static_cast<std::int32_t>(value_pos);
    entry.ValueType = static_cast<std::uint16_t>(type);
    entry.Length = static_cast<std::int32_t>(raw.size());
    info_.AddEntry(entry);
  }

  TImageInfo& info_;
  const MakerLayout& layout_;
};

}  // namespace

bool TmsInfo::Decode() {
  const auto layout = LayoutFor(info_);
  if (!layout || tiff_file_) return false;
  const bool motorola = info_.MotorolaOrder();
  if (layout->force_intel) info_.SetMotorolaOrder(false);
  std::string error;
  if (!MakerWalk(info_, *layout).Run(error)) info_.SetErrorText("Error Detected = " + error);
  info_.SetMotorolaOrder(motorola);
  maker_name_ = info_.Make();
  return true;
}

bool DecodeMakerNote(TImageInfo& info) { return TmsInfo(info).Decode(); }

}  // namespace tolvane
