#include "ui/picture_box.h"

#include <QFontMetrics>
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

TBitmap FromQImage(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
  TBitmap picture;
  picture.CreateForOverwrite(rgb.width(), rgb.height(), 24);
  const std::size_t row_bytes = std::size_t(rgb.width()) * 3;
  for (int y = 0; y < rgb.height(); ++y) {
    std::memcpy(picture.ScanLine(y), rgb.constScanLine(y), row_bytes);
  }
  return picture;
}

PictureBox::PictureBox(int width, int height, QWidget* parent) : QWidget(parent) {
  setFixedSize(width, height);
}

void PictureBox::SetPicture(const TBitmap& picture) {
  picture_ = picture;
  shown_ = ToQImage(picture_);
  scaled_ = QImage();
  message_.clear();
  update();
}

void PictureBox::SetMessagePicture(const QString& text) {
  // The text is part of the picture, so whoever takes the picture (the compare window, a run's
  // preview slot) takes the message with it.
  QImage image(width(), height(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font = this->font();
  font.setPointSize(12);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QPoint(3, 1 + QFontMetrics(font).ascent()), text);
  painter.end();
  picture_ = FromQImage(image);
  shown_ = image;
  scaled_ = QImage();
  message_ = text;
  update();
}

void PictureBox::Clear() {
  picture_.Clear();
  shown_ = QImage();
  scaled_ = QImage();
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
  if (target.size() == shown_.size()) {
    painter.drawImage(target.topLeft(), shown_);
    return;
  }
  // Averaged rather than sampled, so that a line one pixel wide (a plot's frame, say) stays
  // visible in the reduced view.
  if (scaled_.size() != target.size()) {
    scaled_ = shown_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  painter.drawImage(target.topLeft(), scaled_);
}

}  // namespace tolvane
