#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

namespace tolvane {

// The about box: product name and version, closed with OK.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QLabel* ProgramIcon = nullptr;
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace tolvane
