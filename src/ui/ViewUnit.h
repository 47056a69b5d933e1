#pragma once
#include <QDialog>
#include <QImage>

#include "imaging/tbitmap.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;

namespace tolvane {

// One side's picture: at natural size from the top left, or stretched proportionally and
// centred in whatever size its scroll box gives it.
class CompareImage : public QWidget {
  Q_OBJECT

 public:
  explicit CompareImage(QWidget* parent = nullptr);
  void SetPicture(const TBitmap& picture);
  void Release();
  const TBitmap& Picture() const { return picture_; }
  bool Stretched() const { return stretched_; }
  void SetStretched(bool on);
  // Where the picture is drawn.
  QRect PictureRect() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TBitmap picture_;
  QImage shown_;
  bool stretched_ = false;
};

// The compare window: the selected image at full size before and after the current settings,
// side by side or alone, stretched or at natural size. Every opening starts side by side at
// natural size.
class TViewForm : public QDialog {
  Q_OBJECT

 public:
  explicit TViewForm(QWidget* parent = nullptr);

  void SetImages(const TBitmap& original, const TBitmap& prepared);

  QMenuBar* MainMenu1 = nullptr;
  QMenu* Images1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  // Each item serves both menus, so the two check marks of a pair cannot differ.
  QAction* Stretch1 = nullptr;
  QAction* ViewOriginalImage1 = nullptr;
  QAction* ViewPrepareImage1 = nullptr;
  QAction* Exit1 = nullptr;
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QScrollArea* ScrollBox1 = nullptr;
  CompareImage* Image1 = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* Label2 = nullptr;
  QScrollArea* ScrollBox2 = nullptr;
  CompareImage* Image2 = nullptr;

  void Stretch1Click();
  void ViewOriginalImage1Click();
  void ViewPrepareImage1Click();
  void Exit1Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void done(int result) override;

 private:
  QWidget* Side(const QString& caption, const char* name, QLabel*& label, QScrollArea*& box,
                CompareImage*& image);
  QAction* Item(const QString& caption, const char* name, const QKeySequence& shortcut,
                bool checkable, void (TViewForm::*handler)());
  void SetStretch(bool on);
  void DockLeftPanel();
  void FillWithLeftPanel();
  void FormShow();
  void FormResize();
  void FormCloseQuery();
};

}  // namespace tolvane
