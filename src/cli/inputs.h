#pragma once
#include <string>
#include <vector>

#include "cli/batch_arguments.h"

namespace tolvane::cli {

// One file of the batch as the command line names it.
struct Input {
  std::string path;
  std::string subfolder;  // below -o, ending in "/", for a file found under a folder
};

// The batch's files: the arguments, then the names of --files-from; with --recursive a folder
// stands for the images under it. Throws std::invalid_argument on bad usage (a folder without
// --recursive, a list that cannot be read or holds a NUL in a line). Folders that cannot be
// read are named in *problems, and the rest is taken.
std::vector<Input> CollectInputs(const BatchArguments& args, std::vector<std::string>* problems);

// The names in a list: split at NUL bytes or at line ends; empty names are dropped. Throws
// std::invalid_argument for a NUL byte inside a line.
std::vector<std::string> SplitNames(const std::string& text, bool null_separated);

}  // namespace tolvane::cli
