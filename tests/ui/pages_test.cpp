// The Resize, Crop and Canvas pages driven as a user would: typing, clicking, scrolling.
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "ui/Unit1.h"
#include "ui/canvas_field.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::TConvertorForm;
using tolvane_test::Click;
using tolvane_test::Leave;
using tolvane_test::Press;
using tolvane_test::Retype;
using tolvane_test::RunAndWait;
using tolvane_test::ScriptedDialogs;
using tolvane_test::SelectOnly;
using tolvane_test::SizeOf;
using tolvane_test::WriteBmp;

namespace {

QSize NewSize(const TConvertorForm& form) {
  return {form.Label9->text().toInt(), form.Label11->text().toInt()};
}

struct Range {
  int minimum, maximum, position;
  bool operator==(const Range&) const = default;
};
Range RangeOf(const QScrollBar* bar) { return {bar->minimum(), bar->maximum(), bar->value()}; }

}  // namespace

namespace QTest {
template <>
char* toString(const Range& r) {
  return qstrdup(QByteArray::number(r.minimum) + ".." + QByteArray::number(r.maximum) + " @" +
                 QByteArray::number(r.position));
}
}  // namespace QTest

class PagesTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  // Adds files of these sizes; the last one ends selected.
  void AddImages(std::initializer_list<QSize> sizes) {
    QStringList paths;
    for (const QSize& size : sizes) {
      const QString path = Path(
          QStringLiteral("%1x%2-%3.bmp").arg(size.width()).arg(size.height()).arg(paths.size()));
      WriteBmp(path, size.width(), size.height());
      paths << path;
    }
    dialogs_->open_answers.push_back(paths);
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  }
  void ShowPage(QWidget* page) { tolvane_test::ShowPage(*form_, page); }
  void OpenResizePage() {
    ShowPage(form_->TabSheet3);
    Click(form_->ResizeCheckBox);
    QVERIFY(form_->Panel6->isVisible());
  }
  void OpenCropPage() {
    ShowPage(form_->TabSheet5);
    Click(form_->CropCheckBox);
    QVERIFY(form_->Panel14->isVisible());
  }
  void OpenCanvasPage() {
    ShowPage(form_->TabSheet6);
    Click(form_->CanvasCheckBox);
    QVERIFY(form_->CanvasPanel->isVisible());
  }
  void ChooseUnit(int unit) { Click(form_->UnitButtons->button(unit)); }
  QString ChooseOutputFolder() {
    return tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
  }
  QStringList CropLabels() const {
    return {form_->LabelCL->text(), form_->LabelCR->text(), form_->LabelCT->text(),
            form_->LabelCB->text()};
  }

 private slots:
  void init() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    form_ = tolvane_test::MakeWindow(dialogs_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QCOMPARE(form_->DpiValue, 96);
  }
  void cleanup() {
    form_.reset();
    QLocale::setDefault(QLocale::c());
    tolvane_test::EmptyFolder(dir_.path());
  }

  // ------------------------------------------------------------ Resize

  void centimetresAndInchesAtTheDpi_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("separator");
    QTest::newRow("point") << QLocale(QLocale::English, QLocale::UnitedStates) << ".";
    QTest::newRow("comma") << QLocale(QLocale::German, QLocale::Germany) << ",";
  }
  void centimetresAndInchesAtTheDpi() {
    QFETCH(QLocale, locale);
    QFETCH(QString, separator);
    QLocale::setDefault(locale);
    AddImages({{1000, 750}});
    OpenResizePage();
    ChooseUnit(1);
    QCOMPARE(form_->Edit1->text(), QString("26") + separator + "46");
    QCOMPARE(form_->Edit2->text(), QString("19") + separator + "84");
    QCOMPARE(NewSize(*form_), QSize(1000, 750));
    // Typed with either key, the separator is the locale's.
    Retype(form_->Edit1, "26.46");
    QCOMPARE(form_->Edit1->text(), QString("26") + separator + "46");
    Retype(form_->Edit1, "26,46");
    QCOMPARE(form_->Edit1->text(), QString("26") + separator + "46");
    QCOMPARE(NewSize(*form_).width(), 1000);
    QCOMPARE(NewSize(*form_).height(), 750);

    ChooseUnit(2);
    QCOMPARE(form_->Edit1->text(), QString("10") + separator + "42");
    Retype(form_->Edit3, "72");
    QCOMPARE(form_->DpiValue, 72);
    QCOMPARE(form_->Edit1->text(), QString("13") + separator + "89");
    QCOMPARE(NewSize(*form_), QSize(1000, 750));  // only the fields follow the DPI
    Click(form_->BitBtn2);
    QCOMPARE(form_->Edit3->text(), QStringLiteral("96"));
    QCOMPARE(form_->Edit1->text(), QString("10") + separator + "42");
  }

  void theSizeFieldsTakeDigitsAndOneSeparator() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AddImages({{1000, 750}});
    OpenResizePage();
    Click(form_->CheckBox1);  // off: the fields do not drive each other
    Retype(form_->Edit1, "1x2,.3a");
    QCOMPARE(form_->Edit1->text(), QStringLiteral("12,3"));
    QCOMPARE(NewSize(*form_), QSize(12, 750));
    Click(form_->RadioButton2);
    Retype(form_->Edit4, "5,0x");
    QCOMPARE(form_->Edit4->text(), QStringLiteral("50"));
    Retype(form_->Edit3, "1.2x0");
    QCOMPARE(form_->Edit3->text(), QStringLiteral("120"));
  }

  void textsThatAreNoNumberKeepTheNewSize() {
    AddImages({{1000, 750}});
    OpenResizePage();
    Click(form_->CheckBox1);
    // The tenth digit no longer fits: the nine-digit width stays.
    Retype(form_->Edit1, "99999999999");
    QCOMPARE(NewSize(*form_), QSize(999999999, 750));
    Retype(form_->Edit1, "640");
    QCOMPARE(NewSize(*form_), QSize(640, 750));
    // Emptied on the way to a lone separator, which then changes nothing.
    Retype(form_->Edit1, ".");
    QCOMPARE(NewSize(*form_), QSize(0, 750));
    Leave(form_->Edit1);
    QCOMPARE(form_->Edit1->text(), QStringLiteral("."));
    QCOMPARE(NewSize(*form_), QSize(0, 750));
    // A DPI of 0 converts nothing: fields and New Size stay.
    Retype(form_->Edit1, "640");
    ChooseUnit(1);
    QCOMPARE(form_->Edit1->text(), QStringLiteral("16.93"));
    Retype(form_->Edit3, "0");
    QCOMPARE(form_->DpiValue, 0);
    // The fields still show what the "9" left while deleting "96" gave: 640 * 2.54 / 9.
    QCOMPARE(form_->Edit1->text(), QStringLiteral("180.62"));
    Retype(form_->Edit2, "5");
    QCOMPARE(NewSize(*form_), QSize(640, 750));
  }

  void theAspectFlagsCoupleTheSizeFields_data() {
    QTest::addColumn<bool>("by_height");
    QTest::newRow("by width") << false;
    QTest::newRow("by height") << true;
  }
  void theAspectFlagsCoupleTheSizeFields() {
    QFETCH(bool, by_height);
    AddImages({{1000, 750}});
    OpenResizePage();
    if (by_height) {
      Click(form_->CheckBox2);
      QVERIFY(!form_->CheckBox1->isChecked());
    }
    Retype(form_->Edit1, "800");
    QCOMPARE(form_->Edit2->text(), QStringLiteral("600"));
    QCOMPARE(NewSize(*form_), QSize(800, 600));
    Retype(form_->Edit2, "300");
    QCOMPARE(form_->Edit1->text(), QStringLiteral("400"));
    QCOMPARE(NewSize(*form_), QSize(400, 300));
    Retype(form_->Edit1, "");
    QCOMPARE(form_->Edit2->text(), QStringLiteral("0"));
    QCOMPARE(NewSize(*form_), QSize(0, 0));
    Leave(form_->Edit1);
    QCOMPARE(form_->Edit1->text(), QStringLiteral("1000"));
    QCOMPARE(form_->Edit2->text(), QStringLiteral("750"));
    QCOMPARE(NewSize(*form_), QSize(1000, 750));
  }

  void withoutAFlagAnEmptyFieldCountsAsZeroUntilLeft() {
    AddImages({{1000, 750}});
    OpenResizePage();
    Click(form_->CheckBox1);
    Retype(form_->Edit2, "");
    QCOMPARE(form_->Edit1->text(), QStringLiteral("1000"));
    QCOMPARE(NewSize(*form_), QSize(1000, 0));
    Leave(form_->Edit2);
    QCOMPARE(form_->Edit2->text(), QStringLiteral("750"));
    QCOMPARE(NewSize(*form_), QSize(1000, 750));
  }

  void percentagesOfTheSelectedImage() {
    AddImages({{1001, 801}});
    OpenResizePage();
    Click(form_->RadioButton2);
    QVERIFY(!form_->Edit1->isEnabled());
    QVERIFY(form_->Label4->isEnabled());  // kept as it was
    QVERIFY(!form_->RadioGroup1->isEnabled());
    QVERIFY(form_->Edit4->isEnabled());
    QVERIFY(!form_->Label16->isEnabled());
    QCOMPARE(NewSize(*form_), QSize(1001, 801));
    Retype(form_->Edit4, "50");
    QCOMPARE(form_->Edit5->text(), QStringLiteral("50"));
    QCOMPARE(NewSize(*form_), QSize(500, 400));
    Retype(form_->Edit4, "");
    QCOMPARE(form_->Edit5->text(), QStringLiteral("0"));
    QCOMPARE(NewSize(*form_), QSize(0, 0));
    Leave(form_->Edit4);
    QCOMPARE(form_->Edit4->text(), QStringLiteral("100"));
    QCOMPARE(form_->Edit5->text(), QStringLiteral("100"));
    QCOMPARE(NewSize(*form_), QSize(1001, 801));
  }

  void aPercentageWithoutAFlagActsOnItsSideOnly() {
    AddImages({{101, 101}});
    OpenResizePage();
    Click(form_->CheckBox1);
    Click(form_->RadioButton2);
    Retype(form_->Edit4, "150");
    QCOMPARE(form_->Edit5->text(), QStringLiteral("100"));
    QCOMPARE(NewSize(*form_), QSize(152, 101));
  }

  void halfAndDoubleFromThePercentages() {
    AddImages({{1000, 750}});
    OpenResizePage();
    Click(form_->RadioButton4);
    QVERIFY(!form_->CheckBox1->isChecked());
    QVERIFY(form_->BitBtn3->isEnabled());
    QVERIFY(!form_->Edit4->isEnabled());
    QCOMPARE(NewSize(*form_), QSize(1000, 750));
    const QSize halves[] = {{500, 375}, {250, 188}, {125, 94}};
    for (const QSize& expected : halves) {
      QTest::mouseClick(form_->BitBtn3, Qt::LeftButton);
      QCOMPARE(NewSize(*form_), expected);
    }
    QTest::mouseClick(form_->BitBtn4, Qt::LeftButton);
    QCOMPARE(NewSize(*form_), QSize(250, 188));
  }

  void standardSizesClearTheAspectFlags() {
    AddImages({{1000, 750}});
    OpenResizePage();
    Click(form_->RadioButton3);
    QCOMPARE(NewSize(*form_), QSize(640, 480));
    QVERIFY(!form_->CheckBox1->isChecked());
    QVERIFY(!form_->CheckBox2->isChecked());
    QVERIFY(!form_->RadioButton1->isChecked());
    QVERIFY(form_->ListBox1->isEnabled());
    QVERIFY(!form_->Label4->isEnabled());
    Click(form_->CheckBox1);
    QVERIFY(!form_->CheckBox1->isChecked());
    QListWidget* list = form_->ListBox1;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(NewSize(*form_), QSize(800, 600));
    QCOMPARE(list->item(1)->text(), QStringLiteral("800 X600"));
    Click(form_->RadioButton1);
    QVERIFY(!form_->RadioButton3->isChecked());
    QVERIFY(form_->Edit1->isEnabled());
    QCOMPARE(NewSize(*form_), QSize(1000, 750));  // from the fields again
  }

  void selectingAnImageResetsThePanel() {
    AddImages({{1000, 750}, {1600, 1200}});
    OpenResizePage();
    ChooseUnit(1);
    Click(form_->RadioButton4);
    SelectOnly(form_->ImageView, 0);
    QCOMPARE(form_->Edit1->text(), QStringLiteral("1000"));
    QCOMPARE(form_->Edit2->text(), QStringLiteral("750"));
    QVERIFY(form_->RadioButton1->isChecked());
    QVERIFY(!form_->RadioButton4->isChecked());
    QVERIFY(form_->Edit1->isEnabled());
    QVERIFY(!form_->ResizeCheckBox->isChecked());
    QVERIFY(!form_->Panel6->isVisible());
    QVERIFY(form_->PageControl2->tabIcon(2).isNull());
    // The pixel numbers are read in centimetres: nearest(1000 * 96 / 2.54).
    QCOMPARE(NewSize(*form_), QSize(37795, 28346));
    QCOMPARE(form_->UnitButtons->checkedId(), 1);
    QCOMPARE(form_->AspectRatio, 1000.0 / 750.0);
  }

  void theRunResizesToTheNewSizeAndShowsWhatItWrote() {
    AddImages({{1000, 500}, {1000, 750}});
    const QString out = ChooseOutputFolder();
    OpenResizePage();
    QVERIFY(!form_->PageControl2->tabIcon(2).isNull());
    Retype(form_->Edit1, "100");
    QCOMPARE(NewSize(*form_), QSize(100, 75));
    RunAndWait(*form_);
    QVERIFY(dialogs_->messages.isEmpty());
    // Each image keeps its own shape; the line shows the last image's size.
    tolvane::TBitmap first;
    first.LoadFromFile(QFile::encodeName(out + "/1000x500-0.bmp").toStdString());
    QCOMPARE(SizeOf(first), QSize(100, 50));
    QCOMPARE(NewSize(*form_), QSize(100, 75));
  }

  // ------------------------------------------------------------ Crop

  void checkingCropSpansTheImage_data() {
    QTest::addColumn<bool>("rotate_right");
    QTest::newRow("as it is") << false;
    QTest::newRow("Rotate Right") << true;
  }
  void checkingCropSpansTheImage() {
    QFETCH(bool, rotate_right);
    AddImages({{1600, 1200}});
    if (rotate_right) {
      ShowPage(form_->TabSheet4);
      Click(form_->RotateCheckBox);
      Click(form_->RotateButtons->button(0));
    }
    OpenCropPage();
    const int across = rotate_right ? 1200 : 1600;
    const int down = rotate_right ? 1600 : 1200;
    QCOMPARE(RangeOf(form_->LeftScrollBar), (Range{0, across, 0}));
    QCOMPARE(RangeOf(form_->RightScrollBar), (Range{0, across, across}));
    QCOMPARE(RangeOf(form_->TopScrollBar), (Range{0, down, 0}));
    QCOMPARE(RangeOf(form_->BottomScrollBar), (Range{0, down, down}));
    QCOMPARE(CropLabels(), QStringList({"0", "0", "0", "0"}));
    QVERIFY(!form_->PageControl2->tabIcon(4).isNull());
  }

  void theBarsCutTheEdgesAndStopAtTheirPartners() {
    AddImages({{1600, 1200}});
    OpenCropPage();
    const QSize uncut = SizeOf(form_->Image2->Picture());
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 10);
    QCOMPARE(form_->LabelCL->text(), QStringLiteral("100"));
    // f = 1600 / 268: 100 / f = 16.75 columns, cut toward zero.
    QCOMPARE(SizeOf(form_->Image2->Picture()), uncut - QSize(16, 0));
    Press(form_->RightScrollBar, Qt::Key_PageUp, 5);
    QCOMPARE(form_->LabelCR->text(), QStringLiteral("50"));
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 20);
    QCOMPARE(form_->LabelCL->text(), QStringLiteral("300"));
    Press(form_->RightScrollBar, Qt::Key_Home);
    QCOMPARE(form_->RightScrollBar->value(), 300);
    QCOMPARE(form_->LabelCR->text(), QStringLiteral("1300"));
    // The arrow at the bar's end moves it by one.
    QScrollBar* top = form_->TopScrollBar;
    QTest::mouseClick(top, Qt::LeftButton, {}, QPoint(top->width() - 4, top->height() / 2));
    QCOMPARE(form_->LabelCT->text(), QStringLiteral("1"));
    QCOMPARE(form_->BottomScrollBar->minimum(), 1);

    QTest::mouseClick(form_->ZeroCBtn, Qt::LeftButton);
    QCOMPARE(CropLabels(), QStringList({"0", "0", "0", "0"}));
    QCOMPARE(SizeOf(form_->Image2->Picture()), uncut);
  }

  void theRightCutCarriesOverToANarrowerImage() {
    AddImages({{1000, 750}, {1600, 1200}});
    OpenCropPage();
    Press(form_->RightScrollBar, Qt::Key_PageUp, 20);
    QCOMPARE(form_->LabelCR->text(), QStringLiteral("200"));
    SelectOnly(form_->ImageView, 0);
    QCOMPARE(RangeOf(form_->RightScrollBar), (Range{0, 1000, 800}));
    QCOMPARE(form_->LabelCR->text(), QStringLiteral("200"));
    QCOMPARE(form_->LeftScrollBar->maximum(), 1000);
    QVERIFY(dialogs_->messages.isEmpty());
  }

  void clearingCropCutsNothingAgain() {
    AddImages({{1600, 1200}});
    OpenCropPage();
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 10);
    Press(form_->BottomScrollBar, Qt::Key_PageUp, 10);
    Click(form_->CropCheckBox);
    QVERIFY(!form_->Panel14->isVisible());
    QVERIFY(form_->PageControl2->tabIcon(4).isNull());
    QCOMPARE(form_->LeftScrollBar->value(), 0);
    QCOMPARE(form_->BottomScrollBar->value(), 1200);
    QCOMPARE(SizeOf(form_->Image2->Picture()), QSize(268, 201));
    const auto options = form_->ReadOptions();
    QCOMPARE(options.CropLeft + options.CropRight + options.CropTop + options.CropBottom, 0);
  }

  void aRangeFailureIsReportedOnceAndTheWindowGoesOn() {
    AddImages({{1000, 750}, {1600, 1200}});
    OpenCropPage();
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 150);
    QCOMPARE(form_->RightScrollBar->minimum(), 1500);
    SelectOnly(form_->ImageView, 0);
    QCOMPARE(dialogs_->messages, QStringList({"Scrollbar property out of range"}));
    // The next redraw derives the ranges again without failing.
    Press(form_->LeftScrollBar, Qt::Key_PageUp, 10);
    QCOMPARE(form_->LabelCL->text(), QStringLiteral("900"));
    QCOMPARE(RangeOf(form_->RightScrollBar), (Range{900, 1000, 1000}));
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(form_->ImageView->isEnabled());
    QVERIFY(form_->PageControl2->isVisible());
  }

  void theRunStopsAtAFileTheCropDoesNotFit() {
    AddImages({{200, 150}, {1600, 1200}});
    const QString out = ChooseOutputFolder();
    OpenCropPage();
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 30);
    // The files run in list order: the first one is narrower than the left cut.
    RunAndWait(*form_);
    QCOMPARE(dialogs_->messages, QStringList({"Scrollbar property out of range"}));
    QVERIFY(!QFileInfo::exists(out + "/200x150-0.bmp"));
    QVERIFY(!QFileInfo::exists(out + "/1600x1200-1.bmp"));
    QVERIFY(!form_->Converting);
    QVERIFY(form_->PageControl2->isVisible());
    QVERIFY(form_->ImageView->isEnabled());
  }

  void theRunsCropWriteBackShowsWithoutRedrawing() {
    AddImages({{800, 600}, {1600, 1200}});
    const QString out = ChooseOutputFolder();
    OpenCropPage();
    Press(form_->LeftScrollBar, Qt::Key_PageDown, 10);
    Press(form_->RightScrollBar, Qt::Key_PageUp, 20);
    const QSize before = SizeOf(form_->Image2->Picture());
    QSize during;
    connect(form_->ProgressBar1, &QProgressBar::valueChanged, form_.get(), [&](int position) {
      if (position == 1) during = SizeOf(form_->Image2->Picture());
    });
    RunAndWait(*form_);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(during, before);
    tolvane::TBitmap first;
    first.LoadFromFile(QFile::encodeName(out + "/800x600-0.bmp").toStdString());
    QCOMPARE(SizeOf(first), QSize(500, 600));
    QCOMPARE(RangeOf(form_->RightScrollBar).maximum, 1600);
    QCOMPARE(CropLabels(), QStringList({"100", "200", "0", "0"}));
  }

  // ------------------------------------------------------------ Canvas

  void canvasFieldsTakeFourDigitsAtMost() {
    AddImages({{1600, 1200}});
    OpenCanvasPage();
    QSpinBox* top = form_->TopEdit;
    Retype(top, "12345");
    QCOMPARE(top->text(), QStringLiteral("0"));
    QCOMPARE(top->value(), 0);
    Retype(top, "60");
    QCOMPARE(top->value(), 60);
    QTest::keyClicks(top, "ab-+.");
    QCOMPARE(top->text(), QStringLiteral("60"));
    QCOMPARE(top->value(), 60);
    // Pasting through the field's menu takes only whole numbers within the range.
    auto* edit = top->findChild<QLineEdit*>();
    for (const char* pasted : {"12a", "20000", "-5"}) {
      QGuiApplication::clipboard()->setText(QString::fromLatin1(pasted));
      edit->selectAll();
      edit->paste();
      QCOMPARE(top->text(), QStringLiteral("60"));
    }
    // 60 / (1600 / 268) = 10.05 rows of border on the preview.
    QCOMPARE(SizeOf(form_->Image2->Picture()), QSize(268, 211));
    // The arrows reach what typing cannot.
    QSpinBox* left = form_->LeftEdit;
    left->setFocus();
    QTest::keyClick(left, Qt::Key_End);
    for (int i = 0; i < 4; ++i) QTest::keyClick(left, Qt::Key_Backspace);
    QTest::keyClicks(left, "9999");
    QCOMPARE(left->value(), 9999);
    const QRect up = QRect(left->width() - 14, 1, 12, left->height() / 2 - 2);
    QTest::mouseClick(left, Qt::LeftButton, {}, up.center());
    QCOMPARE(left->value(), 10000);
    QCOMPARE(left->text(), QStringLiteral("10000"));
  }

  void clearingCanvasResetsWidthsAndColour() {
    AddImages({{1600, 1200}});
    OpenCanvasPage();
    dialogs_->colour_answer = QColor(0, 128, 255);
    QTest::mouseClick(form_->CanColorBtn, Qt::LeftButton);
    QCOMPARE(form_->CanvasColor, tolvane::RGBColor(0, 128, 255));
    QCOMPARE(form_->CanvasShape->palette().color(QPalette::Window), QColor(0, 128, 255));
    Retype(form_->RightEdit, "30");
    QTest::mouseClick(form_->ZeroCanvasBtn, Qt::LeftButton);
    QCOMPARE(form_->RightEdit->value(), 0);
    QCOMPARE(form_->CanvasColor, tolvane::RGBColor(0, 128, 255));
    // The dialog opens with the last colour; cancelling changes nothing.
    dialogs_->colour_answer.reset();
    QTest::mouseClick(form_->CanColorBtn, Qt::LeftButton);
    QCOMPARE(dialogs_->colours_offered.last(), QColor(0, 128, 255));
    QCOMPARE(form_->CanvasColor, tolvane::RGBColor(0, 128, 255));

    Retype(form_->BottomEdit, "40");
    Click(form_->CanvasCheckBox);
    QVERIFY(form_->PageControl2->tabIcon(5).isNull());
    QCOMPARE(SizeOf(form_->Image2->Picture()), QSize(268, 201));
    Click(form_->CanvasCheckBox);
    for (QSpinBox* field : {form_->TopEdit, form_->LeftEdit, form_->RightEdit, form_->BottomEdit}) {
      QCOMPARE(field->text(), QStringLiteral("0"));
    }
    QCOMPARE(form_->CanvasColor, tolvane::kBlack);
    QCOMPARE(form_->CanvasShape->palette().color(QPalette::Window), QColor(Qt::black));
    QTest::mouseClick(form_->CanColorBtn, Qt::LeftButton);
    QCOMPARE(dialogs_->colours_offered.last(), QColor(Qt::black));
  }

  // ------------------------------------------------------------ Name

  void nameFieldKeepsOnlyNameCharsTypedOrPasted() {
    AddImages({{40, 30}});
    ShowPage(form_->TabSheet15);
    Click(form_->RenameCheckBox);
    QLineEdit* name = form_->NameEdit;
    QVERIFY(name->isEnabled());
    Retype(name, "My photo-1.v2");
    QCOMPARE(name->text(), QStringLiteral("Myphoto1v2"));

    QGuiApplication::clipboard()->setText(QStringLiteral("a/../b c.d_e!&?\\f\tg\u00e9"));
    QTest::keyClick(name, Qt::Key_Home);
    QTest::keyClicks(name, "X");
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("Xabcd_e!&?fgMyphoto1v2"));
    // The cursor ends after the pasted characters that were kept.
    QCOMPARE(name->cursorPosition(), 12);
    QCOMPARE(form_->ReadOptions().BaseName, std::string("Xabcd_e!&?fgMyphoto1v2"));
  }
};

int RunPagesTests(int argc, char** argv) {
  PagesTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "pages_test.moc"
