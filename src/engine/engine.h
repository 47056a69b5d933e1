#pragma once
// The conversion engine, shared by the window and tolvane-batch:
//   convert_options.h  TConvertOptions and its choice lists, TImageEntry
//   conversion_host.h  ConversionHost: everything the run needs from its front-end
//   crop_ranges.h      the crop bars' ranges and partner limits, as numbers
//   header_size.h      a source's picture size as its header states it
//   naming.h           output names and folders, the checks on a base name
//   preview.h          the preview's reduced copy and its redraw with the current settings
//   resize_panel.h     the Resize page's arithmetic: units, percentages, standard sizes
//   run_conversion.h   RunConversion: the batch run
#include "engine/conversion_host.h"
#include "engine/convert_options.h"
#include "engine/crop_ranges.h"
#include "engine/header_size.h"
#include "engine/naming.h"
#include "engine/preview.h"
#include "engine/resize_panel.h"
#include "engine/run_conversion.h"
