// Drives a whole conversion: decode, the run's operations, encode, then decode the output again.
// The input's first kHeaderSize bytes choose the source's decoder, the steps with their
// settings and the output format; the rest is the source file. An output must decode to the
// size that was written, and BMP, PNG, TIFF and EMF outputs to the same colours.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_conversion.h"
#include "formats/exif/ExifData.h"
#include "formats/formats.h"
#include "formats/gif/gif_codec.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_frame.h"
#include "formats/metafile/metafile.h"
#include "formats/png/png_codec.h"
#include "formats/psd/psd.h"
#include "formats/tiff/IFD_Module.h"
#include "formats/tiff/TIFFBMP.h"
#include "fuzz_support.h"
#include "imaging/operations.h"
#include "platform/message_sink.h"

// fontconfig, loaded by cairo for text, keeps a few font patterns for the life of the process
// and drops its pointers to them; LeakSanitizer would report them at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using tolvane::TBitmap;

// Sources and results are held to this many pixels, as the engine holds them to its own
// limit, so that every input stays fast.
constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

// The largest side of an EMF picture our reader plays.
constexpr int kEmfPlayedSide = 32767;

// The source extensions the loader knows; the index is what the first header byte selects.
constexpr std::string_view kSourceExtensions[] = {".bmp", ".jpg", ".jpeg", ".jps", ".gif",
                                                  ".png", ".psd", ".tif",  ".emf", ".wmf"};

// Header layout, byte offsets.
enum : std::size_t {
  kSource = 0,       // low 4 bits: extension index; bit 4: also through the loader
  kSteps = 1,        // bits: adjust, rotate, crop, canvas, resize
  kAdjust = 2,       // low 4 bits: invert, night vision, grey, sepia; high 4: rotate option
  kOutput = 3,       // low 3 bits: TOutputFormat; bit 3: PNG transparent; bit 4: clear EXIF
  kQuality = 4,      // JPEG quality and PNG compression
  kCrop = 5,         // 4 x u16 LE: left, top, right, bottom, within the image's larger side
  kCanvas = 13,      // 4 x u8: left, top, right, bottom
  kCanvasWide = 17,  // bit 0: canvas bytes count in steps of 40 (up to the 10000 allowed)
  kCanvasRgb = 18,   // 3 bytes
  kResize = 21,      // 2 x u16 LE: width, height
  kAspect = 25,      // bit 0: by width; bit 1: by height
  kHeaderSize = 26,
};

class SilentSink final : public tolvane::MessageSink {
 public:
  void Message(const std::string&, const std::string&) override {}
  void Beep() override {}
};

// Remembers the resize target the run reports, to hold the resampled image to it.
class RecordingHost final : public tolvane::ConversionHost {
 public:
  void ResizeTargetChanged(int width, int height) override {
    resize_width = width;
    resize_height = height;
  }
  int resize_width = -1, resize_height = -1;
};

// A folder of this process for the files the loader reads; removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("tolvane-pipeline-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Write(std::string_view extension, std::span<const std::uint8_t> bytes) const {
    const std::string file = (path_ / ("source" + std::string(extension))).string();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) std::abort();
    return file;
  }

 private:
  std::filesystem::path path_;
};

