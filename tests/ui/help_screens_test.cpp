// The screenshots of the user manual: the windows are put into the states the manual shows,
// grabbed and written as PNG files into $TOLVANE_HELP_SCREENS (else a folder of the build
// tree). Each shot first checks that the window shows what the manual says about it.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "ui/About.h"
#include "ui/Unit1.h"
#include "ui/ViewUnit.h"
#include "ui/canvas_field.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::TAboutBox;
using tolvane::TConvertorForm;
using tolvane::TViewForm;
using tolvane_test::Click;
using tolvane_test::Leave;
using tolvane_test::Press;
using tolvane_test::Retype;
using tolvane_test::ScriptedDialogs;
using tolvane_test::SelectOnly;
using tolvane_test::SizeOf;
using tolvane_test::WhileModal;

namespace {

// The batch shown in the pictures: test files under the names a user might give them. The
// last one ends selected.
struct Sample {
  const char* fixture;
  const char* name;
};
constexpr Sample kSamples[] = {
    {"jpeg/NikonD70.jpg", "camera.jpg"},     {"metafile/inkscape_shapes.emf", "drawing.emf"},
    {"psd/1layer.psd", "layers.psd"},        {"png/rgba8.png", "badge.png"},
    {"tiff/rgb8_lzw_pred2.tif", "scan.tif"}, {"jpeg/plain_rgb_420.jpg", "portrait.jpg"},
};
constexpr int kCameraRow = 0;

QString ScreensFolder() {
  const QString chosen = qEnvironmentVariable("TOLVANE_HELP_SCREENS");
  return chosen.isEmpty() ? QStringLiteral(TOLVANE_HELP_SCREENS_DIR) : chosen;
}

int ColourCount(const QImage& image, int enough) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height() && colours.size() < enough; ++y) {
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  }
  return int(colours.size());
}

}  // namespace

class HelpScreensTest : public QObject {
  Q_OBJECT

 private:
  // A fixed folder, so that the Path column reads the same in every refresh of the pictures.
  const QDir sources_{QDir::tempPath() + QStringLiteral("/Tolvane sample photos")};
  QString folder_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;
  TAboutBox* about_ = nullptr;
  TViewForm* view_ = nullptr;

  void ShowPage(QWidget* page) { tolvane_test::ShowPage(*form_, page); }

  // Grabs the window and writes it without alpha at the strongest compression; the file must
  // read back at the window's size and hold a real picture, not a blank.
  void Shoot(QWidget* window, const QString& name) {
    QCoreApplication::processEvents();
    const QImage grabbed = window->grab().toImage().convertToFormat(QImage::Format_RGB888);
    const QString path = QDir(folder_).filePath(name + QStringLiteral(".png"));
    QFile::remove(path);
    QImageWriter writer(path, "png");
    writer.setQuality(0);  // the strongest compression for PNG
    QVERIFY2(writer.write(grabbed), qPrintable(path + ": " + writer.errorString()));
    const QImage written(path);
    QCOMPARE(written.size(), window->size() * window->devicePixelRatio());
    QVERIFY2(ColourCount(written, 16) >= 16, qPrintable(path + " looks blank"));
  }

 private slots:
  void cleanupTestCase() { QDir(sources_.path()).removeRecursively(); }

  void initTestCase() {
    folder_ = ScreensFolder();
    QVERIFY2(QDir().mkpath(folder_), qPrintable(folder_));
    tolvane_test::EmptyFolder(sources_.path());
    // A fixed date, so that the list reads the same in every picture.
    const QDateTime taken(QDate(2024, 5, 17), QTime(10, 30));
    for (const Sample& sample : kSamples) {
      const QString target = sources_.filePath(QString::fromLatin1(sample.name));
      QVERIFY(QFile::copy(QStringLiteral(TOLVANE_TEST_DATA "/") + sample.fixture, target));
      QFile file(target);
      QVERIFY(file.open(QIODevice::ReadWrite));
      file.setFileTime(taken, QFileDevice::FileModificationTime);
    }
  }

