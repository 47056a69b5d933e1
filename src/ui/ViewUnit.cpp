#include "ui/ViewUnit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/dialogs.h"
#include "ui/picture_box.h"

namespace tolvane {
namespace {

constexpr int kClientWidth = 946;
constexpr int kClientHeight = 627;
constexpr int kFirstLeftWidth = 415;

void Paint(QWidget* widget, const QColor& background, const QColor& text) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::WindowText, text);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

// ---------------------------------------------------------------- CompareImage

CompareImage::CompareImage(QWidget* parent) : QWidget(parent) {}

void CompareImage::SetPicture(const TBitmap& picture) {
  picture_ = picture;
  shown_ = ToQImage(picture_);
  if (!stretched_) resize(sizeHint());
  update();
}

void CompareImage::Release() { SetPicture(TBitmap()); }

void CompareImage::SetStretched(bool on) {
  stretched_ = on;
  if (!on) resize(sizeHint());
  update();
}

QSize CompareImage::sizeHint() const { return {picture_.Width(), picture_.Height()}; }

QRect CompareImage::PictureRect() const {
  if (shown_.isNull()) return {};
  if (!stretched_) return {QPoint(0, 0), shown_.size()};
  const QSize fitted = shown_.size().scaled(size(), Qt::KeepAspectRatio);
  return {QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

void CompareImage::paintEvent(QPaintEvent*) {
  if (shown_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, stretched_);
  painter.drawImage(PictureRect(), shown_);
}

// ---------------------------------------------------------------- TViewForm

TViewForm::TViewForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ViewForm"));
  setWindowTitle(QStringLiteral("Images Compare"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setSizeGripEnabled(true);
  Paint(this, Qt::black, Qt::white);

  Stretch1 =
      Item(QStringLiteral("Stretch"), "Stretch1", Qt::Key_Insert, true, &TViewForm::Stretch1Click);
  ViewOriginalImage1 = Item(QStringLiteral("View Original Image"), "ViewOriginalImage1",
                            Qt::CTRL | Qt::Key_O, true, &TViewForm::ViewOriginalImage1Click);
  ViewPrepareImage1 = Item(QStringLiteral("View Prepare Image"), "ViewPrepareImage1",
                           Qt::CTRL | Qt::Key_P, true, &TViewForm::ViewPrepareImage1Click);
  Exit1 = Item(QStringLiteral("Exit"), "Exit1", Qt::ALT | Qt::Key_X, false, &TViewForm::Exit1Click);

  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  Images1 = MainMenu1->addMenu(QStringLiteral("Images"));
  Images1->setObjectName(QStringLiteral("Images1"));
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  // The menus keep the desktop's colours, not the window's black.
  for (QWidget* menu : std::initializer_list<QWidget*>{MainMenu1, Images1, PopupMenu1}) {
    QPalette own = QApplication::palette(menu);
    own.setResolveMask(~QPalette::ResolveMask(0));  // every role set here, none inherited
    menu->setPalette(own);
  }
  for (QMenu* menu : {Images1, PopupMenu1}) {
    menu->addActions({Stretch1, ViewOriginalImage1, ViewPrepareImage1});
    menu->addSeparator();
    menu->addAction(Exit1);
  }

  Panel1 = Side(QStringLiteral("Original Image"), "Panel1", Label1, ScrollBox1, Image1);
  Panel2 = Side(QStringLiteral("Prepare Image"), "Panel2", Label2, ScrollBox2, Image2);
  auto* layout = new QHBoxLayout(this);
  layout->setMenuBar(MainMenu1);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1);
  layout->addWidget(Panel2, 1);
  Panel1->setFixedWidth(kFirstLeftWidth);
  resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
}

QAction* TViewForm::Item(const QString& caption, const char* name, const QKeySequence& shortcut,
                         bool checkable, void (TViewForm::*handler)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  action->setCheckable(checkable);
  // On the window too, so that the shortcuts work whether or not a menu shows the item.
  addAction(action);
  connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  return action;
}

QWidget* TViewForm::Side(const QString& caption, const char* name, QLabel*& label,
                         QScrollArea*& box, CompareImage*& image) {
  auto* panel = new QWidget(this);
  panel->setObjectName(QString::fromLatin1(name));
  label = new QLabel(caption, panel);
  label->setAlignment(Qt::AlignCenter);
  Paint(label, Qt::white, Qt::black);
  box = new QScrollArea(panel);
  box->setFrameShape(QFrame::NoFrame);
  Paint(box->viewport(), Qt::black, Qt::white);
  // The content follows the thumb while it is dragged.
  box->horizontalScrollBar()->setTracking(true);
  box->verticalScrollBar()->setTracking(true);
  image = new CompareImage;
  box->setWidget(image);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(label);
  layout->addWidget(box, 1);
  return panel;
}

void TViewForm::SetImages(const TBitmap& original, const TBitmap& prepared) {
  Image1->SetPicture(original);
  Image2->SetPicture(prepared);
  SetStretch(true);
}

void TViewForm::SetStretch(bool on) {
  for (auto [box, image] : {std::pair{ScrollBox1, Image1}, std::pair{ScrollBox2, Image2}}) {
    image->SetStretched(on);
    box->setWidgetResizable(on);
  }
}

// Back beside the right panel; the resize rule then settles its width.
void TViewForm::DockLeftPanel() { Panel1->setFixedWidth(width() / 2); }

void TViewForm::FillWithLeftPanel() {
  Panel1->setMinimumWidth(0);
  Panel1->setMaximumWidth(QWIDGETSIZE_MAX);
}

// The menus' triggering has already inverted the item's check mark; the handlers apply it.
void TViewForm::Stretch1Click() { SetStretch(Stretch1->isChecked()); }

void TViewForm::ViewOriginalImage1Click() {
  if (ViewOriginalImage1->isChecked()) {
    ViewPrepareImage1->setChecked(true);
    ViewPrepareImage1->trigger();
  }
  if (ViewOriginalImage1->isChecked()) {
    Panel2->hide();
    FillWithLeftPanel();
  } else {
    Panel2->show();
    DockLeftPanel();
    FormResize();
  }
}

void TViewForm::ViewPrepareImage1Click() {
  if (ViewPrepareImage1->isChecked()) {
    ViewOriginalImage1->setChecked(true);
    ViewOriginalImage1->trigger();
  }
  if (ViewPrepareImage1->isChecked()) {
    Panel1->hide();
  } else {
    Panel1->show();
    FormResize();
  }
}

void TViewForm::Exit1Click() { close(); }

void TViewForm::FormShow() {
  // Each trigger inverts the mark it was given: every opening ends side by side, unstretched.
  Stretch1->setChecked(true);
  Stretch1->trigger();
  ViewPrepareImage1->setChecked(true);
  ViewPrepareImage1->trigger();
  ViewOriginalImage1->setChecked(true);
  ViewOriginalImage1->trigger();
  Image1->update();
  Image2->update();
}

void TViewForm::FormResize() {
  if (ViewOriginalImage1->isChecked() || ViewPrepareImage1->isChecked()) return;
  Panel1->setFixedWidth(width() / 2);
}

void TViewForm::FormCloseQuery() {
  SetStretch(false);
  Stretch1->setChecked(false);
  Image1->Release();
  Image2->Release();
}

void TViewForm::showEvent(QShowEvent* event) {
  // Centred on the screen rather than over the main window.
  if (!event->spontaneous()) CentreOnOwnersScreen(this);
  QDialog::showEvent(event);
  FormShow();
}

void TViewForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TViewForm::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenu1->popup(event->globalPos());
}

void TViewForm::done(int result) {
  FormCloseQuery();
  QDialog::done(result);
}

}  // namespace tolvane
