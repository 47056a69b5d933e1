// The seven settings pages of the main window: their controls, their handlers, and reading
// them into the run's settings.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

#include "engine/naming.h"
#include "ui/Unit1.h"
#include "ui/canvas_field.h"
#include "ui/icons.h"
#include "ui/picture_box.h"

namespace tolvane {
namespace {

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* Caption(const char* text, const char* name) {
  return Named(new QLabel(QString::fromLatin1(text)), name);
}

QCheckBox* Check(const char* text, const char* name) {
  return Named(new QCheckBox(QString::fromLatin1(text)), name);
}

QPushButton* Button(const char* text, const char* name) {
  return Named(new QPushButton(QString::fromLatin1(text)), name);
}

// A radio group: a titled box whose buttons are numbered by item index, in `columns` columns.
QGroupBox* RadioGroup(const char* title, const char* name, std::initializer_list<const char*> items,
                      int columns, QButtonGroup*& group) {
  auto* box = Named(new QGroupBox(QString::fromLatin1(title)), name);
  group = new QButtonGroup(box);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setVerticalSpacing(1);
  int index = 0;
  for (const char* item : items) {
    auto* button = new QRadioButton(QString::fromLatin1(item), box);
    group->addButton(button, index);
    grid->addWidget(button, index / columns, index % columns);
    ++index;
  }
  return box;
}

QLineEdit* Field(const char* text, const char* name) {
  auto* edit = Named(new QLineEdit(QString::fromLatin1(text)), name);
  edit->setFixedWidth(48);
  return edit;
}

QScrollBar* CropBar(const char* name) {
  auto* bar = Named(new QScrollBar(Qt::Horizontal), name);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setSingleStep(1);
  bar->setPageStep(10);
  bar->setFixedWidth(321);
  return bar;
}

CanvasField* Margin(const char* name) { return Named(new CanvasField, name); }

QSlider* TrackBar(const char* name, int minimum, int maximum) {
  auto* bar = Named(new QSlider(Qt::Horizontal), name);
  bar->setRange(minimum, maximum);
  bar->setSingleStep(1);
  bar->setTickPosition(QSlider::TicksBothSides);
  bar->setTickInterval(maximum - minimum);
  // While dragged, the value shows in a tool tip above the thumb.
  QObject::connect(bar, &QSlider::sliderMoved, bar, [bar](int value) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = value;
    option.sliderValue = value;
    const QRect thumb =
        bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
    QToolTip::showText(bar->mapToGlobal(QPoint(thumb.center().x(), thumb.top())),
                       QString::number(value), bar);
  });
  QObject::connect(bar, &QSlider::sliderReleased, bar, [] { QToolTip::hideText(); });
  return bar;
}

QWidget* Page(const char* name) { return Named(new QWidget, name); }

// The name field keeps only the characters a base name may hold, whether typed or pasted;
// the cursor stays after the same kept characters.
class NameCharsValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& text, int& position) const override {
    position = int(FilterNameChars(text.left(position).toStdString()).size());
    text = QString::fromStdString(FilterNameChars(text.toStdString()));
    return Acceptable;
  }
};

}  // namespace

void TConvertorForm::BuildPages() {
  PageControl2->addTab(BuildNamePathPage(), QStringLiteral("Name&&Path"));
  PageControl2->addTab(BuildFormatPage(), QStringLiteral("Format"));
  PageControl2->addTab(BuildResizePage(), QStringLiteral("Resize"));
  PageControl2->addTab(BuildRotatePage(), QStringLiteral("Rotate"));
  PageControl2->addTab(BuildCropPage(), QStringLiteral("Crop"));
  PageControl2->addTab(BuildCanvasPage(), QStringLiteral("Canvas"));
  PageControl2->addTab(BuildAdjustmentsPage(), QStringLiteral("Adjustments"));
}

