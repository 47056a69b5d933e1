// The Name&Path, Format, Rotate and Adjustments pages, the EXIF panel, help and the about box,
// and a run with every page set from the window.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <functional>

#include "ui/About.h"
#include "ui/Unit1.h"
#include "ui/canvas_field.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::TAboutBox;
using tolvane::TConvertorForm;
using tolvane_test::Click;
using tolvane_test::Press;
using tolvane_test::Retype;
using tolvane_test::RunAndWait;
using tolvane_test::ScriptedDialogs;
using tolvane_test::WriteBmp;

namespace {

const QString kNoReaderWarning = QStringLiteral(
    "Sorry, but there is no Adobe Acrobat or Adobe Acrobat Reader is installed on your system.");

QColor PixelOf(const tolvane::TBitmap& picture, int x, int y) {
  const tolvane::TColor c = picture.Pixels(x, y);
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Drags the splitter's handle sideways by `dx` pixels, as a user would.
void DragHandle(QSplitter* splitter, int dx) {
  QWidget* handle = splitter->handle(1);
  const QPoint start = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, start);
  QTest::mouseMove(handle, start + QPoint(dx / 2, 0));
  QTest::mouseMove(handle, start + QPoint(dx, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, start + QPoint(dx, 0));
}

}  // namespace

class SettingsPagesTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;
  TAboutBox* about_ = nullptr;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  void AddFiles(const QStringList& paths) {
    dialogs_->open_answers.push_back(paths);
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  }
  void AddImage() {
    WriteBmp(Path("red.bmp"), 100, 50);
    AddFiles({Path("red.bmp")});
  }
  void ShowPage(QWidget* page) { tolvane_test::ShowPage(*form_, page); }
  bool Marked(QWidget* page) const {
    return !form_->PageControl2->tabIcon(form_->PageControl2->indexOf(page)).isNull();
  }
  int ExifWidth() const { return form_->Splitter1->sizes().at(1); }
  QColor PreviewPixel() const { return PixelOf(form_->Image2->Picture(), 10, 10); }

 private slots:
  void init() {
    form_ = tolvane_test::MakeWindow(dialogs_);
    about_ = new TAboutBox(form_.get());
    form_->SetSecondaryWindows(about_, nullptr);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() {
    form_.reset();
    tolvane_test::EmptyFolder(dir_.path());
  }

  // ------------------------------------------------------------ Name&Path

  void simpleOperationsDisableTheLaterPages() {
    AddImage();
    const QList<QWidget*> controls = {form_->ChoiseExtButtons->button(2),
                                      form_->ResizeCheckBox,
                                      form_->RotateCheckBox,
                                      form_->CropCheckBox,
                                      form_->CanvasCheckBox,
                                      form_->AdjustmentCheckBox};
    for (int operation : {3, 1, 2, 0}) {
      Click(form_->OperationsButtons->button(operation));
      const bool converts = operation < 2;
      for (QWidget* control : controls) {
        QVERIFY2(control->isEnabled() == converts, qPrintable(control->objectName()));
      }
      QVERIFY(form_->TabSheet15->isEnabled());
    }
    // A disabled page can still be brought to front.
    Click(form_->OperationsButtons->button(3));
    form_->PageControl2->setCurrentWidget(form_->TabSheet7);
    QCOMPARE(form_->PageControl2->currentWidget(), form_->TabSheet7);
  }

  void sameFolderAndRenameOnlyEnableTheirControls() {
    AddImage();
    const QString chosen = tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
    const std::string target = form_->TargetFolder;
    Click(form_->SameCheckBox);
    QVERIFY(!form_->SelectBtn->isEnabled());
    QVERIFY(!form_->SelectLabel->isEnabled());
    QCOMPARE(form_->SelectLabel->text(), chosen + "/");
    QCOMPARE(form_->TargetFolder, target);
    Click(form_->SameCheckBox);
    QVERIFY(form_->SelectBtn->isEnabled() && form_->SelectLabel->isEnabled());

    QCOMPARE(form_->NameEdit->text(), QStringLiteral("Image"));
    Click(form_->RenameCheckBox);
    QVERIFY(form_->NameEdit->isEnabled());
    Retype(form_->NameEdit, "Trip?&");
    QCOMPARE(form_->NameEdit->text(), QStringLiteral("Trip?&"));
    Click(form_->RenameCheckBox);
    QVERIFY(!form_->NameEdit->isEnabled());
    QCOMPARE(form_->NameEdit->text(), QStringLiteral("Trip?&"));
  }

  void theFolderDialogSetsTheTargetFolder_data() {
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("expected");  // empty: unchanged
    QTest::newRow("a folder") << std::optional<QString>(Path("chosen")) << Path("chosen") + "/";
    QTest::newRow("the root") << std::optional<QString>("/") << QStringLiteral("/");
    QTest::newRow("cancelled") << std::optional<QString>() << QString();
  }
  void theFolderDialogSetsTheTargetFolder() {
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, expected);
    AddImage();
    ShowPage(form_->TabSheet15);
    const QString before = QString::fromStdString(form_->TargetFolder);
    dialogs_->folder_answer = answer;
    Click(form_->SelectBtn);
    const QString after = expected.isEmpty() ? before : expected;
    QCOMPARE(QString::fromStdString(form_->TargetFolder), after);
    QCOMPARE(form_->SelectLabel->text(), after);
    QCOMPARE(dialogs_->folder_titles,
             QStringList{QStringLiteral("Select or Create Folder to Save Image(s)")});
    QCOMPARE(dialogs_->folder_starts, QStringList{before});
  }

