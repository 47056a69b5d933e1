#include "cli/inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "formats/codecs.h"
#include "platform/file_ops.h"

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Bad(const std::string& message) { throw std::invalid_argument(message); }

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadList(const std::string& file) {
  if (file == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  // A folder opens as a stream but reads as nothing.
  if (IsFolder(file)) Bad("--files-from \"" + file + "\": is a folder");
  std::ifstream in(file, std::ios::binary);
  if (!in) Bad("--files-from \"" + file + "\": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Bad("--files-from \"" + file + "\": cannot read it");
  return text.str();
}

// The images under a folder, sorted by name folder by folder, depth first. Links to folders
// are not followed, so that no tree is walked twice or without end; the output folder is left
// out, so that a run started again does not take the outputs for sources.
class FolderWalk {
 public:
  FolderWalk(std::vector<Input>& found, std::vector<std::string>& problems,
             std::optional<FileId> output_folder)
      : found_(found), problems_(problems), output_folder_(output_folder) {}

  void Walk(const std::string& folder, const std::string& subfolder) {
    std::error_code ec;
    std::vector<fs::directory_entry> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      children.push_back(*it);
    }
    if (ec) {
      problems_.push_back(folder + ": cannot read the folder: " + ec.message());
      return;
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
      return a.path().filename().native() < b.path().filename().native();
    });
    for (const fs::directory_entry& child : children) {
      const std::string name = child.path().filename().native();
      const std::string path = folder + name;
      if (child.is_symlink(ec) || !child.is_directory(ec)) {
        if (IsBatchReadableName(name) && child.is_regular_file(ec)) {
          found_.push_back({path, subfolder});
        }
        continue;
      }
      if (output_folder_ && FileIdentity(path) == output_folder_) continue;
      Walk(path + "/", subfolder + name + "/");
    }
  }

 private:
  std::vector<Input>& found_;
  std::vector<std::string>& problems_;
  const std::optional<FileId> output_folder_;
};

void Take(const std::string& name, const BatchArguments& args, std::vector<Input>& inputs,
          std::vector<std::string>& problems) {
  if (!IsFolder(name)) {
    inputs.push_back({name, {}});
    return;
  }
  if (!args.recursive) {
    Bad(name + ": is a folder; -r, --recursive takes the images under it");
  }
  const auto output_folder =
      args.options.SameFolder ? std::nullopt : FileIdentity(args.options.TargetFolder);
  FolderWalk(inputs, problems, output_folder).Walk(name.ends_with('/') ? name : name + "/", {});
}

}  // namespace

std::vector<std::string> SplitNames(const std::string& text, bool null_separated) {
  const char separator = null_separated ? '\0' : '\n';
  std::vector<std::string> names;
  std::size_t start = 0, line = 1;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(start, end - start);
    if (!null_separated && name.find('\0') != std::string::npos) {
      Bad("--files-from: line " + std::to_string(line) +
          " holds a NUL byte (-0 reads NUL-separated names)");
    }
    if (!name.empty()) names.push_back(std::move(name));
    start = end + 1;
    ++line;
  }
  return names;
}

std::vector<Input> CollectInputs(const BatchArguments& args, std::vector<std::string>* problems) {
  std::vector<Input> inputs;
  std::vector<std::string> names = args.files;
  if (args.files_from_given) {
    const std::vector<std::string> listed =
        SplitNames(ReadList(args.files_from), args.null_separated);
    names.insert(names.end(), listed.begin(), listed.end());
  }
  for (const std::string& name : names) Take(name, args, inputs, *problems);
  return inputs;
}

}  // namespace tolvane::cli
