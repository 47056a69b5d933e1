#pragma once
#include <optional>
#include <string>

#include "engine/convert_options.h"

namespace tolvane {

// The folder of an entry's source, ending in "/".
std::string SourceFolder(const TImageEntry& entry);
// BaseName + (index + 1) + the lower-cased extension when renaming, else the file name.
std::string OutputName(int index, const std::string& file_name, const TConvertOptions& options);
// The source's folder with SameFolder, else TargetFolder and the entry's subfolder.
std::string OutputFolder(const TImageEntry& entry, const TConvertOptions& options);
// The name an output named `name` is written under: the extension a forced format gives, or
// the one its type gets in keep-extension mode.
std::string WrittenName(const std::string& name, TOutputFormat format);
// Why a base name cannot be used (it would leave the output folder or is not a file name),
// or nothing when it is fine.
std::optional<std::string> BaseNameProblem(const std::string& base_name);

// The characters a base name may be typed or pasted with.
inline constexpr char kNameChars[] =
    "abcdefghijklmnopqrstuvwxyz0123456789_!&?ASDFGHJKLMNBVCXZQWERTYUIOP";
// The text with every character outside kNameChars dropped (bytes of multi-byte UTF-8
// sequences included, as none of them is allowed).
std::string FilterNameChars(const std::string& text);

}  // namespace tolvane
