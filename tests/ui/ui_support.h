#pragma once
// What the window tests share: scripted dialogs, small source files and user-like clicks.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "imaging/tbitmap.h"
#include "ui/Unit1.h"
#include "ui/dialogs.h"

namespace tolvane_test {

// Answers the window's dialogs from a script and records its messages.
class ScriptedDialogs final : public tolvane::Dialogs {
 public:
  std::deque<std::optional<QStringList>> open_answers;
  QStringList open_titles;          // what each open dialog was titled
  QList<QStringList> open_filters;  // and the filters it was given
  std::optional<QString> folder_answer;
  QStringList folder_titles, folder_starts;  // what each folder dialog was opened with
  std::optional<QColor> colour_answer;
  QList<QColor> colours_offered;
  QStringList messages;
  QStringList captions;
  QList<QMessageBox::Icon> icons;
  bool open_answer = true;  // false: no application is associated
  QList<QUrl> opened;

  std::optional<QStringList> OpenFiles(QWidget*, const QString& title,
                                       const QStringList& filters) override {
    open_titles << title;
    open_filters << filters;
    if (open_answers.empty()) return std::nullopt;
    const bool cancelled = !open_answers.front().has_value();
    const QStringList files = open_answers.front().value_or(QStringList());
    open_answers.pop_front();
    if (cancelled) return std::nullopt;
    return files;
  }
  std::optional<QString> ChooseFolder(QWidget*, const QString& title,
                                      const QString& initial) override {
    folder_titles << title;
    folder_starts << initial;
    return folder_answer;
  }
  std::optional<QColor> ChooseColor(QWidget*, const QColor& initial) override {
    colours_offered << initial;
    return colour_answer;
  }
  void Message(QWidget*, const QString& text, const QString& caption,
               QMessageBox::Icon icon) override {
    messages << text;
    captions << caption;
    icons << icon;
  }
  bool OpenDocument(const QUrl& url) override {
    opened << url;
    return open_answer;
  }
  void Notify(const QString& summary, const QString& body) override {
    notifications << summary + QLatin1Char('|') + body;
  }
  QStringList notifications;  // "summary|body"
};

// A main window that answers its dialogs from a script; `dialogs` is set to that script.
inline std::unique_ptr<tolvane::TConvertorForm> MakeWindow(ScriptedDialogs*& dialogs) {
  auto script = std::make_unique<ScriptedDialogs>();
  dialogs = script.get();
  return std::make_unique<tolvane::TConvertorForm>(std::move(script));
}

// Empties a test's folder between test functions; the folder itself stays.
inline void EmptyFolder(const QString& folder) {
  QDir(folder).removeRecursively();
  QDir().mkpath(folder);
}

inline void WriteBmp(const QString& path, int width, int height) {
  tolvane::TBitmap image;
  image.Create(width, height, 24);
  image.FillRect(tolvane::RGBColor(200, 40, 40));
  image.SaveToFile(QFile::encodeName(path).toStdString());
}

// Adds files as the user does through Ctrl+O, with `paths` as the dialog's answer.
inline void AddThroughOpenDialog(tolvane::TConvertorForm& form, ScriptedDialogs& dialogs,
                                 const QStringList& paths) {
  dialogs.open_answers.push_back(paths);
  QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
}

// The texts of one column of the image list, top to bottom.
inline QStringList ListColumn(const QTreeWidget* list, int column) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
  return texts;
}

// Clicks the middle of a column's header.
inline void ClickHeader(QTreeWidget* list, int section) {
  QHeaderView* header = list->header();
  const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                      header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

inline void SelectOnly(QTreeWidget* list, int row) {
  list->setCurrentItem(list->topLevelItem(row), 0,
                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Near the left edge: check boxes and radio buttons take clicks only on their box and caption.
inline void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Clicks into the field, empties it key by key and types the text.
inline void Retype(QLineEdit* field, const QString& text) {
  QTest::mouseClick(field, Qt::LeftButton);
  QTest::keyClick(field, Qt::Key_End);
  while (!field->text().isEmpty()) QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}
inline void Retype(QSpinBox* field, const QString& text) {
  QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(4, field->height() / 2));
  QTest::keyClick(field, Qt::Key_End);
  for (int i = 0; i < 6; ++i) QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}

inline void Leave(QWidget* field) { QTest::keyClick(field, Qt::Key_Tab); }

inline void Press(QAbstractSlider* bar, Qt::Key key, int times = 1) {
  for (int i = 0; i < times; ++i) QTest::keyClick(bar, key);
}

// Starts a run with F5 and waits for its end, the window handling its events meanwhile as for
// a user.
inline void RunAndWait(tolvane::TConvertorForm& form) {
  QTest::keyClick(&form, Qt::Key_F5);
  QVERIFY(QTest::qWaitFor([&form] { return !form.RunInProgress(); }, 60000));
}

inline QSize SizeOf(const tolvane::TBitmap& picture) { return {picture.Width(), picture.Height()}; }

// Opens a modal window of `owner` with its command key and runs `while_shown` once the window is
// shown and active; closes it afterwards if `while_shown` did not. False when it never showed.
inline bool WhileModal(QWidget* owner, QDialog* dialog, const QKeySequence& key,
                       const std::function<void()>& while_shown) {
  owner->activateWindow();
  if (!QTest::qWaitFor([owner] { return QApplication::activeWindow() == owner; })) return false;
  bool shown = false;
  QTimer::singleShot(0, dialog, [dialog, &while_shown, &shown] {
    shown = dialog->isVisible();
    dialog->activateWindow();
    if (shown && QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; })) {
      while_shown();
    }
    if (dialog->isVisible()) dialog->close();
  });
  QTest::keySequence(owner, key);
  return shown && !dialog->isVisible();
}

// Brings a settings page to front with its layout done, so clicks land on its controls.
inline void ShowPage(tolvane::TConvertorForm& form, QWidget* page) {
  form.PageControl2->setCurrentWidget(page);
  QCoreApplication::processEvents();
}

// Chooses `folder` (created if needed) through "Select Folder" and the scripted dialog.
inline QString ChooseOutputFolder(tolvane::TConvertorForm& form, ScriptedDialogs& dialogs,
                                  const QString& folder) {
  QDir().mkpath(folder);
  dialogs.folder_answer = folder;
  ShowPage(form, form.TabSheet15);
  Click(form.SelectBtn);
  return folder;
}

}  // namespace tolvane_test