QWidget* TConvertorForm::BuildNamePathPage() {
  TabSheet15 = Page("TabSheet15");
  OperationsRadioGroup =
      RadioGroup("Operations with Files", "OperationsRadioGroup",
                 {"Copy Files", "Move Files", "Simple Copy", "Simple Move"}, 4, OperationsButtons);
  OperationsButtons->button(0)->setChecked(true);

  auto* folder_frame = Named(new QFrame, "FolderFrame");
  folder_frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  SameCheckBox = Check("Save to the Same Folder", "SameCheckBox");
  SelectBtn = Button("Select Folder", "SelectBtn");
  SelectBtn->setIcon(DrawnIcon(IconKind::kOpenFolder));
  SelectLabel = Caption("", "SelectLabel");
  SelectLabel->setFixedWidth(392);
  auto* folder_layout = new QGridLayout(folder_frame);
  folder_layout->setContentsMargins(4, 2, 4, 2);
  folder_layout->addWidget(SameCheckBox, 0, 0);
  folder_layout->addWidget(SelectBtn, 0, 1, Qt::AlignRight);
  folder_layout->addWidget(SelectLabel, 1, 0, 1, 2);

  auto* name_frame = Named(new QFrame, "NameFrame");
  name_frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  RenameCheckBox = Check("Rename", "RenameCheckBox");
  NameGroupBox = Named(new QGroupBox(QStringLiteral("Enter the File Name")), "NameGroupBox");
  NameEdit = Named(new QLineEdit(QStringLiteral("Image")), "NameEdit");
  NameEdit->setEnabled(false);
  NameEdit->setValidator(new NameCharsValidator(NameEdit));
  (new QHBoxLayout(NameGroupBox))->addWidget(NameEdit);
  auto* name_layout = new QHBoxLayout(name_frame);
  name_layout->setContentsMargins(4, 2, 4, 2);
  name_layout->addWidget(RenameCheckBox);
  name_layout->addWidget(NameGroupBox, 1);

  auto* layout = new QVBoxLayout(TabSheet15);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(2);
  layout->addWidget(OperationsRadioGroup);
  layout->addWidget(folder_frame);
  layout->addWidget(name_frame);
  return TabSheet15;
}

QWidget* TConvertorForm::BuildFormatPage() {
  TabSheet8 = Page("TabSheet8");
  ChoiseExtRadioGroup = RadioGroup(
      "Save with Conversions Files", "ChoiseExtRadioGroup",
      {"Save Images with use Extensions", "Save Images as BITMAP", "Save Images as JPEG",
       "Save Images as PNG", "Save Images as GIF", "Save Images as TIFF", "Save Images as EMF"},
      1, ChoiseExtButtons);
  ChoiseExtButtons->button(0)->setChecked(true);

  JPEGGroupBox = Named(new QGroupBox(QStringLiteral("JPEG Quality")), "JPEGGroupBox");
  ExtTrackBar = TrackBar("ExtTrackBar", 1, 100);
  ExtTrackBar->setValue(100);
  DescriptionCheckBox = Check("Clear Exif", "DescriptionCheckBox");
  auto* jpeg_layout = new QGridLayout(JPEGGroupBox);
  jpeg_layout->addWidget(Caption("Low", "JpegLowLabel"), 0, 0);
  jpeg_layout->addWidget(ExtTrackBar, 0, 1);
  jpeg_layout->addWidget(Caption("Good", "JpegGoodLabel"), 0, 2);
  jpeg_layout->addWidget(DescriptionCheckBox, 1, 0, 1, 3);

  PNGGroupBox = Named(new QGroupBox(QStringLiteral("PNG Compression Level")), "PNGGroupBox");
  PngLabel = Caption("None", "PngLabel");
  PNGTrackBar = TrackBar("PNGTrackBar", 0, 9);
  PNGTrackBar->setValue(6);
  PNGCheckBox = Check("Save PNG with Transparent color", "PNGCheckBox");
  auto* png_layout = new QGridLayout(PNGGroupBox);
  png_layout->addWidget(PngLabel, 0, 0);
  png_layout->addWidget(PNGTrackBar, 0, 1);
  png_layout->addWidget(Caption("Best", "PngBestLabel"), 0, 2);
  png_layout->addWidget(PNGCheckBox, 1, 0, 1, 3);

  auto* right = new QVBoxLayout;
  right->addWidget(JPEGGroupBox);
  right->addWidget(PNGGroupBox);
  auto* layout = new QHBoxLayout(TabSheet8);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(ChoiseExtRadioGroup);
  layout->addLayout(right, 1);
  return TabSheet8;
}

