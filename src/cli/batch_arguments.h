#pragma once
#include <string>
#include <vector>

#include "engine/convert_options.h"
#include "engine/run_conversion.h"

namespace tolvane::cli {

struct BatchArguments {
  TConvertOptions options;
  RunSettings run{DefaultJobs()};  // jobs, --existing, --shard
  std::vector<std::string> files;
  std::string output_dir;  // as given to -o (TargetFolder holds it expanded); empty: none
  bool recursive = false;  // folders among the files stand for the images under them
  bool files_from_given = false;
  std::string files_from;  // a list of names; "-": standard input
  bool null_separated = false;
  bool quiet = false;
  bool verbose = false;  // name each output as it is written
  bool json = false;     // one JSON object per entry on stdout
  bool dry_run = false;
  bool report = false;      // print the EXIF blocks the run appends
  std::string exif_report;  // print this JPEG's EXIF report and exit
  bool help = false;
  bool version = false;
};

// Parses the command line onto the run's options; throws std::invalid_argument with a
// message for the user on bad usage. Touches no file: a missing output folder is created
// by the caller.
BatchArguments ParseArguments(const std::vector<std::string>& args);

// The --help text.
std::string Usage();

}  // namespace tolvane::cli
