// The Resize page's behaviour: every handler turns what the user enters into the New Size, the
// target the run reads. The arithmetic lives in engine/resize_panel; here the controls are read
// and written.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "engine/resize_panel.h"
#include "ui/Unit1.h"
#include "ui/picture_box.h"

namespace tolvane {
namespace {

enum Mode { kSetNewSize = 0, kPercentage, kStandard, kOrder };

bool IsDigitText(const QString& typed) {
  return typed.size() == 1 && typed[0] >= QLatin1Char('0') && typed[0] <= QLatin1Char('9');
}

// Keys that produce no character (arrows, Home, Delete, modifiers) pass every key filter, and so
// do the keys that move the focus.
bool TypesCharacter(const QKeyEvent* key) {
  switch (key->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return false;
    default:
      return !key->text().isEmpty();
  }
}

std::string Utf8(const QString& text) { return text.toStdString(); }

template <typename... Widget>
void SetEnabled(bool enabled, Widget*... widgets) {
  (widgets->setEnabled(enabled), ...);
}

}  // namespace

void TConvertorForm::ConnectResizePage() {
  Bind(ResizeCheckBox, &QCheckBox::toggled, &TConvertorForm::ResizeCheckBoxClick);
  connect(ModeButtons, &QButtonGroup::idToggled, this, [this](int mode, bool checked) {
    if (checked) Guarded([this, mode] { ModeClick(mode); });
  });
  connect(UnitButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) Guarded([this] { RadioGroup1Click(); });
  });
  Bind(ListBox1, &QListWidget::currentRowChanged, &TConvertorForm::ListBox1Click);
  Bind(BitBtn2, &QPushButton::clicked, &TConvertorForm::BitBtn2Click);
  Bind(BitBtn3, &QPushButton::clicked, &TConvertorForm::BitBtn3Click);
  Bind(BitBtn4, &QPushButton::clicked, &TConvertorForm::BitBtn4Click);
  connect(CheckBox1, &QCheckBox::toggled, this,
          [this] { Guarded([this] { AspectCheckBoxClick(CheckBox1, CheckBox2); }); });
  connect(CheckBox2, &QCheckBox::toggled, this,
          [this] { Guarded([this] { AspectCheckBoxClick(CheckBox2, CheckBox1); }); });
  for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4, Edit5}) field->installEventFilter(this);
}

// Key presses may be swallowed (true); key releases and leaving a field run the panel's rules.
bool TConvertorForm::ResizeFieldEvent(QLineEdit* field, QEvent* event) {
  const bool size_field = field == Edit1 || field == Edit2;
  const bool percent_field = field == Edit4 || field == Edit5;
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (field == Edit3) {
        return DpiKeyPress(key->key(), TypesCharacter(key) ? key->text() : QString());
      }
      if (!TypesCharacter(key) || key->key() == Qt::Key_Backspace) return false;
      if (size_field) return SizeFieldKeyPress(field, key->text());
      return !IsDigitText(key->text());
    }
    case QEvent::KeyRelease:
      // A key pressed elsewhere may be released here, after the focus moved.
      if (!field->hasFocus()) break;
      if (size_field) SizeFieldChanged(field, false);
      if (percent_field) PercentFieldChanged(field, false);
      if (field == Edit3) DpiKeyUp();
      break;
    case QEvent::FocusOut: {
      // Only a move of the focus inside the window counts as leaving the field.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
      if (size_field) SizeFieldChanged(field, true);
      if (percent_field) PercentFieldChanged(field, true);
      if (field == Edit3) DpiExit();
      break;
    }
    default:
      break;
  }
  return false;
}

// Digits pass; a comma or full stop becomes the one decimal separator of the user's locale.
bool TConvertorForm::SizeFieldKeyPress(QLineEdit* field, const QString& typed) {
  if (IsDigitText(typed)) return false;
  if (typed == QLatin1String(",") || typed == QLatin1String(".")) {
    const QString separator = QLocale().decimalPoint();
    if (!field->text().contains(separator)) field->insert(separator);
  }
  return true;
}