QWidget* TConvertorForm::BuildResizePage() {
  TabSheet3 = Page("TabSheet3");
  Panel12 = Page("Panel12");
  ResizeCheckBox = Check("Use Resize Images", "ResizeCheckBox");
  Label8 = Caption("New Size:", "Label8");
  Label9 = Caption("0", "Label9");
  Label10 = Caption("X", "Label10");
  Label11 = Caption("0", "Label11");
  Label12 = Caption("pixels", "Label12");
  auto* header = new QHBoxLayout(Panel12);
  header->setContentsMargins(0, 0, 0, 0);
  header->addWidget(ResizeCheckBox);
  for (QLabel* label : {Label8, Label9, Label10, Label11, Label12}) header->addWidget(label);
  header->addStretch();

  Panel6 = Page("Panel6");
  RadioButton1 = Named(new QRadioButton(QStringLiteral("Set New Size")), "RadioButton1");
  RadioButton2 = Named(new QRadioButton(QStringLiteral("Set New Size as Percentage of Original")),
                       "RadioButton2");
  RadioButton3 = Named(new QRadioButton(QStringLiteral("Set New Size as Standart Dimensions")),
                       "RadioButton3");
  RadioButton4 = Named(new QRadioButton(QStringLiteral("Set New Order Size")), "RadioButton4");
  ModeButtons = new QButtonGroup(Panel6);
  int mode = 0;
  for (QRadioButton* button : {RadioButton1, RadioButton2, RadioButton3, RadioButton4}) {
    ModeButtons->addButton(button, mode++);
  }
  RadioButton1->setChecked(true);
  RadioGroup1 = RadioGroup("Units", "RadioGroup1", {"pixels", "cm", "inches"}, 3, UnitButtons);
  UnitButtons->button(0)->setChecked(true);
  Label4 = Caption("Width:", "Label4");
  Label5 = Caption("Height:", "Label5");
  Label3 = Caption("DPI:", "Label3");
  Edit1 = Field("0", "Edit1");
  Edit2 = Field("0", "Edit2");
  Edit3 = Field("96", "Edit3");
  BitBtn2 = Button("Screen DPI", "BitBtn2");
  Label14 = Caption("Width:", "Label14");
  Label15 = Caption("Height:", "Label15");
  Label16 = Caption("%", "Label16");
  Label17 = Caption("%", "Label17");
  Edit4 = Field("100", "Edit4");
  Edit5 = Field("100", "Edit5");
  ListBox1 = Named(new QListWidget, "ListBox1");
  ListBox1->addItems({"640 X 480", "800 X600", "1024 X 768", "1152 X 864", "1280 X 720",
                      "1280 X 800", "1280 X 960", "1280 X 1024", "1440 X 900", "1600 X 1200",
                      "1680 X 1050", "1920 X 1080", "1920 X 1200", "2560 X 1600"});
  ListBox1->setCurrentRow(0);
  ListBox1->setFixedSize(96, 44);
  BitBtn3 = Button("Half", "BitBtn3");
  BitBtn4 = Button("Double", "BitBtn4");
  CheckBox1 = Check("Use Aspect Ratio by Width", "CheckBox1");
  CheckBox2 = Check("Use Aspect Ratio by Height", "CheckBox2");
  CheckBox1->setChecked(true);

  // Three columns of the size modes: fields, percentages and standard sizes, halving.
  auto* grid = new QGridLayout(Panel6);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(1);
  grid->setHorizontalSpacing(4);
  grid->addWidget(RadioButton1, 0, 0, 1, 3);
  grid->addWidget(Label4, 1, 0);
  grid->addWidget(Edit1, 1, 1);
  grid->addWidget(Label5, 2, 0);
  grid->addWidget(Edit2, 2, 1);
  grid->addWidget(Label3, 3, 0);
  grid->addWidget(Edit3, 3, 1);
  grid->addWidget(BitBtn2, 3, 2);
  grid->addWidget(RadioGroup1, 4, 0, 2, 3);
  grid->addWidget(RadioButton2, 0, 3, 1, 3);
  grid->addWidget(Label14, 1, 3);
  grid->addWidget(Edit4, 1, 4);
  grid->addWidget(Label16, 1, 5);
  grid->addWidget(Label15, 2, 3);
  grid->addWidget(Edit5, 2, 4);
  grid->addWidget(Label17, 2, 5);
  grid->addWidget(RadioButton3, 3, 3, 1, 4);
  grid->addWidget(ListBox1, 4, 3, 2, 3);
  grid->addWidget(RadioButton4, 0, 6, 1, 2);
  grid->addWidget(BitBtn3, 1, 6);
  grid->addWidget(BitBtn4, 1, 7);
  grid->addWidget(CheckBox1, 4, 6, 1, 2);
  grid->addWidget(CheckBox2, 5, 6, 1, 2);
  grid->setRowStretch(6, 1);

  auto* layout = new QVBoxLayout(TabSheet3);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(1);
  layout->addWidget(Panel12);
  layout->addWidget(Panel6, 1);
  return TabSheet3;
}

