#include "ui/commands.h"

#include <QWidget>

#include "ui/icons.h"

namespace tolvane {
namespace {

struct CommandRow {
  Command command;
  const char* object_name;
  const char* menu_text;
  const char* hint;
  QKeyCombination shortcut;
  IconKind icon;
  const char* tool_button;
};

const CommandRow kCommandRows[kCommandCount] = {
    {Command::kOpen, "OpenImages1", "Open Image(s)", "Open Image(s)", Qt::CTRL | Qt::Key_O,
     IconKind::kOpenFolder, "ToolButton1"},
    {Command::kClearAll, "DeleteAllImages1", "Clear All Items", "Delete All Items",
     Qt::CTRL | Qt::Key_A, IconKind::kRedCross, "ToolButton2"},
    {Command::kClearSelected, "DeleteSelectedImages1", "Clear Selected Item",
     "Delete Selected Item", QKeyCombination(Qt::Key_Delete), IconKind::kRedMinus, "ToolButton3"},
    {Command::kExit, "Exit1", "Exit", "Exit", Qt::ALT | Qt::Key_X, IconKind::kDoor, ""},
    {Command::kRun, "Run1", "Run", "Run", QKeyCombination(Qt::Key_F5), IconKind::kRun,
     "ToolButton8"},
    {Command::kCancel, "Cancel1", "Cancel", "Cancel Converting", QKeyCombination(Qt::Key_F6),
     IconKind::kStop, "ToolButton9"},
    {Command::kCompare, "ImagesCompare1", "Images Compare", "Images Compare", Qt::CTRL | Qt::Key_I,
     IconKind::kTwoPictures, "CompareButton"},
    {Command::kDefault, "Default1", "Default", "Default", Qt::CTRL | Qt::Key_D,
     IconKind::kReturnArrow, "ToolButton6"},
    {Command::kHelp, "Help2", "Help", "Help", QKeyCombination(Qt::Key_F1), IconKind::kQuestion, ""},
    {Command::kAbout, "About2", "About", "About", QKeyCombination(Qt::Key_F2),
     IconKind::kInformation, ""},
};

}  // namespace

CommandTable::CommandTable(QWidget* owner) {
  for (const CommandRow& row : kCommandRows) {
    auto* action = new QAction(DrawnIcon(row.icon), QString::fromLatin1(row.menu_text), owner);
    action->setObjectName(QString::fromLatin1(row.object_name));
    action->setToolTip(QString::fromLatin1(row.hint));
    action->setStatusTip(QString::fromLatin1(row.hint));
    action->setShortcut(QKeySequence(row.shortcut));
    action->setShortcutContext(Qt::WindowShortcut);
    // One command per key press, even when the key is held down.
    action->setAutoRepeat(false);
    owner->addAction(action);
    actions_[static_cast<int>(row.command)] = action;
  }
}

QString CommandTable::ToolButtonName(Command command) {
  return QString::fromLatin1(kCommandRows[static_cast<int>(command)].tool_button);
}

}  // namespace tolvane
