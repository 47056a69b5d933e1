#pragma once
#include <QIcon>
#include <QPixmap>

namespace tolvane {

// The 16 x 16 pictures of the commands, the tab mark and the sort arrows, drawn here so the
// window needs no image files.
enum class IconKind {
  kOpenFolder,
  kRedCross,
  kRedMinus,
  kDoor,
  kThinRedCross,
  kReturnArrow,
  kRun,
  kStop,
  kQuestion,
  kInformation,
  kTwoPictures,
  kCheckMark,
};

QIcon DrawnIcon(IconKind kind);
// The same picture drawn on a larger square, for the about box.
QPixmap DrawnPicture(IconKind kind, int side);

}  // namespace tolvane
