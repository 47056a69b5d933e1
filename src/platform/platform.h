#pragma once
// The stand-ins for operating-system services used by everything above this folder:
//   status.h        Status: an error carried as a value (message text written once)
//   limits.h        the decode limits every parser checks sizes against
//   byte_reader.h   ByteReader: bounds-checked little/big-endian reads over a byte span
//   checked_math.h  overflow-checked size arithmetic, MulDiv, rounding helpers
//   codepage.h      8-bit (Windows-1251) texts made readable as UTF-8
//   byte_buffer.h   ByteBuffer: large byte buffers (pixels, whole files) recycled between uses
//   file_ops.h      whole-file reads, atomic writes, copy, delete, temp folder, long paths
//   paths.h         extensions, ReplaceExtension, CollisionFreePath, the naming random source
//   message_sink.h  where codecs send their message boxes and beeps
//   unique_fd.h     UniqueFd: a file descriptor closed when it goes
#include "platform/byte_buffer.h"
#include "platform/byte_reader.h"
#include "platform/checked_math.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/limits.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/status.h"
#include "platform/unique_fd.h"
