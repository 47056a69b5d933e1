#include "ui/Unit1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "engine/compare.h"
#include "engine/preview.h"
#include "engine/run_conversion.h"
#include "formats/codecs.h"
#include "formats/formats.h"
#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "ui/About.h"
#include "ui/ViewUnit.h"
#include "ui/app_identity.h"
#include "ui/background_run.h"
#include "ui/icons.h"
#include "ui/image_list.h"
#include "ui/picture_box.h"

namespace tolvane {
namespace {

enum Column { kNumberColumn = 0, kNameColumn, kSizeColumn, kDateColumn, kPathColumn };
constexpr int kColumnWidths[] = {50, 98, 96, 96, 96};
// "#" and "Path" have no minimum of their own: the smallest one holds for them.
constexpr int kColumnMinimums[] = {10, 10, 80, 10, 10};

constexpr char kNoImages[] = "No Image(s)";
constexpr char kOpenForConverted[] = "Open Image(s) for Converted";

QString FromBytes(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}
std::string ToBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

QLabel* BlackPanel(const QString& caption, const char* name) {
  auto* panel = new QLabel(caption);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setAlignment(Qt::AlignCenter);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::black);
  palette.setColor(QPalette::WindowText, QColor(192, 192, 192));
  panel->setPalette(palette);
  QFont font = panel->font();
  font.setBold(true);
  panel->setFont(font);
  return panel;
}

QString NavyTitle(const char* name) {
  return QStringLiteral("QGroupBox#%1::title { color: navy; font-weight: bold; }")
      .arg(QString::fromLatin1(name));
}

// The sign of the comparison of two entries by the key of one column.
int CompareEntries(const QTreeWidgetItem* a, const QTreeWidgetItem* b, int column) {
  const QLocale locale = QLocale::system();
  const auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (column) {
    case kNumberColumn:
      return sign(a->text(column).toInt(), b->text(column).toInt());
    case kSizeColumn:
      return sign(locale.toDouble(a->text(column)), locale.toDouble(b->text(column)));
    case kDateColumn:
      return sign(a->data(column, Qt::UserRole).toDateTime(),
                  b->data(column, Qt::UserRole).toDateTime());
    default:
      return sign(
          QString::compare(locale.toUpper(a->text(column)), locale.toUpper(b->text(column))), 0);
  }
}

// A list entry that orders itself by the key of the column being sorted.
class ListEntryItem final : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    return CompareEntries(this, &other, treeWidget()->sortColumn()) < 0;
  }
};

}  // namespace

QString ShownText(const std::string& text) { return QString::fromStdString(DisplayText(text)); }

