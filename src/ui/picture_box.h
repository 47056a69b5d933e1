#pragma once
#include <QImage>
#include <QString>
#include <QWidget>

#include "imaging/tbitmap.h"

namespace tolvane {

// The stand-in for an image control: holds a TBitmap and shows it centred, at natural size
// when it fits and scaled down proportionally when it does not (never scaled up). Where no
// picture covers the box, the parent shows through.
class PictureBox : public QWidget {
  Q_OBJECT

 public:
  PictureBox(int width, int height, QWidget* parent);

  void SetPicture(const TBitmap& picture);
  // A white picture of the box's own size with a line of text drawn into it, for a file that
  // cannot be shown.
  void SetMessagePicture(const QString& text);
  void Clear();

  const TBitmap& Picture() const { return picture_; }
  const QString& MessageText() const { return message_; }
  // Where the picture is drawn inside the box.
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TBitmap picture_;
  QImage shown_;
  QImage scaled_;  // shown_ reduced to fit, made when first drawn
  QString message_;
};

// A copy of a TBitmap for drawing on the screen, and back.
QImage ToQImage(const TBitmap& picture);
TBitmap FromQImage(const QImage& image);

}  // namespace tolvane
