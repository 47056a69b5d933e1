#pragma once
#include <QSpinBox>

namespace tolvane {

// A canvas width: a numeric field with its up-down arrows. Typing takes digits and Backspace
// only, and the field may hold a typed text the arrows could not (empty, or above 10000) until
// the key is released and the window puts it right. Pasted text must be a whole number within
// the range or it is not taken.
class CanvasField : public QSpinBox {
  Q_OBJECT

 public:
  explicit CanvasField(QWidget* parent = nullptr);

  // Shows value in the field and takes it as the arrows' position, without a change signal.
  void ShowValue(int value);

 signals:
  void KeyReleased();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  QValidator::State validate(QString& text, int& position) const override;

 private:
  bool typing_ = false;
};

}  // namespace tolvane