void TConvertorForm::SizeFieldChanged(QLineEdit* field, bool leaving) {
  const bool width_field = field == Edit1;
  QLineEdit* other = width_field ? Edit2 : Edit1;
  const PixelSize selected = SelectedSize();
  if (!field->text().isEmpty()) {
    if (AspectOn()) {
      const std::optional<long double> value = ParseFieldNumber(Utf8(field->text()), Separator());
      if (!value) return;
      const std::optional<std::string> driven =
          width_field
              ? DrivenHeightText(*value, AspectRatio, Unit(), Separator())
              : DrivenWidthText(*value, AspectRatio, Unit(),
                                leaving ? DriveOrder::kHundredthsFirst : DriveOrder::kRatioFirst,
                                Separator());
      if (!driven) return;
      other->clear();
      other->setText(QString::fromStdString(*driven));
    }
    NewSizeFromFields();
  } else if (AspectOn() && !leaving) {
    other->setText(QStringLiteral("0"));
    SetNewSize({0, 0});
  } else if (AspectOn()) {
    SetFieldFromPixels(Edit1, selected.width);
    SetFieldFromPixels(Edit2, selected.height);
    SetNewSize(selected);
  } else if (!leaving) {
    const std::optional<int> other_pixels =
        PixelsFromFieldText(Utf8(other->text()), Unit(), DpiValue, Separator());
    if (!other_pixels) return;
    SetNewSize(width_field ? PixelSize{0, *other_pixels} : PixelSize{*other_pixels, 0});
  } else {
    SetFieldFromPixels(field, width_field ? selected.width : selected.height);
    NewSizeFromFields();
  }
  ImageOperation();
}

void TConvertorForm::PercentFieldChanged(QLineEdit* field, bool leaving) {
  QLineEdit* other = field == Edit4 ? Edit5 : Edit4;
  if (!field->text().isEmpty()) {
    if (AspectOn()) {
      const std::optional<int> percent = ParseWholeNumber(Utf8(field->text()));
      if (!percent) return;
      other->setText(QString::number(*percent));
    }
    NewSizeFromPercentages();
  } else if (leaving) {
    field->setText(QStringLiteral("100"));
    if (AspectOn()) other->setText(QStringLiteral("100"));
    NewSizeFromPercentages();
  } else if (AspectOn()) {
    other->setText(QStringLiteral("0"));
    SetNewSize({0, 0});
  } else {
    const bool width_field = field == Edit4;
    const std::optional<int> percent = ParseWholeNumber(Utf8(other->text()));
    if (!percent) return;
    const PixelSize selected = SelectedSize();
    const std::optional<int> side =
        PercentOf(*percent, width_field ? selected.height : selected.width);
    if (!side) return;
    SetNewSize(width_field ? PixelSize{0, *side} : PixelSize{*side, 0});
  }
  ImageOperation();
}

// Digits and Backspace pass; Enter takes the value.
bool TConvertorForm::DpiKeyPress(int key, const QString& typed) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    SetDpiFromText(Edit3->text().isEmpty() ? QString::number(ScreenDpi()) : Edit3->text());
    return true;
  }
  if (typed.isEmpty() || key == Qt::Key_Backspace) return false;
  return !IsDigitText(typed);
}

void TConvertorForm::DpiKeyUp() {
  if (Edit3->text().isEmpty()) {
    // The field may stay empty while the user types; the screen's value stands in meanwhile.
    DpiValue = ScreenDpi();
    return;
  }
  SetDpiFromText(Edit3->text());
}

void TConvertorForm::DpiExit() {
  if (Edit3->text().isEmpty()) Edit3->setText(QString::number(ScreenDpi()));
  SetDpiFromText(Edit3->text());
}

void TConvertorForm::BitBtn2Click() {
  Edit3->setText(QString::number(ScreenDpi()));
  SetDpiFromText(Edit3->text());
}

void TConvertorForm::SetDpiFromText(const QString& text) {
  const std::optional<int> dpi = ParseWholeNumber(Utf8(text));
  if (!dpi) return;
  DpiValue = *dpi;
  RefreshSizeFields();
  ImageOperation();
}

void TConvertorForm::RadioGroup1Click() {
  RefreshSizeFields();
  ImageOperation();
}

// The fields show the New Size in the unit now selected; the New Size stays.
void TConvertorForm::RefreshSizeFields() {
  const PixelSize size = NewSize();
  SetFieldFromPixels(Edit1, size.width);
  SetFieldFromPixels(Edit2, size.height);
}

void TConvertorForm::ModeClick(int mode) {
  // Each mode's button sits on its own panel in the design, so the handler clears the others.
  for (int other = kSetNewSize; other <= kOrder; ++other) {
    if (other != mode) ModeButtons->button(other)->setChecked(false);
  }
  SetEnabled(mode == kSetNewSize, Edit1, Edit2, RadioGroup1);
  if (mode != kPercentage) SetEnabled(mode == kSetNewSize, Label4, Label5);
  SetEnabled(mode == kPercentage, Edit4, Edit5, Label14, Label15);
  ListBox1->setEnabled(mode == kStandard);
  SetEnabled(mode == kOrder, BitBtn3, BitBtn4);
  if (mode == kStandard || mode == kOrder) {
    CheckBox1->setChecked(false);
    CheckBox2->setChecked(false);
  }
  switch (mode) {
    case kSetNewSize:
      NewSizeFromFields();
      break;
    case kStandard:
      SetNewSize(StandardSize(ListBox1->currentRow()));
      break;
    default:
      NewSizeFromPercentages();
      break;
  }
  ImageOperation();
}