QWidget* TConvertorForm::BuildRotatePage() {
  TabSheet4 = Page("TabSheet4");
  RotateCheckBox = Check("Use Rotate Image", "RotateCheckBox");
  Panel13 = Page("Panel13");
  RotateRadioGroup = RadioGroup(
      "Rotate Option", "RotateRadioGroup",
      {"Rotate Right", "Rotate Left", "Flip Vertically", "Flip Horizontally", "Cancel Rotate"}, 3,
      RotateButtons);
  RotateButtons->button(static_cast<int>(TRotateOption::kCancelRotate))->setChecked(true);
  (new QVBoxLayout(Panel13))->addWidget(RotateRadioGroup);
  auto* layout = new QVBoxLayout(TabSheet4);
  layout->addWidget(RotateCheckBox);
  layout->addWidget(Panel13);
  layout->addStretch();
  return TabSheet4;
}

QWidget* TConvertorForm::BuildCropPage() {
  TabSheet5 = Page("TabSheet5");
  CropCheckBox = Check("Use Crop", "CropCheckBox");
  Panel14 = Page("Panel14");
  CropGroupBox = Named(new QGroupBox(QStringLiteral("Image Borders")), "CropGroupBox");
  CLLabel = Caption("Left", "CLLabel");
  CRLabel = Caption("Right", "CRLabel");
  CTLabel = Caption("Top", "CTLabel");
  CBLabel = Caption("Bottom", "CBLabel");
  LeftScrollBar = CropBar("LeftScrollBar");
  RightScrollBar = CropBar("RightScrollBar");
  TopScrollBar = CropBar("TopScrollBar");
  BottomScrollBar = CropBar("BottomScrollBar");
  LabelCL = Caption("", "LabelCL");
  LabelCR = Caption("", "LabelCR");
  LabelCT = Caption("", "LabelCT");
  LabelCB = Caption("", "LabelCB");
  ZeroCBtn = Button("Zero Out", "ZeroCBtn");
  auto* grid = new QGridLayout(CropGroupBox);
  grid->setVerticalSpacing(1);
  const std::initializer_list<std::tuple<QLabel*, QScrollBar*, QLabel*>> rows = {
      {CLLabel, LeftScrollBar, LabelCL},
      {CRLabel, RightScrollBar, LabelCR},
      {CTLabel, TopScrollBar, LabelCT},
      {CBLabel, BottomScrollBar, LabelCB}};
  int row = 0;
  for (const auto& [caption, bar, value] : rows) {
    grid->addWidget(caption, row, 0);
    grid->addWidget(bar, row, 1);
    grid->addWidget(value, row, 2);
    ++row;
  }
  grid->addWidget(ZeroCBtn, row, 1, Qt::AlignLeft);
  auto* panel_layout = new QVBoxLayout(Panel14);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  panel_layout->addWidget(CropGroupBox);
  auto* layout = new QVBoxLayout(TabSheet5);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(CropCheckBox);
  layout->addWidget(Panel14);
  layout->addStretch();
  return TabSheet5;
}

