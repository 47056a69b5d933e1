#pragma once
#include <string>
#include <vector>

#include "engine/convert_options.h"
#include "engine/run_conversion.h"

namespace tolvane::cli {

struct BatchArguments {
  TConvertOptions options;
  std::vector<std::string> files;
  int jobs = DefaultJobs();
  bool quiet = false;
  bool report = false;      // print the EXIF blocks the run appends
  std::string exif_report;  // print this JPEG's EXIF report and exit
  bool help = false;
  bool version = false;
};

// Parses the command line onto the run's options; throws std::invalid_argument with a
// message for the user on bad usage.
BatchArguments ParseArguments(const std::vector<std::string>& args);

// The --help text.
std::string Usage();

}  // namespace tolvane::cli
