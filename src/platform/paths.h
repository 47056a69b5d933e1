#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr char kPathSeparator = '/';

// Lower-cases the letters A to Z only.
std::string LowerAscii(std::string_view text);
// The text from the last "." of the name to its end, dot included; empty when a separator
// follows the dot or there is none.
std::string FileExtension(std::string_view name);
std::string LowerExtension(std::string_view name);
// The folder part of a path, ending in "/", and the name after it.
std::string FolderOf(std::string_view path);
std::string NameOf(std::string_view path);

// Drops up to five characters of the name's extension (its dot included) and appends new_ext.
std::string ReplaceExtension(std::string_view name, std::string_view new_ext);

// Draws the numbers of collision prefixes: 0..9999, re-seeded from a high-resolution clock.
class NameRandom {
 public:
  NameRandom();
  explicit NameRandom(unsigned long long seed) : state_(seed) {}
  int Draw();

 private:
  unsigned long long state_;
};

inline constexpr int kMaxCollisionDraws = 1000;

// folder + name when no such file exists, otherwise folder + r + "_" + name for a drawn r
// whose path is free too. `absent` names one path to treat as not existing (a source that is
// about to be deleted). Nothing when no free name was found in kMaxCollisionDraws draws.
std::optional<std::string> CollisionFreePath(const std::string& folder, const std::string& name,
                                             NameRandom& random, const std::string& absent = {});

}  // namespace tolvane