QWidget* TConvertorForm::BuildCanvasPage() {
  TabSheet6 = Page("TabSheet6");
  CanvasCheckBox = Check("Add Canvas to Images", "CanvasCheckBox");
  CanvasPanel = Page("CanvasPanel");
  TopLabel = Caption("Top", "TopLabel");
  LLabel = Caption("Left", "LLabel");
  Label7 = Caption("Right", "Label7");
  BLabel = Caption("Bottom", "BLabel");
  TopEdit = Margin("TopEdit");
  LeftEdit = Margin("LeftEdit");
  RightEdit = Margin("RightEdit");
  BottomEdit = Margin("BottomEdit");
  ZeroCanvasBtn = Button("Zero Out", "ZeroCanvasBtn");
  auto* frame = Named(new QFrame, "CanvasFrame");
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* cross = new QGridLayout(frame);
  cross->setVerticalSpacing(0);
  cross->addWidget(TopLabel, 0, 1);
  cross->addWidget(TopEdit, 1, 1);
  cross->addWidget(LLabel, 2, 0);
  cross->addWidget(Label7, 2, 2);
  cross->addWidget(LeftEdit, 3, 0);
  cross->addWidget(RightEdit, 3, 2);
  cross->addWidget(ZeroCanvasBtn, 3, 3);
  cross->addWidget(BLabel, 4, 1);
  cross->addWidget(BottomEdit, 5, 1);
  CanvasShape = Caption("", "CanvasShape");
  CanvasShape->setFixedSize(50, 23);
  CanvasShape->setAutoFillBackground(true);
  CanColorBtn = Button("Color", "CanColorBtn");
  auto* colour_column = new QVBoxLayout;
  colour_column->addWidget(CanvasShape);
  colour_column->addWidget(CanColorBtn);
  colour_column->addStretch();
  auto* panel_layout = new QHBoxLayout(CanvasPanel);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  panel_layout->addWidget(frame);
  panel_layout->addLayout(colour_column);
  panel_layout->addStretch();
  auto* layout = new QVBoxLayout(TabSheet6);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(CanvasCheckBox);
  layout->addWidget(CanvasPanel);
  layout->addStretch();
  return TabSheet6;
}

QWidget* TConvertorForm::BuildAdjustmentsPage() {
  TabSheet7 = Page("TabSheet7");
  AdjustmentCheckBox = Check("Use Adjustments Option", "AdjustmentCheckBox");
  AdjustmentPanel = Page("AdjustmentPanel");
  InvertCheckBox = Check("Invert", "InvertCheckBox");
  NightCheckBox = Check("Night Vision", "NightCheckBox");
  GrayCheckBox = Check("Gray Scale", "GrayCheckBox");
  SepiaCheckBox = Check("Sepia", "SepiaCheckBox");
  auto* column = new QVBoxLayout(AdjustmentPanel);
  for (QCheckBox* box : {InvertCheckBox, NightCheckBox, GrayCheckBox, SepiaCheckBox}) {
    column->addWidget(box);
  }
  auto* layout = new QVBoxLayout(TabSheet7);
  layout->addWidget(AdjustmentCheckBox);
  layout->addWidget(AdjustmentPanel);
  layout->addStretch();
  return TabSheet7;
}

