// The main window driven as a user would: keys, clicks and scripted dialogs.
#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <deque>
#include <functional>

#include "imaging/tbitmap.h"
#include "ui/Unit1.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::Command;
using tolvane::TConvertorForm;
using tolvane_test::Click;
using tolvane_test::ListColumn;
using tolvane_test::RunAndWait;
using tolvane_test::ScriptedDialogs;
using tolvane_test::SelectOnly;
using tolvane_test::WriteBmp;

class UiTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;

  QAction* Action(Command command) const { return form_->Commands()[command]; }
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // Source files in a fresh folder, and an output folder chosen through "Select Folder".
  QStringList MakeSources(const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) {
      WriteBmp(Path(name), 100, 50);
      paths << Path(name);
    }
    return paths;
  }
  void AddThroughOpenDialog(const QStringList& paths) {
    tolvane_test::AddThroughOpenDialog(*form_, *dialogs_, paths);
  }
  QString ChooseOutputFolder() {
    return tolvane_test::ChooseOutputFolder(*form_, *dialogs_, Path("out"));
  }
  void ShowPage(QWidget* page) { tolvane_test::ShowPage(*form_, page); }
  // Runs `probe` whenever the run moves its progress bar.
  void OnProgress(std::function<void(int)> probe) {
    connect(form_->ProgressBar1, &QProgressBar::valueChanged, form_.get(), probe);
  }
  void ExpectReadyAfterRun() {
    QVERIFY(!form_->Converting);
    QVERIFY(!form_->ProgressBar1->isVisible());
    QVERIFY(Action(Command::kRun)->isEnabled());
    QVERIFY(!Action(Command::kCancel)->isEnabled());
    QVERIFY(Action(Command::kOpen)->isEnabled());
    QVERIFY(form_->PageControl2->isVisible());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

 private slots:
  void init() {
    form_ = tolvane_test::MakeWindow(dialogs_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->activateWindow();
  }
  void cleanup() {
    form_.reset();
    tolvane_test::EmptyFolder(dir_.path());
  }

  void startsEmptyWithTheDesignDefaults() {
    QCOMPARE(form_->ImageView->topLevelItemCount(), 0);
    QVERIFY(!form_->PageControl2->isVisible());
    QVERIFY(!form_->PageControl2->isEnabled());
    QVERIFY(!Action(Command::kRun)->isEnabled());
    QVERIFY(!Action(Command::kCancel)->isEnabled());
    QVERIFY(QString::fromStdString(form_->TargetFolder).endsWith('/'));
    QCOMPARE(form_->SelectLabel->text(), QString::fromStdString(form_->TargetFolder));
    QCOMPARE(form_->ExtTrackBar->value(), 100);
    QCOMPARE(form_->PNGTrackBar->value(), 6);
    QCOMPARE(form_->Panel1->text(), QStringLiteral("No Image(s)"));
    QCOMPARE(form_->PagePanel->text(), QStringLiteral("Open Image(s) for Converted"));
    QCOMPARE(form_->Label9->text(), QStringLiteral("0"));
    QCOMPARE(form_->Edit4->text(), QStringLiteral("100"));
    QVERIFY(form_->CheckBox1->isChecked());
    QCOMPARE(form_->OperationsButtons->checkedId(), 0);
    QCOMPARE(form_->PageControl2->count(), 7);
    QCOMPARE(form_->PageControl2->tabText(0), QStringLiteral("Name&&Path"));
    QVERIFY(form_->centralWidget()->size() == QSize(790, 539));
    QCOMPARE(form_->Panel4->x(), 0);  // the status line sits at the left
  }

  void featureBoxesCannotBeCheckedWithAnEmptyList() {
    for (QCheckBox* box :
         {form_->RotateCheckBox, form_->CropCheckBox, form_->CanvasCheckBox,
          form_->AdjustmentCheckBox, form_->ResizeCheckBox, form_->ViewExifCheckBox}) {
      box->setChecked(true);
      QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    }
  }

  void addingFilesNumbersThemAndSelectsTheLast() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp"}));
    QCOMPARE(ListColumn(form_->ImageView, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(ListColumn(form_->ImageView, 1), QStringList({"a.bmp", "b.bmp", "c.bmp"}));
    QCOMPARE(form_->ImageView->selectedItems().size(), 1);
    QCOMPARE(form_->ImageView->selectedItems().front()->text(1), QStringLiteral("c.bmp"));
    QVERIFY(form_->PageControl2->isVisible());
    QVERIFY(form_->PageControl2->isEnabled());
    QVERIFY(Action(Command::kRun)->isEnabled());
    QVERIFY(!Action(Command::kCancel)->isEnabled());
    QCOMPARE(form_->Panel4->text(), QStringLiteral("  Original Image Size: 100 x 50"));
    QCOMPARE(form_->Label9->text(), QStringLiteral("100"));
    QCOMPARE(form_->Image1->Picture().Width(), 100);
    // 100 x 50 stays unstretched in the source preview; its reduced copy is 402 x 201.
    QCOMPARE(form_->Image1->PictureRect().size(), QSize(100, 50));
    QCOMPARE(form_->PreviewSource.Width(), 402);
    QCOMPARE(form_->PreviewSource.Height(), 201);
  }

  void previewsShowTheFileAndItsReducedCopy_data() {
    QTest::addColumn<QSize>("file");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QSize>("reduced");
    QTest::newRow("small and wide") << QSize(100, 50) << QSize(100, 50) << QSize(402, 201);
    QTest::newRow("tiny") << QSize(40, 40) << QSize(40, 40) << QSize(40, 40);
    QTest::newRow("large and wide") << QSize(1000, 500) << QSize(268, 134) << QSize(402, 201);
  }
  void previewsShowTheFileAndItsReducedCopy() {
    QFETCH(QSize, file);
    QFETCH(QSize, shown);
    QFETCH(QSize, reduced);
    WriteBmp(Path("p.bmp"), file.width(), file.height());
    AddThroughOpenDialog({Path("p.bmp")});
    QCOMPARE(form_->Image1->PictureRect().size(), shown);
    QCOMPARE(QSize(form_->PreviewSource.Width(), form_->PreviewSource.Height()), reduced);
    QCOMPARE(form_->AspectRatio, double(file.width()) / file.height());
  }

  void theProcessedPreviewFollowsTheRotateSettings() {
    AddThroughOpenDialog(MakeSources({"a.bmp"}));
    const auto processed = [this] {
      return QSize(form_->Image2->Picture().Width(), form_->Image2->Picture().Height());
    };
    QCOMPARE(processed(), QSize(402, 201));
    ShowPage(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    QVERIFY(form_->Panel13->isVisible());
    QCOMPARE(form_->RotateButtons->checkedId(), 4);  // "Cancel Rotate": nothing changes yet
    QCOMPARE(processed(), QSize(402, 201));
    Click(form_->RotateButtons->button(1));
    QCOMPARE(processed(), QSize(201, 402));
    Click(form_->RotateCheckBox);
    QCOMPARE(form_->RotateButtons->checkedId(), 4);
    QCOMPARE(processed(), QSize(402, 201));
    QVERIFY(form_->PageControl2->tabIcon(3).isNull());
  }

  void aFileThatCannotBeDecodedShowsTheMessage() {
    QFile ico(Path("icon.ico"));
    QVERIFY(ico.open(QIODevice::WriteOnly));
    ico.write("not an image");
    ico.close();
    AddThroughOpenDialog({Path("icon.ico")});
    QCOMPARE(form_->ImageView->topLevelItemCount(), 1);
    QCOMPARE(form_->Image1->MessageText(), QStringLiteral("Cannot read file!"));
    QCOMPARE(form_->Image1->Picture().Width(), 268);
  }

  void cancellingTheOpenDialogReselectsTheLastEntry() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp"}));
    SelectOnly(form_->ImageView, 0);
    form_->PageControl2->setCurrentIndex(3);
    dialogs_->open_answers.push_back(std::nullopt);
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(form_->ImageView->selectedItems().front()->text(1), QStringLiteral("b.bmp"));
    QCOMPARE(form_->PageControl2->currentIndex(), 0);
  }

  void ctrlAClearsTheListWithoutAsking() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp"}));
    form_->ImageView->setFocus();
    QTest::keyClick(form_->ImageView, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(form_->ImageView->topLevelItemCount(), 0);
    QVERIFY(dialogs_->messages.isEmpty());
    QVERIFY(!form_->PageControl2->isVisible());
    QVERIFY(!Action(Command::kRun)->isEnabled());
    QCOMPARE(form_->Panel1->text(), QStringLiteral("No Image(s)"));
    QVERIFY(form_->Panel4->text().isEmpty());
    QVERIFY(form_->Image1->Picture().Empty());
  }

  // The window's one metadata holder: filled by the preview, carried by the run into JPEG outputs.
  void jpegPreviewReportsItsExifAndTheRunCarriesIt() {
    const QString source = Path("camera.jpg");
    QVERIFY(QFile::copy(QStringLiteral(TOLVANE_TEST_DATA "/jpeg/FujiFilm.jpg"), source));
    AddThroughOpenDialog({source});
    QVERIFY(form_->DescriptionMemo->toPlainText().contains(QStringLiteral("FUJIFILM")));
    const QString out = ChooseOutputFolder();
    RunAndWait(*form_);
    QFile written(out + QStringLiteral("/camera.jpg"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    QCOMPARE(bytes.mid(2, 2), QByteArray("\xFF\xE1", 2));
    QCOMPARE(bytes.mid(6, 6), QByteArray("Exif\0\0", 6));
    QVERIFY(bytes.contains("FUJIFILM"));
  }

  void disabledCommandsCannotBeReachedByTheirShortcuts() {
    AddThroughOpenDialog(MakeSources({"a.bmp"}));
    QSignalSpy cancel(Action(Command::kCancel), &QAction::triggered);
    QTest::keyClick(form_.get(), Qt::Key_F6);
    QCOMPARE(cancel.count(), 0);
    QVERIFY(!form_->CancelRequested());
    // And an empty list leaves Run unreachable too.
    QTest::keyClick(form_.get(), Qt::Key_A, Qt::ControlModifier);
    QSignalSpy run(Action(Command::kRun), &QAction::triggered);
    RunAndWait(*form_);
    QCOMPARE(run.count(), 0);
  }

  void deleteRemovesTheSelectionAndSelectsTheNextEntry() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"}));
    QTreeWidget* list = form_->ImageView;
    list->clearSelection();
    for (int i : {1, 2, 3}) list->topLevelItem(i)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(ListColumn(list, 1), QStringList({"a.bmp", "e.bmp"}));
    QCOMPARE(list->selectedItems().size(), 1);
    QCOMPARE(list->selectedItems().front()->text(1), QStringLiteral("e.bmp"));

    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->topLevelItemCount(), 2);
  }

  void numbersAreNeverReassigned() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp"}));
    SelectOnly(form_->ImageView, 0);
    QTest::keyClick(form_->ImageView, Qt::Key_Delete);
    AddThroughOpenDialog({Path("a.bmp")});
    QCOMPARE(ListColumn(form_->ImageView, 0), QStringList({"2", "3", "3"}));
  }

  void eachHeaderClickReversesTheOneSortDirection() {
    AddThroughOpenDialog(MakeSources({"b.bmp", "a.bmp", "c.bmp"}));
    QHeaderView* header = form_->ImageView->header();
    const auto click = [this](int section) {
      tolvane_test::ClickHeader(form_->ImageView, section);
    };
    click(1);
    QCOMPARE(ListColumn(form_->ImageView, 1), QStringList({"c.bmp", "b.bmp", "a.bmp"}));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(0);
    QCOMPARE(ListColumn(form_->ImageView, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // Adding removes the marks but keeps the direction.
    AddThroughOpenDialog({Path("a.bmp")});
    QVERIFY(!header->isSortIndicatorShown());
    QCOMPARE(form_->SortDirection, 1);
  }

  void dropsTakeOnlyListedExtensions() {
    const QStringList sources = MakeSources({"upper.TIF", "x.tiff", "y.bmp", "notes.txt"});
    QDir().mkpath(Path("folder.bmp"));
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : sources) urls << QUrl::fromLocalFile(path);
    urls << QUrl::fromLocalFile(Path("folder.bmp"));
    mime.setUrls(urls);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // A drop arrives after the drag entered the window.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_.get(), &enter);
    QCoreApplication::sendEvent(form_.get(), &drop);
    QCOMPARE(ListColumn(form_->ImageView, 1), QStringList({"upper.TIF", "y.bmp"}));
    QVERIFY(Action(Command::kRun)->isEnabled());
  }

  void filesOnTheCommandLineJoinTheListByTheDropRule() {
    MakeSources({"upper.TIF", "y.bmp", "z.bmp", "notes.txt"});
    QDir().mkpath(Path("folder.bmp"));
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    const QStringList refused = form_->AddCommandLineFiles(
        {"upper.TIF", QUrl::fromLocalFile(Path("y.bmp")).toString(), "notes.txt", "missing.bmp",
         "folder.bmp", "http://example.org/a.bmp", Path("z.bmp")});
    QDir::setCurrent(here);
    QCOMPARE(ListColumn(form_->ImageView, 1), QStringList({"upper.TIF", "y.bmp", "z.bmp"}));
    QCOMPARE(ListColumn(form_->ImageView, 4).first(), Path("upper.TIF"));
    QCOMPARE(refused,
             QStringList({"notes.txt: not an image Tolvane opens", "missing.bmp: no such file",
                          "folder.bmp: not an image Tolvane opens",
                          "http://example.org/a.bmp: no such file"}));
    QVERIFY(Action(Command::kRun)->isEnabled());
    QVERIFY(form_->AddCommandLineFiles({}).isEmpty());
    QCOMPARE(form_->ImageView->topLevelItemCount(), 3);
  }

  void theEndOfARunIsSummedUpAndToldOnTheDesktopWhenAway_data() {
    QTest::addColumn<bool>("away");
    QTest::newRow("window active") << false;
    QTest::newRow("another window active") << true;
  }
  void theEndOfARunIsSummedUpAndToldOnTheDesktopWhenAway() {
    QFETCH(bool, away);
    QStringList sources = MakeSources({"a.bmp", "c.bmp"});
    QFile bad(Path("b.bmp"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("BM not a bitmap");
    bad.close();
    sources.insert(1, Path("b.bmp"));
    AddThroughOpenDialog(sources);
    ChooseOutputFolder();
    form_->SetNotifyAfter(0);
    QWidget other;
    if (away) {
      other.show();
      other.activateWindow();
      QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == &other; }));
    }
    // Shortcuts reach the active window only: Run as the pop-up menu would give it.
    Action(Command::kRun)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return !form_->RunInProgress(); }, 60000));
    QCOMPARE(form_->Panel4->text(), QStringLiteral("  2 converted, 1 failed"));
    const QString details = form_->Panel4->toolTip();
    QVERIFY2(details.startsWith(Path("b.bmp") + ": ") && !details.contains('\n'),
             qPrintable(details));
    QCOMPARE(dialogs_->notifications,
             away ? QStringList({"Tolvane: 2 converted, 1 failed|" + details}) : QStringList());
    // The list's next selection speaks of its own file only.
    SelectOnly(form_->ImageView, 0);
    QVERIFY(form_->Panel4->toolTip().isEmpty());
  }

  void aRunCancelledHalfwaySaysWhatItDidNotReach() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
    ChooseOutputFolder();
    OnProgress([&](int position) {
      if (position == 1) QTest::keyClick(form_.get(), Qt::Key_F6);
    });
    RunAndWait(*form_);
    QCOMPARE(form_->Panel4->text(), QStringLiteral("  2 converted, 2 not reached"));
    QVERIFY(form_->Panel4->toolTip().isEmpty());
  }

  void aRunConvertsEveryEntryAndLeavesRunMode() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp"}));
    const QString out = ChooseOutputFolder();
    QCOMPARE(form_->TargetFolder, QFile::encodeName(out).toStdString() + "/");
    QList<int> positions;
    bool locked = true;
    OnProgress([&](int position) {
      positions << position;
      locked = locked && form_->Converting && !Action(Command::kOpen)->isEnabled() &&
               !Action(Command::kRun)->isEnabled() && Action(Command::kCancel)->isEnabled() &&
               Action(Command::kExit)->isEnabled() && !form_->File1->menuAction()->isEnabled() &&
               !form_->Help1->menuAction()->isEnabled() && !form_->ImageView->isEnabled() &&
               !form_->PageControl2->isVisible() && form_->ProgressBar1->isVisible() &&
               form_->PagePanel->text() == QStringLiteral("Converting Image(s)...") &&
               QGuiApplication::overrideCursor() != nullptr &&
               QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    RunAndWait(*form_);
    QVERIFY(locked);
    QCOMPARE(positions, QList<int>({1, 2, 0}));
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
      QVERIFY2(QFileInfo::exists(out + "/" + name), name);
    }
    ExpectReadyAfterRun();
    QCOMPARE(form_->ImageView->topLevelItemCount(), 3);
    QVERIFY(dialogs_->messages.isEmpty());
    form_->grab().save(QStringLiteral(TOLVANE_UI_SCREENSHOT));
  }

  void aMoveFilesRunEndsInTheEmptyState() {
    const QStringList sources = MakeSources({"a.bmp", "b.bmp"});
    AddThroughOpenDialog(sources);
    const QString out = ChooseOutputFolder();
    Click(form_->OperationsButtons->button(1));
    QCOMPARE(form_->OperationsButtons->checkedId(), 1);
    RunAndWait(*form_);
    QVERIFY(QFileInfo::exists(out + "/a.bmp"));
    QVERIFY(!QFileInfo::exists(sources[0]));
    QCOMPARE(form_->ImageView->topLevelItemCount(), 0);
    QVERIFY(!Action(Command::kRun)->isEnabled());
    QVERIFY(!Action(Command::kCancel)->isEnabled());
    QVERIFY(!form_->PageControl2->isVisible());
    QCOMPARE(form_->PagePanel->text(), QStringLiteral("Open Image(s) for Converted"));
    QCOMPARE(form_->Panel1->text(), QStringLiteral("No Image(s)"));
    QCOMPARE(form_->OperationsButtons->checkedId(), 0);  // Default ran
    QVERIFY(!form_->Converting);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void cancelAndClosingStopAfterTheCurrentFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel, F6") << "F6";
    QTest::newRow("close button") << "close";
    QTest::newRow("pop-up Exit, Alt+X") << "Alt+X";
  }
  void cancelAndClosingStopAfterTheCurrentFile() {
    QFETCH(QString, how);
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
    const QString out = ChooseOutputFolder();
    // While the second file is being converted.
    OnProgress([&](int position) {
      if (position != 1) return;
      if (how == "close") {
        QMetaObject::invokeMethod(form_.get(), "close", Qt::QueuedConnection);
      } else if (how == "Alt+X") {
        QTest::keyClick(form_.get(), Qt::Key_X, Qt::AltModifier);
      } else {
        QTest::keyClick(form_.get(), Qt::Key_F6);
      }
    });
    RunAndWait(*form_);
    QVERIFY(QFileInfo::exists(out + "/a.bmp"));
    QVERIFY(QFileInfo::exists(out + "/b.bmp"));
    QVERIFY(!QFileInfo::exists(out + "/c.bmp"));
    QVERIFY(!form_->CancelRequested());
    QCOMPARE(form_->isVisible(), how == "F6");
    QVERIFY(!form_->Converting);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }

  void toolbarAndPopUpMenuFollowTheCommandTable() {
    QStringList buttons;
    for (QAction* action : form_->ToolBar1->actions()) {
      QWidget* button = form_->ToolBar1->widgetForAction(action);
      buttons << (action->isSeparator() ? QStringLiteral("|") : button->objectName());
      if (!action->isSeparator()) QCOMPARE(button->toolTip(), action->toolTip());
    }
    QCOMPARE(buttons,
             QStringList({"ToolButton1", "|", "ToolButton2", "ToolButton3", "|", "CompareButton",
                          "ToolButton6", "|", "ToolButton8", "ToolButton9", "|"}));
    QStringList popup;
    for (QAction* action : form_->PopupMenu1->actions()) {
      popup << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    QCOMPARE(popup, QStringList({"Open Image(s)", "-", "Clear Item(s)", "-", "Run", "Cancel", "-",
                                 "Images Compare", "Default", "-", "Help", "About", "-", "Exit"}));
    QCOMPARE(Action(Command::kCancel)->toolTip(), QStringLiteral("Cancel Converting"));
    QCOMPARE(Action(Command::kClearSelected)->shortcut(), QKeySequence(Qt::Key_Delete));
  }

  void dropsDuringARunAreRefused() {
    AddThroughOpenDialog(MakeSources({"a.bmp", "b.bmp"}));
    ChooseOutputFolder();
    WriteBmp(Path("late.bmp"), 10, 10);
    OnProgress([&](int) {
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(Path("late.bmp"))});
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(form_.get(), &enter);
      QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(form_.get(), &drop);
    });
    RunAndWait(*form_);
    QCOMPARE(form_->ImageView->topLevelItemCount(), 2);
    ExpectReadyAfterRun();
  }

  void aWriterErrorIsReportedAndRunModeIsLeft() {
    AddThroughOpenDialog(MakeSources({"a.bmp"}));
    dialogs_->folder_answer = Path("missing/folder");
    Click(form_->SelectBtn);
    RunAndWait(*form_);
    QCOMPARE(dialogs_->messages.size(), 1);
    ExpectReadyAfterRun();
  }

  void defaultResetsTheSettingsButNotTheList() {
    AddThroughOpenDialog(MakeSources({"a.bmp"}));
    ShowPage(form_->TabSheet8);
    Click(form_->ChoiseExtButtons->button(2));
    QVERIFY(!form_->PageControl2->tabIcon(1).isNull());
    form_->ExtTrackBar->setFocus();
    QTest::keyClick(form_->ExtTrackBar, Qt::Key_Home);
    QCOMPARE(form_->ExtTrackBar->value(), 1);
    ShowPage(form_->TabSheet15);
    Click(form_->OperationsButtons->button(3));
    QVERIFY(!form_->TabSheet8->isEnabled());
    QTest::keyClick(form_.get(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(form_->OperationsButtons->checkedId(), 0);
    QVERIFY(form_->TabSheet8->isEnabled());
    QCOMPARE(form_->ChoiseExtButtons->checkedId(), 0);
    QVERIFY(form_->PageControl2->tabIcon(1).isNull());
    QCOMPARE(form_->ExtTrackBar->value(), 100);
    QCOMPARE(form_->PageControl2->currentIndex(), 0);
    QCOMPARE(form_->Label9->text(), QStringLiteral("100"));
    QCOMPARE(form_->ImageView->topLevelItemCount(), 1);
  }
};

int RunWindowTests(int argc, char** argv) {
  UiTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "ui_test.moc"
