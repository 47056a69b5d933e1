// The Crop and Canvas pages' behaviour. The crop edges live in four scroll bars; their ranges
// follow the picture in the source preview through engine/crop_ranges, which this file feeds
// with the bars' numbers and whose results it shows.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "engine/crop_ranges.h"
#include "ui/Unit1.h"
#include "ui/canvas_field.h"
#include "ui/picture_box.h"

namespace tolvane {
namespace {

CropBar ReadBar(const QScrollBar* bar) { return {bar->minimum(), bar->maximum(), bar->value()}; }

bool WriteBar(QScrollBar* bar, const CropBar& value) {
  const int before = bar->value();
  bar->setRange(value.minimum, value.maximum);
  bar->setValue(value.position);
  return bar->value() != before;
}

QColor ToQColor(TColor colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

}  // namespace

void TConvertorForm::ConnectCropCanvasPages() {
  Bind(CropCheckBox, &QCheckBox::toggled, &TConvertorForm::CropCheckBoxClick);
  for (QScrollBar* bar : {LeftScrollBar, RightScrollBar, TopScrollBar, BottomScrollBar}) {
    // A user's movement arrives as an action before the bar takes its new position.
    connect(bar, &QScrollBar::actionTriggered, this,
            [this, bar] { Guarded([this, bar] { ScrollBarScroll(bar); }); });
    Bind(bar, &QScrollBar::valueChanged, &TConvertorForm::CropScrollBarChange);
  }
  Bind(ZeroCBtn, &QPushButton::clicked, &TConvertorForm::ZeroCBtnClick);
  Bind(CanvasCheckBox, &QCheckBox::toggled, &TConvertorForm::CanvasCheckBoxClick);
  for (CanvasField* field : {TopEdit, LeftEdit, RightEdit, BottomEdit}) {
    // The arrows step the value; typing reaches the value on key release.
    Bind(field, &QSpinBox::valueChanged, &TConvertorForm::ImageOperation);
    connect(field, &CanvasField::KeyReleased, this,
            [this, field] { Guarded([this, field] { CanvasFieldKeyUp(field); }); });
  }
  Bind(ZeroCanvasBtn, &QPushButton::clicked, &TConvertorForm::ZeroCanvasBtnClick);
  Bind(CanColorBtn, &QPushButton::clicked, &TConvertorForm::CanColorBtnClick);
}

// ---------------------------------------------------------------- crop

CropBars TConvertorForm::ReadCropBars() const {
  return {ReadBar(LeftScrollBar), ReadBar(RightScrollBar), ReadBar(TopScrollBar),
          ReadBar(BottomScrollBar)};
}

bool TConvertorForm::WriteCropBars(const CropBars& bars) {
  writing_crop_bars_ = true;
  bool changed = WriteBar(LeftScrollBar, bars.left);
  changed = WriteBar(RightScrollBar, bars.right) || changed;
  changed = WriteBar(TopScrollBar, bars.top) || changed;
  changed = WriteBar(BottomScrollBar, bars.bottom) || changed;
  writing_crop_bars_ = false;
  return changed;
}

void TConvertorForm::ShowCropLabels() {
  const CropBars bars = ReadCropBars();
  LabelCL->setNum(bars.left.position);
  LabelCR->setNum(CutFromFarSide(bars.right));
  LabelCT->setNum(bars.top.position);
  LabelCB->setNum(CutFromFarSide(bars.bottom));
}

void TConvertorForm::ScrollBarScroll(QScrollBar* bar) {
  CropBars bars = ReadCropBars();
  const int position = bar->sliderPosition();
  if (bar == LeftScrollBar) MoveNearEdge(bars.left, bars.right, position);
  if (bar == RightScrollBar) MoveFarEdge(bars.right, bars.left, position);
  if (bar == TopScrollBar) MoveNearEdge(bars.top, bars.bottom, position);
  if (bar == BottomScrollBar) MoveFarEdge(bars.bottom, bars.top, position);
  const bool changed = WriteCropBars(bars);
  ShowCropLabels();
  if (changed) CropScrollBarChange();
}

// Re-derives the bars' ranges from the picture in the source preview; throws when a range
// cannot be set, after showing what was reached.
void TConvertorForm::SelectCrop() {
  const TBitmap& picture = Image1->Picture();
  // With nothing shown there is nothing to measure against; the next picture sets the ranges.
  if (picture.Empty()) return;
  CropBars bars = ReadCropBars();
  bool changed = false;
  try {
    tolvane::SelectCrop(bars, picture.Width(), picture.Height(),
                        IsQuarterTurn(static_cast<TRotateOption>(RotateButtons->checkedId())));
    changed = WriteCropBars(bars);
  } catch (...) {
    WriteCropBars(bars);
    ShowCropLabels();
    throw;
  }
  ShowCropLabels();
  // Inside a redraw the new positions are used right away.
  if (changed && !in_image_operation_) CropScrollBarChange();
}

void TConvertorForm::CropScrollBarChange() {
  // The run moves the bars itself while it converts.
  if (!Converting && !writing_crop_bars_) ImageOperation();
}

void TConvertorForm::CropCheckBoxClick() {
  if (CropCheckBox->isChecked() && ListEmpty()) {
    CropCheckBox->setChecked(false);
    return;
  }
  const bool on = CropCheckBox->isChecked();
  Panel14->setVisible(on);
  SetTabMark(TabSheet5, on);
  if (!on && !ListEmpty()) Image2->SetPicture(PreviewSource);
  CropBars bars = ReadCropBars();
  bars.right.position = bars.right.maximum;
  bars.bottom.position = bars.bottom.maximum;
  if (!on) {
    bars.left.position = bars.left.minimum;
    bars.top.position = bars.top.minimum;
  }
  WriteCropBars(bars);
  SelectCrop();
  ImageOperation();
}

void TConvertorForm::ZeroCBtnClick() {
  CropBars bars = ReadCropBars();
  ZeroCrop(bars);
  WriteCropBars(bars);
  ShowCropLabels();
  ImageOperation();
}

void TConvertorForm::CropRangesChanged(const CropRanges& ranges) {
  CropBars bars = ReadCropBars();
  SetRunRanges(bars, ranges);
  WriteCropBars(bars);
  ShowCropLabels();
}

// ---------------------------------------------------------------- canvas

void TConvertorForm::CanvasCheckBoxClick() {
  if (CanvasCheckBox->isChecked() && ListEmpty()) {
    CanvasCheckBox->setChecked(false);
    return;
  }
  const bool on = CanvasCheckBox->isChecked();
  CanvasPanel->setVisible(on);
  SetTabMark(TabSheet6, on);
  if (on) return;
  SetCanvasColor(kBlack);
  for (CanvasField* field : {TopEdit, LeftEdit, RightEdit, BottomEdit}) field->ShowValue(0);
  if (!ListEmpty()) Image2->SetPicture(PreviewSource);
  ImageOperation();
}

// Too long or empty texts become 0: 10000 is reached only with the arrows.
void TConvertorForm::CanvasFieldKeyUp(CanvasField* field) {
  QString text = field->text();
  if (text.isEmpty() || text.size() > 4) text = QStringLiteral("0");
  field->ShowValue(text.toInt());
  ImageOperation();
}

void TConvertorForm::ZeroCanvasBtnClick() {
  for (CanvasField* field : {TopEdit, LeftEdit, RightEdit, BottomEdit}) field->ShowValue(0);
  ImageOperation();
}

void TConvertorForm::CanColorBtnClick() {
  const std::optional<QColor> colour = dialogs_->ChooseColor(this, ToQColor(CanvasColor));
  if (!colour) return;
  SetCanvasColor(RGBColor(colour->red(), colour->green(), colour->blue()));
  ImageOperation();
}

void TConvertorForm::SetCanvasColor(TColor colour) {
  CanvasColor = colour;
  QPalette palette = CanvasShape->palette();
  palette.setColor(QPalette::Window, ToQColor(colour));
  CanvasShape->setPalette(palette);
}

}  // namespace tolvane
