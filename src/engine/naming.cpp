#include "engine/naming.h"

#include <string_view>

#include "formats/codecs.h"
#include "platform/paths.h"

namespace tolvane {

std::string SourceFolder(const TImageEntry& entry) { return FolderOf(entry.FullPath); }

std::string OutputName(int index, const std::string& file_name, const TConvertOptions& options) {
  if (!options.Rename) return file_name;
  return options.BaseName + std::to_string(index + 1) + LowerExtension(file_name);
}

std::string OutputFolder(const TImageEntry& entry, const TConvertOptions& options) {
  return options.SameFolder ? SourceFolder(entry) : options.TargetFolder + entry.OutputSubfolder;
}

std::string WrittenName(const std::string& name, TOutputFormat format) {
  if (format == TOutputFormat::kKeepExtension) {
    const CodecRow* row = FindCodec(name);
    if (row == nullptr || row->keep_extension.empty()) return name;
    return ReplaceExtension(name, row->keep_extension);
  }
  const auto writers = Writers();
  const auto index = static_cast<std::size_t>(format) - 1;
  return index < writers.size() ? ReplaceExtension(name, writers[index].extension) : name;
}

std::optional<std::string> BaseNameProblem(const std::string& base_name) {
  const std::string quoted = "The base name \"" + base_name + "\"";
  if (base_name.find(kPathSeparator) != std::string::npos ||
      base_name.find('\\') != std::string::npos) {
    return quoted + " holds a path separator";
  }
  if (base_name == "." || base_name == ".." || base_name.find("..") != std::string::npos) {
    return quoted + " holds \"..\"";
  }
  for (unsigned char c : base_name) {
    if (c < 0x20 || c == 0x7F) return "The base name holds a control character";
  }
  return std::nullopt;
}

std::string FilterNameChars(const std::string& text) {
  const std::string_view allowed(kNameChars);
  std::string kept;
  for (char c : text) {
    if (c != '\0' && allowed.find(c) != std::string_view::npos) kept += c;
  }
  return kept;
}

}  // namespace tolvane