TConvertorForm::TConvertorForm(std::unique_ptr<Dialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), dialogs_(std::move(dialogs)) {
  setObjectName(QStringLiteral("ConvertorForm"));
  setWindowTitle(QStringLiteral("Tolvane"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  commands_ = std::make_unique<CommandTable>(this);
  BuildLayout();
  BuildMenus();
  ConnectPages();
  for (QWidget* child : findChildren<QWidget*>()) {
    if (child->window() == this) child->installEventFilter(this);
  }
  setAcceptDrops(true);
  TargetFolder = DefaultTargetFolder();
  cancel_requested_ = false;
}

TConvertorForm::~TConvertorForm() {
  cancel_requested_ = true;
  run_.reset();
}

void TConvertorForm::SetSecondaryWindows(TAboutBox* about, TViewForm* view) {
  about_box_ = about;
  view_form_ = view;
}

// ---------------------------------------------------------------- layout

void TConvertorForm::BuildLayout() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(790, 539);
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, Qt::white);
  client->setPalette(palette);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  BuildToolBar();
  layout->addWidget(ToolBar1);
  layout->addWidget(BuildOriginalGroup());
  layout->addWidget(BuildConvertedGroup());
  layout->addStretch();
  layout->addWidget(BuildStatusBar());
  setCentralWidget(client);
  QMainWindow::layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TConvertorForm::BuildOriginalGroup() {
  GroupBox1 = new QGroupBox(QStringLiteral("Original Image(s)"));
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setStyleSheet(NavyTitle("GroupBox1"));
  GroupBox1->setFixedHeight(241);

  Panel1 = BlackPanel(QString::fromLatin1(kNoImages), "Panel1");
  Panel1->setFixedWidth(269);
  Image1 = new PictureBox(268, 201, Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  ViewExifCheckBox = new QCheckBox(QStringLiteral("View Exif"), Panel1);
  ViewExifCheckBox->setObjectName(QStringLiteral("ViewExifCheckBox"));
  ViewExifCheckBox->setStyleSheet(QStringLiteral("color: white;"));
  auto* panel_layout = new QVBoxLayout(Panel1);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  panel_layout->addWidget(Image1, 0, Qt::AlignTop | Qt::AlignHCenter);
  panel_layout->addStretch();
  panel_layout->addWidget(ViewExifCheckBox);

  ImageView = new QTreeWidget;
  ImageView->setObjectName(QStringLiteral("ImageView"));
  ImageView->setColumnCount(5);
  ImageView->setHeaderLabels({QStringLiteral("#"), QStringLiteral("File Name"),
                              QStringLiteral("File Size (MB)"), QStringLiteral("File Date&Time"),
                              QStringLiteral("Path")});
  for (int i = 0; i < 5; ++i) ImageView->setColumnWidth(i, kColumnWidths[i]);
  // The header has one minimum for all sections; the wider ones are held by hand.
  QHeaderView* header = ImageView->header();
  header->setMinimumSectionSize(
      *std::min_element(std::begin(kColumnMinimums), std::end(kColumnMinimums)));
  connect(header, &QHeaderView::sectionResized, this, [header](int column, int, int size) {
    if (column < 5 && size < kColumnMinimums[column]) {
      header->resizeSection(column, kColumnMinimums[column]);
    }
  });
  ImageView->setRootIsDecorated(false);
  ImageView->setAllColumnsShowFocus(true);
  ImageView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ImageView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ImageView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ImageView->setStyleSheet(QStringLiteral(
      "QTreeWidget { color: navy; } QTreeWidget::item { border-right: 1px solid #d8d8d8;"
      " border-bottom: 1px solid #d8d8d8; }"
      " QTreeWidget::item:selected { background: palette(highlight);"
      " color: palette(highlighted-text); }"));
  // A selection stays visible when the list loses the focus.
  QPalette list_palette = ImageView->palette();
  list_palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(210, 210, 210));
  list_palette.setColor(QPalette::Inactive, QPalette::HighlightedText, QColor(0, 0, 128));
  ImageView->setPalette(list_palette);
  ImageView->header()->setSectionsClickable(true);
  ImageView->header()->setSortIndicatorShown(false);
  ImageView->viewport()->setMouseTracking(true);
  ImageView->viewport()->installEventFilter(this);

  ExifPanel = new QWidget;
  ExifPanel->setObjectName(QStringLiteral("ExifPanel"));
  ExifPanel->setMinimumWidth(1);
  DescriptionLabel = new QLabel(QStringLiteral("JPEG Image Exif"));
  DescriptionLabel->setObjectName(QStringLiteral("DescriptionLabel"));
  DescriptionLabel->setAlignment(Qt::AlignCenter);
  DescriptionLabel->setStyleSheet(QStringLiteral("color: teal; font-weight: bold;"));
  DescriptionMemo = new QPlainTextEdit;
  DescriptionMemo->setObjectName(QStringLiteral("DescriptionMemo"));
  DescriptionMemo->setReadOnly(true);
  // Still selectable from the keyboard, so Ctrl+A selects the report for copying.
  DescriptionMemo->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
  DescriptionMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* exif_layout = new QVBoxLayout(ExifPanel);
  exif_layout->setContentsMargins(0, 0, 0, 0);
  exif_layout->addWidget(DescriptionLabel);
  exif_layout->addWidget(DescriptionMemo);

  Splitter1 = new QSplitter(Qt::Horizontal);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->addWidget(ImageView);
  Splitter1->addWidget(ExifPanel);
  Splitter1->setChildrenCollapsible(false);
  // Moved once, when the drag ends: a drag that opens the EXIF panel snaps it to its width.
  Splitter1->setOpaqueResize(false);
  Splitter1->setHandleWidth(3);
  Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background: teal; }"));

  auto* row = new QHBoxLayout(GroupBox1);
  row->setContentsMargins(2, 2, 2, 2);
  row->addWidget(Panel1);
  row->addWidget(Splitter1, 1);
  return GroupBox1;
}

