#pragma once
#include "engine/conversion_host.h"
#include "engine/convert_options.h"
#include "imaging/tbitmap.h"

namespace tolvane {

// The prepared side of the compare window: a full-size copy of source with the operations a run
// would apply to it, in the run's order and with its mapping of crop and canvas values. Of the
// run's effects only the resize step's reach the caller: its message through host.ShowMessage,
// and its resulting size written back into options and reported by host.ResizeTargetChanged.
// The crop values, the crop ranges and the host's preview stay as they were. Throws
// std::runtime_error with kCropOutOfRangeMessage when a crop value does not fit. An empty
// source gives an empty image.
TBitmap PrepareCompareImage(const TBitmap& source, TConvertOptions& options, ConversionHost& host);

}  // namespace tolvane
