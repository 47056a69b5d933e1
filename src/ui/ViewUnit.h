#pragma once
#include <QDialog>

namespace tolvane {

// The compare window: the selected image at full size before and after the current settings.
// For now only the hidden window the start-up creates.
class TViewForm : public QDialog {
  Q_OBJECT

 public:
  explicit TViewForm(QWidget* parent = nullptr);
};

}  // namespace tolvane