QWidget* TConvertorForm::BuildConvertedGroup() {
  GroupBox2 = new QGroupBox(QStringLiteral("Image(s) for Converted"));
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setStyleSheet(NavyTitle("GroupBox2"));
  GroupBox2->setFixedHeight(227);

  Panel3 = BlackPanel(QString(), "Panel3");
  Panel3->setFixedWidth(270);
  Image2 = new PictureBox(268, 201, Panel3);
  Image2->setObjectName(QStringLiteral("Image2"));
  auto* panel_layout = new QVBoxLayout(Panel3);
  panel_layout->setContentsMargins(1, 0, 1, 0);
  panel_layout->addWidget(Image2, 0, Qt::AlignCenter);

  PagePanel = new QLabel(QString::fromLatin1(kOpenForConverted));
  PagePanel->setObjectName(QStringLiteral("PagePanel"));
  PagePanel->setAlignment(Qt::AlignCenter);
  PageControl2 = new QTabWidget(PagePanel);
  PageControl2->setObjectName(QStringLiteral("PageControl2"));
  // Narrow tabs, so that all seven fit beside the processed preview.
  PageControl2->setStyleSheet(QStringLiteral(
      "QTabWidget::pane { border: 1px solid #a0a0a0; top: -1px; background: white; }"
      " QTabBar::tab { padding: 3px 5px; border: 1px solid #a0a0a0; border-bottom: none;"
      " background: #ececec; margin-right: 1px; }"
      " QTabBar::tab:selected { background: white; }"));
  auto* page_layout = new QVBoxLayout(PagePanel);
  page_layout->setContentsMargins(0, 0, 0, 0);
  page_layout->addWidget(PageControl2);
  BuildPages();

  auto* row = new QHBoxLayout(GroupBox2);
  row->setContentsMargins(2, 2, 2, 2);
  row->addWidget(Panel3);
  row->addWidget(PagePanel, 1);
  return GroupBox2;
}

QWidget* TConvertorForm::BuildStatusBar() {
  Panel2 = new QWidget;
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFixedHeight(24);
  Panel4 = new QLabel;
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setFixedWidth(271);
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel4->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ProgressBar1 = new QProgressBar;
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->hide();
  auto* row = new QHBoxLayout(Panel2);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(Panel4);
  row->addWidget(ProgressBar1, 1);
  // Keeps the status line at the left while the progress bar is hidden.
  row->addStretch(0);
  return Panel2;
}

void TConvertorForm::BuildToolBar() {
  const CommandTable& c = *commands_;
  ToolBar1 = new QToolBar;
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar1->setFixedHeight(22);
  ToolBar1->setMovable(false);
  const std::initializer_list<std::initializer_list<Command>> groups = {
      {Command::kOpen},
      {Command::kClearAll, Command::kClearSelected},
      {Command::kCompare, Command::kDefault},
      {Command::kRun, Command::kCancel}};
  for (const auto& group : groups) {
    for (Command command : group) {
      ToolBar1->addAction(c[command]);
      QWidget* button = ToolBar1->widgetForAction(c[command]);
      button->setObjectName(CommandTable::ToolButtonName(command));
      button->setFixedSize(32, 22);
    }
    ToolBar1->addSeparator();
  }
}

void TConvertorForm::BuildMenus() {
  const CommandTable& c = *commands_;
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  const QIcon clear_items_icon = DrawnIcon(IconKind::kThinRedCross);
  const auto clear_items_menu = [&](QMenu* parent, const char* name) {
    QMenu* menu = parent->addMenu(clear_items_icon, QStringLiteral("Clear Item(s)"));
    menu->setObjectName(QString::fromLatin1(name));
    menu->addAction(c[Command::kClearAll]);
    menu->addAction(c[Command::kClearSelected]);
    return menu;
  };

  File1 = bar->addMenu(QStringLiteral("File"));
  File1->setObjectName(QStringLiteral("File1"));
  File1->addAction(c[Command::kOpen]);
  File1->addSeparator();
  ClearItems1 = clear_items_menu(File1, "ClearItems1");
  File1->addSeparator();
  File1->addAction(c[Command::kExit]);

  Operations1 = bar->addMenu(QStringLiteral("Operations"));
  Operations1->setObjectName(QStringLiteral("Operations1"));
  Operations1->addActions({c[Command::kRun], c[Command::kCancel]});
  Operations1->addSeparator();
  Operations1->addActions({c[Command::kCompare], c[Command::kDefault]});

  Help1 = bar->addMenu(QStringLiteral("Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  Help1->addAction(c[Command::kHelp]);
  Help1->addSeparator();
  Help1->addAction(c[Command::kAbout]);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addAction(c[Command::kOpen]);
  PopupMenu1->addSeparator();
  ClearItems2 = clear_items_menu(PopupMenu1, "ClearItems2");
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({c[Command::kRun], c[Command::kCancel]});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({c[Command::kCompare], c[Command::kDefault]});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({c[Command::kHelp], c[Command::kAbout]});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(c[Command::kExit]);

  Bind(c[Command::kOpen], &QAction::triggered, &TConvertorForm::OpenImages1Click);
  Bind(c[Command::kClearAll], &QAction::triggered, &TConvertorForm::DeleteAllImages1Click);
  Bind(c[Command::kClearSelected], &QAction::triggered,
       &TConvertorForm::DeleteSelectedImages1Click);
  Bind(c[Command::kExit], &QAction::triggered, &TConvertorForm::Exit1Click);
  Bind(c[Command::kRun], &QAction::triggered, &TConvertorForm::RunClick);
  Bind(c[Command::kCancel], &QAction::triggered, &TConvertorForm::ToolButton9Click);
  Bind(c[Command::kCompare], &QAction::triggered, &TConvertorForm::CompareButtonClick);
  Bind(c[Command::kDefault], &QAction::triggered, &TConvertorForm::ToolButton6Click);
  Bind(c[Command::kHelp], &QAction::triggered, &TConvertorForm::Help2Click);
  Bind(c[Command::kAbout], &QAction::triggered, &TConvertorForm::About2Click);
  connect(ImageView->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { Guarded([this, column] { ImageViewColumnClick(column); }); });
  connect(ImageView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) {
            // Deselection does nothing.
            if (!selected.isEmpty()) Guarded([this] { LoadSelectedPreview(); });
          });
}

// ---------------------------------------------------------------- window events

void TConvertorForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (first_show_done_) return;
  first_show_done_ = true;
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Guarded([this] { InitialState(); });
}

