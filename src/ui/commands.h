#pragma once
#include <QAction>
#include <QString>
#include <array>

class QWidget;

namespace tolvane {

enum class Command {
  kOpen,
  kClearAll,
  kClearSelected,
  kExit,
  kRun,
  kCancel,
  kCompare,
  kDefault,
  kHelp,
  kAbout,
};
inline constexpr int kCommandCount = 10;

// The command table: one action per command with its text, hint, shortcut and icon, shared by
// the toolbar, the main menu and the pop-up menu so all three run the same handler and follow
// the same enabling. The actions belong to `owner` and are added to it, so their shortcuts
// work wherever the focus is in that window and stop working while disabled.
class CommandTable {
 public:
  explicit CommandTable(QWidget* owner);

  QAction* operator[](Command command) const { return actions_[static_cast<int>(command)]; }
  // The object name of the command's toolbar button; empty when it has none.
  static QString ToolButtonName(Command command);

 private:
  std::array<QAction*, kCommandCount> actions_{};
};

}  // namespace tolvane