std::uint16_t U16At(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

bool WithinFuzzLimit(std::int64_t width, std::int64_t height) {
  return std::uint64_t(std::max<std::int64_t>(width, 0)) *
             std::uint64_t(std::max<std::int64_t>(height, 0)) <=
         kFuzzMaxPixels;
}

// The byte decoders, each held to the fuzz limit; nothing for TIFF, which only the loader reads.
std::optional<tolvane::Status> DecodeBytes(std::string_view ext, std::span<const std::uint8_t> file,
                                           TBitmap& image) {
  if (ext == ".bmp") return image.LoadFromBytes(file);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jps")
    return tolvane::DecodeJpeg(file, image, kFuzzMaxPixels);
  if (ext == ".gif") return tolvane::DecodeGif(file, image, kFuzzMaxPixels);
  if (ext == ".png") return tolvane::DecodePng(file, image, kFuzzMaxPixels);
  if (ext == ".psd") return tolvane::DecodePsd(file, image, kFuzzMaxPixels);
  if (ext == ".emf" || ext == ".wmf") return tolvane::DecodeMetafile(file, image, kFuzzMaxPixels);
  return std::nullopt;
}

// The source as a run decodes it, or an empty image. Sources beyond the fuzz limit are refused
// before the loader sees them, since its own limit is far larger.
TBitmap DecodeSource(std::string_view ext, bool through_loader, std::span<const std::uint8_t> file,
                     tolvane::TimgData& metadata) {
  TBitmap direct;
  const std::optional<tolvane::Status> status = DecodeBytes(ext, file, direct);
  if (status) {
    if (!*status) {
      if (!direct.Empty() || status->message().empty()) std::abort();
      return {};
    }
    if (direct.Empty()) std::abort();
    if (!WithinFuzzLimit(direct.Width(), direct.Height())) return {};
    if (!through_loader) return direct;
  } else {
    // The directory tells the size before anything is allocated.
    tolvane::tiff::TIFD directory;
    if (!directory.Read(file) || !WithinFuzzLimit(directory.width(), directory.height())) return {};
  }
  static const ScratchFolder folder;
  const tolvane::CodecServices services{{}, [](const std::string&) {}, &metadata};
  TBitmap loaded;
  const tolvane::Status load = tolvane::LoadImageFile(folder.Write(ext, file), loaded, services);
  if (!load) {
    // What the decoder accepts, the loader accepts too.
    if (status || !loaded.Empty() || load.message().empty()) std::abort();
    return {};
  }
  if (loaded.Empty()) std::abort();
  if (status && (loaded.BitsPerPixel() != direct.BitsPerPixel() ||
                 !tolvane::fuzz::SameColours(loaded, direct)))
    std::abort();
  return loaded;
}

// The run's options from the header; the image's size scales the crop edges.
tolvane::TConvertOptions OptionsFrom(const std::uint8_t* h, const TBitmap& image) {
  tolvane::TConvertOptions o;
  const std::uint8_t steps = h[kSteps];
  o.AdjustEnabled = steps & 1;
  o.Invert = h[kAdjust] & 1;
  o.NightVision = h[kAdjust] & 2;
  o.GrayScale = h[kAdjust] & 4;
  o.Sepia = h[kAdjust] & 8;
  o.RotateEnabled = steps & 2;
  o.RotateOption = tolvane::TRotateOption((h[kAdjust] >> 4) % 5);
  o.CropEnabled = steps & 4;
  // One past the larger side reaches edges out of range, which the run refuses.
  const int span = std::max(image.Width(), image.Height()) + 2;
  o.CropLeft = U16At(h + kCrop) % span;
  o.CropTop = U16At(h + kCrop + 2) % span;
  o.CropRight = U16At(h + kCrop + 4) % span;
  o.CropBottom = U16At(h + kCrop + 6) % span;
  o.CanvasEnabled = steps & 8;
  const int unit = h[kCanvasWide] & 1 ? 40 : 1;
  o.CanvasLeft = std::min(h[kCanvas] * unit, 10000);
  o.CanvasTop = std::min(h[kCanvas + 1] * unit, 10000);
  o.CanvasRight = std::min(h[kCanvas + 2] * unit, 10000);
  o.CanvasBottom = std::min(h[kCanvas + 3] * unit, 10000);
  o.CanvasColor = tolvane::RGBColor(h[kCanvasRgb], h[kCanvasRgb + 1], h[kCanvasRgb + 2]);
  o.ResizeEnabled = steps & 16;
  o.ResizeWidth = U16At(h + kResize);
  o.ResizeHeight = U16At(h + kResize + 2);
  o.AspectByWidth = h[kAspect] & 1;
  o.AspectByHeight = h[kAspect] & 2;
  o.OutputFormat = tolvane::TOutputFormat((h[kOutput] & 7) % 7);
  o.PngTransparent = h[kOutput] & 8;
  o.ClearExif = h[kOutput] & 16;
  o.JpegQuality = 1 + h[kQuality] % 100;
  o.PngCompression = h[kQuality] % 10;
  return o;
}

// Applies the run's steps in its order, one call per group so that canvas and resize results
// can be refused beyond the fuzz limit before they are made. False when a step refused.
bool ApplySteps(TBitmap& image, const tolvane::TConvertOptions& all) {
  RecordingHost host;
  tolvane::TConvertOptions o = all;
  o.CanvasEnabled = o.ResizeEnabled = false;
  const std::uint64_t pixels = std::uint64_t(image.Width()) * std::uint64_t(image.Height());
  const int longer = std::max(image.Width(), image.Height());
  try {
    tolvane::ApplyOperations(image, o, host);
  } catch (const std::runtime_error& e) {
    if (std::string_view(e.what()) != tolvane::kCropOutOfRangeMessage) throw;
    return false;
  }
  // Adjustments and turns keep every pixel; a crop can only take some away.
  const std::uint64_t kept = std::uint64_t(image.Width()) * std::uint64_t(image.Height());
  if (all.CropEnabled ? kept > pixels || std::max(image.Width(), image.Height()) > longer
                      : kept != pixels)
    std::abort();

  if (all.CanvasEnabled) {
    // A quarter turn exchanges which margins go to which side: allow for either.
    const int across = all.CanvasLeft + all.CanvasRight, down = all.CanvasTop + all.CanvasBottom;
    if (!WithinFuzzLimit(image.Width() + across, image.Height() + down) ||
        !WithinFuzzLimit(image.Width() + down, image.Height() + across))
      return false;
    o = all;
    o.AdjustEnabled = o.RotateEnabled = o.CropEnabled = o.ResizeEnabled = false;
    tolvane::ApplyOperations(image, o, host);
  }

  if (all.ResizeEnabled) {
    const tolvane::ResizeSettings settings{all.ResizeWidth, all.ResizeHeight, all.AspectByWidth,
                                           all.AspectByHeight};
    const auto target = tolvane::ResizeTarget(image.Width(), image.Height(), settings);
    if (target && !WithinFuzzLimit(target->width, target->height)) return false;
    o = all;
    o.AdjustEnabled = o.RotateEnabled = o.CropEnabled = o.CanvasEnabled = false;
    tolvane::ApplyOperations(image, o, host);
    if (target && (image.Width() != host.resize_width || image.Height() != host.resize_height))
      std::abort();
  }
  return true;
}

// The output as one file: the head, then the rows a BMP output keeps apart.
std::vector<std::uint8_t> WholeFile(const tolvane::EncodedImage& encoded) {
  std::vector<std::uint8_t> file = encoded.bytes;
  for (const auto row : encoded.rows) file.insert(file.end(), row.begin(), row.end());
  return file;
}

std::string_view ExtensionOf(std::string_view name) {
  const auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

// Same colours, except that pixels of the colour `clear` points to may have been written white.
bool SameColoursBut(const TBitmap& written, const TBitmap& read, const tolvane::TColor* clear) {
  if (clear == nullptr) return tolvane::fuzz::SameColours(written, read);
  if (written.Width() != read.Width() || written.Height() != read.Height()) return false;
  for (int y = 0; y < written.Height(); ++y) {
    for (int x = 0; x < written.Width(); ++x) {
      const tolvane::TColor a = written.Pixels(x, y), b = read.Pixels(x, y);
      if (a != b && !(a == *clear && b == tolvane::kWhite)) return false;
    }
  }
  return true;
}

// Decodes the written file by its format and holds it to what was written.
void CheckOutput(const TBitmap& image, std::string_view ext, const std::vector<std::uint8_t>& file,
                 bool png_transparent) {
  const tolvane::TColor own_mark = image.TransparentColor();
  const tolvane::TColor* mark = image.Transparent() ? &own_mark : nullptr;
  TBitmap again;
  if (ext == ".bmp") {
    if (!again.LoadFromBytes(file) || !tolvane::fuzz::SameColours(image, again)) std::abort();
  } else if (ext == ".jpg" || ext == ".jpeg" || ext == ".jps") {
    if (!tolvane::DecodeJpeg(file, again)) std::abort();
  } else if (ext == ".png") {
    if (!tolvane::DecodePng(file, again)) std::abort();
    // A transparent colour reads back white, and as the image's mark; without one asked for,
    // nothing may read back transparent.
    if (!png_transparent && mark == nullptr && again.Transparent()) std::abort();
    const tolvane::TColor key = again.TransparentColor();
    if (!SameColoursBut(image, again, again.Transparent() ? &key : nullptr)) std::abort();
  } else if (ext == ".gif") {
    if (!tolvane::DecodeGif(file, again)) std::abort();
    // Palette images keep their colours; others go to the colour cube.
    if (image.BitsPerPixel() <= 8 && !mark && !tolvane::fuzz::SameColours(image, again))
      std::abort();
  } else if (ext == ".tif") {
    tolvane::TTIFFBitMap tiff;
    if (!tiff.LoadFromTiffBytes(file) || !SameColoursBut(image, tiff, mark)) std::abort();
    again = std::move(tiff);
  } else if (ext == ".emf") {
    // The writer records pictures of any size, but our reader plays them only up to cairo's
    // surface side (found_emf_side_over_32767.bin); until that is settled, such outputs are
    // held only to having been written.
    if (std::max(image.Width(), image.Height()) > kEmfPlayedSide) return;
    if (!tolvane::DecodeMetafile(file, again, kFuzzMaxPixels) ||
        !tolvane::fuzz::SameColours(image, again))
      std::abort();
  } else {
    std::abort();  // a writer was chosen for a format nobody reads
  }
  if (again.Width() != image.Width() || again.Height() != image.Height()) std::abort();
}

// A JPEG output carries the holder's segments as they were written: read back, the holder
// of the output keeps the same ones.
void CheckCarriedMetadata(tolvane::TimgData& holder, std::span<const std::uint8_t> file) {
  tolvane::TimgData back;
  back.ReadMetadataBytes(file);
  const tolvane::JpegHeaderSegments written = tolvane::HeldSegments(holder);
  const tolvane::JpegHeaderSegments read = tolvane::HeldSegments(back);
  if (read.exif != written.exif || read.iptc != written.iptc || read.comment != written.comment)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SilentSink sink;
  tolvane::SetMessageSink(&sink);
  if (size < kHeaderSize) return 0;
  const std::uint8_t* header = data;
  const std::span<const std::uint8_t> file(data + kHeaderSize, size - kHeaderSize);
  const std::string_view source_ext =
      kSourceExtensions[(header[kSource] & 15) % std::size(kSourceExtensions)];
  const bool through_loader = header[kSource] & 16;

  tolvane::TimgData metadata;
  TBitmap image = DecodeSource(source_ext, through_loader, file, metadata);
  if (image.Empty()) return 0;

  const tolvane::TConvertOptions options = OptionsFrom(header, image);
  if (!ApplySteps(image, options)) return 0;

  const tolvane::SaveSettings settings{options.OutputFormat,   options.JpegQuality,
                                       options.ClearExif,      options.PngCompression,
                                       options.PngTransparent, &metadata};
  const std::string name = "fuzz" + std::string(source_ext);
  TBitmap handed = image;
  tolvane::EncodedImage encoded;
  try {
    encoded = tolvane::EncodeForSave(std::move(handed), name, settings);
  } catch (const std::runtime_error&) {
    // A TIFF that cannot be made stops the run; nothing else may throw.
    if (ExtensionOf(tolvane::EncodeForSave(TBitmap(), name, settings).name) != ".tif") std::abort();
    return 0;
  }
  if (!encoded.refusal.empty()) return 0;
  // An empty image is never written.
  if (image.Empty()) std::abort();
  const std::string_view written_ext = ExtensionOf(encoded.name);
  const std::vector<std::uint8_t> written = WholeFile(encoded);
  CheckOutput(image, written_ext, written, options.PngTransparent);
  if (written_ext == ".jpg" || written_ext == ".jpeg" || written_ext == ".jps")
    CheckCarriedMetadata(metadata, written);
  return 0;
}