  void init() {
    form_ = tolvane_test::MakeWindow(dialogs_);
    about_ = new TAboutBox(form_.get());
    view_ = new TViewForm(form_.get());
    form_->SetSecondaryWindows(about_, view_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QStringList paths;
    for (const Sample& sample : kSamples) {
      paths << sources_.filePath(QString::fromLatin1(sample.name));
    }
    dialogs_->open_answers.push_back(paths);
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(form_->ImageView->topLevelItemCount(), int(std::size(kSamples)));
    QCOMPARE(SizeOf(form_->Image1->Picture()), QSize(128, 128));
  }
  void cleanup() { form_.reset(); }

  void mainWindow() {
    QVERIFY(form_->PageControl2->isVisible());
    QCOMPARE(form_->Panel4->text(), QStringLiteral("  Original Image Size: 128 x 128"));
    Shoot(form_.get(), QStringLiteral("main-window"));
  }

  void namePathPage() {
    Click(form_->OperationsButtons->button(1));
    Click(form_->RenameCheckBox);
    QLineEdit* name = form_->NameEdit;
    name->selectAll();
    // The space and the dot are refused.
    QTest::keyClicks(name, QStringLiteral("Holiday 2024."));
    QCOMPARE(name->text(), QStringLiteral("Holiday2024"));
    Shoot(form_.get(), QStringLiteral("page-name-path"));
  }

  void formatPage() {
    ShowPage(form_->TabSheet8);
    Click(form_->ChoiseExtButtons->button(2));
    form_->ExtTrackBar->setValue(85);
    QVERIFY(!form_->PageControl2->tabIcon(1).isNull());
    Shoot(form_.get(), QStringLiteral("page-format"));
  }

  void resizePage() {
    ShowPage(form_->TabSheet3);
    Click(form_->ResizeCheckBox);
    Click(form_->RadioButton2);
    Retype(form_->Edit4, QStringLiteral("50"));
    // The aspect rule follows the width into the height.
    QCOMPARE(form_->Edit5->text(), QStringLiteral("50"));
    QCOMPARE(form_->Label9->text() + "x" + form_->Label11->text(), QStringLiteral("64x64"));
    Shoot(form_.get(), QStringLiteral("page-resize"));
  }

  void rotatePage() {
    ShowPage(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    const tolvane::TBitmap before = form_->Image2->Picture();
    Click(form_->RotateButtons->button(int(tolvane::TRotateOption::kRotateLeft)));
    QVERIFY(form_->Image2->Picture().Pixels(0, 0) != before.Pixels(0, 0));
    Shoot(form_.get(), QStringLiteral("page-rotate"));
  }

  void cropPage() {
    ShowPage(form_->TabSheet5);
    Click(form_->CropCheckBox);
    Press(form_->LeftScrollBar, Qt::Key_PageDown);
    Press(form_->RightScrollBar, Qt::Key_PageUp, 3);
    QCOMPARE(form_->LabelCL->text(), QStringLiteral("10"));
    QCOMPARE(form_->LabelCR->text(), QStringLiteral("30"));
    QVERIFY(form_->Image2->Picture().Width() < form_->PreviewSource.Width());
    Shoot(form_.get(), QStringLiteral("page-crop"));
  }

  void canvasPage() {
    ShowPage(form_->TabSheet6);
    Click(form_->CanvasCheckBox);
    for (QSpinBox* field :
         {static_cast<QSpinBox*>(form_->TopEdit), static_cast<QSpinBox*>(form_->BottomEdit)}) {
      Retype(field, QStringLiteral("12"));
      Leave(field);
    }
    dialogs_->colour_answer = QColor(0, 0, 128);
    QTest::mouseClick(form_->CanColorBtn, Qt::LeftButton);
    QCOMPARE(form_->CanvasColor, tolvane::RGBColor(0, 0, 128));
    QVERIFY(form_->Image2->Picture().Height() > form_->PreviewSource.Height());
    Shoot(form_.get(), QStringLiteral("page-canvas"));
  }

  void adjustmentsPage() {
    ShowPage(form_->TabSheet7);
    Click(form_->AdjustmentCheckBox);
    Click(form_->SepiaCheckBox);
    QVERIFY(!form_->PageControl2->tabIcon(6).isNull());
    Shoot(form_.get(), QStringLiteral("page-adjustments"));
  }

  void exifPanel() {
    SelectOnly(form_->ImageView, kCameraRow);
    Click(form_->ViewExifCheckBox);
    QCOMPARE(form_->ExifPanel->width(), 150);
    const QString report = form_->DescriptionMemo->toPlainText();
    QVERIFY(report.startsWith(QStringLiteral(" \n-- EXIF-Data")));
    QVERIFY(report.contains(QStringLiteral("NIKON")));
    // The report's beginning, as a reader scrolls to it.
    form_->DescriptionMemo->verticalScrollBar()->setValue(0);
    Shoot(form_.get(), QStringLiteral("view-exif"));
  }

  void compareWindow() {
    ShowPage(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    Click(form_->RotateButtons->button(int(tolvane::TRotateOption::kRotateRight)));
    ShowPage(form_->TabSheet7);
    Click(form_->AdjustmentCheckBox);
    Click(form_->GrayCheckBox);
    QVERIFY(WhileModal(form_.get(), view_, QKeySequence(Qt::CTRL | Qt::Key_I), [this] {
      // Smaller than at first, which keeps the picture small; stretched, so both sides fill it.
      view_->resize(640, 400);
      QTest::keyClick(view_, Qt::Key_Insert);
      QVERIFY(view_->Stretch1->isChecked());
      QCOMPARE(SizeOf(view_->Image2->Picture()), QSize(128, 128));
      Shoot(view_, QStringLiteral("compare-window"));
    }));
  }

  void aboutBox() {
    QVERIFY(WhileModal(form_.get(), about_, QKeySequence(Qt::Key_F2), [this] {
      QCOMPARE(about_->ProductName->text(), QStringLiteral("Tolvane"));
      Shoot(about_, QStringLiteral("about-box"));
    }));
  }
};

int RunHelpScreensTests(int argc, char** argv) {
  HelpScreensTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "help_screens_test.moc"
