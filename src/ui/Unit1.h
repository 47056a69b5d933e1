#pragma once
#include <QElapsedTimer>
#include <QMainWindow>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/conversion_host.h"
#include "engine/convert_options.h"
#include "formats/exif/ExifData.h"
#include "imaging/tbitmap.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/run_summary.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace tolvane {

class CanvasField;
class PictureBox;
class TAboutBox;
class BackgroundRun;
struct CropBars;
struct PixelSize;
enum class SizeUnit;
class TViewForm;

// The main window: the image list and its two previews, the settings pages, the commands and
// the run mode. It holds no conversion rules: it reads its controls into TConvertOptions, calls
// the engine and shows what the engine reports through ConversionHost.
class TConvertorForm : public QMainWindow, public ConversionHost {
  Q_OBJECT

 public:
  explicit TConvertorForm(std::unique_ptr<Dialogs> dialogs = MakeQtDialogs(),
                          QWidget* parent = nullptr);
  ~TConvertorForm() override;

  void SetSecondaryWindows(TAboutBox* about, TViewForm* view);
  const CommandTable& Commands() const { return *commands_; }

  // Window state.
  std::string TargetFolder;
  TColor CanvasColor = kBlack;
  double AspectRatio = 0;
  TBitmap PreviewSource;
  bool Converting = false;
  int SortDirection = 1;
  int DpiValue = 96;

  // The settings as the run sees them.
  TConvertOptions ReadOptions() const;
  std::vector<TImageEntry> Entries() const;
  // Whether a run started by Run has not ended yet.
  bool RunInProgress() const { return run_ != nullptr; }
  // Adds paths to the list as the open dialog and drops do, then the final step of adding.
  void AddFilesAndFinish(const QStringList& paths);
  // Adds the files named on the command line (paths or file: URLs) by the rule a drop follows;
  // returns each argument refused, with why.
  QStringList AddCommandLineFiles(const QStringList& arguments);
  // How long a run must take before its end is told on the desktop when the window is not
  // active; tests shorten it.
  void SetNotifyAfter(int milliseconds) { notify_after_ms_ = milliseconds; }

  // ConversionHost
  void EnterRunMode() override;
  void LeaveRunMode() override;
  bool CancelRequested() override { return cancel_requested_; }
  void SetProgressMaximum(int maximum) override;
  void SetProgressPosition(int position) override;
  void ShowProgress(bool shown) override;
  TBitmap PreviewPicture() override;
  void SetPreviewPicture(const TBitmap& picture) override;
  void AppendExifText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ClearAllItems() override;
  void CropRangesChanged(const CropRanges& ranges) override;
  void ResizeTargetChanged(int width, int height) override;
  void EntryNotConverted(const TImageEntry& entry, const std::string& reason) override;
  void EntryConverted(const TImageEntry& entry, const std::string& output_path) override;
  void SourceNotDeleted(const TImageEntry& entry, const std::string& reason) override;
  TimgData* MetadataHolder() override { return &metadata_; }

  // Controls, by their design names.
  QToolBar* ToolBar1 = nullptr;
  QMenu* File1 = nullptr;
  QMenu* ClearItems1 = nullptr;
  QMenu* Operations1 = nullptr;
  QMenu* Help1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QMenu* ClearItems2 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Panel1 = nullptr;
  PictureBox* Image1 = nullptr;
  QCheckBox* ViewExifCheckBox = nullptr;
  QTreeWidget* ImageView = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* ExifPanel = nullptr;
  QLabel* DescriptionLabel = nullptr;
  QPlainTextEdit* DescriptionMemo = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Panel3 = nullptr;
  PictureBox* Image2 = nullptr;
  QLabel* PagePanel = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* Panel4 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