// Handlers follow the value, not the click, so setting a control from code runs them too.
void TConvertorForm::ConnectPages() {
  const auto on_checked = [this](QButtonGroup* group, void (TConvertorForm::*slot)()) {
    connect(group, &QButtonGroup::idToggled, this, [this, slot](int, bool checked) {
      if (checked) Guarded([this, slot] { (this->*slot)(); });
    });
  };
  on_checked(OperationsButtons, &TConvertorForm::OperationsRadioGroupClick);
  on_checked(ChoiseExtButtons, &TConvertorForm::ChoiseExtRadioGroupClick);
  on_checked(RotateButtons, &TConvertorForm::RotateRadioGroupClick);
  Bind(SameCheckBox, &QCheckBox::toggled, &TConvertorForm::SameCheckBoxClick);
  Bind(RenameCheckBox, &QCheckBox::toggled, &TConvertorForm::RenameCheckBoxClick);
  Bind(RotateCheckBox, &QCheckBox::toggled, &TConvertorForm::RotateCheckBoxClick);
  Bind(AdjustmentCheckBox, &QCheckBox::toggled, &TConvertorForm::AdjustmentCheckBoxClick);
  Bind(ViewExifCheckBox, &QCheckBox::toggled, &TConvertorForm::ViewExifCheckBoxClick);
  for (QCheckBox* box : {InvertCheckBox, NightCheckBox, GrayCheckBox, SepiaCheckBox}) {
    Bind(box, &QCheckBox::toggled, &TConvertorForm::ImageOperation);
  }
  Bind(SelectBtn, &QPushButton::clicked, &TConvertorForm::SelectBtnClick);
  ConnectResizePage();
  ConnectCropCanvasPages();
  connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
    ExifPanel->update();
    Guarded([this] { ViewExifCheckBox->setChecked(true); });
  });
  // The Resize page's panel and header figures show only while resizing is on.
  ResizeCheckBoxClick();
  Panel13->hide();
  Panel14->hide();
  CanvasPanel->hide();
  AdjustmentPanel->hide();
}

TConvertOptions TConvertorForm::ReadOptions() const {
  TConvertOptions o;
  o.Operation = static_cast<TFileOperation>(OperationsButtons->checkedId());
  o.Rename = RenameCheckBox->isChecked();
  o.BaseName = QFile::encodeName(NameEdit->text()).toStdString();
  o.SameFolder = SameCheckBox->isChecked();
  o.TargetFolder = TargetFolder;
  o.OutputFormat = static_cast<TOutputFormat>(ChoiseExtButtons->checkedId());
  o.JpegQuality = ExtTrackBar->value();
  o.ClearExif = DescriptionCheckBox->isChecked();
  o.PngCompression = PNGTrackBar->value();
  o.PngTransparent = PNGCheckBox->isChecked();
  o.AdjustEnabled = AdjustmentCheckBox->isChecked();
  o.Invert = InvertCheckBox->isChecked();
  o.NightVision = NightCheckBox->isChecked();
  o.GrayScale = GrayCheckBox->isChecked();
  o.Sepia = SepiaCheckBox->isChecked();
  o.RotateEnabled = RotateCheckBox->isChecked();
  o.RotateOption = static_cast<TRotateOption>(RotateButtons->checkedId());
  o.CropEnabled = CropCheckBox->isChecked();
  o.CropLeft = LeftScrollBar->value();
  o.CropTop = TopScrollBar->value();
  o.CropRight = RightScrollBar->maximum() - RightScrollBar->value();
  o.CropBottom = BottomScrollBar->maximum() - BottomScrollBar->value();
  o.CanvasEnabled = CanvasCheckBox->isChecked();
  o.CanvasLeft = LeftEdit->value();
  o.CanvasTop = TopEdit->value();
  o.CanvasRight = RightEdit->value();
  o.CanvasBottom = BottomEdit->value();
  o.CanvasColor = CanvasColor;
  o.ResizeEnabled = ResizeCheckBox->isChecked();
  o.ResizeWidth = Label9->text().toInt();
  o.ResizeHeight = Label11->text().toInt();
  o.AspectByWidth = CheckBox1->isChecked();
  o.AspectByHeight = CheckBox2->isChecked();
  return o;
}

