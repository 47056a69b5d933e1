#include "ui/canvas_field.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

namespace tolvane {
namespace {

bool AllDigits(const QString& text) {
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  return true;
}

// Keys that produce no character (arrows, Home, Delete, modifiers) are not filtered.
bool TypesCharacter(const QKeyEvent* event) {
  return !event->text().isEmpty() && event->key() != Qt::Key_Delete;
}

}  // namespace

CanvasField::CanvasField(QWidget* parent) : QSpinBox(parent) {
  setRange(0, 10000);
  setSingleStep(1);
  setValue(0);
  // The value follows the text on key release, not on every intermediate text.
  setKeyboardTracking(false);
}

void CanvasField::ShowValue(int value) {
  const QSignalBlocker blocker(this);
  setValue(value);
  lineEdit()->setText(QString::number(value));
}

void CanvasField::keyPressEvent(QKeyEvent* event) {
  const bool accepted = !TypesCharacter(event) || event->key() == Qt::Key_Backspace ||
                        (event->text().size() == 1 && AllDigits(event->text()));
  if (!accepted) {
    event->accept();
    return;
  }
  typing_ = true;
  QSpinBox::keyPressEvent(event);
  typing_ = false;
}

void CanvasField::keyReleaseEvent(QKeyEvent* event) {
  QSpinBox::keyReleaseEvent(event);
  if (hasFocus()) emit KeyReleased();
}

QValidator::State CanvasField::validate(QString& text, int&) const {
  if (!AllDigits(text)) return QValidator::Invalid;
  bool ok = false;
  const int value = text.toInt(&ok);
  if (ok && value >= minimum() && value <= maximum()) return QValidator::Acceptable;
  // Typed text may pass through states the key release corrects; pasted text may not.
  return typing_ ? QValidator::Intermediate : QValidator::Invalid;
}

}  // namespace tolvane