  // Name&Path
  QWidget* TabSheet15 = nullptr;
  QGroupBox* OperationsRadioGroup = nullptr;
  QButtonGroup* OperationsButtons = nullptr;
  QCheckBox* SameCheckBox = nullptr;
  QPushButton* SelectBtn = nullptr;
  QLabel* SelectLabel = nullptr;
  QCheckBox* RenameCheckBox = nullptr;
  QGroupBox* NameGroupBox = nullptr;
  QLineEdit* NameEdit = nullptr;
  // Format
  QWidget* TabSheet8 = nullptr;
  QGroupBox* ChoiseExtRadioGroup = nullptr;
  QButtonGroup* ChoiseExtButtons = nullptr;
  QGroupBox* JPEGGroupBox = nullptr;
  QSlider* ExtTrackBar = nullptr;
  QCheckBox* DescriptionCheckBox = nullptr;
  QGroupBox* PNGGroupBox = nullptr;
  QLabel* PngLabel = nullptr;
  QSlider* PNGTrackBar = nullptr;
  QCheckBox* PNGCheckBox = nullptr;
  // Resize
  QWidget* TabSheet3 = nullptr;
  QWidget* Panel12 = nullptr;
  QCheckBox* ResizeCheckBox = nullptr;
  QLabel *Label8 = nullptr, *Label9 = nullptr, *Label10 = nullptr, *Label11 = nullptr,
         *Label12 = nullptr;
  QWidget* Panel6 = nullptr;
  QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton3 = nullptr,
               *RadioButton4 = nullptr;
  // The four size modes by index, so that choosing one clears the others.
  QButtonGroup* ModeButtons = nullptr;
  QGroupBox* RadioGroup1 = nullptr;
  QButtonGroup* UnitButtons = nullptr;
  QLabel *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
  QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr,
            *Edit5 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QLabel *Label14 = nullptr, *Label15 = nullptr, *Label16 = nullptr, *Label17 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QPushButton *BitBtn3 = nullptr, *BitBtn4 = nullptr;
  QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr;
  // Rotate
  QWidget* TabSheet4 = nullptr;
  QCheckBox* RotateCheckBox = nullptr;
  QWidget* Panel13 = nullptr;
  QGroupBox* RotateRadioGroup = nullptr;
  QButtonGroup* RotateButtons = nullptr;
  // Crop
  QWidget* TabSheet5 = nullptr;
  QCheckBox* CropCheckBox = nullptr;
  QWidget* Panel14 = nullptr;
  QGroupBox* CropGroupBox = nullptr;
  QLabel *CLLabel = nullptr, *CRLabel = nullptr, *CTLabel = nullptr, *CBLabel = nullptr;
  QScrollBar *LeftScrollBar = nullptr, *RightScrollBar = nullptr, *TopScrollBar = nullptr,
             *BottomScrollBar = nullptr;
  QLabel *LabelCL = nullptr, *LabelCR = nullptr, *LabelCT = nullptr, *LabelCB = nullptr;
  QPushButton* ZeroCBtn = nullptr;
  // Canvas
  QWidget* TabSheet6 = nullptr;
  QCheckBox* CanvasCheckBox = nullptr;
  QWidget* CanvasPanel = nullptr;
  QLabel *TopLabel = nullptr, *LLabel = nullptr, *Label7 = nullptr, *BLabel = nullptr;
  // Each field with its up-down arrows.
  CanvasField *TopEdit = nullptr, *LeftEdit = nullptr, *RightEdit = nullptr, *BottomEdit = nullptr;
  QPushButton* ZeroCanvasBtn = nullptr;
  QLabel* CanvasShape = nullptr;
  QPushButton* CanColorBtn = nullptr;
  // Adjustments
  QWidget* TabSheet7 = nullptr;
  QCheckBox* AdjustmentCheckBox = nullptr;
  QWidget* AdjustmentPanel = nullptr;
  QCheckBox *InvertCheckBox = nullptr, *NightCheckBox = nullptr, *GrayCheckBox = nullptr,
            *SepiaCheckBox = nullptr;

 public slots:
  void OpenImages1Click();
  void DeleteAllImages1Click();
  void DeleteSelectedImages1Click();
  void Exit1Click();
  void RunClick();
  void ToolButton9Click();
  void CompareButtonClick();
  void ToolButton6Click();
  void Help2Click();
  void About2Click();
  void ImageViewColumnClick(int column);
  // Redraws the processed preview from PreviewSource with the current settings.
  void ImageOperation();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowEntryProblem(const TImageEntry& entry, const std::string& reason);
  // The status line's account of the run that ended, and the desktop's when it is due.
  void ShowRunSummary();
  // Runs a handler inside the general error report.
  template <typename Handler>
  void Guarded(Handler&& handler);
  template <typename Signal, typename Sender, typename Slot>
  void Bind(Sender* sender, Signal signal, Slot slot);

  // The end of a run on its thread: the error that stopped it is shown as any other.
  void RunFinished(std::exception_ptr error);

  void BuildLayout();
  QWidget* BuildOriginalGroup();
  QWidget* BuildConvertedGroup();
  QWidget* BuildStatusBar();
  void BuildMenus();
  void BuildToolBar();
  void BuildPages();
  QWidget* BuildNamePathPage();
  QWidget* BuildFormatPage();
  QWidget* BuildResizePage();
  QWidget* BuildRotatePage();
  QWidget* BuildCropPage();
  QWidget* BuildCanvasPage();
  QWidget* BuildAdjustmentsPage();
  void ConnectPages();