void TConvertorForm::OperationsRadioGroupClick() {
  // The simple operations ignore every page after Name&Path.
  const bool converts = Converts(static_cast<TFileOperation>(OperationsButtons->checkedId()));
  for (int page = 1; page < PageControl2->count(); ++page) {
    PageControl2->widget(page)->setEnabled(converts);
  }
}

void TConvertorForm::SameCheckBoxClick() {
  const bool same = SameCheckBox->isChecked();
  SelectBtn->setEnabled(!same);
  SelectLabel->setEnabled(!same);
}

void TConvertorForm::RenameCheckBoxClick() { NameEdit->setEnabled(RenameCheckBox->isChecked()); }

void TConvertorForm::ChoiseExtRadioGroupClick() {
  SetTabMark(TabSheet8, ChoiseExtButtons->checkedId() != 0);
}

void TConvertorForm::RotateCheckBoxClick() {
  if (RotateCheckBox->isChecked() && ListEmpty()) {
    RotateCheckBox->setChecked(false);
    return;
  }
  const bool on = RotateCheckBox->isChecked();
  Panel13->setVisible(on);
  SetTabMark(TabSheet4, on);
  if (on) return;
  RotateButtons->button(static_cast<int>(TRotateOption::kCancelRotate))->setChecked(true);
  ImageOperation();
}

void TConvertorForm::RotateRadioGroupClick() {
  if (!RotateCheckBox->isChecked()) {
    Panel13->hide();
    return;
  }
  Panel13->show();
  ImageOperation();
}

void TConvertorForm::AdjustmentCheckBoxClick() {
  if (AdjustmentCheckBox->isChecked() && ListEmpty()) {
    AdjustmentCheckBox->setChecked(false);
    return;
  }
  const bool on = AdjustmentCheckBox->isChecked();
  AdjustmentPanel->setVisible(on);
  SetTabMark(TabSheet7, on);
  if (on) return;
  for (QCheckBox* box : {InvertCheckBox, NightCheckBox, GrayCheckBox, SepiaCheckBox}) {
    box->setChecked(false);
  }
  if (!ListEmpty()) Image2->SetPicture(PreviewSource);
  ImageOperation();
}

void TConvertorForm::ViewExifCheckBoxClick() {
  if (ViewExifCheckBox->isChecked() && ListEmpty()) {
    ViewExifCheckBox->setChecked(false);
    return;
  }
  SetExifPanelWidth(ViewExifCheckBox->isChecked() ? 150 : 1);
}

void TConvertorForm::SelectBtnClick() {
  const QString current = QFile::decodeName(QByteArray::fromStdString(TargetFolder));
  const std::optional<QString> folder =
      dialogs_->ChooseFolder(this, QStringLiteral("Select or Create Folder to Save Image(s)"),
                             QFileInfo::exists(current) ? current : QString());
  if (!folder) return;
  // Folder texts end in one separator; the root already does.
  const QString text = folder->endsWith(QLatin1Char('/')) ? *folder : *folder + QLatin1Char('/');
  TargetFolder = QFile::encodeName(text).toStdString();
  SelectLabel->setText(text);
}

}  // namespace tolvane