void TConvertorForm::closeEvent(QCloseEvent* event) {
  if (run_) {
    // A run in progress stops before its next file; the window closes when it has.
    cancel_requested_ = true;
    close_after_run_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

void TConvertorForm::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenu1->exec(event->globalPos());
}

void TConvertorForm::dragEnterEvent(QDragEnterEvent* event) {
  // A drop during a run would reset the settings and commands the run relies on.
  if (!Converting && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TConvertorForm::dropEvent(QDropEvent* event) {
  if (Converting) {
    event->ignore();
    return;
  }
  QStringList accepted;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile().left(kMaxDroppedPathLength);
    if (AcceptedDropPath(path)) accepted << path;
  }
  Guarded([this, &accepted] { AddFilesAndFinish(accepted); });
  event->acceptProposedAction();
}

bool TConvertorForm::InTextField(const QObject* watched) const {
  for (const QObject* o = watched; o != nullptr && o != this; o = o->parent()) {
    if (qobject_cast<const QLineEdit*>(o) || qobject_cast<const QAbstractSpinBox*>(o) ||
        qobject_cast<const QPlainTextEdit*>(o)) {
      return true;
    }
  }
  return false;
}

bool TConvertorForm::IsListKey(const QKeyEvent& key) const {
  const QKeySequence pressed(key.keyCombination());
  return pressed == (*commands_)[Command::kClearAll]->shortcut() ||
         pressed == (*commands_)[Command::kClearSelected]->shortcut();
}

// Del and Ctrl+A act on the list and a right click opens the pop-up menu wherever they happen,
// except in a text or number field and the EXIF memo: there they edit the field and open its
// own edit menu, so typing a name never removes list entries.
bool TConvertorForm::RouteListKeysAndMenu(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (!IsListKey(*key)) return false;
    key->setAccepted(InTextField(watched));
    return true;
  }
  if (event->type() == QEvent::ContextMenu && !InTextField(watched)) {
    PopupMenu1->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return false;
}

bool TConvertorForm::eventFilter(QObject* watched, QEvent* event) {
  if (RouteListKeysAndMenu(watched, event)) return true;
  for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4, Edit5}) {
    if (watched != field) continue;
    bool swallowed = false;
    Guarded([&] { swallowed = ResizeFieldEvent(field, event); });
    if (swallowed) return true;
  }
  if (watched == ImageView->viewport() && event->type() == QEvent::MouseMove) {
    ImageView->setFocus();
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- states

void TConvertorForm::InitialState() {
  TargetFolder = DefaultTargetFolder();
  SelectLabel->setText(FromBytes(TargetFolder));

  Label9->setText(QStringLiteral("0"));
  Label11->setText(QStringLiteral("0"));
  DpiValue = ScreenDpi();
  Edit3->setText(QString::number(DpiValue));
  Edit1->setText(QStringLiteral("0"));
  Edit2->setText(QStringLiteral("0"));
  Edit4->setText(QStringLiteral("100"));
  Edit5->setText(QStringLiteral("100"));
  RadioButton1->setChecked(true);
  for (QRadioButton* other : {RadioButton2, RadioButton3, RadioButton4}) other->setChecked(false);
  CheckBox1->setChecked(true);
  CheckBox2->setChecked(false);
  UnitButtons->button(0)->setChecked(true);
  for (QWidget* w : std::initializer_list<QWidget*>{Edit1, Edit2, RadioGroup1, Label4, Label5}) {
    w->setEnabled(true);
  }
  ListBox1->setCurrentRow(0);
  for (QWidget* w : std::initializer_list<QWidget*>{Edit4, Edit5, Label14, Label15, Label16,
                                                    Label17, ListBox1, BitBtn3, BitBtn4}) {
    w->setEnabled(false);
  }
  SetCanvasColor(kBlack);

  ToolButton6Click();

  PageControl2->setCurrentIndex(0);
  PageControl2->setEnabled(false);
  PageControl2->hide();
  SetRunEnabled(false);
  ClearPreviews();
  SetExifPanelWidth(1);
}

void TConvertorForm::SetRunEnabled(bool enabled) {
  (*commands_)[Command::kRun]->setEnabled(enabled);
  (*commands_)[Command::kCancel]->setEnabled(false);
}

void TConvertorForm::EnterEmptyState() {
  Panel1->setText(QString::fromLatin1(kNoImages));
  Panel4->clear();
  ToolButton6Click();
  SetRunEnabled(false);
  PageControl2->setCurrentIndex(0);
  PageControl2->hide();
}

void TConvertorForm::ResetAfterEmptyList() {
  Panel1->setText(QString::fromLatin1(kNoImages));
  Panel4->clear();
  PageControl2->setCurrentIndex(0);
  PageControl2->hide();
  SetRunEnabled(false);
  DescriptionMemo->clear();
  ToolButton6Click();
  ViewExifCheckBox->setChecked(false);
  ClearPreviews();
}

bool TConvertorForm::ListEmpty() const { return ImageView->topLevelItemCount() == 0; }

void TConvertorForm::ClearPreviews() {
  Image1->Clear();
  Image2->Clear();
}

void TConvertorForm::SetExifPanelWidth(int width) {
  const QList<int> sizes = Splitter1->sizes();
  int total = 0;
  for (int size : sizes) total += size;
  if (total <= width) total = Splitter1->width();
  Splitter1->setSizes({std::max(total - width, 1), width});
}

void TConvertorForm::SetTabMark(QWidget* page, bool on) {
  PageControl2->setTabIcon(PageControl2->indexOf(page),
                           on ? DrawnIcon(IconKind::kCheckMark) : QIcon());
}

// ---------------------------------------------------------------- commands

void TConvertorForm::OpenImages1Click() {
  QStringList filters;
  for (const auto& [description, patterns] : OpenDialogFilters()) {
    filters << NameFilter(QString::fromStdString(description), QString::fromStdString(patterns));
  }
  const std::optional<QStringList> chosen =
      dialogs_->OpenFiles(this, QStringLiteral("Open Image File(s)"), filters);
  AddFilesAndFinish(chosen.value_or(QStringList()));
}

void TConvertorForm::AddFilesAndFinish(const QStringList& paths) {
  if (!paths.isEmpty()) AddFiles(paths);
  FinishAddingFiles();
}

QStringList TConvertorForm::AddCommandLineFiles(const QStringList& arguments) {
  QStringList accepted, refused;
  for (const QString& argument : arguments) {
    const QUrl url(argument);
    const bool is_url = url.scheme() == QStringLiteral("file");
    const QFileInfo info(is_url ? url.toLocalFile() : argument);
    const char* why = nullptr;
    if (is_url && !url.isLocalFile()) {
      why = "not a local file";
    } else if (!info.exists()) {
      why = "no such file";
    } else if (!info.isFile() || !AcceptedDropPath(info.absoluteFilePath())) {
      why = "not an image Tolvane opens";
    } else if (info.absoluteFilePath().size() > kMaxDroppedPathLength) {
      // A drop cuts such a path; cut, it would name another file or none.
      why = "path too long for the list";
    }
    if (why != nullptr) {
      refused << argument + QStringLiteral(": ") + QLatin1String(why);
    } else {
      accepted << info.absoluteFilePath();
    }
  }
  if (!accepted.isEmpty()) Guarded([this, &accepted] { AddFilesAndFinish(accepted); });
  return refused;
}

void TConvertorForm::AddFiles(const QStringList& paths) {
  RemoveSortMarks();
  repaint();
  Panel4->setToolTip(QString());
  Panel4->setText(QStringLiteral("   Add Images..."));
  Panel4->repaint();
  ImageView->setUpdatesEnabled(false);
  for (const QString& path : paths) {
    const QDateTime modified = FileDateTime(path);
    auto* item = new ListEntryItem(ImageView);
    item->setText(kNumberColumn, QString::number(ImageView->topLevelItemCount()));
    item->setText(kNameColumn, QFileInfo(path).fileName());
    item->setText(kSizeColumn, FileSizeText(path));
    item->setText(kDateColumn, DateTimeText(modified));
    item->setData(kDateColumn, Qt::UserRole, modified);
    item->setText(kPathColumn, path);
  }
  ImageView->setUpdatesEnabled(true);
}

void TConvertorForm::FinishAddingFiles() {
  if (ListEmpty()) {
    EnterEmptyState();
    return;
  }
  SelectAndFocus(ImageView->topLevelItemCount() - 1);
  PageControl2->setEnabled(true);
  PageControl2->show();
  PageControl2->setCurrentIndex(0);
  SetRunEnabled(true);
}

void TConvertorForm::SelectAndFocus(int row) {
  // Explicit, so that modifier keys still held from a shortcut cannot turn it into a toggle.
  ImageView->clearSelection();
  ImageView->setCurrentItem(ImageView->topLevelItem(row), 0,
                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ImageView->setFocus();
}

void TConvertorForm::RemoveSortMarks() { ImageView->header()->setSortIndicatorShown(false); }

void TConvertorForm::DeleteAllImages1Click() {
  RemoveSortMarks();
  ImageView->clear();
  ResetAfterEmptyList();
}

void TConvertorForm::DeleteSelectedImages1Click() {
  const QList<QTreeWidgetItem*> selected = ImageView->selectedItems();
  if (selected.isEmpty()) return;
  RemoveSortMarks();
  ClearPreviews();
  int first = ImageView->topLevelItemCount();
  for (QTreeWidgetItem* item : selected) {
    first = std::min(first, ImageView->indexOfTopLevelItem(item));
  }
  qDeleteAll(selected);
  if (ListEmpty()) {
    ResetAfterEmptyList();
    return;
  }
  const int position = std::min(first, ImageView->topLevelItemCount() - 1);
  SelectAndFocus(position);
}

void TConvertorForm::ImageViewColumnClick(int column) {
  if (ListEmpty()) return;
  SortDirection = -SortDirection;
  // The list moves its rows in place (a stable sort), so the selected and current entry stay
  // selected and current, and the preview keeps describing them.
  ImageView->sortItems(column, SortDirection == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
  ImageView->header()->setSortIndicatorShown(true);
  if (QTreeWidgetItem* current = ImageView->currentItem()) ImageView->scrollToItem(current);
}

void TConvertorForm::Exit1Click() { close(); }

void TConvertorForm::ToolButton9Click() { cancel_requested_ = true; }

void TConvertorForm::CompareButtonClick() {
  if (view_form_ == nullptr) return;
  // What the source preview shows, the "Cannot read file!" picture included.
  const TBitmap source = ListEmpty() ? TBitmap() : PreviewPicture();
  TConvertOptions options = ReadOptions();
  const TBitmap prepared = PrepareCompareImage(source, options, *this);
  view_form_->SetImages(source, prepared);
  view_form_->exec();
}

void TConvertorForm::About2Click() {
  if (about_box_ != nullptr) about_box_->exec();
}

void TConvertorForm::Help2Click() {
  const QString path = ManualPath();
  // Only a missing association is reported; a missing document shows nothing.
  if (!QFileInfo::exists(path)) return;
  if (!dialogs_->OpenDocument(QUrl::fromLocalFile(path))) {
    dialogs_->Message(this,
                      QStringLiteral("Sorry, but there is no Adobe Acrobat or Adobe Acrobat "
                                     "Reader is installed on your system."),
                      QStringLiteral("Warning"), QMessageBox::Warning);
  }
}

void TConvertorForm::ToolButton6Click() {
  OperationsButtons->button(static_cast<int>(TFileOperation::kCopyFiles))->setChecked(true);
  SameCheckBox->setChecked(false);
  RenameCheckBox->setChecked(false);
  NameEdit->setEnabled(false);
  NameEdit->setText(QStringLiteral("Image"));
  SelectBtn->setEnabled(true);
  SelectLabel->setEnabled(true);
  TargetFolder = DefaultTargetFolder();
  SelectLabel->setText(FromBytes(TargetFolder));

  ChoiseExtButtons->button(static_cast<int>(TOutputFormat::kKeepExtension))->setChecked(true);
  PNGCheckBox->setChecked(false);
  ExtTrackBar->setValue(ExtTrackBar->maximum());
  PNGTrackBar->setValue(6);

  SetNewSizeFields(Image1->Picture().Width(), Image1->Picture().Height());
  SelectSetNewSize();
  ResizeCheckBox->setChecked(false);

  RotateCheckBox->setChecked(false);
  CropCheckBox->setChecked(false);
  CanvasCheckBox->setChecked(false);
  DescriptionCheckBox->setChecked(false);
  AdjustmentCheckBox->setChecked(false);
  AdjustmentCheckBoxClick();
  ImageOperation();
  ViewExifCheckBox->setChecked(false);
  PageControl2->setCurrentIndex(0);
}

// ---------------------------------------------------------------- previews

void TConvertorForm::LoadSelectedPreview() {
  if (ListEmpty()) return;
  QTreeWidgetItem* first = nullptr;
  for (int i = 0; i < ImageView->topLevelItemCount() && first == nullptr; ++i) {
    if (ImageView->topLevelItem(i)->isSelected()) first = ImageView->topLevelItem(i);
  }
  if (first == nullptr) return;
  Panel1->setText(QStringLiteral("Loading..."));
  ShowPreviewImage(first->text(kPathColumn));
  Panel4->setToolTip(QString());  // the last run's problems belong to its summary only
  Panel4->setText(QStringLiteral("  Original Image Size: %1 x %2")
                      .arg(Image1->Picture().Width())
                      .arg(Image1->Picture().Height()));
  PreviewSource = Image2->Picture();
  SelectSetNewSize();
  ResizeCheckBox->setChecked(false);
  ImageOperation();
}

bool TConvertorForm::ShowPreviewImage(const QString& path) {
  CodecServices services{{}, [this](const std::string& text) { AppendExifText(text); }};
  services.metadata = &metadata_;
  services.clear_exif = [this] { DescriptionMemo->clear(); };
  const std::optional<TBitmap> decoded = LoadPreviewImage(ToBytes(path), services);
  if (!decoded || decoded->Empty()) {
    Image1->SetMessagePicture(QStringLiteral("Cannot read file!"));
    return false;
  }
  Panel1->clear();
  Image1->SetPicture(*decoded);
  SetNewSizeFields(decoded->Width(), decoded->Height());
  AspectRatio = static_cast<double>(decoded->Width()) / decoded->Height();
  TBitmap reduced = *decoded;
  if (!ReduceForPreview(reduced)) return false;
  Image2->SetPicture(reduced);
  return true;
}

void TConvertorForm::ImageOperation() {
  if (ListEmpty()) return;
  if (RotateCheckBox->isChecked() || CropCheckBox->isChecked()) {
    // The crop ranges follow the picture and its orientation before the edges are read.
    in_image_operation_ = true;
    try {
      SelectCrop();
    } catch (...) {
      in_image_operation_ = false;
      throw;
    }
    in_image_operation_ = false;
  }
  const TConvertOptions options = ReadOptions();
  Image2->SetPicture(tolvane::ImageOperation(PreviewSource, options, Image1->Picture().Width(),
                                             Image1->Picture().Height()));
}

// ---------------------------------------------------------------- the run

std::vector<TImageEntry> TConvertorForm::Entries() const {
  std::vector<TImageEntry> entries;
  for (int i = 0; i < ImageView->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = ImageView->topLevelItem(i);
    entries.push_back({item->text(kNumberColumn).toInt(), ToBytes(item->text(kNameColumn)),
                       item->text(kSizeColumn).toStdString(), item->text(kDateColumn).toStdString(),
                       ToBytes(item->text(kPathColumn))});
  }
  return entries;
}

void TConvertorForm::RunClick() {
  if (ListEmpty() || run_) return;
  summary_.Start(ImageView->topLevelItemCount());
  Panel4->setToolTip(QString());
  run_clock_.start();
  run_ = std::make_unique<BackgroundRun>(*this, *this, ReadOptions(), Entries(),
                                         RunSettings{DefaultJobs()},
                                         [this](std::exception_ptr error) { RunFinished(error); });
}

void TConvertorForm::RunFinished(std::exception_ptr error) {
  run_.reset();
  ShowRunSummary();
  if (error) {
    Guarded([error] { std::rethrow_exception(error); });
  }
  if (close_after_run_) {
    close_after_run_ = false;
    close();
  }
}

void TConvertorForm::EnterRunMode() {
  const CommandTable& c = *commands_;
  ImageView->setEnabled(false);
  for (Command command :
       {Command::kOpen, Command::kClearAll, Command::kClearSelected, Command::kDefault,
        Command::kCompare, Command::kRun, Command::kHelp, Command::kAbout}) {
    c[command]->setEnabled(false);
  }
  c[Command::kCancel]->setEnabled(true);
  ViewExifCheckBox->setChecked(false);
  ViewExifCheckBox->setEnabled(false);
  // The pop-up menu's Exit stays reachable, the main menu's goes with its File menu.
  File1->menuAction()->setEnabled(false);
  Help1->menuAction()->setEnabled(false);
  ClearItems2->menuAction()->setEnabled(false);
  PageControl2->hide();
  PagePanel->setText(QStringLiteral("Converting Image(s)..."));
  PagePanel->repaint();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  Converting = true;
}

void TConvertorForm::LeaveRunMode() {
  const CommandTable& c = *commands_;
  PagePanel->setText(QString::fromLatin1(kOpenForConverted));
  if (!ListEmpty()) PageControl2->show();
  SetRunEnabled(!ListEmpty());
  ImageView->setEnabled(true);
  for (Command command : {Command::kOpen, Command::kClearAll, Command::kClearSelected,
                          Command::kDefault, Command::kCompare, Command::kHelp, Command::kAbout}) {
    c[command]->setEnabled(true);
  }
  ViewExifCheckBox->setEnabled(true);
  File1->menuAction()->setEnabled(true);
  Help1->menuAction()->setEnabled(true);
  ClearItems2->menuAction()->setEnabled(true);
  QGuiApplication::restoreOverrideCursor();
  Converting = false;
  cancel_requested_ = false;
}

void TConvertorForm::SetProgressMaximum(int maximum) {
  // Qt draws an empty range as a busy animation. A one-file run gets one step instead, which
  // its file fills, as the last file of a longer run fills the bar.
  one_file_run_ = maximum == 0;
  ProgressBar1->setRange(0, std::max(maximum, 1));
}

void TConvertorForm::SetProgressPosition(int position) {
  ProgressBar1->setValue(one_file_run_ ? 1 : position);
  if (ProgressBar1->isVisible()) {
    ProgressBar1->repaint();
    Panel2->repaint();
  }
}

void TConvertorForm::ShowProgress(bool shown) {
  ProgressBar1->setVisible(shown);
  if (!shown) {
    one_file_run_ = false;
    ProgressBar1->setValue(0);
  }
}

TBitmap TConvertorForm::PreviewPicture() { return Image1->Picture(); }

void TConvertorForm::SetPreviewPicture(const TBitmap& picture) { Image1->SetPicture(picture); }

void TConvertorForm::AppendExifText(const std::string& text) {
  DescriptionMemo->appendPlainText(ShownText(text));
}

void TConvertorForm::ShowMessage(const std::string& text) {
  dialogs_->Message(this, ShownText(text), QStringLiteral("Tolvane"), QMessageBox::Information);
}

void TConvertorForm::ClearAllItems() { DeleteAllImages1Click(); }

void TConvertorForm::ResizeTargetChanged(int width, int height) {
  Label9->setNum(width);
  Label11->setNum(height);
}

namespace {
// A name can hold any byte but '/'; escaped, neither it nor a reason breaks a line.
QString ShownEscaped(const std::string& bytes) { return FromBytes(EscapeControls(bytes)); }
QString ShownReason(const std::string& reason) {
  return QString::fromStdString(EscapeControls(DisplayText(reason)));
}
}  // namespace

void TConvertorForm::EntryNotConverted(const TImageEntry& entry, const std::string& reason) {
  summary_.Failed(ShownEscaped(entry.FullPath), ShownReason(reason));
  ShowEntryProblem(entry, reason);
}

void TConvertorForm::EntryConverted(const TImageEntry&, const std::string&) {
  summary_.Converted();
}

void TConvertorForm::SourceNotDeleted(const TImageEntry& entry, const std::string& reason) {
  summary_.SourceKept(ShownEscaped(entry.FullPath), ShownReason(reason));
  ShowEntryProblem(entry, reason);
}

void TConvertorForm::ShowEntryProblem(const TImageEntry& entry, const std::string& reason) {
  Panel4->setText(
      QStringLiteral("  %1: %2").arg(ShownEscaped(entry.FileName), ShownReason(reason)));
}

void TConvertorForm::ShowRunSummary() {
  const QString status = summary_.StatusText();
  const QString details = summary_.Details();
  Panel4->setText(QStringLiteral("  ") + status);
  Panel4->setToolTip(details);
  // Whoever turned to other work during a long run learns of its end without looking.
  if (!isActiveWindow() && run_clock_.elapsed() >= notify_after_ms_) {
    dialogs_->Notify(QStringLiteral("Tolvane: ") + status, details);
  }
}

}  // namespace tolvane