// Selects "Set New Size" and runs its rule even when it was selected already.
void TConvertorForm::SelectSetNewSize() {
  if (RadioButton1->isChecked()) {
    ModeClick(kSetNewSize);
  } else {
    RadioButton1->setChecked(true);
  }
}

void TConvertorForm::ListBox1Click() {
  // Only a choice in the list's own mode: the window also moves the list when it resets it.
  if (!RadioButton3->isChecked()) return;
  SetNewSize(StandardSize(ListBox1->currentRow()));
  ImageOperation();
}

void TConvertorForm::BitBtn3Click() {
  SetNewSize(HalfSize(NewSize()));
  ImageOperation();
}

void TConvertorForm::BitBtn4Click() {
  if (const std::optional<PixelSize> doubled = DoubleSize(NewSize())) SetNewSize(*doubled);
  ImageOperation();
}

void TConvertorForm::AspectCheckBoxClick(QCheckBox* clicked, QCheckBox* other) {
  if (!clicked->isChecked()) return;
  other->setChecked(false);
  // The fixed sizes of these modes are not bent by an aspect ratio.
  if (RadioButton3->isChecked() || RadioButton4->isChecked()) clicked->setChecked(false);
  ImageOperation();
}

void TConvertorForm::ResizeCheckBoxClick() {
  if (ResizeCheckBox->isChecked() && ListEmpty()) {
    ResizeCheckBox->setChecked(false);
    return;
  }
  const bool on = ResizeCheckBox->isChecked();
  Panel6->setVisible(on);
  for (QLabel* label : {Label8, Label9, Label10, Label11, Label12}) label->setVisible(on);
  SetTabMark(TabSheet3, on);
  if (on) return;
  const PixelSize selected = SelectedSize();
  SetNewSizeFields(selected.width, selected.height);
  SelectSetNewSize();
}

void TConvertorForm::NewSizeFromFields() {
  const std::optional<int> width =
      PixelsFromFieldText(Utf8(Edit1->text()), Unit(), DpiValue, Separator());
  const std::optional<int> height =
      PixelsFromFieldText(Utf8(Edit2->text()), Unit(), DpiValue, Separator());
  // Text that is no number, or no DPI to convert with, leaves the last good New Size.
  if (width && height) SetNewSize({*width, *height});
}

void TConvertorForm::NewSizeFromPercentages() {
  const std::optional<int> width_percent = ParseWholeNumber(Utf8(Edit4->text()));
  const std::optional<int> height_percent = ParseWholeNumber(Utf8(Edit5->text()));
  if (!width_percent || !height_percent) return;
  const PixelSize selected = SelectedSize();
  const std::optional<int> width = PercentOf(*width_percent, selected.width);
  const std::optional<int> height = PercentOf(*height_percent, selected.height);
  if (width && height) SetNewSize({*width, *height});
}

SizeUnit TConvertorForm::Unit() const { return static_cast<SizeUnit>(UnitButtons->checkedId()); }

std::string TConvertorForm::Separator() const { return Utf8(QLocale().decimalPoint()); }

PixelSize TConvertorForm::SelectedSize() const {
  return {Image1->Picture().Width(), Image1->Picture().Height()};
}

PixelSize TConvertorForm::NewSize() const {
  return {Label9->text().toInt(), Label11->text().toInt()};
}

void TConvertorForm::SetNewSize(PixelSize size) {
  Label9->setText(QString::number(size.width));
  Label11->setText(QString::number(size.height));
}

void TConvertorForm::SetFieldFromPixels(QLineEdit* field, int pixels) {
  const std::optional<std::string> text =
      FieldTextFromPixels(pixels, Unit(), DpiValue, Separator());
  if (text) field->setText(QString::fromStdString(*text));
}

bool TConvertorForm::AspectOn() const { return CheckBox1->isChecked() || CheckBox2->isChecked(); }

void TConvertorForm::SetNewSizeFields(int width, int height) {
  SetNewSize({width, height});
  Edit1->setText(QString::number(width));
  Edit2->setText(QString::number(height));
}

int TConvertorForm::ScreenDpi() const {
  const QScreen* screen = this->screen();
  return screen != nullptr ? qRound(screen->logicalDotsPerInch()) : 96;
}

}  // namespace tolvane