  void theFolderDialogStartsWithoutAMissingFolder() {
    AddImage();
    ShowPage(form_->TabSheet15);
    dialogs_->folder_answer = Path("gone");
    QDir().mkpath(Path("gone"));
    Click(form_->SelectBtn);
    QDir(Path("gone")).removeRecursively();
    Click(form_->SelectBtn);
    QCOMPARE(dialogs_->folder_starts.size(), 2);
    QCOMPARE(dialogs_->folder_starts.at(1), QString());
  }

  // ------------------------------------------------------------ Format

  void theFormatTabIsMarkedForEveryChoiceButTheFirst() {
    AddImage();
    ShowPage(form_->TabSheet8);
    for (int choice : {2, 1, 3, 4, 5, 6, 0}) {
      Click(form_->ChoiseExtButtons->button(choice));
      QCOMPARE(Marked(form_->TabSheet8), choice != 0);
      QVERIFY(form_->JPEGGroupBox->isEnabled() && form_->PNGGroupBox->isEnabled());
    }
  }

  void trackBarsShowTheirValueWhileDragged_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("initial");
    QTest::newRow("JPEG quality") << "ExtTrackBar" << 1 << 100 << 100;
    QTest::newRow("PNG level") << "PNGTrackBar" << 0 << 9 << 6;
  }
  void trackBarsShowTheirValueWhileDragged() {
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, initial);
    AddImage();
    ShowPage(form_->TabSheet8);
    auto* bar = form_->findChild<QSlider*>(name);
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->minimum(), minimum);
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), initial);
    QCOMPARE(bar->singleStep(), 1);
    QCOMPARE(bar->tickPosition(), QSlider::TicksBothSides);
    QCOMPARE(bar->tickInterval(), maximum - minimum);  // ticks at the two ends only

    // Grab the thumb at the left end (Home), then drag it to the middle.
    bar->setFocus();
    Press(bar, Qt::Key_Home);
    const QPoint thumb(bar->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, bar) / 2,
                       bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
    QVERIFY(bar->isSliderDown());
    QTest::mouseMove(bar, QPoint(bar->width() / 2, thumb.y()));
    QVERIFY(bar->value() > minimum && bar->value() < maximum);
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QString::number(bar->value()));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, thumb.y()));
    QVERIFY(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
  }

  // ------------------------------------------------------------ Adjustments

  void adjustmentsRedrawThePreviewAndClearingResetsIt() {
    AddImage();
    const QColor red(200, 40, 40);
    QCOMPARE(PreviewPixel(), red);
    ShowPage(form_->TabSheet7);
    Click(form_->AdjustmentCheckBox);
    QVERIFY(form_->AdjustmentPanel->isVisible());
    QVERIFY(Marked(form_->TabSheet7));
    QCOMPARE(PreviewPixel(), red);
    Click(form_->InvertCheckBox);
    QCOMPARE(PreviewPixel(), QColor(55, 215, 215));
    Click(form_->InvertCheckBox);
    Click(form_->GrayCheckBox);
    QCOMPARE(PreviewPixel(), QColor(93, 93, 93));  // the mean of the channels
    // Invert runs before Gray Scale whatever the order of the clicks: 161, not 255 - 93.
    Click(form_->InvertCheckBox);
    QCOMPARE(PreviewPixel(), QColor(161, 161, 161));
    Click(form_->AdjustmentCheckBox);
    QVERIFY(!form_->AdjustmentPanel->isVisible());
    QVERIFY(!Marked(form_->TabSheet7));
    for (QCheckBox* box :
         {form_->InvertCheckBox, form_->NightCheckBox, form_->GrayCheckBox, form_->SepiaCheckBox}) {
      QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    }
    QCOMPARE(PreviewPixel(), red);
  }

  // ------------------------------------------------------------ EXIF panel

  void viewExifSetsThePanelWidth() {
    AddImage();
    QCOMPARE(ExifWidth(), 1);
    Click(form_->ViewExifCheckBox);
    QCOMPARE(ExifWidth(), 150);
    Click(form_->ViewExifCheckBox);
    QCOMPARE(ExifWidth(), 1);
  }

  void draggingTheSplitterShowsThePanel() {
    AddImage();
    DragHandle(form_->Splitter1, -60);
    QVERIFY(form_->ViewExifCheckBox->isChecked());
    QCOMPARE(ExifWidth(), 150);
    // Once shown, the panel keeps the width it is dragged to.
    DragHandle(form_->Splitter1, -40);
    QVERIFY(form_->ViewExifCheckBox->isChecked());
    QVERIFY2(ExifWidth() > 150, qPrintable(QString::number(ExifWidth())));
  }

  void draggingTheSplitterOfAnEmptyListKeepsThePanelClosed() {
    DragHandle(form_->Splitter1, -60);
    QVERIFY(!form_->ViewExifCheckBox->isChecked());
    QCOMPARE(ExifWidth(), 1);
  }

  // ------------------------------------------------------------ Help and About

  void helpOpensTheDocumentBesideTheProgram_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("associated");
    QTest::addColumn<bool>("warned");
    QTest::newRow("opened") << true << true << false;
    QTest::newRow("no application") << true << false << true;
    QTest::newRow("no document") << false << false << false;
  }
  void helpOpensTheDocumentBesideTheProgram() {
    QFETCH(bool, present);
    QFETCH(bool, associated);
    QFETCH(bool, warned);
    const QString document = QCoreApplication::applicationDirPath() + "/Tolvane_help.pdf";
    QFile file(document);
    const bool made_here = present && !file.exists();
    if (made_here) QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    if (!present && file.exists()) QSKIP("a help document lies beside the test program");
    dialogs_->open_answer = associated;

    QTest::keyClick(form_.get(), Qt::Key_F1);
    if (made_here) QFile::remove(document);
    QCOMPARE(dialogs_->opened,
             present ? QList<QUrl>{QUrl::fromLocalFile(document)} : QList<QUrl>());
    if (warned) {
      QCOMPARE(dialogs_->messages, QStringList{kNoReaderWarning});
      QCOMPARE(dialogs_->captions, QStringList{"Warning"});
      QCOMPARE(dialogs_->icons, QList<QMessageBox::Icon>{QMessageBox::Warning});
    } else {
      QVERIFY(dialogs_->messages.isEmpty());
    }
  }

  void theAboutBoxShowsModallyAndClosesWithEnter() {
    bool closed_by_enter = false;
    QVERIFY(tolvane_test::WhileModal(form_.get(), about_, QKeySequence(Qt::Key_F2), [&] {
      QVERIFY(about_->isModal());
      QCOMPARE(about_->windowTitle(), QStringLiteral("About"));
      QCOMPARE(about_->size(), QSize(298, 190));
      QVERIFY(about_->OKButton->isDefault());
      QCOMPARE(about_->ProductName->text(), QStringLiteral("Tolvane"));
      QCOMPARE(about_->Version->text(), QStringLiteral("Version 1.0"));
      QCOMPARE(about_->ProgramIcon->size(), QSize(109, 91));
      QTest::keyClick(about_->OKButton, Qt::Key_Return);
      closed_by_enter = !about_->isVisible();
    }));
    QVERIFY(closed_by_enter);
    QCOMPARE(about_->result(), int(QDialog::Accepted));
  }

  // ------------------------------------------------------------ a run with every page set

  // Two 100 x 50 sources: 20 red columns on the left, the rest green. Every page is set:
  // renamed PNG outputs in a chosen folder; gray scale; flipped horizontally (the red moves
  // right); 10 columns cut on the left; a 10-column blue border on the left; resized to 40
  // wide keeping the aspect ratio.
  void aRunWithEveryPageSetWritesTheExpectedFiles() {
    QImage source(100, 50, QImage::Format_RGB32);
    source.fill(QColor(0, 160, 0));
    QPainter(&source).fillRect(0, 0, 20, 50, QColor(200, 0, 0));
    QStringList paths;
    for (const char* name : {"a.bmp", "b.bmp"}) {
      QVERIFY(source.save(Path(name), "BMP"));
      paths << Path(name);
    }
    AddFiles(paths);

    const QString out = tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
    Click(form_->RenameCheckBox);
    Retype(form_->NameEdit, "Trip");
    ShowPage(form_->TabSheet8);
    Click(form_->ChoiseExtButtons->button(3));  // PNG
    form_->PNGTrackBar->setFocus();
    Press(form_->PNGTrackBar, Qt::Key_End);
    ShowPage(form_->TabSheet3);
    Click(form_->ResizeCheckBox);
    Retype(form_->Edit1, "40");
    ShowPage(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    Click(form_->RotateButtons->button(3));  // Flip Horizontally
    ShowPage(form_->TabSheet5);
    Click(form_->CropCheckBox);
    Press(form_->LeftScrollBar, Qt::Key_PageDown);
    QCOMPARE(form_->LabelCL->text(), QStringLiteral("10"));
    ShowPage(form_->TabSheet6);
    Click(form_->CanvasCheckBox);
    dialogs_->colour_answer = QColor(0, 0, 255);
    QTest::mouseClick(form_->CanColorBtn, Qt::LeftButton);
    Retype(form_->LeftEdit, "10");
    ShowPage(form_->TabSheet7);
    Click(form_->AdjustmentCheckBox);
    Click(form_->GrayCheckBox);

    RunAndWait(*form_);
    QVERIFY2(dialogs_->messages.isEmpty(), qPrintable(dialogs_->messages.join('|')));
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList({"Trip1.png", "Trip2.png"}));
    for (const char* name : {"Trip1.png", "Trip2.png"}) {
      const QImage written(out + "/" + name);
      QCOMPARE(written.size(), QSize(40, 20));
      // Gray is the mean of the three channels.
      QCOMPARE(written.pixelColor(0, 10), QColor(0, 0, 255));
      QCOMPARE(written.pixelColor(16, 10), QColor(53, 53, 53));
      QCOMPARE(written.pixelColor(39, 10), QColor(66, 66, 66));
    }
    QVERIFY(QFileInfo::exists(paths[0]) && QFileInfo::exists(paths[1]));
  }
};

int RunSettingsPagesTests(int argc, char** argv) {
  SettingsPagesTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "settings_pages_test.moc"
