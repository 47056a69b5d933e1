// The main window's smaller rules, driven as a user would: the open dialog's filters, sorting,
// the list's keys and pop-up menu beside text fields, the progress bar, the list's columns.
#include <QAbstractScrollArea>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <functional>

#include "ui/Unit1.h"
#include "ui/image_list.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::TConvertorForm;
using tolvane_test::Click;
using tolvane_test::ListColumn;
using tolvane_test::RunAndWait;
using tolvane_test::ScriptedDialogs;
using tolvane_test::SelectOnly;
using tolvane_test::SizeOf;
using tolvane_test::WriteBmp;

namespace {

// The file names a Qt file dialog lists in its folder under its selected filter.
QStringList ListedFiles(QFileDialog* dialog) {
  const auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
  const QAbstractItemModel* model = view->model();
  QStringList names;
  for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
    names << model->index(row, 0, view->rootIndex()).data().toString();
  }
  names.sort();
  return names;
}

// The menu a right click on `widget` opens; null when none opens.
QMenu* MenuOpenedBy(QWidget* widget) {
  QWidget* target = widget;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) target = area->viewport();
  if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) target = spin->findChild<QLineEdit*>();
  QMenu* opened = nullptr;
  // A modal pop-up runs its own loop: look at it from inside, then close it (and any that
  // follows it, so that no loop is left waiting).
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&opened] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    if (opened == nullptr) opened = menu;
    menu->close();
  });
  closer.start(10);
  // Through the window, as the platform delivers a click, so that it becomes a menu request.
  QWindow* window = target->window()->windowHandle();
  QTest::mouseClick(window, Qt::RightButton, {}, target->mapTo(target->window(), QPoint(4, 4)));
  return QTest::qWaitFor([&opened] { return opened != nullptr; }, 500) ? opened : nullptr;
}

// Records the progress bar's range and value each time it is painted.
class PaintProbe final : public QObject {
 public:
  struct State {
    int minimum, maximum, value;
  };
  QList<State> states;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const auto* bar = static_cast<QProgressBar*>(watched);
      states << State{bar->minimum(), bar->maximum(), bar->value()};
    }
    return false;
  }
};

}  // namespace

class WindowDetailsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  void AddThroughOpenDialog(const QStringList& paths) {
    tolvane_test::AddThroughOpenDialog(*form_, *dialogs_, paths);
  }
  QStringList MakeSources(int count) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
      paths << Path(QStringLiteral("s%1.bmp").arg(i));
      WriteBmp(paths.back(), 20, 10);
    }
    return paths;
  }
  void ShowPage(QWidget* page) { tolvane_test::ShowPage(*form_, page); }
  // A picture that compresses badly, so that writing it takes a while.
  static void WriteNoise(const QString& path, int width, int height, unsigned seed) {
    tolvane::TBitmap image;
    image.CreateForOverwrite(width, height, 24);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : image.MutablePixels()) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<std::uint8_t>(state >> 24);
    }
    image.SaveToFile(QFile::encodeName(path).toStdString());
  }

  // Brings `name`'s control into view and gives it the keyboard focus.
  QWidget* Focus(const QString& name) {
    if (name == QLatin1String("NameEdit") || name == QLatin1String("SameCheckBox")) {
      ShowPage(form_->TabSheet15);
      if (!form_->RenameCheckBox->isChecked()) Click(form_->RenameCheckBox);
    } else if (name == QLatin1String("ExtTrackBar")) {
      ShowPage(form_->TabSheet8);
    } else if (name == QLatin1String("Edit1")) {
      ShowPage(form_->TabSheet3);
      if (!form_->ResizeCheckBox->isChecked()) Click(form_->ResizeCheckBox);
    } else if (name == QLatin1String("LeftScrollBar")) {
      ShowPage(form_->TabSheet5);
      if (!form_->CropCheckBox->isChecked()) Click(form_->CropCheckBox);
    } else if (name == QLatin1String("TopEdit")) {
      ShowPage(form_->TabSheet6);
      if (!form_->CanvasCheckBox->isChecked()) Click(form_->CanvasCheckBox);
    } else if (name == QLatin1String("DescriptionMemo")) {
      if (!form_->ViewExifCheckBox->isChecked()) Click(form_->ViewExifCheckBox);
      form_->DescriptionMemo->setPlainText(QStringLiteral("Make = Canon"));
    }
    QWidget* widget = name == QLatin1String("tab bar") ? form_->PageControl2->tabBar()
                                                       : form_->findChild<QWidget*>(name);
    if (widget == nullptr) return nullptr;
    widget->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    return widget;
  }

 private slots:
  void init() {
    form_ = tolvane_test::MakeWindow(dialogs_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() {
    form_.reset();
    tolvane_test::EmptyFolder(dir_.path());
  }

  // The filters the window gives the open dialog, as the platform's own dialog shows and
  // applies them: each description as written, each listing the files it names.
  void openDialogFiltersListWhatTheyName() {
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(dialogs_->open_titles, QStringList{QStringLiteral("Open Image File(s)")});
    const QStringList filters = dialogs_->open_filters.value(0);

    const QDir folder(Path(QStringLiteral("mixed")));
    QDir().mkpath(folder.path());
    const QStringList images = {"a.jpg", "b.jpeg", "c.jps", "d.bmp", "e.ico", "f.emf",
                                "g.wmf", "h.psd",  "i.png", "j.gif", "k.tif"};
    for (const QString& name : images + QStringList{"l.txt", "m.tiff", "n.jpg.txt"}) {
      QFile file(folder.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    struct Shown {
      QStringList descriptions;
      QString selected;
      QList<QStringList> files;
    } shown;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      for (int i = 0; i < types->count(); ++i) shown.descriptions << types->itemText(i);
      shown.selected = types->currentText();
      dialog->setDirectory(folder);
      for (const QString& filter : filters) {
        dialog->selectNameFilter(filter);
        // The folder is read in the background.
        if (!QTest::qWaitFor([dialog] { return !ListedFiles(dialog).isEmpty(); }, 5000)) break;
        QTest::qWait(50);
        shown.files << ListedFiles(dialog);
      }
      dialog->reject();
    });
    QVERIFY(!tolvane::MakeQtDialogs()->OpenFiles(nullptr, dialogs_->open_titles.value(0), filters));

    QCOMPARE(shown.descriptions,
             QStringList({"All Image Files (*.jpg;*.jpeg;*.jps;*.bmp;*.ico;*.emf;*.wmf;*.psd;"
                          "*.png;*.gif;*.tif)",
                          "JPEG Image File (*.jpg)", "JPEG Image File (*.jpeg)", "Bitmaps (*.bmp)",
                          "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)",
                          "PhotoShop Image File (*.psd)", "PNG Image File (*.png)",
                          "GIF - Compuserve GIF (*.gif)", "TIF - Tagged Image File Format (*.tif)",
                          "JPEG Stereo Image File (*.jps)"}));
    QCOMPARE(shown.selected, shown.descriptions.value(0));
    const QList<QStringList> expected = {images,    {"a.jpg"}, {"b.jpeg"}, {"d.bmp"},
                                         {"f.emf"}, {"g.wmf"}, {"h.psd"},  {"i.png"},
                                         {"j.gif"}, {"k.tif"}, {"c.jps"}};
    QCOMPARE(shown.files, expected);
  }

  // Sorting moves rows, not the selection: the entry stays selected and current, its preview
  // and resize settings stay, and Del removes it.
  void sortingKeepsTheSelectedEntry() {
    const QStringList paths = {Path("b.bmp"), Path("a.bmp"), Path("c.bmp")};
    WriteBmp(paths[0], 30, 20);
    WriteBmp(paths[1], 60, 40);
    WriteBmp(paths[2], 90, 60);
    AddThroughOpenDialog(paths);
    QTreeWidget* list = form_->ImageView;
    SelectOnly(list, 1);
    ShowPage(form_->TabSheet3);
    Click(form_->ResizeCheckBox);
    QVERIFY(form_->ResizeCheckBox->isChecked());

    tolvane_test::ClickHeader(form_->ImageView, 1);
    QCOMPARE(ListColumn(list, 1), QStringList({"c.bmp", "b.bmp", "a.bmp"}));
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->selectedItems().front()->text(1), QStringLiteral("a.bmp"));
    QCOMPARE(list->currentItem()->text(1), QStringLiteral("a.bmp"));
    QCOMPARE(form_->Panel4->text(), QStringLiteral("  Original Image Size: 60 x 40"));
    QCOMPARE(form_->Image1->Picture().Width(), 60);
    QVERIFY(form_->ResizeCheckBox->isChecked());

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(ListColumn(list, 1), QStringList({"c.bmp", "b.bmp"}));
  }

  // Del and Ctrl+A act on the list wherever the focus is, except in the text and number fields
  // and the EXIF memo, which keep their own editing and their own edit menu.
  void delAndCtrlAActOnTheListOutsideTextFields_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("text_field");
    for (const char* name : {"ImageView", "ViewExifCheckBox", "SameCheckBox", "tab bar",
                             "ExtTrackBar", "LeftScrollBar"}) {
      QTest::newRow(name) << QString::fromLatin1(name) << false;
    }
    for (const char* name : {"NameEdit", "Edit1", "TopEdit", "DescriptionMemo"}) {
      QTest::newRow(name) << QString::fromLatin1(name) << true;
    }
  }
  void delAndCtrlAActOnTheListOutsideTextFields() {
    QFETCH(QString, control);
    QFETCH(bool, text_field);
    AddThroughOpenDialog(MakeSources(3));
    QWidget* widget = Focus(control);
    QVERIFY(widget != nullptr);
    QCOMPARE(
        QApplication::focusWidget() == widget || widget->isAncestorOf(QApplication::focusWidget()),
        true);

    const QString before = form_->NameEdit->text();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(form_->ImageView->topLevelItemCount(), text_field ? 3 : 2);
    if (control == QLatin1String("NameEdit")) QCOMPARE(form_->NameEdit->text(), before.mid(1));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(form_->ImageView->topLevelItemCount(), text_field ? 3 : 0);
    if (control == QLatin1String("DescriptionMemo")) {
      QCOMPARE(form_->DescriptionMemo->textCursor().selectedText(), QStringLiteral("Make = Canon"));
    }
    if (control == QLatin1String("NameEdit")) QVERIFY(form_->NameEdit->hasSelectedText());

    if (!text_field) return;  // the emptied list took the control's page away
    QMenu* menu = MenuOpenedBy(widget);
    QVERIFY(menu != nullptr);
    QVERIFY(menu != form_->PopupMenu1);
  }

  // A right click opens the pop-up menu wherever no text field is under the mouse.
  void rightClickOutsideTextFieldsOpensThePopUpMenu() {
    AddThroughOpenDialog(MakeSources(1));
    for (const char* name : {"ImageView", "ViewExifCheckBox", "SameCheckBox", "tab bar",
                             "ExtTrackBar", "LeftScrollBar", "Panel4", "ToolBar1"}) {
      QWidget* widget = Focus(QString::fromLatin1(name));
      QVERIFY2(widget != nullptr, name);
      QCOMPARE(MenuOpenedBy(widget), form_->PopupMenu1);
    }
  }

  // Qt draws an empty range as a busy animation; one file must fill a bar as the last file of
  // a longer run does.
  void aOneFileRunFillsTheProgressBar() {
    AddThroughOpenDialog(MakeSources(1));
    tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
    PaintProbe probe;
    form_->ProgressBar1->installEventFilter(&probe);
    RunAndWait(*form_);
    QVERIFY(QFileInfo::exists(Path("out/s0.bmp")));
    QVERIFY(!probe.states.isEmpty());
    for (const PaintProbe::State& state : probe.states) QVERIFY(state.maximum > state.minimum);
    QCOMPARE(probe.states.back().value, probe.states.back().maximum);
    QVERIFY(!form_->ProgressBar1->isVisible());
    QCOMPARE(form_->ProgressBar1->value(), 0);
  }

  // The run works beside the window: while large files are encoded the window keeps taking
  // events, and a Cancel stops the run once the current file is written.
  void theWindowAnswersWhileALargeFileIsWritten() {
    QStringList sources;
    for (int i = 0; i < 3; ++i) {
      sources << Path(QStringLiteral("big%1.bmp").arg(i));
      WriteNoise(sources.back(), 3000, 2000, i);
    }
    AddThroughOpenDialog(sources);
    tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
    Click(form_->ChoiseExtButtons->button(3));  // PNG
    form_->PNGTrackBar->setValue(9);
    // The window's timer keeps firing during the run; three ticks after the second file has
    // become the current one, Cancel is pressed.
    int ticks = 0, ticks_on_second = 0;
    bool cancel_taken = false;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, form_.get(), [&] {
      if (!form_->Converting) return;
      ++ticks;
      form_->repaint();
      if (form_->ProgressBar1->value() == 1 && ++ticks_on_second == 3) {
        QTest::keyClick(form_.get(), Qt::Key_F6);
        cancel_taken = form_->CancelRequested();
      }
    });
    ticker.start(5);
    RunAndWait(*form_);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QVERIFY(cancel_taken);
    // The current file is finished; nothing after it is written.
    QVERIFY(QFileInfo::exists(Path("out/big0.png")));
    QVERIFY(QFileInfo::exists(Path("out/big1.png")));
    QVERIFY(!QFileInfo::exists(Path("out/big2.png")));
    QVERIFY(!form_->Converting);
  }

  // A reduced source preview keeps lines one pixel wide: gnuplot's plot frame stays visible.
  void theReducedSourcePreviewKeepsThinLines() {
    AddThroughOpenDialog({QStringLiteral(TOLVANE_TEST_DATA "/metafile/gnuplot_plot.emf")});
    tolvane::PictureBox* box = form_->Image1;
    QCOMPARE(SizeOf(box->Picture()), QSize(321, 245));
    const QImage shown = box->grab().toImage();
    const QRect rect = box->PictureRect();
    const auto at = [&](int x, int y) {  // darkest shown pixel near a picture pixel
      const int sx = rect.x() + x * rect.width() / 321, sy = rect.y() + y * rect.height() / 245;
      int darkest = 255;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          darkest = std::min(darkest, qGray(shown.pixel(sx + dx, sy + dy)));
        }
      }
      return darkest;
    };
    // The frame's sides lie on columns 63 and 290 and rows 21 and 197 of the picture.
    for (int y = 30; y <= 190; y += 8) {
      QVERIFY2(at(63, y) < 160 && at(290, y) < 160, qPrintable(QString::number(y)));
    }
    for (int x = 70; x <= 285; x += 8) {
      QVERIFY2(at(x, 21) < 160 && at(x, 197) < 160, qPrintable(QString::number(x)));
    }
  }

  void listColumnsKeepTheirMinimumWidths() {
    QHeaderView* header = form_->ImageView->header();
    QCOMPARE(header->sectionSize(1), 98);
    for (int column = 1; column <= 3; ++column) header->resizeSection(column, 2);
    QCOMPARE(header->sectionSize(1), 10);
    QCOMPARE(header->sectionSize(2), 80);
    QCOMPARE(header->sectionSize(3), 10);
  }

  void selectFolderCarriesAPicture() { QVERIFY(!form_->SelectBtn->icon().isNull()); }

  // The worked examples: thousandths of a MB with halves to even, and a date without its time
  // at exactly midnight, seconds cut to even.
  void sizeAndDateColumnsFollowTheWorkedExamples() {
    const QChar point = QLocale::system().decimalPoint().front();
    const struct {
      qint64 bytes;
      QString shown;
    } sizes[] = {{1048576, "1"},
                 {524288, QStringLiteral("0.5").replace('.', point)},
                 {1500000, QStringLiteral("1.431").replace('.', point)},
                 {524, "0"},
                 {525, QStringLiteral("0.001").replace('.', point)}};
    for (const auto& size : sizes) {
      QFile file(Path("sized"));
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      QVERIFY(file.resize(size.bytes));
      file.close();
      QCOMPARE(tolvane::FileSizeText(Path("sized")), size.shown);
    }
    QCOMPARE(tolvane::FileSizeText(Path("missing")), QStringLiteral("0"));

    const QLocale locale = QLocale::system();
    const QDate day(2024, 3, 5);
    const auto touched = [this](const QString& name, QTime time) {
      WriteBmp(Path(name), 2, 2);
      QFile file(Path(name));
      file.open(QIODevice::ReadWrite);
      file.setFileTime(QDateTime(QDate(2024, 3, 5), time), QFileDevice::FileModificationTime);
      return Path(name);
    };
    AddThroughOpenDialog({touched("noon.bmp", QTime(13, 7, 9)),
                          touched("midnight.bmp", QTime(0, 0, 1)), Path("gone.bmp")});
    QCOMPARE(tolvane::FileDateTime(Path("noon.bmp")), QDateTime(day, QTime(13, 7, 8)));
    const QStringList dates = ListColumn(form_->ImageView, 3);
    QVERIFY2(dates[0].startsWith(locale.toString(day, QLocale::ShortFormat) + ' ') &&
                 dates[0].contains(QStringLiteral("07:08")),
             qPrintable(dates[0]));
    QCOMPARE(dates[1], locale.toString(day, QLocale::ShortFormat));
    QCOMPARE(dates[2], locale.toString(QDate(1899, 12, 30), QLocale::ShortFormat));
    QCOMPARE(ListColumn(form_->ImageView, 2).value(2), QStringLiteral("0"));
  }
};

int RunWindowDetailsTests(int argc, char** argv) {
  WindowDetailsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_details_test.moc"