  void InitialState();
  void SetRunEnabled(bool enabled);
  void EnterEmptyState();
  void ResetAfterEmptyList();
  void FinishAddingFiles();
  void AddFiles(const QStringList& paths);
  void SelectAndFocus(int row);
  void RemoveSortMarks();
  void ClearPreviews();
  void LoadSelectedPreview();
  bool ShowPreviewImage(const QString& path);
  void SetNewSizeFields(int width, int height);
  int ScreenDpi() const;
  void SetTabMark(QWidget* page, bool on);
  void SetExifPanelWidth(int width);
  bool ListEmpty() const;
  bool InTextField(const QObject* watched) const;
  bool IsListKey(const QKeyEvent& key) const;
  bool RouteListKeysAndMenu(QObject* watched, QEvent* event);

  // Page handlers.
  void OperationsRadioGroupClick();
  void SameCheckBoxClick();
  void RenameCheckBoxClick();
  void ChoiseExtRadioGroupClick();
  void ResizeCheckBoxClick();
  void RotateCheckBoxClick();
  void RotateRadioGroupClick();
  void CropCheckBoxClick();
  void CanvasCheckBoxClick();
  void AdjustmentCheckBoxClick();
  void ViewExifCheckBoxClick();
  void SelectBtnClick();
  void CanColorBtnClick();
  void CropScrollBarChange();
  void SetCanvasColor(TColor colour);

  // Resize page (resize_page.cpp).
  void ConnectResizePage();
  bool ResizeFieldEvent(QLineEdit* field, QEvent* event);
  bool SizeFieldKeyPress(QLineEdit* field, const QString& typed);
  void SizeFieldChanged(QLineEdit* field, bool leaving);
  void PercentFieldChanged(QLineEdit* field, bool leaving);
  bool DpiKeyPress(int key, const QString& typed);
  void DpiKeyUp();
  void DpiExit();
  void BitBtn2Click();
  void RadioGroup1Click();
  void ModeClick(int mode);
  void SelectSetNewSize();
  void ListBox1Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void AspectCheckBoxClick(QCheckBox* clicked, QCheckBox* other);
  void RefreshSizeFields();
  void NewSizeFromFields();
  void NewSizeFromPercentages();
  void SetDpiFromText(const QString& text);
  SizeUnit Unit() const;
  std::string Separator() const;
  PixelSize SelectedSize() const;
  PixelSize NewSize() const;
  void SetNewSize(PixelSize size);
  void SetFieldFromPixels(QLineEdit* field, int pixels);
  bool AspectOn() const;

  // Crop and Canvas pages (crop_canvas_pages.cpp).
  void ConnectCropCanvasPages();
  void ScrollBarScroll(QScrollBar* bar);
  void SelectCrop();
  void ZeroCBtnClick();
  void ZeroCanvasBtnClick();
  void CanvasFieldKeyUp(CanvasField* field);
  CropBars ReadCropBars() const;
  // True when a position changed; the bars' own redraws wait until all four are set.
  bool WriteCropBars(const CropBars& bars);
  void ShowCropLabels();

  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<CommandTable> commands_;
  TAboutBox* about_box_ = nullptr;
  TViewForm* view_form_ = nullptr;
  // The run started by Run, on a thread of its own; cancel_requested_ is read through it.
  std::unique_ptr<BackgroundRun> run_;
  bool cancel_requested_ = false;
  bool close_after_run_ = false;
  bool first_show_done_ = false;
  bool ran_converting_ = false;
  bool writing_crop_bars_ = false;
  bool in_image_operation_ = false;
  bool one_file_run_ = false;
  // How the current or last run went, and how long it has taken.
  RunSummary summary_;
  QElapsedTimer run_clock_;
  int notify_after_ms_ = 5000;
  // The one metadata holder: read for the preview and by the run, carried into JPEG outputs.
  TimgData metadata_{255};
};

// System texts (codec messages, reports) are 8-bit; they are shown readably as UTF-8.
QString ShownText(const std::string& text);

template <typename Handler>
void TConvertorForm::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    dialogs_->Message(this, ShownText(error.what()), QStringLiteral("Tolvane"),
                      QMessageBox::Critical);
  }
}

template <typename Signal, typename Sender, typename Slot>
void TConvertorForm::Bind(Sender* sender, Signal signal, Slot slot) {
  connect(sender, signal, this, [this, slot] { Guarded([this, slot] { (this->*slot)(); }); });
}

}  // namespace tolvane
