#include "platform/paths.h"

#include <chrono>

#include "platform/file_ops.h"

namespace tolvane {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string FileExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  if (name.find(kPathSeparator, dot) != std::string_view::npos) return {};
  return std::string(name.substr(dot));
}

std::string LowerExtension(std::string_view name) { return LowerAscii(FileExtension(name)); }

std::string FolderOf(std::string_view path) {
  const auto slash = path.rfind(kPathSeparator);
  if (slash == std::string_view::npos) return "./";
  return std::string(path.substr(0, slash + 1));
}

std::string NameOf(std::string_view path) {
  const auto slash = path.rfind(kPathSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ReplaceExtension(std::string_view name, std::string_view new_ext) {
  const std::size_t ext_length = FileExtension(name).size();
  std::string out(name);
  if (ext_length > 0) out.erase(name.size() - ext_length, 5);
  out += new_ext;
  return out;
}

NameRandom::NameRandom()
    : state_(static_cast<unsigned long long>(
          std::chrono::high_resolution_clock::now().time_since_epoch().count())) {}

int NameRandom::Draw() {
  // SplitMix64: any generator will do; only the range is fixed.
  unsigned long long z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<int>(z % 10000);
}

std::optional<std::string> CollisionFreePath(const std::string& folder, const std::string& name,
                                             NameRandom& random, const std::string& absent) {
  auto taken = [&](const std::string& path) { return path != absent && FileExists(path); };
  const std::string plain = folder + name;
  if (!taken(plain)) return plain;
  for (int i = 0; i < kMaxCollisionDraws; ++i) {
    std::string prefixed = folder + std::to_string(random.Draw()) + "_" + name;
    if (!taken(prefixed)) return prefixed;
  }
  return std::nullopt;
}

}  // namespace tolvane
