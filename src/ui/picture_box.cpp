#include "ui/picture_box.h"

#include <QPainter>
#include <cstring>

namespace tolvane {

QImage ToQImage(const TBitmap& picture) {
  if (picture.Empty()) return {};
  TBitmap rgb = picture;
  if (rgb.BitsPerPixel() != 24) rgb.SetPixelFormat(24);
  QImage image(rgb.Width(), rgb.Height(), QImage::Format_BGR888);
  const std::size_t row_bytes = std::size_t(rgb.Width()) * 3;
  for (int y = 0; y < rgb.Height(); ++y) std::memcpy(image.scanLine(y), rgb.ScanLine(y), row_bytes);
  return image;
}

PictureBox::PictureBox(int width, int height, QWidget* parent) : QWidget(parent) {
  setFixedSize(width, height);
}

void PictureBox::SetPicture(const TBitmap& picture) {
  picture_ = picture;
  shown_ = ToQImage(picture_);
  message_.clear();
  update();
}

void PictureBox::SetMessagePicture(const QString& text) {
  picture_.Create(width(), height(), 24);
  shown_ = ToQImage(picture_);
  message_ = text;
  update();
}

void PictureBox::Clear() {
  picture_.Clear();
  shown_ = QImage();
  message_.clear();
  update();
}

QRect PictureBox::PictureRect() const {
  if (shown_.isNull()) return {};
  QSize size = shown_.size();
  if (size.width() > width() || size.height() > height()) {
    size.scale(this->size(), Qt::KeepAspectRatio);
  }
  return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (shown_.isNull()) return;
  QPainter painter(this);
  const QRect target = PictureRect();
  painter.drawImage(target, shown_);
  if (message_.isEmpty()) return;
  QFont font = painter.font();
  font.setPointSize(12);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(target.topLeft() + QPoint(3, 1 + QFontMetrics(font).ascent()), message_);
}

}  // namespace tolvane
