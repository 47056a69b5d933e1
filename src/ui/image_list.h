#pragma once
#include <QDateTime>
#include <QString>

namespace tolvane {

// Helpers of the image list that depend on the file system and the user's locale.

// The file's size in MB, rounded to thousandths, as the shortest decimal text with the locale's
// separator; "0" for a missing file.
QString FileSizeText(const QString& path);
// The last-write time in local time, cut to the 2-second steps of the legacy packed form;
// the zero date (30 December 1899, midnight) for a missing path or a folder.
QDateTime FileDateTime(const QString& path);
// The short date, a space and the long time; the time is left out at exactly midnight.
QString DateTimeText(const QDateTime& value);
QDateTime ZeroDateTime();

// Whether a dropped path has one of the extensions the list takes from drops.
bool AcceptedDropPath(const QString& path);
// The most of a dropped path that survives.
inline constexpr int kMaxDroppedPathLength = 253;

}  // namespace tolvane
