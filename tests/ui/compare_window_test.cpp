// The compare window opened from the main window: its prepared image and its view modes.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/Unit1.h"
#include "ui/ViewUnit.h"
#include "ui/canvas_field.h"
#include "ui/picture_box.h"
#include "ui_support.h"

using tolvane::TConvertorForm;
using tolvane::TViewForm;
using tolvane_test::Click;
using tolvane_test::ScriptedDialogs;
using tolvane_test::WriteBmp;

namespace {

struct Modes {
  bool stretched, original_only, prepared_only;
  bool operator==(const Modes&) const = default;
};

Modes ModesOf(const TViewForm& view) {
  // The panels and the pictures must agree with the check marks.
  const bool stretched = view.Stretch1->isChecked();
  if (view.Image1->Stretched() != stretched || view.Image2->Stretched() != stretched) return {};
  return {stretched, view.ViewOriginalImage1->isChecked() && view.Panel2->isHidden(),
          view.ViewPrepareImage1->isChecked() && view.Panel1->isHidden()};
}

constexpr Modes kSideBySide{false, false, false};

}  // namespace

namespace QTest {
template <>
char* toString(const Modes& m) {
  return qstrdup(QByteArray(m.stretched ? "stretched" : "natural") +
                 (m.original_only ? " original-only" : "") +
                 (m.prepared_only ? " prepared-only" : ""));
}
}  // namespace QTest

class CompareWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<TConvertorForm> form_;
  TViewForm* view_ = nullptr;

  void AddImage(int width, int height) {
    const QString path = dir_.filePath(QStringLiteral("picture.bmp"));
    WriteBmp(path, width, height);
    dialogs_->open_answers.push_back(QStringList{path});
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
  }
  // Opens the window with Ctrl+I, runs the checks while it is shown modally, then closes it
  // with Alt+X (or directly if a check failed before).
  void WhileOpen(const std::function<void()>& checks) {
    QVERIFY(tolvane_test::WhileModal(form_.get(), view_, QKeySequence(Qt::CTRL | Qt::Key_I),
                                     [this, &checks] {
                                       checks();
                                       QTest::keyClick(view_, Qt::Key_X, Qt::AltModifier);
                                     }));
  }
  bool HalfWidth() const { return view_->Panel1->width() == view_->width() / 2; }

 private slots:
  void init() {
    form_ = tolvane_test::MakeWindow(dialogs_);
    view_ = new TViewForm(form_.get());
    form_->SetSecondaryWindows(nullptr, view_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() {
    form_.reset();
    tolvane_test::EmptyFolder(dir_.path());
  }

  void menusShareTheirItems() {
    const auto items = [](const QMenu* menu) {
      QList<QAction*> kept;
      for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) kept << a;
      }
      return kept;
    };
    QCOMPARE(items(view_->PopupMenu1), items(view_->Images1));
    QCOMPARE(items(view_->Images1).size(), 4);
    QCOMPARE(view_->Stretch1->shortcut(), QKeySequence(Qt::Key_Insert));
    QCOMPARE(view_->windowTitle(), QStringLiteral("Images Compare"));
    // The window is black; its menus must not be, or their black text disappears.
    for (QWidget* menu : std::initializer_list<QWidget*>{view_->MainMenu1, view_->Images1}) {
      const QPalette colours = menu->palette();
      QVERIFY(colours.color(QPalette::Window) != colours.color(QPalette::WindowText));
      QVERIFY(colours.color(QPalette::Window) != colours.color(QPalette::ButtonText));
    }
  }

  void modesSwitchAndResetOnEveryOpening() {
    AddImage(40, 30);
    WhileOpen([this] {
      QCOMPARE(ModesOf(*view_), kSideBySide);
      QTRY_VERIFY(HalfWidth());
      QVERIFY(view_->Panel1->isVisible() && view_->Panel2->isVisible());

      QTest::keyClick(view_, Qt::Key_Insert);
      QCOMPARE(ModesOf(*view_), (Modes{true, false, false}));
      QCOMPARE(view_->Image2->PictureRect().size(),
               QSize(40, 30).scaled(view_->ScrollBox2->viewport()->size(), Qt::KeepAspectRatio));

      // Source only, then straight to prepared only, then back by choosing it again.
      QTest::keyClick(view_, Qt::Key_O, Qt::ControlModifier);
      QCOMPARE(ModesOf(*view_), (Modes{true, true, false}));
      QTRY_COMPARE(view_->Panel1->width(), view_->width());
      QTest::keyClick(view_, Qt::Key_P, Qt::ControlModifier);
      QCOMPARE(ModesOf(*view_), (Modes{true, false, true}));
      QTRY_COMPARE(view_->Panel2->width(), view_->width());
      QTest::keyClick(view_, Qt::Key_P, Qt::ControlModifier);
      QCOMPARE(ModesOf(*view_), (Modes{true, false, false}));
      QTRY_VERIFY(HalfWidth());

      QTest::keyClick(view_, Qt::Key_Insert);
      QCOMPARE(view_->Image2->PictureRect(), QRect(0, 0, 40, 30));
      view_->resize(701, 400);
      QTRY_VERIFY(HalfWidth());
      QTRY_COMPARE(view_->Panel1->width(), 350);

      // Leave it stretched and source only.
      QTest::keyClick(view_, Qt::Key_Insert);
      QTest::keyClick(view_, Qt::Key_O, Qt::ControlModifier);
      QCOMPARE(ModesOf(*view_), (Modes{true, true, false}));
      QTest::keyClick(view_, Qt::Key_X, Qt::AltModifier);
      QVERIFY(!view_->isVisible());
    });
    QVERIFY(view_->Image1->Picture().Empty());
    WhileOpen([this] {
      QCOMPARE(ModesOf(*view_), kSideBySide);
      QTRY_VERIFY(HalfWidth());
    });
  }

  void withAnEmptyListBothSidesAreEmpty() {
    WhileOpen([this] {
      QVERIFY(view_->Image1->Picture().Empty());
      QVERIFY(view_->Image2->Picture().Empty());
    });
  }

  // The run's mapping: after Rotate Left the left width borders the top.
  void rotateLeftWithLeftCanvasBordersTheTop() {
    AddImage(40, 30);
    form_->PageControl2->setCurrentWidget(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    Click(form_->RotateButtons->button(static_cast<int>(tolvane::TRotateOption::kRotateLeft)));
    form_->PageControl2->setCurrentWidget(form_->TabSheet6);
    Click(form_->CanvasCheckBox);
    QSpinBox* left = form_->LeftEdit;
    left->setFocus();
    QTest::keyClick(left, Qt::Key_End);
    for (int i = 0; i < 6; ++i) QTest::keyClick(left, Qt::Key_Backspace);
    QTest::keyClicks(left, "5");
    QTest::keyClick(left, Qt::Key_Tab);
    QCOMPARE(left->value(), 5);

    WhileOpen([this] {
      const tolvane::TBitmap& original = view_->Image1->Picture();
      const tolvane::TBitmap& prepared = view_->Image2->Picture();
      QCOMPARE(QSize(original.Width(), original.Height()), QSize(40, 30));
      QCOMPARE(QSize(prepared.Width(), prepared.Height()), QSize(30, 45));
      const tolvane::TColor picture = tolvane::RGBColor(200, 40, 40);
      for (int x : {0, 29}) {
        for (int y : {0, 4}) QCOMPARE(prepared.Pixels(x, y), tolvane::kBlack);
        for (int y : {5, 44}) QCOMPARE(prepared.Pixels(x, y), picture);
      }
    });
  }

  // Centred on the screen that holds the main window, wherever the main window stands.
  void opensCentredOnTheMainWindowsScreen() {
    AddImage(40, 30);
    form_->move(form_->screen()->availableGeometry().topLeft());
    WhileOpen([this] {
      const QPoint centre = form_->screen()->availableGeometry().center();
      QVERIFY2((view_->frameGeometry().center() - centre).manhattanLength() <= 2,
               qPrintable(QStringLiteral("centre at %1,%2")
                              .arg(view_->frameGeometry().center().x())
                              .arg(view_->frameGeometry().center().y())));
    });
  }

  // The source side is what the source preview shows, the message picture included, and the
  // prepared side is that picture with the settings applied.
  void anUnreadableFileComparesItsMessagePicture() {
    const QString path = dir_.filePath(QStringLiteral("icon.ico"));
    QFile broken(path);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not an image");
    broken.close();
    dialogs_->open_answers.push_back(QStringList{path});
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(form_->Image1->MessageText(), QStringLiteral("Cannot read file!"));
    form_->PageControl2->setCurrentWidget(form_->TabSheet4);
    Click(form_->RotateCheckBox);
    Click(form_->RotateButtons->button(static_cast<int>(tolvane::TRotateOption::kRotateRight)));
    WhileOpen([this] {
      const tolvane::TBitmap& original = view_->Image1->Picture();
      const tolvane::TBitmap& shown = form_->Image1->Picture();
      QCOMPARE(QSize(original.Width(), original.Height()), QSize(268, 201));
      QVERIFY(original.SaveToBytes() == shown.SaveToBytes());
      QCOMPARE(original.Pixels(267, 200), tolvane::kWhite);
      bool has_text = false;
      for (int y = 0; y < 30 && !has_text; ++y) {
        for (int x = 0; x < 150 && !has_text; ++x) {
          has_text = original.Pixels(x, y) != tolvane::kWhite;
        }
      }
      QVERIFY(has_text);
      const tolvane::TBitmap& prepared = view_->Image2->Picture();
      QCOMPARE(QSize(prepared.Width(), prepared.Height()), QSize(201, 268));
    });
  }
};

int RunCompareWindowTests(int argc, char** argv) {
  CompareWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "compare_window_test.moc"
