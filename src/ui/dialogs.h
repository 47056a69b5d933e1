#pragma once
#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>

class QWidget;

namespace tolvane {

// Every dialog the main window opens goes through here, so tests can answer them in script.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // The files chosen in the open dialog, in the order it returns them; nothing when cancelled.
  // `filters` are in Qt's form (see NameFilter); the first is selected.
  virtual std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                               const QStringList& filters) = 0;
  // The folder chosen, without a trailing separator; nothing when cancelled.
  virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                              const QString& initial) = 0;
  virtual std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) = 0;
  virtual void Message(QWidget* parent, const QString& text, const QString& caption,
                       QMessageBox::Icon icon) = 0;
  // False when no application is associated with the document.
  virtual bool OpenDocument(const QUrl& url) = 0;
  // A desktop notification; nothing happens where the desktop shows none.
  virtual void Notify(const QString& summary, const QString& body) = 0;
};

// The platform's own dialogs.
std::unique_ptr<Dialogs> MakeQtDialogs();

// One filter of the open dialog in Qt's form. The description is what the user reads; the
// patterns are separated by ";" as the description writes them, while Qt matches only
// space-separated patterns in the last parentheses, so they follow the description there and
// the dialog hides them.
QString NameFilter(const QString& description, const QString& patterns);

// Places a window about to be shown in the middle of the screen that holds its owner window
// (its own screen when it has no owner).
void CentreOnOwnersScreen(QWidget* window);

}  // namespace tolvane
